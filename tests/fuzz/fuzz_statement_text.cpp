// Statement texts from the application: what NavixExecute makes of them
// (converted to UTF-8 from a double-byte code page for an ANSI connection,
// then trimmed, one trailing ";" dropped, identifier double quotes turned into
// backticks outside literals and comments), the SET and USE statements that
// it handles itself, and the other texts that reach a request: the submitted
// job's JSON body, SQLTables' pattern and SQLColumns' names in the URL.
// A fresh connection without a service per input: every statement that
// would need one fails before any request.
//
// Beyond "no crash":
// - the conversion changes only quotes and backticks (and puts a blank
//   between touching names), a text without '"' not at all, and the service
//   reads the same identifiers from its result as ODBC's rules read from the
//   text (no name ends early, none appears);
// - SET key=value stores exactly the trimmed pair as written, double quotes
//   included (and sync mode follows
//   vkl.sql.syncMode.enabled); USE stores one plain word after it as the
//   name, never an empty or dot name, and a refused USE keeps the database;
//   both after their comments are dropped;
//   a malformed SET fails with the syntax diagnostic; any failure leaves a
//   terminated record with a real SQLSTATE;
// - the submitted body reads back as the statement, database, queue and
//   settings that went in;
// - a table pattern whose UTF-8 form holds a quote or backslash is refused
//   before it reaches a statement; otherwise it stays inside its literal;
// - database and table names reach the URL as one percent-encoded segment
//   each, which decodes back to the name; "." and ".." are refused instead.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <boost/property_tree/ptree.hpp>

#include "Charset.h"
#include "ClientText.h"
#include "ConnProperty.h"
#include "DiagInfo.h"
#include "FuzzSupport.h"
#include "NavixConnection.h"
#include "NavixResultSet.h"
#include "RestMessage.h"
#include "navixclient.h"

namespace {

using clienttext::backtickIdentifierQuotes;
using clienttext::trimmed;
using clienttext::upperAscii;

// The application's text in UTF-8: an ANSI connection's is in the code page.
std::string utf8Of(const std::string& text, bool ansi) {
    if (!ansi) return text;
    std::vector<char> buf(text.size() * 4 + 1);
    FUZZ_CHECK(ConvertANSI2UTF8(text.c_str(), buf.data(), (int)buf.size()) > 0, "conversion");
    return buf.data();
}

// The statement NavixExecute reads: in UTF-8, trimmed, one trailing ";"
// dropped (a USE keeps it).
std::string readable(const std::string& sql, bool ansi) {
    std::string text = trimmed(utf8Of(sql, ansi));
    if (!text.empty() && text.back() == ';' && !clienttext::isUseStatement(text)) text.pop_back();
    return text;
}

// The identifiers of a text, each as the name it stands for, by one side's
// rules: with doubleQuotes, ODBC's ("..." with "" for one ", and `...`);
// otherwise the service's (`...` only). In both a doubled backtick inside
// `...` is one, and text literals ('...', backslash escapes) and comments
// (-- to the line end, /* */) hold none.
std::vector<std::string> identifiers(const std::string& text, bool doubleQuotes) {
    std::vector<std::string> names;
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '\'') {
            for (++i; i < n && text[i] != '\''; ++i)
                if (text[i] == '\\') ++i;
            ++i;
        } else if (text.compare(i, 2, "--") == 0) {
            while (i < n && text[i] != '\n' && text[i] != '\r')
                ++i;
        } else if (text.compare(i, 2, "/*") == 0) {
            const size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == '`' || (doubleQuotes && c == '"')) {
            std::string name;
            for (++i; i < n; ++i) {
                if (text[i] != c) {
                    name += text[i];
                } else if (i + 1 < n && text[i + 1] == c) {
                    name += c;
                    ++i;
                } else {
                    break;
                }
            }
            names.push_back(name);
            ++i;
        } else {
            ++i;
        }
    }
    return names;
}

// The text without its quotes and backticks, and without the blanks between
// two of them (the conversion puts one between touching names).
std::string withoutQuotes(const std::string& text) {
    auto quote = [](char c) { return c == '"' || c == '`'; };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool between = text[i] == ' ' && i > 0 && i + 1 < text.size() && quote(text[i - 1]) &&
                             quote(text[i + 1]);
        if (!quote(text[i]) && !between) out += text[i];
    }
    return out;
}

void checkConversion(const std::string& in) {
    const std::string out = backtickIdentifierQuotes(in);
    if (in.find('"') == std::string::npos) FUZZ_CHECK(out == in, "changed: " + out);
    FUZZ_CHECK(withoutQuotes(out) == withoutQuotes(in), "more than quotes changed: " + out);
    FUZZ_CHECK(identifiers(out, false) == identifiers(in, true),
               "the service reads other identifiers: " + out);
}

void checkRecord(const DiagRecord& record) {
    FUZZ_CHECK(memchr(record.sqlState, '\0', sizeof(record.sqlState)) != NULL, "SQLSTATE");
    FUZZ_CHECK(memchr(record.message, '\0', sizeof(record.message)) != NULL, "message");
}

void checkExecute(const std::string& sql, bool ansi) {
    ConnProperty prop;
    memset(&prop, 0, sizeof(prop));
    prop.authMode = 1;
    prop.charsetFlag = ansi ? 1 : 0;
    prop.jobTimeout = 300;
    strcpy(prop.DATABASE, "db1");
    strcpy(prop.QUEUENAME, "default");
    NavixConnection conn(&prop, "DRIVER=VKL;vkl.a=1");

    NavixQueryResultSet* rs = reinterpret_cast<NavixQueryResultSet*>(1);
    DiagRecord record;
    memset(&record, 0x5A, sizeof(record));
    const int r = NavixExecute(&conn, sql.c_str(), &rs, &record);
    checkRecord(record);
    FUZZ_CHECK((r == 0 && rs != NULL) || (r == 1 && rs == NULL), "result " + std::to_string(r));
    delete rs;
    if (r != 0) FUZZ_CHECK(strcmp(record.sqlState, "00000") != 0, "failure recorded as 00000");

    // What the statement does to the connection.
    const std::string stmt = readable(sql, ansi);
    const size_t space = stmt.find(' ');
    const std::string keyword = space == std::string::npos ? "" : upperAscii(stmt.substr(0, space));
    if (stmt.empty()) {
        FUZZ_CHECK(r == 1 && strcmp(record.sqlState, "42000") == 0, "empty statement ran");
    } else if (clienttext::isUseStatement(stmt)) {
        // One plain word after the keyword (and at most one ";"): that is the name.
        std::string word = trimmed(clienttext::withoutComments(stmt).substr(3));
        if (!word.empty() && word.back() == ';') word = trimmed(word.substr(0, word.size() - 1));
        const bool plainWord = !word.empty() && word != "." && word != ".." &&
                               word.find_first_of(" \t\n\v\f\r;'\"`-/") == std::string::npos;
        if (plainWord) {
            FUZZ_CHECK(r == 0 && conn.database() == word, "USE gave database " + conn.database());
        }
        if (r == 0) {
            const std::string name = conn.database();
            FUZZ_CHECK(!name.empty() && name != "." && name != "..", "USE took '" + name + "'");
        } else {
            FUZZ_CHECK(strcmp(record.sqlState, "01000") == 0 && conn.database() == "db1",
                       "a refused USE changed the database to " + conn.database());
        }
    } else if (keyword == "SET") {
        const std::string conf = clienttext::withoutComments(stmt.substr(3));
        const size_t eq = conf.find('=');
        const bool wellFormed = eq != std::string::npos && eq > 0 && eq + 1 < conf.size() &&
                                conf.find('=', eq + 1) == std::string::npos;
        FUZZ_CHECK(r == (wellFormed ? 0 : 1), "SET " + conf + " gave " + std::to_string(r));
        if (!wellFormed) {
            FUZZ_CHECK(strcmp(record.sqlState, "01000") == 0, record.sqlState);
            return;
        }
        const std::string key = trimmed(conf.substr(0, eq));
        const std::string value = trimmed(conf.substr(eq + 1));
        bool found = false;
        for (const std::string& s : conn.serverConfSnapshot())
            found = found || s == key + "=" + value;
        FUZZ_CHECK(found, "setting " + key + "=" + value + " not kept");
        if (key == "vkl.sql.syncMode.enabled") {
            FUZZ_CHECK(conn.isSyncMode() == (clienttext::lowerAscii(value) == "true"), "sync mode");
        }
    } else {
        // Everything else needs the service, which this connection has not.
        FUZZ_CHECK(r == 1 && strcmp(record.sqlState, "HY000") == 0, "ran without a service");
    }
}

void checkSubmitBody(const std::string& sql) {
    // The body is JSON, which is UTF-8: other bytes go out as they are, and
    // the service refuses the body.
    if (!isUtf8(sql)) return;
    const std::string stmt = backtickIdentifierQuotes(readable(sql, false));
    const std::vector<std::string> conf = {"vkl.a=" + sql, "b=c"};
    navixrest::SubmitJobReq req(stmt, sql, "q" + sql, conf);
    boost::property_tree::ptree root;
    navixrest::readJsonText(req.httpReq.body, root);
    FUZZ_CHECK(root.get<std::string>("sql") == stmt && root.get<std::string>("currentdb") == sql &&
                   root.get<std::string>("queue_name") == "q" + sql,
               "body reads back otherwise: " + req.httpReq.body);
    std::vector<std::string> back;
    for (const auto& entry : root.get_child("conf"))
        back.push_back(entry.second.data());
    FUZZ_CHECK(back == conf, "settings read back otherwise: " + req.httpReq.body);
}

void checkPattern(const std::string& pattern, bool ansi) {
    const std::string utf8 = utf8Of(pattern, ansi);
    const bool refused = utf8.find_first_of("'\\") != std::string::npos;
    if (!refused) {
        const std::string stmt = NavixTableResultSet::buildStatement(utf8);
        FUZZ_CHECK(occurrences(stmt, "'") == (utf8.empty() ? 0u : 2u), "literal broken: " + stmt);
    }
    ConnProperty prop;
    memset(&prop, 0, sizeof(prop));
    prop.charsetFlag = ansi ? 1 : 0;
    NavixConnection conn(&prop, "");
    NavixQueryResultSet* rs = NULL;
    DiagRecord record;
    memset(&record, 0x5A, sizeof(record));
    const int r = DBTables(&conn, pattern.c_str(), &rs, &record);
    checkRecord(record);
    FUZZ_CHECK(r == 1 && rs == NULL, "listed tables without a service");
    FUZZ_CHECK((strcmp(record.sqlState, "01000") == 0) == refused,
               refused ? "pattern with a quote not refused" : "pattern refused");
}

std::string percentDecoded(const std::string& segment) {
    std::string out;
    for (size_t i = 0; i < segment.size(); ++i) {
        const char c = segment[i];
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            out += c;
            continue;
        }
        FUZZ_CHECK(c == '%' && i + 2 < segment.size() && isxdigit((unsigned char)segment[i + 1]) &&
                       isxdigit((unsigned char)segment[i + 2]),
                   "not encoded: " + segment);
        out += (char)strtol(segment.substr(i + 1, 2).c_str(), NULL, 16);
        i += 2;
    }
    return out;
}

void checkDescribeUrl(const std::string& name) {
    const std::string table = name + "/x";
    navixrest::GetDescribeTableReq req(name, table);
    const std::string& url = req.httpReq.url;
    // A dot segment is refused, encoded or not; nothing else is.
    FUZZ_CHECK(req.refusal.empty() == !navixrest::isDotSegment(name), "refusal: " + req.refusal);
    if (!req.refusal.empty()) {
        FUZZ_CHECK(url.empty(), url);
        return;
    }
    const std::string head = "/databases/";
    FUZZ_CHECK(url.compare(0, head.size(), head) == 0, url);
    const size_t mid = url.find("/tables/", head.size());
    FUZZ_CHECK(mid != std::string::npos, url);
    const std::string db = url.substr(head.size(), mid - head.size());
    const std::string tb = url.substr(mid + 8);
    FUZZ_CHECK(db.find('/') == std::string::npos && tb.find('/') == std::string::npos, url);
    FUZZ_CHECK(percentDecoded(db) == name && percentDecoded(tb) == table,
               "names decode otherwise: " + url);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitProcess();
    // A double-byte code page: the second byte of a character may be a
    // quote, a backslash or a backtick.
    setenv("LC_ALL", "zh_CN.GBK", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The ODBC layer refuses a text with a NUL inside its length.
    std::string sql(reinterpret_cast<const char*>(data), size);
    sql.resize(strnlen(sql.c_str(), sql.size()));
    const bool ansi = (size & 1) != 0;
    checkConversion(sql);
    checkExecute(sql, ansi);
    checkSubmitBody(sql);
    checkPattern(sql, ansi);
    checkDescribeUrl(sql);
    return 0;
}
