#include "RestMessage.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <sstream>

#include <boost/locale/utf.hpp>
#include <boost/property_tree/json_parser.hpp>

#include "NavixLogging.h"

namespace pt = boost::property_tree;

namespace navixrest {

// ---------------------------------------------------------------- requests

HttpReq::HttpReq() {}

void HttpReq::buildHeaderList(std::vector<std::string>& lines) const {
    for (HeaderMap::const_iterator it = headers.begin(); it != headers.end(); ++it) {
        lines.push_back(it->first + ":" + it->second);
    }
}

RestReq::RestReq() {}
RestReq::~RestReq() {}

SubmitJobReq::SubmitJobReq(const std::string& sql, const std::string& currentdb,
                           const std::string& queue_name, const std::vector<std::string>& conf) {
    try {
        pt::ptree root;
        root.put("currentdb", currentdb);
        root.put("sql", sql);
        root.put("queue_name", queue_name);
        if (!conf.empty()) {
            pt::ptree list;
            for (size_t i = 0; i < conf.size(); ++i) {
                pt::ptree entry;
                entry.put_value(conf[i]);
                list.push_back(std::make_pair(std::string(), entry));
            }
            root.put_child("conf", list);
        }
        std::ostringstream out;
        pt::write_json(out, root, false);
        httpReq.body = out.str();
        httpReq.url = "/jobs/submit-job";
    } catch (const pt::ptree_error& e) {
        httpReq.body.clear();
        httpReq.url.clear();
        NAVIX_LOG(NAVIX_ERROR, "navixrest::SubmitJobReq::SubmitJobReq", "build json fail, %s",
                  e.what());
    }
}

int SubmitJobReq::getMethod() const {
    return HTTP_METHOD_POST;
}

std::string encodePathSegment(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

bool hasControlCharacter(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
    return false;
}

// The job id comes from the service's answer: encoded, it stays one path
// segment whatever it holds, so it can never change the path or the query
// of the signed request.
JobStatusReq::JobStatusReq(const std::string& jobId) {
    httpReq.url = "/jobs/" + encodePathSegment(jobId) + "/status";
}

int JobStatusReq::getMethod() const {
    return HTTP_METHOD_GET;
}

GetJobResuleReq::GetJobResuleReq(const std::string& jobId, int currentPage) {
    httpReq.url = "/jobs/" + encodePathSegment(jobId) +
                  "?current-page=" + std::to_string(currentPage) + "&page-size=100";
}

int GetJobResuleReq::getMethod() const {
    return HTTP_METHOD_GET;
}

// The signature covers the path as sent, so the encoded names are what the
// service checks it against.
GetDescribeTableReq::GetDescribeTableReq(const std::string& database, const std::string& table) {
    // Encoded or not, a dot segment would take the request to another path.
    const bool badTable = isDotSegment(table);
    if (badTable || isDotSegment(database)) {
        refusal = std::string(badTable ? "Table name \"" : "Database name \"") +
                  (badTable ? table : database) +
                  "\" cannot be described: \".\" and \"..\" are no names in a request path";
        return;
    }
    httpReq.url =
        "/databases/" + encodePathSegment(database) + "/tables/" + encodePathSegment(table);
}

int GetDescribeTableReq::getMethod() const {
    return HTTP_METHOD_GET;
}

// --------------------------------------------------------------- responses

HttpResp::HttpResp() : httpCode(0) {}

RestResp::RestResp() : isSuccess(false), httpStatus(0) {}
RestResp::~RestResp() {}

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A truth value is exactly "true"/"1" or "false"/"0".
bool toBool(const pt::ptree& node, const char* key) {
    const std::string text = answerText(node);
    if (text == "true" || text == "1") return true;
    if (text == "false" || text == "0") return false;
    throw pt::ptree_bad_data(
        std::string("conversion of data to type \"bool\" failed (") + key + ")", text);
}

// An optional sign and decimal digits within 64 bits, then nothing but
// white space (none in front). The service's counts are read this way: a
// count beyond 32 bits is a count, not a reason to drop the answer.
int64_t toInt64(const pt::ptree& node, const char* key) {
    const std::string text = answerText(node);
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const unsigned long long limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
    size_t digits = 0;
    unsigned long long value = 0;
    bool overflow = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        const unsigned d = static_cast<unsigned>(text[i] - '0');
        if (value > (limit - d) / 10) {
            overflow = true;
        } else {
            value = value * 10 + d;
        }
        ++digits;
        ++i;
    }
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (digits == 0 || i != text.size() || overflow) {
        throw pt::ptree_bad_data(
            std::string("conversion of data to type \"int64\" failed (") + key + ")", text);
    }
    if (!negative) return static_cast<int64_t>(value);
    return value == 9223372036854775808ULL ? INT64_MIN : -static_cast<int64_t>(value);
}

const pt::ptree& member(const pt::ptree& obj, const char* key) {
    // The key holds no '.', so the path is the key itself; a missing key
    // raises ptree_bad_path "No such node (key)".
    return obj.get_child(pt::ptree::path_type(key, '\0'));
}

std::string textOf(const pt::ptree& obj, const char* key) {
    return answerText(member(obj, key));
}
bool boolOf(const pt::ptree& obj, const char* key) {
    return toBool(member(obj, key), key);
}
int64_t intOf(const pt::ptree& obj, const char* key) {
    return toInt64(member(obj, key), key);
}

const pt::ptree* optionalMember(const pt::ptree& obj, const char* key) {
    pt::ptree::const_assoc_iterator it = obj.find(key);
    return it == obj.not_found() ? nullptr : &it->second;
}

// Far above the three levels the service's answers use.
const int kMaxJsonDepth = 64;

// What an array's node holds in a tree of readAnswerJson. Like kNullCell, no
// JSON string reads as it.
const std::string kArrayMark("\xFE", 1);

// And what an object's node holds.
const std::string kObjectMark("\xFD", 1);

bool isArray(const pt::ptree& node) {
    return node.data() == kArrayMark;
}

// The text of a value that becomes a result cell: a JSON null stays
// kNullCell; a nested array or object gives an empty cell.
std::string cellOf(const pt::ptree& node) {
    if (node.data() == kNullCell) return std::string(kNullCell);
    return answerText(node);
}

std::string cellOf(const pt::ptree& obj, const char* key) {
    return cellOf(member(obj, key));
}

bool isNested(const pt::ptree& node) {
    return node.data() == kArrayMark || node.data() == kObjectMark;
}

// A nested array or object where a cell is due holds no value that a column
// can hold: an empty text for it would be a wrong value, so the answer cannot
// be read. `where` names the place.
pt::ptree_bad_data nestedValue(const pt::ptree& node, const std::string& where) {
    return pt::ptree_bad_data(
        where + " is a JSON " + (node.data() == kArrayMark ? "array" : "object") + ", not a value",
        std::string());
}

// The property tree's own callbacks, but null and the start of an array
// leave their marks in the node they open (which is then current).
class MarkingCallbacks : public pt::json_parser::detail::standard_callbacks<pt::ptree> {
  public:
    void on_null() {
        standard_callbacks::on_null();
        current_value() = kNullCell;
    }
    void on_begin_array() {
        standard_callbacks::on_begin_array();
        current_value() = kArrayMark;
    }
    void on_begin_object() {
        standard_callbacks::on_begin_object();
        current_value() = kObjectMark;
    }
};

// The offset of the first byte that is not part of well-formed UTF-8
// (RFC 3629), or npos. Boost's JSON reader alone lets overlong forms,
// surrogates and code points above U+10FFFF through.
size_t invalidUtf8At(const std::string& text) {
    typedef boost::locale::utf::utf_traits<char> utf8;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin;
    while (p != end) {
        const char* const at = p;
        const boost::locale::utf::code_point c = utf8::decode(p, end);
        if (c == boost::locale::utf::illegal || c == boost::locale::utf::incomplete) {
            return static_cast<size_t>(at - begin);
        }
    }
    return std::string::npos;
}

// The checks that come before the reader: well-formed UTF-8, bounded depth.
void checkJsonText(const std::string& text) {
    const size_t bad = invalidUtf8At(text);
    if (bad != std::string::npos) {
        const unsigned long line = 1 + std::count(text.begin(), text.begin() + bad, '\n');
        throw pt::json_parser_error("invalid UTF-8", "", line);
    }
    // Open brackets outside strings, counted in the order the parser meets
    // them: wherever the text is still valid, the count is the parser's depth.
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonDepth) throw pt::json_parser_error("nesting too deep", "", 0);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
}

// Reads the members that every job answer starts with, storing each as soon
// as it is read; false when the service reported a failure.
bool readJobHead(const pt::ptree& root, RestResp& resp, std::string& jobId, std::string& jobType) {
    jobId = textOf(root, "job_id");
    jobType = textOf(root, "job_type");
    resp.isSuccess = boolOf(root, "is_success");
    resp.message = textOf(root, "message");
    return resp.isSuccess;
}

// Parses a success answer and lets fill read it; a text that is not JSON, or
// one missing a member fill needs, is logged under func and recorded in the
// response as unreadable. What fill stored before the failure stays.
template <typename Fill> bool parseBody(RestResp& resp, const char* func, Fill fill) {
    try {
        pt::ptree root;
        readAnswerJson(resp.httpResp.body, root);
        fill(root);
        return true;
    } catch (const pt::ptree_error& e) {
        NAVIX_LOG(NAVIX_ERROR, func, "Parser json error, %s", e.what());
        resp.error.kind = CallError::UNREADABLE;
        resp.error.code = 0;
        resp.error.text = readerError(e);
        return false;
    }
}

} // namespace

void readJsonText(const std::string& text, pt::ptree& root) {
    checkJsonText(text);
    std::istringstream in(text);
    pt::read_json(in, root);
}

void readAnswerJson(const std::string& text, pt::ptree& root) {
    checkJsonText(text);
    MarkingCallbacks callbacks;
    pt::json_parser::detail::utf8_utf8_encoding encoding;
    pt::json_parser::detail::read_json_internal(text.begin(), text.end(), encoding, callbacks,
                                                std::string());
    root.swap(callbacks.output());
}

std::string answerText(const pt::ptree& node) {
    const std::string& data = node.data();
    if (data == kNullCell) return "null";
    if (data == kArrayMark || data == kObjectMark) return std::string();
    return data;
}

std::string readerError(const pt::ptree_error& error) {
    // The parser's own text starts with a file name that a string has not.
    if (const pt::json_parser_error* json = dynamic_cast<const pt::json_parser_error*>(&error)) {
        if (json->line() == 0) return json->message();
        return json->message() + " at line " + std::to_string(json->line());
    }
    return error.what();
}

namespace {

void requireArray(const pt::ptree& node, const std::string& what) {
    if (!isArray(node)) throw pt::ptree_bad_data(what + " is not an array", node.data());
}

} // namespace

void parseSchema(const pt::ptree& node, SchemaList& schema) {
    requireArray(node, "schema");
    for (pt::ptree::const_iterator it = node.begin(); it != node.end(); ++it) {
        // An entry is a column's name and its type, the object's first
        // member; members after it are the service's and are not read. An
        // entry without one would describe a column with no name and no type.
        const std::string where = "schema entry " + std::to_string(schema.size() + 1);
        if (it->second.data() != kObjectMark || it->second.empty()) {
            throw pt::ptree_bad_data(where + " is not a column's name and type", std::string());
        }
        const pt::ptree::value_type& first = it->second.front();
        if (isNested(first.second)) throw nestedValue(first.second, where + "'s type");
        schema.push_back(SchemaField{first.first, answerText(first.second)});
    }
}

void parseRows(const pt::ptree& node, ResultRows& rows) {
    requireArray(node, "rows");
    for (pt::ptree::const_iterator it = node.begin(); it != node.end(); ++it) {
        requireArray(it->second, "row " + std::to_string(rows.size() + 1));
        ResultRow row;
        for (pt::ptree::const_iterator cell = it->second.begin(); cell != it->second.end();
             ++cell) {
            if (isNested(cell->second)) {
                throw nestedValue(cell->second, "row " + std::to_string(rows.size() + 1) +
                                                    ", column " + std::to_string(row.size() + 1));
            }
            row.push_back(cellOf(cell->second));
        }
        rows.push_back(std::move(row));
    }
}

void parseColumns(const pt::ptree& node, ColumnInfoList& columns) {
    requireArray(node, "columns");
    for (pt::ptree::const_iterator it = node.begin(); it != node.end(); ++it) {
        ColumnInfo column;
        // The texts become cells of the column catalog.
        for (const char* key : {"column_name", "type", "description"}) {
            if (isNested(member(it->second, key))) {
                throw nestedValue(member(it->second, key), std::string("column ") +
                                                               std::to_string(columns.size() + 1) +
                                                               "'s " + key);
            }
        }
        column.column_name = cellOf(it->second, "column_name");
        column.type = cellOf(it->second, "type");
        column.is_partition_column = boolOf(it->second, "is_partition_column");
        column.description = cellOf(it->second, "description");
        columns.push_back(column);
    }
}

SubmitJobResp::SubmitJobResp() : hasRows(false) {}

bool SubmitJobResp::parseSuccessRes() {
    return parseBody(*this, "navixrest::SubmitJobResp::parseSuccessRes",
                     [&](const pt::ptree& root) {
                         if (!readJobHead(root, *this, job_id, job_type)) return;
                         if (const pt::ptree* node = optionalMember(root, "schema"))
                             parseSchema(*node, schema);
                         if (const pt::ptree* node = optionalMember(root, "rows")) {
                             hasRows = true;
                             parseRows(*node, rows);
                         }
                     });
}

JobStatusResp::JobStatusResp() : input_size(0), result_count(0) {}

bool JobStatusResp::parseSuccessRes() {
    return parseBody(*this, "navixrest::JobStatusResp::parseSuccessRes",
                     [&](const pt::ptree& root) {
                         if (!readJobHead(root, *this, job_id, job_type)) return;
                         queue_name = textOf(root, "queue_name");
                         owner = textOf(root, "owner");
                         status = textOf(root, "status");
                         statement = textOf(root, "statement");
                         input_size = intOf(root, "input_size");
                         result_count = intOf(root, "result_count");
                     });
}

GetJobResuleResp::GetJobResuleResp() : input_size(0), row_count(0) {}

bool GetJobResuleResp::parseSuccessRes() {
    return parseBody(*this, "navixrest::GetJobResuleResp::parseSuccessRes",
                     [&](const pt::ptree& root) {
                         if (!readJobHead(root, *this, job_id, job_type)) return;
                         input_size = intOf(root, "input_size");
                         row_count = intOf(root, "row_count");
                         parseSchema(member(root, "schema"), schema);
                         parseRows(member(root, "rows"), rows);
                     });
}

GetDescribeTableResp::GetDescribeTableResp() : column_count(0) {}

bool GetDescribeTableResp::parseSuccessRes() {
    return parseBody(*this, "navixrest::GetDescribeTableResp::parseSuccessRes",
                     [&](const pt::ptree& root) {
                         column_count = intOf(root, "column_count");
                         table_type = textOf(root, "table_type");
                         parseColumns(member(root, "columns"), columns);
                     });
}

} // namespace navixrest
