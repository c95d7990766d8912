// Request paths and bodies, and the parse rules of the four responses.
#include <sstream>
#include <string>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "RestMessage.h"

namespace pt = boost::property_tree;
using namespace navixrest;

namespace {

// ----------------------------------------------------------------- requests

TEST(SubmitJobReqBody, EmptyConfGivesThreeMembersInOrder) {
    SubmitJobReq req("select 1", "db1", "default", std::vector<std::string>());
    EXPECT_EQ("{\"currentdb\":\"db1\",\"sql\":\"select 1\",\"queue_name\":\"default\"}\n",
              req.httpReq.body);
    EXPECT_EQ("/jobs/submit-job", req.httpReq.url);
    EXPECT_EQ(1, req.getMethod());
    EXPECT_TRUE(req.httpReq.headers.empty());
}

TEST(SubmitJobReqBody, EmptyDatabaseIsAnEmptyFirstMember) {
    SubmitJobReq req("show tables", "", "q1", std::vector<std::string>());
    EXPECT_EQ("{\"currentdb\":\"\",\"sql\":\"show tables\",\"queue_name\":\"q1\"}\n",
              req.httpReq.body);
}

TEST(SubmitJobReqBody, ConfIsAnArrayInListOrder) {
    std::vector<std::string> conf = {"vkl.b=2", "vkl.a=1", "x=\"y\""};
    SubmitJobReq req("s", "d", "q", conf);
    EXPECT_EQ(
        "{\"currentdb\":\"d\",\"sql\":\"s\",\"queue_name\":\"q\",\"conf\":[\"vkl.b=2\",\"vkl.a=1\","
        "\"x=\\\"y\\\"\"]}\n",
        req.httpReq.body);
}

TEST(SubmitJobReqBody, SpecialCharactersAreEscapedAndUtf8PassesThrough) {
    const std::string sql =
        "select \"a\\b\" /* x */\n\tfrom t where s = 'Gr\xc3\xbc\xc3\x9f\x65' \x01";
    SubmitJobReq req(sql, "db", "q", std::vector<std::string>());
    const std::string& body = req.httpReq.body;
    EXPECT_NE(std::string::npos, body.find("select \\\"a\\\\b\\\" \\/* x *\\/\\n\\tfrom t"));
    EXPECT_NE(std::string::npos, body.find("Gr\xc3\xbc\xc3\x9f\x65"));
    EXPECT_NE(std::string::npos, body.find("\\u0001"));
    EXPECT_EQ(std::string::npos, body.find('\t'));
    ASSERT_FALSE(body.empty());
    EXPECT_EQ('\n', body.back());
    EXPECT_EQ(1u, std::count(body.begin(), body.end(), '\n'));
    // Valid JSON that gives the text back unchanged.
    pt::ptree tree;
    std::istringstream in(body);
    ASSERT_NO_THROW(pt::read_json(in, tree));
    EXPECT_EQ(sql, tree.get<std::string>("sql"));
}

TEST(GetRequests, PathsAndMethods) {
    JobStatusReq status("abc");
    EXPECT_EQ("/jobs/abc/status", status.httpReq.url);
    EXPECT_EQ(0, status.getMethod());
    EXPECT_EQ("/jobs//status", JobStatusReq("").httpReq.url);

    GetJobResuleReq page("abc", 3);
    EXPECT_EQ("/jobs/abc?current-page=3&page-size=100", page.httpReq.url);
    EXPECT_EQ(0, page.getMethod());
    EXPECT_EQ("/jobs/abc?current-page=-2&page-size=100", GetJobResuleReq("abc", -2).httpReq.url);
    EXPECT_EQ("/jobs/j?current-page=120&page-size=100", GetJobResuleReq("j", 120).httpReq.url);
    // A job id from the service stays one path segment, whatever it holds.
    EXPECT_EQ("/jobs/..%2Fx%3Fa%3D1%23/status", JobStatusReq("../x?a=1#").httpReq.url);
    EXPECT_EQ("/jobs/a%2Fb?current-page=1&page-size=100", GetJobResuleReq("a/b", 1).httpReq.url);

    GetDescribeTableReq describe("db1", "t1");
    EXPECT_EQ("/databases/db1/tables/t1", describe.httpReq.url);
    EXPECT_EQ(0, describe.getMethod());

    for (const RestReq* r : std::vector<const RestReq*>{&status, &page, &describe}) {
        EXPECT_TRUE(r->httpReq.body.empty());
        EXPECT_TRUE(r->httpReq.headers.empty());
    }
}

// Each name stays one path segment: reserved characters, blanks, "%" and
// non-ASCII bytes go out as upper-case %XX; unreserved characters stay.
TEST(GetRequests, DescribeTableEncodesEachName) {
    EXPECT_EQ("/databases/a%2Fb/tables/c%3Fd", GetDescribeTableReq("a/b", "c?d").httpReq.url);
    EXPECT_EQ("/databases/my%20db/tables/t%231", GetDescribeTableReq("my db", "t#1").httpReq.url);
    EXPECT_EQ("/databases/db1/tables/100%25%2Bx%26y%3Dz",
              GetDescribeTableReq("db1", "100%+x&y=z").httpReq.url);
    // "ü" is C3 BC and "東" E6 9D B1 in UTF-8.
    EXPECT_EQ("/databases/M%C3%BCller/tables/%E6%9D%B1%20t",
              GetDescribeTableReq("Müller", "東 t").httpReq.url);
    EXPECT_EQ("/databases/AZaz09-._~/tables/t", GetDescribeTableReq("AZaz09-._~", "t").httpReq.url);
    // Every other printable ASCII character, and control bytes, are encoded.
    EXPECT_EQ("/databases/%21%22%24%27%28%29%2A%2C%3A%3B%3C%3E%40%5B%5C%5D%5E%60%7B%7C%7D/tables/"
              "%00%0A%7F%80%FF",
              GetDescribeTableReq("!\"$'()*,:;<>@[\\]^`{|}", std::string("\0\n\x7f\x80\xff", 5))
                  .httpReq.url);
    EXPECT_EQ("/databases//tables/", GetDescribeTableReq("", "").httpReq.url);
}

TEST(HttpReqHeaders, LinesInByteOrderWithoutBlanks) {
    HttpReq req;
    std::vector<std::string> lines;
    req.buildHeaderList(lines);
    EXPECT_TRUE(lines.empty());
    req.headers["Host"] = "h:1";
    req.headers["Content-Type"] = "application/json";
    req.headers["accept"] = "x";
    req.headers["X-Sdk-Date"] = " padded";
    req.buildHeaderList(lines);
    EXPECT_EQ((std::vector<std::string>{"Content-Type:application/json", "Host:h:1",
                                        "X-Sdk-Date: padded", "accept:x"}),
              lines);
}

// ---------------------------------------------------------------- responses

// Parses body the way RestApiProxy::call does after a 200.
template <class R> void parse(R& resp, const std::string& body) {
    resp.httpStatus = 200;
    resp.isSuccess = true;
    resp.httpResp.httpCode = 200;
    resp.httpResp.body = body;
    resp.parseSuccessRes();
}

TEST(SubmitJobRespParse, SynchronousRowsAndSchema) {
    SubmitJobResp r;
    parse(r, R"({"job_id":"j1","job_type":"QUERY","is_success":true,"message":"ok",
                 "schema":[{"id":"INT"},{"name":"STRING","extra":"ignored"}],
                 "rows":[[1,"a",null,true,2.50,"null"],["x"]]})");
    EXPECT_TRUE(r.isSuccess);
    EXPECT_EQ("j1", r.job_id);
    EXPECT_EQ("QUERY", r.job_type);
    EXPECT_EQ("ok", r.message);
    ASSERT_EQ(2u, r.schema.size());
    EXPECT_EQ("id", r.schema[0].name);
    EXPECT_EQ("INT", r.schema[0].type);
    EXPECT_EQ("name", r.schema[1].name);
    EXPECT_EQ("STRING", r.schema[1].type);
    EXPECT_TRUE(r.hasRows);
    ASSERT_EQ(2u, r.rows.size());
    // A JSON null is the NULL cell; the string "null" stays a text.
    EXPECT_EQ((ResultRow{"1", "a", std::string(kNullCell), "true", "2.50", "null"}), r.rows[0]);
    EXPECT_EQ((ResultRow{"x"}), r.rows[1]);
}

TEST(SubmitJobRespParse, RowsPresenceDecidesHasRows) {
    SubmitJobResp empty;
    parse(empty, R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","rows":[]})");
    EXPECT_TRUE(empty.hasRows);
    EXPECT_TRUE(empty.rows.empty());

    SubmitJobResp none;
    parse(none, R"({"job_id":"j","job_type":"DDL","is_success":"1","message":""})");
    EXPECT_TRUE(none.isSuccess);
    EXPECT_FALSE(none.hasRows);
    EXPECT_EQ("DDL", none.job_type);
}

TEST(SubmitJobRespParse, ServiceFailureStopsAfterMessage) {
    SubmitJobResp r;
    parse(r, R"({"job_id":"","job_type":"","is_success":false,"message":"table not found",
                 "schema":[{"a":"INT"}],"rows":[[1]]})");
    EXPECT_FALSE(r.isSuccess);
    EXPECT_EQ("table not found", r.message);
    EXPECT_TRUE(r.schema.empty());
    EXPECT_TRUE(r.rows.empty());
    EXPECT_FALSE(r.hasRows);
}

TEST(SubmitJobRespParse, UnreadableBodiesKeepEarlierValues) {
    LogCapture log;
    SubmitJobResp emptyBody;
    parse(emptyBody, "");
    EXPECT_TRUE(emptyBody.isSuccess);
    EXPECT_TRUE(emptyBody.job_id.empty());
    EXPECT_TRUE(log.contains("navixrest::SubmitJobResp::parseSuccessRes][Parser json error, "));

    SubmitJobResp trailing;
    parse(trailing, R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":""} x)");
    EXPECT_TRUE(trailing.job_id.empty());

    SubmitJobResp missingType;
    parse(missingType, R"({"job_id":"j9","is_success":false,"message":"m"})");
    EXPECT_EQ("j9", missingType.job_id);
    EXPECT_TRUE(missingType.isSuccess);
    EXPECT_TRUE(missingType.message.empty());

    for (const char* bad : {"\"yes\"", "\"TRUE\"", "2", "\"\"", "null"}) {
        SubmitJobResp r;
        parse(r, std::string(R"({"job_id":"j","job_type":"QUERY","is_success":)") + bad +
                     R"(,"message":"m","rows":[[1]]})");
        EXPECT_EQ("QUERY", r.job_type) << bad;
        EXPECT_TRUE(r.message.empty()) << bad; // the parse ended at "is_success"
        EXPECT_FALSE(r.hasRows) << bad;
    }
}

TEST(SubmitJobRespParse, OddSchemaAndRowElements) {
    SubmitJobResp r;
    parse(r, R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"",
                 "schema":[{"a":"INT"},{"b":"STRING"},{"c":null}],
                 "rows":[[1,null,"x"],[]]})");
    ASSERT_EQ(3u, r.schema.size());
    EXPECT_EQ("a", r.schema[0].name);
    EXPECT_EQ("b", r.schema[1].name);
    EXPECT_EQ("null", r.schema[2].type); // a type name, not a cell
    ASSERT_EQ(2u, r.rows.size());
    EXPECT_EQ((ResultRow{"1", std::string(kNullCell), "x"}), r.rows[0]);
    EXPECT_TRUE(r.rows[1].empty());
    // A cell that is an array or an object holds no value: the page is
    // unreadable, never a row with an empty text in its place.
    for (const char* rows : {"[[1,[2,3]]]", "[[1],[{\"k\":\"v\"}]]", "[[{}]]"}) {
        SubmitJobResp bad;
        bad.httpResp.body =
            std::string(
                R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","rows":)") +
            rows + "}";
        EXPECT_FALSE(bad.parseSuccessRes()) << rows;
        EXPECT_NE(std::string::npos, bad.error.text.find("is a JSON ")) << bad.error.text;
    }
}

// Only the cells of a result (rows, and the described columns' texts, which
// become the cells of SQLColumns) keep a JSON null apart from the string
// "null"; every other member reads null as the text "null", as it always did.
TEST(AnswerNulls, OnlyCellsKeepNullApartFromTheText) {
    const std::string null(kNullCell);
    SubmitJobResp submit;
    parse(submit, R"({"job_id":null,"job_type":"QUERY","is_success":true,"message":null,
                      "rows":[[null,"null"]]})");
    EXPECT_EQ("null", submit.job_id);
    EXPECT_EQ("null", submit.message);
    ASSERT_EQ(1u, submit.rows.size());
    EXPECT_EQ((ResultRow{null, "null"}), submit.rows[0]);

    JobStatusResp status;
    parse(status,
          R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","queue_name":null,
                      "owner":"null","status":null,"statement":[],"input_size":0,"result_count":0})");
    EXPECT_EQ("null", status.queue_name);
    EXPECT_EQ("null", status.owner);
    EXPECT_EQ("null", status.status);
    EXPECT_EQ("", status.statement);

    GetDescribeTableResp describe;
    parse(describe, R"({"column_count":2,"table_type":null,"columns":[
                        {"column_name":"null","type":"string","is_partition_column":false,"description":null},
                        {"column_name":null,"type":null,"is_partition_column":false,"description":"null"}]})");
    EXPECT_EQ("null", describe.table_type);
    ASSERT_EQ(2u, describe.columns.size());
    EXPECT_EQ("null", describe.columns[0].column_name);
    EXPECT_EQ(null, describe.columns[0].description);
    EXPECT_EQ(null, describe.columns[1].column_name);
    EXPECT_EQ(null, describe.columns[1].type);
    EXPECT_EQ("null", describe.columns[1].description);
}

// The whole text is checked as UTF-8 (RFC 3629) before it is parsed; a \u
// escape decodes to UTF-8, so no text can hold the marks of a null.
TEST(JsonText, OnlyWellFormedUtf8IsRead) {
    const struct {
        std::string inside; // the bytes of a JSON string's content
        bool ok;
        std::string text; // what the string reads as, when ok
    } cases[] = {
        {"abc", true, "abc"},
        {"M\xC3\xBCller", true, "M\xC3\xBCller"},
        {"\xE6\x9D\xB1\xE4\xBA\xAC", true, "\xE6\x9D\xB1\xE4\xBA\xAC"},
        {"\xF0\x9F\x98\x80", true, "\xF0\x9F\x98\x80"}, // U+1F600
        {"\xEF\xBF\xBF", true, "\xEF\xBF\xBF"},         // U+FFFF
        {"\xF4\x8F\xBF\xBF", true, "\xF4\x8F\xBF\xBF"}, // U+10FFFF
        {"\\u00FF", true, "\xC3\xBF"},
        {"\\uDBFF\\uDFFF", true, "\xF4\x8F\xBF\xBF"},
        {"\xC0\xAF", false, ""},             // overlong "/"
        {"\xC1\xBF", false, ""},             // overlong
        {"\xE0\x80\xAF", false, ""},         // overlong, three bytes
        {"\xF0\x80\x80\xAF", false, ""},     // overlong, four bytes
        {"\xED\xA0\x80", false, ""},         // surrogate U+D800
        {"\xED\xBF\xBF", false, ""},         // surrogate U+DFFF
        {"\xF4\x90\x80\x80", false, ""},     // U+110000
        {"\xF5\x80\x80\x80", false, ""},     // lead byte beyond U+10FFFF
        {"\xF8\x88\x80\x80\x80", false, ""}, // five bytes
        {"\xFF", false, ""},
        {"\xFE", false, ""},
        {"\x80", false, ""},     // lone continuation byte
        {"\xE2\x82", false, ""}, // cut short
        {"\xC3"
         "A",
         false, ""},            // continuation missing
        {"\\uD800", false, ""}, // lone surrogate escape
    };
    for (const auto& c : cases) {
        pt::ptree root;
        const std::string body = "{\"k\":\"" + c.inside + "\"}";
        try {
            readJsonText(body, root);
            EXPECT_TRUE(c.ok) << body;
            EXPECT_EQ(c.text, root.get<std::string>("k")) << body;
        } catch (const pt::ptree_error& e) {
            EXPECT_FALSE(c.ok) << body << ": " << e.what();
        }
        // The answers' reader checks the same way.
        SubmitJobResp r;
        r.httpResp.body = R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"",
                              "rows":[[")" +
                          c.inside + R"("]]})";
        EXPECT_EQ(c.ok, r.parseSuccessRes()) << body;
        if (c.ok) {
            ASSERT_EQ(1u, r.rows.size());
            EXPECT_EQ((ResultRow{c.text}), r.rows[0]);
        } else {
            EXPECT_EQ(CallError::UNREADABLE, r.error.kind);
        }
    }
}

const char* kStatusBody =
    R"({"job_id":"j2","job_type":"QUERY","is_success":true,"message":"","queue_name":"default",
        "owner":"emuuser","status":"RUNNING","statement":"select 1","input_size":12,"result_count":%s})";

std::string statusBody(const std::string& resultCount) {
    char buf[1024];
    snprintf(buf, sizeof buf, kStatusBody, resultCount.c_str());
    return buf;
}

TEST(JobStatusRespParse, AllMembers) {
    JobStatusResp r;
    parse(r, statusBody("3"));
    EXPECT_TRUE(r.isSuccess);
    EXPECT_EQ("j2", r.job_id);
    EXPECT_EQ("QUERY", r.job_type);
    EXPECT_EQ("default", r.queue_name);
    EXPECT_EQ("emuuser", r.owner);
    EXPECT_EQ("RUNNING", r.status);
    EXPECT_EQ("select 1", r.statement);
    EXPECT_EQ(12, r.input_size);
    EXPECT_EQ(3, r.result_count);
}

// Counts are read into 64 bits: a count beyond 2^31 is a count.
TEST(JobStatusRespParse, IntegerForms) {
    struct Case {
        const char* json;
        bool ok;
        int64_t value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"-5", true, -5},
        {"\"+7\"", true, 7},
        {"\"12 \"", true, 12},
        {"2147483647", true, 2147483647},
        {"2147483648", true, 2147483648LL},
        {"5000000000", true, 5000000000LL},
        {"-2147483649", true, -2147483649LL},
        {"9223372036854775807", true, INT64_MAX},
        {"-9223372036854775808", true, INT64_MIN},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"99999999999999999999", false, 0},
        {"1.5", false, 0},
        {"1e3", false, 0},
        {"\"\"", false, 0},
        {"\"-\"", false, 0},
        {"\"12a\"", false, 0},
        {"\" 12\"", false, 0},
        {"true", false, 0},
    };
    for (const Case& c : cases) {
        JobStatusResp r;
        r.httpResp.body = statusBody(c.json);
        EXPECT_EQ(c.ok, r.parseSuccessRes()) << c.json;
        EXPECT_EQ(c.value, r.result_count) << c.json;
        EXPECT_EQ(12, r.input_size) << c.json;
    }
}

TEST(JobStatusRespParse, FailureKeepsWhatWasRead) {
    JobStatusResp big;
    parse(big, R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","queue_name":"q",
                   "owner":"o","status":"FINISHED","statement":"s","input_size":9223372036854775808,"result_count":1})");
    EXPECT_EQ("q", big.queue_name);
    EXPECT_EQ("o", big.owner);
    EXPECT_EQ("FINISHED", big.status);
    EXPECT_EQ("s", big.statement);
    EXPECT_EQ(0, big.input_size);
    EXPECT_EQ(0, big.result_count);

    JobStatusResp noOwner;
    parse(noOwner,
          R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","queue_name":"q",
                       "status":"FINISHED","statement":"s","input_size":1,"result_count":1})");
    EXPECT_TRUE(noOwner.isSuccess);
    EXPECT_EQ("q", noOwner.queue_name);
    EXPECT_TRUE(noOwner.status.empty());

    JobStatusResp refused;
    parse(refused, R"({"job_id":"j","job_type":"QUERY","is_success":"0","message":"no such job"})");
    EXPECT_FALSE(refused.isSuccess);
    EXPECT_EQ("no such job", refused.message);
    EXPECT_TRUE(refused.status.empty());
}

TEST(GetJobResuleRespParse, PageKeepsCountsAsSent) {
    GetJobResuleResp r;
    parse(r, R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","input_size":0,
                 "row_count":250,"schema":[{"n":"BIGINT"}],"rows":[["1"],["2"]]})");
    EXPECT_EQ(250, r.row_count);
    ASSERT_EQ(1u, r.schema.size());
    EXPECT_EQ("BIGINT", r.schema[0].type);
    ASSERT_EQ(2u, r.rows.size());
    EXPECT_EQ("2", r.rows[1][0]);
}

TEST(GetJobResuleRespParse, SchemaAndRowsAreRequired) {
    LogCapture log;
    GetJobResuleResp noSchema;
    parse(noSchema,
          R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","input_size":0,
                        "row_count":1,"rows":[["1"]]})");
    EXPECT_EQ(1, noSchema.row_count);
    EXPECT_TRUE(noSchema.rows.empty());
    EXPECT_TRUE(log.contains("navixrest::GetJobResuleResp::parseSuccessRes][Parser json error, "));

    GetJobResuleResp noRows;
    parse(noRows, R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","input_size":0,
                      "row_count":1,"schema":[{"a":"INT"}]})");
    EXPECT_EQ(1u, noRows.schema.size());
    EXPECT_TRUE(noRows.rows.empty());
}

TEST(GetDescribeTableRespParse, ColumnsAndLenientCounts) {
    GetDescribeTableResp r;
    parse(r, R"({"column_count":5,"table_type":"MANAGED","message":"not read","columns":[
                 {"column_name":"id","type":"INT","is_partition_column":false,"description":"key"},
                 {"column_name":"dt","type":"STRING","is_partition_column":"true","description":""}]})");
    EXPECT_TRUE(r.isSuccess);
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(5, r.column_count);
    EXPECT_EQ("MANAGED", r.table_type);
    ASSERT_EQ(2u, r.columns.size());
    EXPECT_EQ("id", r.columns[0].column_name);
    EXPECT_EQ("INT", r.columns[0].type);
    EXPECT_FALSE(r.columns[0].is_partition_column);
    EXPECT_EQ("key", r.columns[0].description);
    EXPECT_TRUE(r.columns[1].is_partition_column);
}

TEST(GetDescribeTableRespParse, IncompleteColumnEndsTheParse) {
    LogCapture log;
    GetDescribeTableResp r;
    parse(r, R"({"column_count":3,"table_type":"T","columns":[
                 {"column_name":"a","type":"INT","is_partition_column":false,"description":"x"},
                 {"column_name":"b","type":"INT","is_partition_column":false},
                 {"column_name":"c","type":"INT","is_partition_column":false,"description":"z"}]})");
    ASSERT_EQ(1u, r.columns.size());
    EXPECT_EQ("a", r.columns[0].column_name);
    EXPECT_TRUE(
        log.contains("navixrest::GetDescribeTableResp::parseSuccessRes][Parser json error, "));

    GetDescribeTableResp badFlag;
    parse(badFlag, R"({"column_count":1,"table_type":"T","columns":[
                       {"column_name":"a","type":"INT","is_partition_column":"no","description":"x"}]})");
    EXPECT_TRUE(badFlag.columns.empty());

    // A column's texts become cells: one that is an object is no text.
    GetDescribeTableResp nested;
    nested.httpResp.body = R"({"column_count":1,"table_type":"T","columns":[
        {"column_name":{"x":1},"type":"INT","is_partition_column":false,"description":"x"}]})";
    EXPECT_FALSE(nested.parseSuccessRes());
    EXPECT_EQ("column 1's column_name is a JSON object, not a value", nested.error.text);
}

TEST(JsonNesting, DeepBodyIsRefusedWithoutExhaustingTheStack) {
    LogCapture log;
    SubmitJobResp deep;
    parse(deep, std::string(1000000, '[') + std::string(1000000, ']'));
    EXPECT_TRUE(deep.isSuccess);
    EXPECT_TRUE(deep.job_id.empty());
    EXPECT_TRUE(log.contains("navixrest::SubmitJobResp::parseSuccessRes][Parser json error, "));

    // Brackets inside strings (after an escaped quote too) do not count, and
    // a member nested a few levels is still read past.
    SubmitJobResp ok;
    parse(ok, "{\"job_id\":\"j\",\"job_type\":\"QUERY\",\"is_success\":true,\"message\":\"\\\"" +
                  std::string(200, '[') + "\",\"extra\":[[[[[[[[[[2]]]]]]]]]],\"rows\":[[1,2]]}");
    EXPECT_EQ("j", ok.job_id);
    EXPECT_EQ("\"" + std::string(200, '['), ok.message);
    ASSERT_EQ(1u, ok.rows.size());
    EXPECT_EQ((ResultRow{"1", "2"}), ok.rows[0]);
}

// A success status whose body cannot be read is a failure of the parse, with
// the reader's error: never a successful, empty answer.
TEST(UnreadableAnswers, EveryReaderReportsItsError) {
    enum Which { SUBMIT, STATUS, PAGE, DESCRIBE };
    const std::string page =
        R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","input_size":0,)";
    const struct {
        Which which;
        std::string body;
        const char* error; // part of the reader's error
    } cases[] = {
        {SUBMIT, "<html><body>502 Bad Gateway</body></html>", "at line 1"},
        {STATUS, "", "at line 1"},
        {PAGE, page + R"("row_count":2,"schema":[{"a":"INT"}],"rows":[[1],)", "at line 1"},
        {DESCRIBE, "{\"column_count\":1,\n\"table_type\":\"T\",\n\"columns\":[", "at line 3"},
        {SUBMIT,
         "{\"job_id\":\"\xff\xfe\",\"job_type\":\"QUERY\",\"is_success\":true,\"message\":\"\"}",
         "invalid UTF-8 at line 1"},
        {STATUS, "{\"job_id\":\"j\",\n\"job_type\":\"\xc0\xaf\"}", "invalid UTF-8 at line 2"},
        // Rows and schema must be arrays, each row too: read as no rows they
        // would end a result early as if it were complete.
        {PAGE, page + R"("row_count":250,"schema":[],"rows":{}})", "rows is not an array"},
        {PAGE, page + R"("row_count":250,"schema":[],"rows":"garbage"})", "rows is not an array"},
        {PAGE, page + R"("row_count":250,"schema":[],"rows":null})", "rows is not an array"},
        {PAGE, page + R"("row_count":250,"schema":[],"rows":""})", "rows is not an array"},
        {PAGE, page + R"("row_count":250,"schema":[],"rows":{"a":[1]}})", "rows is not an array"},
        {PAGE, page + R"("row_count":2,"schema":[],"rows":[[1],7]})", "row 2 is not an array"},
        {PAGE, page + R"("row_count":1,"schema":[],"rows":[{"a":1}]})", "row 1 is not an array"},
        {PAGE, page + R"("row_count":1,"schema":{},"rows":[[1]]})", "schema is not an array"},
        {PAGE, page + R"("row_count":1,"schema":"x","rows":[[1]]})", "schema is not an array"},
        // A schema entry is a name and a type that is a value, or no column.
        {PAGE, page + R"("row_count":0,"schema":[{"a":"INT"},{}],"rows":[]})",
         "schema entry 2 is not a column's name and type"},
        {PAGE, page + R"("row_count":0,"schema":["INT"],"rows":[]})",
         "schema entry 1 is not a column's name and type"},
        {PAGE, page + R"("row_count":0,"schema":[{"a":{"t":"INT"}}],"rows":[]})",
         "schema entry 1's type is a JSON object, not a value"},
        {SUBMIT, R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","rows":{}})",
         "rows is not an array"},
        {SUBMIT,
         R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","schema":null})",
         "schema is not an array"},
        {DESCRIBE, R"({"column_count":1,"table_type":"T","columns":{}})",
         "columns is not an array"},
        {PAGE, std::string(100, '[') + std::string(100, ']'), "nesting too deep"},
        {PAGE, page + R"("row_count":9223372036854775808,"schema":[],"rows":[]})", "row_count"},
        {DESCRIBE, R"({"column_count":99999999999999999999,"table_type":"T","columns":[]})",
         "column_count"},
        {SUBMIT, R"({"job_type":"QUERY","is_success":true,"message":""})", "No such node (job_id)"},
        {STATUS,
         R"({"job_id":"j","job_type":"QUERY","is_success":true,"message":"","queue_name":"q",
                    "owner":"o","statement":"s","input_size":0,"result_count":0})",
         "No such node (status)"},
        {PAGE, page + R"("row_count":1,"rows":[[1]]})", "No such node (schema)"},
        {PAGE, page + R"("row_count":1,"schema":[]})", "No such node (rows)"},
        {DESCRIBE, R"({"column_count":0,"table_type":"T"})", "No such node (columns)"},
        {STATUS, R"({"job_id":"j"} {"job_id":"k"})", "at line 1"},
    };
    for (const auto& c : cases) {
        SubmitJobResp submit;
        JobStatusResp status;
        GetJobResuleResp result;
        GetDescribeTableResp describe;
        RestResp* resp = c.which == SUBMIT   ? static_cast<RestResp*>(&submit)
                         : c.which == STATUS ? static_cast<RestResp*>(&status)
                         : c.which == PAGE   ? static_cast<RestResp*>(&result)
                                             : static_cast<RestResp*>(&describe);
        resp->httpResp.body = c.body;
        EXPECT_FALSE(resp->parseSuccessRes()) << c.body.substr(0, 80);
        EXPECT_EQ(CallError::UNREADABLE, resp->error.kind) << c.body.substr(0, 80);
        EXPECT_NE(std::string::npos, resp->error.text.find(c.error)) << resp->error.text;
    }
    // A service refusal is read, not unreadable.
    SubmitJobResp refused;
    refused.httpResp.body = R"({"job_id":"","job_type":"","is_success":false,"message":"no"})";
    EXPECT_TRUE(refused.parseSuccessRes());
    EXPECT_EQ(CallError::NONE, refused.error.kind);
}

} // namespace
