// Request and response messages of the VKL service's REST interface.
//
// A request class fills its service-relative path (and, for a submission,
// its JSON body) in its constructor; RestApiProxy::call adds the headers and
// the base URL. A response is filled by HttpClient::call (status, body,
// headers) and then parsed by parseSuccessRes when the status is 200 or 201.
#ifndef NAVIXREST_REST_MESSAGE_H
#define NAVIXREST_REST_MESSAGE_H

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <boost/property_tree/ptree.hpp>

namespace navixrest {

// Header name -> value, ordered byte-wise by name (case-sensitive).
typedef std::map<std::string, std::string> HeaderMap;

// HTTP method codes of RestReq::getMethod and HttpClient::call.
enum HttpMethodCode { HTTP_METHOD_GET = 0, HTTP_METHOD_POST = 1, HTTP_METHOD_DELETE = 2 };

struct HttpReq {
    std::string url;  // relative path (with query) until RestApiProxy::call makes it absolute
    std::string body; // sent only for POST
    HeaderMap headers;

    HttpReq();
    // Appends one "Name:value" line per header, in the map's order.
    void buildHeaderList(std::vector<std::string>& lines) const;
};

struct HttpResp {
    int32_t httpCode; // 0 until a transfer completed
    std::string body;
    HeaderMap headers;
    std::string errorText; // libcurl's account of a failed transfer, empty otherwise

    HttpResp();
};

// Why a call gave no answer that the caller can use. RestApiProxy::call and
// RestApiProxy::getToken fill it whenever they fail; the query client turns
// it into its diagnostic. None of the texts holds a secret.
struct CallError {
    enum Kind {
        NONE = 0,
        TRANSPORT,        // no HTTP exchange: code = CURLcode, text = libcurl's error text
        IDENTITY_REFUSED, // no token: code = getToken's result, text = the identity service's
                          // reason
        UNREADABLE,       // a 200/201 answer whose body cannot be read: text = the reader's error
        SETTING           // a setting that cannot be used, found before any request: text says why
    };
    Kind kind;
    int code;
    std::string text;
    std::string host; // host[:port] of the request that failed (TRANSPORT)

    CallError() : kind(NONE), code(0) {}
};

// One path segment with every byte but the unreserved ones (A-Z a-z 0-9 - . _ ~)
// written as %XX, so that a name holding "/", "?", "#", "%" or a blank stays
// one segment and the URL stays valid. UTF-8 names are encoded byte by byte.
std::string encodePathSegment(const std::string& text);

// "." and "..": path segments that a server resolves instead of reading them
// as a name, even percent-encoded; no name of a request path may be one.
inline bool isDotSegment(const std::string& text) {
    return text == "." || text == "..";
}

// Whether a text holds a byte below 0x20 or DEL: HTTP has no escape for
// them, so such a text can be no header value.
bool hasControlCharacter(const std::string& text);

// Requests are built on the caller's stack and destroyed as the class they
// were created as; the subclasses add no members.
class RestReq {
  public:
    HttpReq httpReq;
    // Why the request cannot be sent (a name that no path may hold); empty
    // when it can. RestApiProxy::call sends nothing for such a request.
    std::string refusal;

    RestReq();
    ~RestReq();
    virtual int getMethod() const = 0;
};

class SubmitJobReq : public RestReq {
  public:
    SubmitJobReq(const std::string& sql, const std::string& currentdb,
                 const std::string& queue_name, const std::vector<std::string>& conf);
    int getMethod() const override;
};

class JobStatusReq : public RestReq {
  public:
    explicit JobStatusReq(const std::string& jobId);
    int getMethod() const override;
};

class GetJobResuleReq : public RestReq {
  public:
    GetJobResuleReq(const std::string& jobId, int currentPage);
    int getMethod() const override;
};

class GetDescribeTableReq : public RestReq {
  public:
    GetDescribeTableReq(const std::string& database, const std::string& table);
    int getMethod() const override;
};

// One column of a result: its name and the service's type name.
struct SchemaField {
    std::string name;
    std::string type;
};

// One column of a described table. The three texts become cells of the
// column catalog, so a JSON null in them is kNullCell.
struct ColumnInfo {
    std::string column_name;
    std::string type;
    bool is_partition_column;
    std::string description;

    ColumnInfo() : is_partition_column(false) {}
};

// The cell of a JSON null. No JSON string reads as it: readJsonText takes
// only well-formed UTF-8, which never holds the byte 0xFF, and a \u escape
// decodes to UTF-8 too. So the string "null" stays a text.
constexpr std::string_view kNullCell("\xFF", 1);

typedef std::vector<std::string> ResultRow; // cell texts, kNullCell for SQL NULL
typedef std::vector<ResultRow> ResultRows;
typedef std::vector<SchemaField> SchemaList;
typedef std::vector<ColumnInfo> ColumnInfoList;

class RestResp {
  public:
    bool isSuccess;
    int32_t httpStatus;
    std::string message;
    HttpResp httpResp;

    CallError error; // filled when the call failed

    RestResp();
    ~RestResp();
    // Reads httpResp.body into the members; false (with the reader's error in
    // `error`) when the body cannot be read. Never throws, logs failures.
    virtual bool parseSuccessRes() = 0;
};

class SubmitJobResp : public RestResp {
  public:
    std::string job_id;
    std::string job_type;
    bool hasRows; // the answer carried a "rows" member (synchronous run)
    SchemaList schema;
    ResultRows rows;

    SubmitJobResp();
    bool parseSuccessRes() override;
};

class JobStatusResp : public RestResp {
  public:
    std::string job_id;
    std::string job_type;
    std::string queue_name;
    std::string owner;
    std::string status;
    int64_t input_size;
    int64_t result_count;
    std::string statement;

    JobStatusResp();
    bool parseSuccessRes() override;
};

class GetJobResuleResp : public RestResp {
  public:
    std::string job_id;
    std::string job_type;
    int64_t input_size;
    int64_t row_count;
    SchemaList schema;
    ResultRows rows;

    GetJobResuleResp();
    bool parseSuccessRes() override;
};

class GetDescribeTableResp : public RestResp {
  public:
    int64_t column_count;
    std::string table_type;
    ColumnInfoList columns;

    GetDescribeTableResp();
    bool parseSuccessRes() override;
};

// Parses one JSON value (followed by nothing but white space) into root and
// lets the property tree's errors through. Refused before parsing: a text
// that is not well-formed UTF-8 (RFC 3629: no overlong forms, no surrogates,
// nothing above U+10FFFF), which would otherwise reach the application as
// cell text, and a text nested deeper than any answer of the service (the
// reader and the tree recurse once per level, and the server's certificate
// is not verified, so anyone on the path could send such a body).
void readJsonText(const std::string& text, boost::property_tree::ptree& root);

// As readJsonText, for the service's answers: a JSON null reads as kNullCell
// (not as the text "null") and an array's node and an object's node each
// hold a mark of their own, so that the readers below tell null from "null"
// and an array or an object from a string or a number. Read the tree's texts
// with answerText.
void readAnswerJson(const std::string& text, boost::property_tree::ptree& root);

// A node's text in a tree of readAnswerJson as the plain reader gives it:
// "null" for null, an empty text for an array or object.
std::string answerText(const boost::property_tree::ptree& node);

// The reader's account of a failure, for logs and diagnostics ("unexpected
// end of input at line 1", "No such node (job_id)").
std::string readerError(const boost::property_tree::ptree_error& error);

// Readers of the JSON arrays of a tree that readAnswerJson built: they
// append to the given list and let the property tree's errors through to the
// caller. A node that is not an array, and a row that is not an array, is
// such an error: read as no rows, it would end a result early as if it were
// complete. So is a schema entry that is not an object whose first member is
// a name and a type that is a value.
void parseSchema(const boost::property_tree::ptree& node, SchemaList& schema);
void parseRows(const boost::property_tree::ptree& node, ResultRows& rows);
void parseColumns(const boost::property_tree::ptree& node, ColumnInfoList& columns);

} // namespace navixrest

#endif
