// Result sets without a service: getters, row advance, SET/USE handling,
// statement preparation and the catalog sets' own rows.
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ClientTestSupport.h"
#include "ClientText.h"
#include "NavixConnection.h"
#include "NavixResultSet.h"
#include "RestMessage.h"
#include "navixclient.h"

using clienttest::EnvGuard;
using clienttest::LogSpy;
using clienttest::makeProperty;

namespace {

// A result set holding the given columns and one current row.
std::unique_ptr<NavixQueryResultSet>
withRow(const std::vector<std::pair<std::string, std::string>>& cols, const NavixRow& row) {
    std::unique_ptr<NavixQueryResultSet> rs(new NavixQueryResultSet());
    for (const auto& c : cols) {
        rs->m_columns.push_back(new ColumnDesc(c.first, c.second));
    }
    rs->m_icolNum = (uint32_t)rs->m_columns.size();
    rs->m_ResultRows.push_back(row);
    rs->m_irowNum = 1;
    EXPECT_EQ(0, rs->fetchNext());
    return rs;
}

std::string text(NavixQueryResultSet* rs, uint32_t col, uint32_t size = 64, int32_t* len = nullptr,
                 int32_t* isNull = nullptr, int* ret = nullptr) {
    std::vector<char> buf(size + 1, 'X');
    int32_t l = -1, n = -1;
    int r = DBGetFieldAsCString(rs, col, buf.data(), size, &l, &n);
    if (len) *len = l;
    if (isNull) *isNull = n;
    if (ret) *ret = r;
    return r == 0 ? std::string(buf.data()) : std::string("<fail>");
}

struct UtcZone {
    EnvGuard tz{"TZ", "UTC"};
};

} // namespace

// A JSON null is NULL through every getter; the text "null" is a text.
TEST(ResultGetters, NullCellThroughEveryGetter) {
    const struct {
        std::string cell;
        int32_t isNull;
    } cases[] = {{std::string(navixrest::kNullCell), 1}, {"null", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.isNull ? "JSON null" : "the text null");
        auto rs = withRow({{"a", "STRING"}}, {c.cell});
        int32_t len, isNull;
        EXPECT_EQ("nu", text(rs.get(), 0, 3, &len, &isNull));
        EXPECT_EQ(2, len);
        EXPECT_EQ(c.isNull, isNull);
        EXPECT_EQ("null", text(rs.get(), 0, 64, &len, &isNull));
        EXPECT_EQ(4, len);

        double d = 9;
        int32_t i = 9, n = -1;
        int8_t b = 9;
        uint32_t u = 9;
        int64_t l = 9;
        uint64_t ul = 9;
        EXPECT_EQ(0, DBGetFieldAsDouble(rs.get(), 0, &d, &n));
        EXPECT_EQ(0.0, d);
        EXPECT_EQ(c.isNull, n);
        n = -1;
        EXPECT_EQ(0, DBGetFieldAsInt(rs.get(), 0, &i, &n));
        EXPECT_EQ(0, i);
        EXPECT_EQ(c.isNull, n);
        n = -1;
        i = 9;
        EXPECT_EQ(0, DBGetFieldAsLong(rs.get(), 0, &i, &n));
        EXPECT_EQ(0, i);
        EXPECT_EQ(c.isNull, n);
        n = -1;
        EXPECT_EQ(0, DBGetFieldAsI8(rs.get(), 0, &b, &n));
        EXPECT_EQ(0, b);
        EXPECT_EQ(c.isNull, n);
        n = -1;
        EXPECT_EQ(0, DBGetFieldAsULong(rs.get(), 0, &u, &n));
        EXPECT_EQ(0u, u);
        EXPECT_EQ(c.isNull, n);
        n = -1;
        EXPECT_EQ(0, DBGetFieldAsI64(rs.get(), 0, &l, &n));
        EXPECT_EQ(0, l);
        EXPECT_EQ(c.isNull, n);
        n = -1;
        EXPECT_EQ(0, DBGetFieldAsI64U(rs.get(), 0, &ul, &n));
        EXPECT_EQ(0u, ul);
        EXPECT_EQ(c.isNull, n);
    }
}

TEST(ResultGetters, BooleanCellsReadAsOneOrZeroThroughEveryNumericGetter) {
    auto rs =
        withRow({{"t", "BOOLEAN"}, {"f", "boolean"}, {"T", "BOOLEAN"}}, {"true", "false", "TRUE"});
    const int expected[3] = {1, 0, 0};
    for (uint32_t c = 0; c < 3; ++c) {
        int32_t n = -1, i = -1;
        int8_t b = -1;
        uint32_t u = 99;
        int64_t l = -1;
        uint64_t ul = 99;
        double d = -1;
        EXPECT_EQ(0, DBGetFieldAsInt(rs.get(), c, &i, &n));
        EXPECT_EQ(expected[c], i) << c;
        EXPECT_EQ(0, n);
        EXPECT_EQ(0, DBGetFieldAsLong(rs.get(), c, &i, &n));
        EXPECT_EQ(expected[c], i) << c;
        EXPECT_EQ(0, DBGetFieldAsI8(rs.get(), c, &b, &n));
        EXPECT_EQ(expected[c], b) << c;
        EXPECT_EQ(0, DBGetFieldAsULong(rs.get(), c, &u, &n));
        EXPECT_EQ((uint32_t)expected[c], u) << c;
        EXPECT_EQ(0, DBGetFieldAsI64(rs.get(), c, &l, &n));
        EXPECT_EQ(expected[c], l) << c;
        EXPECT_EQ(0, DBGetFieldAsI64U(rs.get(), c, &ul, &n));
        EXPECT_EQ((uint64_t)expected[c], ul) << c;
        EXPECT_EQ(0, DBGetFieldAsDouble(rs.get(), c, &d, &n));
        EXPECT_EQ(expected[c], d) << c;
    }
    // As text the cell is unchanged.
    EXPECT_EQ("true", text(rs.get(), 0));
}

TEST(ResultGetters, NumericConversionsFollowTheCLibraryRules) {
    auto rs =
        withRow({{"a", "STRING"},
                 {"b", "INT"},
                 {"c", "BIGINT"},
                 {"d", "DOUBLE"},
                 {"e", "STRING"},
                 {"f", "STRING"},
                 {"g", "STRING"}},
                {" 42abc", "-1", "-9223372036854775808", "2.50", "abc", "99999999999", "300"});
    int32_t n, i;
    int8_t b;
    uint32_t u;
    int64_t l;
    uint64_t ul;
    double d;
    EXPECT_EQ(0, DBGetFieldAsInt(rs.get(), 0, &i, &n));
    EXPECT_EQ(42, i);
    EXPECT_EQ(0, DBGetFieldAsULong(rs.get(), 1, &u, &n));
    EXPECT_EQ(4294967295u, u);
    EXPECT_EQ(0, DBGetFieldAsI64(rs.get(), 2, &l, &n));
    EXPECT_EQ(INT64_MIN, l);
    EXPECT_EQ(0, DBGetFieldAsDouble(rs.get(), 3, &d, &n));
    EXPECT_DOUBLE_EQ(2.5, d);
    EXPECT_EQ(0, DBGetFieldAsInt(rs.get(), 4, &i, &n));
    EXPECT_EQ(0, i);
    EXPECT_EQ(0, n);
    // Out of the 32-bit range: saturated, never undefined.
    EXPECT_EQ(0, DBGetFieldAsLong(rs.get(), 5, &i, &n));
    EXPECT_EQ(INT32_MAX, i);
    EXPECT_EQ(0, DBGetFieldAsULong(rs.get(), 5, &u, &n));
    EXPECT_EQ(UINT32_MAX, u);
    EXPECT_EQ(0, DBGetFieldAsI64U(rs.get(), 5, &ul, &n));
    EXPECT_EQ(99999999999ull, ul);
    // The 8-bit getter keeps the low byte.
    EXPECT_EQ(0, DBGetFieldAsI8(rs.get(), 6, &b, &n));
    EXPECT_EQ(44, b);
    EXPECT_EQ(0, DBGetFieldAsI8(rs.get(), 1, &b, &n));
    EXPECT_EQ(-1, b);

    // Exponent and fraction forms are read as the numbers they are.
    auto more =
        withRow({{"a", "DOUBLE"}, {"b", "DOUBLE"}, {"c", "DOUBLE"}}, {"2.5e3", "1e30", "-2.5e-10"});
    EXPECT_EQ(0, DBGetFieldAsInt(more.get(), 0, &i, &n));
    EXPECT_EQ(2500, i);
    EXPECT_EQ(0, DBGetFieldAsI64(more.get(), 1, &l, &n));
    EXPECT_EQ(INT64_MAX, l);
    EXPECT_EQ(0, DBGetFieldAsLong(more.get(), 2, &i, &n));
    EXPECT_EQ(0, i);
    EXPECT_EQ(0, DBGetFieldAsDouble(more.get(), 2, &d, &n));
    EXPECT_EQ(-2.5e-10, d);
}

TEST(ResultGetters, TextIsCutToTheBuffer) {
    auto rs = withRow({{"a", "STRING"}, {"b", "INT"}}, {"abcdef", "12345"});
    int32_t len;
    EXPECT_EQ("abc", text(rs.get(), 0, 4, &len));
    EXPECT_EQ(3, len);
    EXPECT_EQ("", text(rs.get(), 0, 1, &len));
    EXPECT_EQ(0, len);
    EXPECT_EQ("abcdef", text(rs.get(), 0, 7, &len));
    EXPECT_EQ(6, len);
    EXPECT_EQ("12", text(rs.get(), 1, 3, &len));
    EXPECT_EQ(2, len);
}

TEST(ResultGetters, ArgumentChecksWriteNothing) {
    LogSpy log;
    auto rs = withRow({{"a", "STRING"}}, {"x"});
    char buf[8] = "keep";
    int32_t len = 77, n = 77, v = 77;
    EXPECT_EQ(1, DBGetFieldAsCString(rs.get(), 0, nullptr, 8, &len, &n));
    EXPECT_EQ(1, DBGetFieldAsCString(rs.get(), 0, buf, 8, &len, nullptr));
    EXPECT_EQ(1, DBGetFieldAsCString(rs.get(), 0, buf, 0, &len, &n));
    EXPECT_EQ(1, DBGetFieldAsCString(rs.get(), 0, buf, 8, nullptr, &n));
    EXPECT_EQ(1, DBGetFieldAsInt(rs.get(), 0, nullptr, &n));
    EXPECT_EQ(1, DBGetFieldAsInt(rs.get(), 0, &v, nullptr));
    EXPECT_STREQ("keep", buf);
    EXPECT_EQ(77, len);
    EXPECT_EQ(77, n);
    EXPECT_EQ(77, v);
    EXPECT_EQ(2u, log.count("Column data output buffer cannot be NULL.", clienttest::kLevelError));
    EXPECT_EQ(1u, log.count("Output buffer cannot have a size of zero.", clienttest::kLevelError));
}

TEST(ResultGetters, IndexOutsideColumnsOrRowAnswersOne) {
    LogSpy log;
    auto rs = withRow({{"a", "STRING"}, {"b", "INT"}}, {"only"}); // row shorter than the columns
    int32_t v = 77, n = 77, len = 77;
    EXPECT_EQ(1, DBGetFieldAsInt(rs.get(), 2, &v, &n)); // index == column count
    EXPECT_EQ(1, DBGetFieldAsInt(rs.get(), 1, &v, &n)); // missing cell
    EXPECT_EQ(1, DBGetFieldAsInt(rs.get(), UINT32_MAX, &v, &n));
    EXPECT_EQ(77, v);
    char buf[8];
    EXPECT_EQ(1, DBGetFieldAsCString(rs.get(), 1, buf, 8, &len, &n));
    EXPECT_EQ(1, DBGetFieldAsCString(rs.get(), 5, buf, 8, &len, &n));
    EXPECT_EQ(5u, log.count("Column index out of bounds.", clienttest::kLevelError));
    // The virtual column operations answer an empty text or code 0.
    EXPECT_EQ("", rs->getColumnName(2));
    EXPECT_EQ("", rs->getColumnTypeName(99));
    EXPECT_EQ(CLIENT_TYPE_UNKNOWN, rs->getColumnType(2));
    EXPECT_TRUE(NavixQueryResultSet::isMissingCell(rs->getField(1)));
    EXPECT_EQ("only", rs->getField(0));
}

TEST(ResultGetters, TimestampIsLocalTimeOfWholeSeconds) {
    UtcZone utc;
    auto rs = withRow({{"ts", "TIMESTAMP"},
                       {"old", "timestamp"},
                       {"late", "TIMESTAMP"},
                       {"short", "TIMESTAMP"},
                       {"neg", "TIMESTAMP"}},
                      {"1700000000123", "-86400000", "4102444800999", "12", "-1"});
    int32_t len, isNull;
    EXPECT_EQ("2023-11-14 22:13:20", text(rs.get(), 0, 64, &len, &isNull));
    EXPECT_EQ(19, len);
    EXPECT_EQ(0, isNull);
    // A small buffer gets the text cut like any other.
    EXPECT_EQ("2023-11-14 22:13:2", text(rs.get(), 0, 19, &len));
    EXPECT_EQ(18, len);
    EXPECT_EQ("2023-11-1", text(rs.get(), 0, 10, &len));
    EXPECT_EQ(9, len);
    EXPECT_EQ("2023-11-14 22:13:20", text(rs.get(), 0, 20, &len));
    EXPECT_EQ(19, len);
    // Before 1970 and after 2038.
    EXPECT_EQ("1969-12-31 00:00:00", text(rs.get(), 1));
    EXPECT_EQ("2100-01-01 00:00:00", text(rs.get(), 2));
    // Short cells are milliseconds too.
    EXPECT_EQ("1970-01-01 00:00:00", text(rs.get(), 3));
    EXPECT_EQ("1969-12-31 23:59:59", text(rs.get(), 4));
}

TEST(ResultGetters, TimestampThatIsNoNumberIsRefused) {
    UtcZone utc;
    auto rs = withRow({{"ts", "TIMESTAMP"}, {"n", "TIMESTAMP"}, {"t", "TIMESTAMP"}},
                      {"yesterday", std::string(navixrest::kNullCell), "null"});
    int ret = 0;
    EXPECT_EQ("<fail>", text(rs.get(), 0, 64, nullptr, nullptr, &ret));
    EXPECT_EQ(1, ret);
    int32_t isNull = 0;
    EXPECT_EQ("null", text(rs.get(), 1, 64, nullptr, &isNull));
    EXPECT_EQ(1, isNull);
    ret = 0;
    EXPECT_EQ("<fail>", text(rs.get(), 2, 64, nullptr, nullptr, &ret));
    EXPECT_EQ(1, ret);
}

TEST(ResultGetters, TimestampBeforeNineteenSeventyKeepsItsSecondAndDate) {
    // Milliseconds before 1970 belong to the earlier whole second: half a
    // second before midnight is still 1969, not 1970-01-01 00:00:00.
    UtcZone utc;
    auto rs =
        withRow({{"a", "TIMESTAMP"}, {"b", "TIMESTAMP"}, {"c", "TIMESTAMP"}, {"d", "TIMESTAMP"}},
                {"-500", "-1500", "-86400001", "-2000"});
    EXPECT_EQ("1969-12-31 23:59:59", text(rs.get(), 0));
    EXPECT_EQ("1969-12-31 23:59:58", text(rs.get(), 1));
    EXPECT_EQ("1969-12-30 23:59:59", text(rs.get(), 2));
    EXPECT_EQ("1969-12-31 23:59:58", text(rs.get(), 3)); // whole seconds stay
}

TEST(ResultGetters, TimestampFollowsTheProcessTimeZone) {
    EnvGuard tz("TZ", "Europe/Berlin");
    auto rs = withRow({{"ts", "TIMESTAMP"}}, {"1700000000000"});
    EXPECT_EQ("2023-11-14 23:13:20", text(rs.get(), 0));
}

TEST(ResultGetters, TextCellsConvertToTheAnsiCodePageWhenAsked) {
    EnvGuard lc("LC_ALL", "en_US.CP1252");
    ConnProperty p = makeProperty();
    p.charsetFlag = 1;
    NavixConnection conn(&p, "");
    auto rs = withRow(
        {{"s", "STRING"}, {"v", "VARCHAR"}, {"c", "CHAR"}, {"i", "INT"}, {"cut", "STRING"}},
        {"caf\xC3\xA9", "\xC3\xA9", "\xE2\x82\xAC", "\xC3\xA9", "\xC3\xA9\xC3\xA9\xC3\xA9"});
    rs->m_conn = &conn;
    int32_t len;
    EXPECT_EQ("caf\xE9", text(rs.get(), 0, 64, &len));
    EXPECT_EQ(4, len);
    EXPECT_EQ("\xE9", text(rs.get(), 1));
    EXPECT_EQ("\x80", text(rs.get(), 2));
    EXPECT_EQ("\xC3\xA9", text(rs.get(), 3)); // not a text type: unchanged

    // The ANSI form with its NUL needs 4 bytes: the UTF-8 bytes are cut instead.
    LogSpy log;
    EXPECT_EQ("\xC3\xA9", text(rs.get(), 4, 3, &len));
    EXPECT_EQ(2, len);
    EXPECT_EQ(1u, log.count("get C string ConvertUTF82ANSI failed!", clienttest::kLevelError));
    log.clear();
    conn.connProperty.charsetFlag = 0;
    EXPECT_EQ("\xC3\xA9", text(rs.get(), 4, 3, &len));
    EXPECT_EQ("\xC3\xA9\xC3\xA9\xC3\xA9", text(rs.get(), 4));
    EXPECT_EQ(0u, log.count("ConvertUTF82ANSI"));
}

// ---------------------------------------------------------------------------
// Row advance

TEST(ResultRows, AdvanceEndsAtTheRowCountWithoutAskingTheService) {
    NavixQueryResultSet rs;
    rs.m_columns.push_back(new ColumnDesc("n", "INT"));
    rs.m_icolNum = 1;
    for (int i = 0; i < 30; ++i) {
        rs.m_ResultRows.push_back({std::to_string(i)});
    }
    rs.m_irowNum = 30;
    rs.m_jobId = "job-without-connection"; // a page request would fail with 1
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(0, DBFetch(&rs)) << i;
        EXPECT_EQ(std::to_string(i), rs.getField(0));
    }
    LogSpy log;
    EXPECT_EQ(2, DBFetch(&rs));
    EXPECT_EQ(2, DBFetch(&rs));
    EXPECT_EQ(2u, log.count("Have fetch all rows."));
    int32_t has = -1;
    EXPECT_EQ(0, DBHasResults(&rs, &has));
    EXPECT_EQ(1, has);
}

TEST(ResultRows, FailedPageRequestKeepsTheCurrentRow) {
    NavixQueryResultSet rs;
    rs.m_columns.push_back(new ColumnDesc("n", "INT"));
    rs.m_icolNum = 1;
    rs.m_ResultRows.push_back({"last"});
    rs.m_irowNum = 150;
    rs.m_jobId = "job-1";
    ASSERT_EQ(0, rs.fetchNext());
    EXPECT_EQ(1, rs.fetchNext()); // no connection to ask for page 2
    EXPECT_EQ(1, rs.fetchNext());
    EXPECT_EQ("last", rs.getField(0));
    EXPECT_EQ(1u, rs.m_fetch_idx);
}

TEST(ResultRows, BuiltRowsWithoutAJobEndWithoutPaging) {
    // A row count larger than the rows held, and no job to page from.
    NavixQueryResultSet rs;
    rs.m_ResultRows.push_back({"a"});
    rs.m_irowNum = 5;
    EXPECT_EQ(0, rs.fetchNext());
    EXPECT_EQ(2, rs.fetchNext());
}

TEST(ResultRows, EmptyResultAndNullArguments) {
    LogSpy log;
    NavixQueryResultSet rs;
    int32_t has = -1, count = -1;
    EXPECT_EQ(1, DBHasResults(&rs, &has));
    EXPECT_EQ(0, has);
    EXPECT_EQ(1u, log.count("m_irowNum == 0", clienttest::kLevelError));
    EXPECT_EQ(2, DBFetch(&rs));
    EXPECT_EQ(1u, log.count("Row number = 0."));
    EXPECT_EQ(1, rs.hasResults(nullptr));
    EXPECT_EQ(0, DBGetColumnCount(&rs, &count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(1, DBGetColumnCount(&rs, nullptr));

    EXPECT_EQ(1, DBFetch(nullptr));
    EXPECT_EQ(1, DBHasResults(nullptr, &has));
    EXPECT_EQ(1, DBGetColumnCount(nullptr, &count));
    int32_t v, n, len;
    char buf[4];
    EXPECT_EQ(1, DBGetFieldAsInt(nullptr, 0, &v, &n));
    EXPECT_EQ(1, DBGetFieldAsCString(nullptr, 0, buf, 4, &len, &n));
    EXPECT_EQ(5u, log.count("Vorn resultset cannot be NULL.", clienttest::kLevelError));
}

TEST(ResultJobFlow, SynchronousAnswerIsUsedOnlyWhenItCarriesRows) {
    // No REST proxy: taking the polling path fails at once with "get job
    // status error", which tells the two paths apart.
    ConnProperty p = makeProperty();
    NavixConnection conn(&p, "vkl.sql.syncMode.enabled=true");
    ASSERT_TRUE(conn.syncMode);
    navixrest::SubmitJobResp resp;
    resp.job_id = "job-1";
    resp.job_type = "QUERY";
    {
        LogSpy log;
        NavixQueryResultSet rs;
        rs.m_conn = &conn;
        resp.hasRows = false;
        EXPECT_EQ(1, rs.procQueryStatement(resp));
        EXPECT_EQ(1u,
                  log.count("procQueryStatement][get job status error", clienttest::kLevelError));
    }
    {
        LogSpy log;
        NavixQueryResultSet rs;
        rs.m_conn = &conn;
        resp.hasRows = true; // present but empty: no rows, yet the columns it describes
        resp.schema.push_back(navixrest::SchemaField{"n", "INT"});
        EXPECT_EQ(2, rs.procQueryStatement(resp));
        EXPECT_EQ(1u, log.count("Do not have result."));
        ASSERT_EQ(1u, rs.m_columns.size());
        EXPECT_EQ(1u, rs.m_icolNum);
        EXPECT_EQ(2, rs.fetchNext());
    }
    {
        NavixQueryResultSet rs;
        rs.m_conn = &conn;
        resp.rows = {{"1"}, {"2"}};
        EXPECT_EQ(0, rs.procQueryStatement(resp));
        EXPECT_EQ(1u, rs.m_icolNum);
        EXPECT_EQ(2u, rs.m_irowNum);
        EXPECT_EQ(0, rs.fetchNext());
        EXPECT_EQ(0, rs.fetchNext());
        EXPECT_EQ("2", rs.getField(0));
        EXPECT_EQ(2, rs.fetchNext());
    }
    {
        // The same answer without synchronous mode is polled.
        LogSpy log;
        conn.syncMode = false;
        NavixQueryResultSet rs;
        rs.m_conn = &conn;
        EXPECT_EQ(1, rs.procQueryStatement(resp));
        EXPECT_EQ(1u,
                  log.count("procQueryStatement][get job status error", clienttest::kLevelError));
    }
}

TEST(ResultJobFlow, SubmitAnswerWithoutAUsableJobIdFailsAtOnce) {
    ConnProperty p = makeProperty();
    NavixConnection conn(&p, "");
    for (const char* id : {"", ".", ".."}) {
        navixrest::SubmitJobResp resp;
        resp.job_id = id;
        resp.job_type = "QUERY";
        NavixQueryResultSet rs;
        rs.m_conn = &conn;
        EXPECT_EQ(1, rs.procQueryStatement(resp)) << "job id '" << id << "'";
        EXPECT_EQ("HY000", rs.diag.sqlstate);
        EXPECT_EQ(0u, rs.diag.message.find("VKL ODBC Unreadable service answer: the submit answer"))
            << rs.diag.message;
    }
}

// ---------------------------------------------------------------------------
// Statements handled inside the client

class LocalStatements : public ::testing::Test {
  protected:
    ConnProperty prop = makeProperty();
    NavixConnection conn{&prop, ""};
    DiagRecord rec;
    NavixQueryResultSet* rs = nullptr;

    void SetUp() override { memset(&rec, 0, sizeof(rec)); }
    void TearDown() override { delete rs; }
    int exec(const char* sql) {
        delete rs;
        rs = nullptr;
        return NavixExecute(&conn, sql, &rs, &rec);
    }
};

TEST_F(LocalStatements, UseTakesExactlyOneName) {
    EXPECT_EQ(0, exec("use sales"));
    EXPECT_EQ("sales", conn.database());
    ASSERT_NE(nullptr, rs);
    EXPECT_EQ(0, rec.nativeCode);
    EXPECT_STREQ("00000", rec.sqlState);
    EXPECT_STREQ("VKL ODBC Success.", rec.message);
    EXPECT_EQ(2, DBFetch(rs));

    // Rows: statement -> the database it switches to, or nullptr for a
    // refusal that leaves the database as it was.
    const struct {
        const char* sql;
        const char* database;
    } rows[] = {
        {"  \t USE other;\n", "other"},
        {"USE/*c*/db2", "db2"},
        {"Use x;;", nullptr},
        {"USE", nullptr},
        {"USE\tdb2 db3", nullptr},
        {"USE\ndb2; drop table t", nullptr},
        {"USE `db2`", "db2"},
        {"USE \"db2\"", "db2"},
        {"USE \"a\"\"b\"", "a\"b"},
        {"USE `a``b`", "a`b"},
        {"USE db2; drop table numbers", nullptr},
        {"USE db2 db1", nullptr},
        {"USE other \"db\"", nullptr},
        {"USE ..", nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.sql);
        conn.setDatabase("before");
        if (r.database == nullptr) {
            EXPECT_EQ(1, exec(r.sql));
            EXPECT_EQ("before", conn.database());
            EXPECT_STREQ("01000", rec.sqlState);
            EXPECT_STREQ("VKL ODBC Invalid SQL syntax.", rec.message);
        } else {
            EXPECT_EQ(0, exec(r.sql));
            EXPECT_EQ(r.database, conn.database());
        }
    }
    EXPECT_STREQ("", conn.connProperty.DATABASE); // the record keeps the connect-time value
}

// A comment after the argument of SET or USE is no part of it.
TEST_F(LocalStatements, CommentsAreNoPartOfTheArgument) {
    const struct {
        const char* sql;
        const char* database; // or nullptr
        const char* setting;  // or nullptr
    } rows[] = {
        {"use db2 -- note", "db2", nullptr},
        {"USE db2 -- the customer's db", "db2", nullptr},
        {"use db2 /* note */", "db2", nullptr},
        {"use db2/* a */ /* b */", "db2", nullptr},
        {"use db2\t-- note", "db2", nullptr},
        {"use db2 --", "db2", nullptr},
        {"use db2 /* unterminated", "db2", nullptr},
        {"use `db--2` -- note", "db--2", nullptr},
        {"use \"db /*2*/\"", "db /*2*/", nullptr},
        {"set vkl.a=1 -- note", nullptr, "vkl.a=1"},
        {"set vkl.b=2 /* was 3 */", nullptr, "vkl.b=2"},
        {"set vkl.c=3 -- a=b", nullptr, "vkl.c=3"},
        {"set vkl.d = 4--note", nullptr, "vkl.d=4"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.sql);
        ASSERT_EQ(0, exec(r.sql));
        if (r.database != nullptr) {
            EXPECT_EQ(r.database, conn.database());
        } else {
            const std::vector<std::string> settings = conn.serverConfSnapshot();
            EXPECT_NE(settings.end(), std::find(settings.begin(), settings.end(), r.setting));
        }
    }
    // Nothing but a comment after the keyword: no argument.
    EXPECT_EQ(1, exec("use -- db3"));
    EXPECT_EQ(1, exec("set /* a=1 */"));
    EXPECT_STREQ("01000", rec.sqlState);
}

TEST_F(LocalStatements, UseNameIsKeptWhole) {
    // A name cut to a fixed field would send later jobs to another database.
    std::string name(300, 'd');
    EXPECT_EQ(0, exec(("use " + name).c_str()));
    EXPECT_EQ(name, conn.database());
}

TEST_F(LocalStatements, SetChangesTheServerSettings) {
    EXPECT_EQ(0, exec("set vkl.sql.syncMode.enabled = true ;"));
    EXPECT_TRUE(conn.syncMode);
    ASSERT_EQ(1u, conn.serverConfList.size());
    EXPECT_EQ("vkl.sql.syncMode.enabled=true", conn.serverConfList[0]);
    EXPECT_EQ(0, exec("SET spark.x=1")); // no prefix needed here
    ASSERT_EQ(2u, conn.serverConfList.size());
    EXPECT_EQ("spark.x=1", conn.serverConfList[0]);
    // Without a space the statement is a job for the service (none here).
    EXPECT_EQ(1, exec("SET\tvkl.y=1"));
    EXPECT_EQ(2u, conn.serverConfList.size());
    EXPECT_EQ(1, rec.nativeCode);
    EXPECT_STREQ("HY000", rec.sqlState);
    EXPECT_STREQ("VKL ODBC System ERROR.", rec.message);
}

TEST_F(LocalStatements, RejectedSetGivesInvalidSyntax) {
    LogSpy log;
    rs = reinterpret_cast<NavixQueryResultSet*>(0x1); // must be overwritten
    EXPECT_EQ(1, NavixExecute(&conn, "set novalue", &rs, &rec));
    EXPECT_EQ(nullptr, rs);
    EXPECT_EQ(1, rec.nativeCode);
    EXPECT_STREQ("01000", rec.sqlState);
    EXPECT_STREQ("VKL ODBC Invalid SQL syntax.", rec.message);
    EXPECT_EQ(1u, log.count("conf format error.", clienttest::kLevelError));
    EXPECT_EQ(
        1u, log.count("Call NavixQueryResultSet::runSql error, ret = 1", clienttest::kLevelError));
    EXPECT_EQ(1, exec("set a=1=2"));
    EXPECT_EQ(1, exec("set =1"));
    EXPECT_TRUE(conn.serverConfList.empty());
}

TEST_F(LocalStatements, EmptyStatementReachesRunSqlAndFails) {
    LogSpy log;
    EXPECT_EQ(1, exec("   ;"));
    EXPECT_EQ(1u, log.count("query_str cannot be NULL", clienttest::kLevelError));
    EXPECT_EQ(1, rec.nativeCode);
    EXPECT_STREQ("42000", rec.sqlState);
    EXPECT_STREQ("VKL ODBC Empty statement.", rec.message);
}

TEST_F(LocalStatements, ArgumentChecksComeFirst) {
    LogSpy log;
    NavixQueryResultSet* keep = reinterpret_cast<NavixQueryResultSet*>(0x1);
    rec.nativeCode = 42;
    EXPECT_EQ(1, NavixExecute(nullptr, "use a", &keep, &rec));
    EXPECT_EQ(1, NavixExecute(&conn, nullptr, &keep, &rec));
    EXPECT_EQ(1, NavixExecute(&conn, "use a", nullptr, &rec));
    EXPECT_EQ(1, NavixExecute(&conn, "use a", &keep, nullptr));
    EXPECT_EQ(reinterpret_cast<NavixQueryResultSet*>(0x1), keep);
    EXPECT_EQ(42, rec.nativeCode);
    EXPECT_STREQ("", conn.connProperty.DATABASE);
    EXPECT_EQ(1u, log.count("Connection cannot be NULL."));
    EXPECT_EQ(1u, log.count("Query string cannot be NULL."));
    EXPECT_EQ(1u, log.count("Result Pointer cannot be NULL."));
    EXPECT_EQ(1u, log.count("Diag message cannot be NULL."));
}

TEST_F(LocalStatements, AnsiStatementIsConvertedWhateverItsLength) {
    EnvGuard lc("LC_ALL", "en_US.CP1252");
    conn.connProperty.charsetFlag = 1;
    // Euro signs take three UTF-8 bytes each: more than twice the ANSI length.
    std::string euros(40, '\x80');
    EXPECT_EQ(0, exec(("use " + euros).c_str()));
    std::string expected;
    for (int i = 0; i < 40; ++i)
        expected += "\xE2\x82\xAC";
    EXPECT_EQ(expected, conn.database());
}

// Double quotes that quote identifiers become backticks; literals, comments
// and backtick names are copied as they are.
TEST(StatementText, IdentifierQuotesBecomeBackticks) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"select \"id\" from \"t\"", "select `id` from `t`"},
        {"select 'say \"hi\"'", "select 'say \"hi\"'"},
        {"select 'it''s \"x\"', \"id\"", "select 'it''s \"x\"', `id`"},
        {"select 'a\\'\"b', \"c\"", "select 'a\\'\"b', `c`"},
        {"select \"id\" -- the customer's id\nfrom \"customers\"",
         "select `id` -- the customer's id\nfrom `customers`"},
        {"select 1 -- \"not\" converted\r\n, \"x\"", "select 1 -- \"not\" converted\r\n, `x`"},
        {"select /* it's \"a\" comment */ \"id\"", "select /* it's \"a\" comment */ `id`"},
        {"select /* unterminated \"x\"", "select /* unterminated \"x\""},
        {"select \"customer's id\", 'lit' from t", "select `customer's id`, 'lit' from t"},
        {"select \"a--b\", \"c/*d\" from t", "select `a--b`, `c/*d` from t"},
        {"select `it's`, \"x\"", "select `it's`, `x`"},
        {"select '--', \"x\", '/*'", "select '--', `x`, '/*'"},
        {"select 5-3 - -1, \"x\"", "select 5-3 - -1, `x`"},
        {"select 4/2 */ \"x\"", "select 4/2 */ `x`"},
        // "" inside a double-quoted name is one ", which a backtick name
        // keeps as it is; a backtick inside is doubled, so the name cannot
        // end early.
        {"select \"a\"\"b\"", "select `a\"b`"},
        {"select \"\"\"\"", "select `\"`"},
        {"select \"\"", "select ``"},
        {"select \"a`b\"", "select `a``b`"},
        {"select \"x`; drop table t; --\" from t", "select `x``; drop table t; --` from t"},
        {"select \"`\"", "select ````"},
        {"select \"a``b\", `c``d`", "select `a````b`, `c``d`"},
        // Touching names stay two names.
        {"select \"a\"`b`, `c`\"d\", `e``f`", "select `a` `b`, `c` `d`, `e``f`"},
        {"select \"open", "select `open"},
        {"select \"open\"\"", "select `open\""},
        {"select \"open`", "select `open``"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.out, clienttext::backtickIdentifierQuotes(c.in)) << c.in;
    }
}

// ---------------------------------------------------------------------------
// Catalog sets

TEST(CatalogSets, TableListStatement) {
    EXPECT_EQ("show tables", NavixTableResultSet::buildStatement(""));
    EXPECT_EQ("show tables like 'ab*c*'", NavixTableResultSet::buildStatement("ab%c%"));
    EXPECT_EQ("show tables like 'a_b\"c'", NavixTableResultSet::buildStatement("a_b\"c"));
}

TEST(CatalogSets, TableListRefusesQuoteAndBackslash) {
    ConnProperty p = makeProperty();
    NavixConnection conn(&p, "");
    for (const char* pattern : {"a'b", "x\\", "'; drop table t; --"}) {
        DiagRecord rec;
        memset(&rec, 0, sizeof(rec));
        NavixQueryResultSet* rs = reinterpret_cast<NavixQueryResultSet*>(0x1);
        EXPECT_EQ(1, DBTables(&conn, pattern, &rs, &rec)) << pattern;
        EXPECT_EQ(nullptr, rs);
        EXPECT_EQ(1, rec.nativeCode);
        EXPECT_STREQ("01000", rec.sqlState);
        EXPECT_STREQ("VKL ODBC Invalid SQL syntax.", rec.message);
    }
}

TEST(CatalogSets, TableListCellsAndShortRows) {
    NavixTableResultSet rs;
    int32_t count = 0;
    EXPECT_EQ(0, rs.getColumnCount(&count));
    EXPECT_EQ(5, count);
    EXPECT_EQ("TABLE_TYPE", rs.getColumnName(3));
    EXPECT_EQ("STRING", rs.getColumnTypeName(4));
    EXPECT_EQ(CLIENT_TYPE_STRING, rs.getColumnType(0));
    EXPECT_EQ("", rs.getColumnName(5));
    EXPECT_EQ(CLIENT_TYPE_UNKNOWN, rs.getColumnType(5));

    rs.m_ResultRows = {{"db1", "t1"}, {"db1"}};
    rs.m_irowNum = 2;
    rs.m_icolNum = 2;
    ASSERT_EQ(0, rs.fetchNext());
    const char* cells[] = {"db1", "db1", "t1", "TABLE", ""};
    for (uint32_t i = 0; i < 5; ++i) {
        int32_t isNull = -1;
        EXPECT_EQ(cells[i], text(&rs, i, 64, nullptr, &isNull)) << i;
        EXPECT_EQ(0, isNull);
    }
    EXPECT_EQ("", text(&rs, 9));
    ASSERT_EQ(0, rs.fetchNext());
    EXPECT_EQ("db1", text(&rs, 0));
    EXPECT_EQ("", text(&rs, 2)); // the row lacks its second cell
}

TEST(CatalogSets, ColumnRowsFromTheTypeTable) {
    NavixColumnResultSet rs;
    rs.tableName = "t1";
    rs.addColumnRow("price", "decimal(10,2)", "the price", 1);
    rs.addColumnRow("id", "int", "", 2);
    rs.addColumnRow("name", "varchar(20)", "", 3);
    rs.addColumnRow("s", "short", "", 4);
    rs.addColumnRow("l", "long", "", 5);
    ASSERT_EQ(5u, rs.m_ResultRows.size());
    const std::string null(navixrest::kNullCell);
    NavixRow first = {"",   "",  "t1", "price", "3", "decimal(10,2)",
                      "11", "8", null, "10",    "1", "the price",
                      "",   "3", null, "334",   "1", "YES"};
    EXPECT_EQ(first, rs.m_ResultRows[0]);
    auto pick = [&](int r, std::vector<int> idx) {
        std::vector<std::string> out;
        for (int i : idx)
            out.push_back(rs.m_ResultRows[r][i]);
        return out;
    };
    EXPECT_EQ((std::vector<std::string>{"4", "int", "11", "4", "4", "334", "2"}),
              pick(1, {4, 5, 6, 7, 13, 15, 16}));
    EXPECT_EQ((std::vector<std::string>{"0", "varchar(20)", "334", "334", "0"}),
              pick(2, {4, 5, 6, 7, 13}));
    EXPECT_EQ((std::vector<std::string>{"4", "6", "2"}), pick(3, {4, 6, 7}));
    EXPECT_EQ((std::vector<std::string>{"-5", "11", "4"}), pick(4, {4, 6, 7}));
    int32_t count = 0;
    EXPECT_EQ(0, rs.getColumnCount(&count));
    EXPECT_EQ(18, count);
    EXPECT_EQ("IS_NULLABLE", rs.getColumnName(17));
    EXPECT_EQ("SMALLINT", rs.getColumnTypeName(4));
    EXPECT_EQ(CLIENT_TYPE_INT, rs.getColumnType(15));
    EXPECT_EQ("", rs.getColumnName(18));
}

TEST(CatalogSets, TypeInfoRowsCellByCell) {
    DiagRecord rec;
    memset(&rec, 0, sizeof(rec));
    NavixQueryResultSet* rs = nullptr;
    ASSERT_EQ(0, DBGetTypeInfo(0, &rs, &rec));
    ASSERT_NE(nullptr, rs);
    EXPECT_STREQ("00000", rec.sqlState);
    int32_t count = 0;
    EXPECT_EQ(0, DBGetColumnCount(rs, &count));
    EXPECT_EQ(19, count);
    const char* expected[15][19] = {
        {"INT", "4", "4", "null", "null", "null", "1", "1", "3", "1", "0", "0", "INT", "null",
         "null", "4", "null", "null", "null"},
        {"STRING", "12", "334", "null", "null", "null", "1", "1", "3", "null", "0", "null",
         "STRING", "null", "null", "12", "null", "null", "null"},
        {"DOUBLE", "8", "8", "null", "null", "null", "1", "1", "3", "1", "0", "0", "DOUBLE", "null",
         "null", "8", "null", "null", "null"},
        {"DECIMAL", "3", "8", "null", "null", "null", "1", "1", "3", "1", "0", "0", "DECIMAL",
         "null", "null", "3", "null", "null", "null"},
        {"BOOLEAN", "5", "4", "null", "null", "null", "1", "1", "3", "null", "0", "null", "BOOLEAN",
         "null", "null", "5", "null", "null", "null"},
        {"SHORT", "4", "2", "null", "null", "null", "1", "1", "3", "1", "0", "0", "SHORT", "null",
         "null", "4", "null", "null", "null"},
        {"SMALLINT", "5", "2", "null", "null", "null", "1", "1", "3", "1", "0", "0", "SMALLINT",
         "null", "null", "5", "null", "null", "null"},
        {"BIGINT", "-5", "8", "null", "null", "null", "1", "1", "3", "1", "0", "0", "BIGINT",
         "null", "null", "-5", "null", "null", "null"},
        {"LONG", "-5", "4", "null", "null", "null", "1", "1", "3", "1", "0", "0", "LONG", "null",
         "null", "-5", "null", "null", "null"},
        {"TIMESTAMP", "93", "334", "null", "null", "null", "1", "1", "3", "null", "0", "null",
         "TIMESTAMP", "null", "null", "93", "null", "null", "null"},
        {"CHAR", "12", "334", "null", "null", "null", "1", "1", "3", "null", "0", "null", "CHAR",
         "null", "null", "12", "null", "null", "null"},
        {"VARCHAR", "12", "334", "null", "null", "null", "1", "1", "3", "null", "0", "null",
         "VARCHAR", "null", "null", "12", "null", "null", "null"},
        {"DATE", "91", "334", "null", "null", "null", "1", "1", "3", "null", "0", "null", "DATE",
         "null", "null", "91", "null", "null", "null"},
        {"TINYINT", "-6", "1", "null", "null", "null", "1", "1", "3", "1", "0", "0", "TINYINT",
         "null", "null", "-6", "null", "null", "null"},
        {"FLOAT", "6", "4", "null", "null", "null", "1", "1", "3", "1", "0", "0", "FLOAT", "null",
         "null", "6", "null", "null", "null"},
    };
    for (int r = 0; r < 15; ++r) {
        ASSERT_EQ(0, DBFetch(rs)) << r;
        for (uint32_t c = 0; c < 19; ++c) {
            int32_t isNull = -1;
            std::string cell = text(rs, c, 64, nullptr, &isNull);
            EXPECT_EQ(expected[r][c], cell) << r << "," << c;
            EXPECT_EQ(std::string(expected[r][c]) == "null" ? 1 : 0, isNull) << r << "," << c;
        }
    }
    // The last column is reachable by the numeric getters and is NULL.
    int32_t v = 5, n = 0;
    EXPECT_EQ(0, DBGetFieldAsInt(rs, 18, &v, &n));
    EXPECT_EQ(1, n);
    EXPECT_EQ(2, DBFetch(rs));
    EXPECT_EQ(nullptr, rs->m_conn);
    delete rs;
}

TEST(CatalogSets, TypeInfoOnlyForAllTypes) {
    LogSpy log;
    DiagRecord rec;
    memset(&rec, 0, sizeof(rec));
    NavixQueryResultSet* rs = reinterpret_cast<NavixQueryResultSet*>(0x1);
    EXPECT_EQ(1, DBGetTypeInfo(4, &rs, &rec));
    EXPECT_EQ(nullptr, rs);
    EXPECT_STREQ("HYC00", rec.sqlState);
    EXPECT_STREQ("VKL ODBC Only support to GetTypeInfo for SQL_ALL_TYPES", rec.message);
    EXPECT_EQ(1u,
              log.count("Only support to GetTypeInfo for SQL_ALL_TYPES", clienttest::kLevelError));
    EXPECT_EQ(1u, log.count("Call NavixTypeInfoResultSet::getTypeInfo error, ret = 1",
                            clienttest::kLevelError));
    EXPECT_EQ(1, DBGetTypeInfo(0, nullptr, &rec));
    EXPECT_EQ(1, DBGetTypeInfo(0, &rs, nullptr));
}

TEST(CatalogSets, DestroyedAsTheirOwnClassThroughTheBasePointer) {
    // Long texts live on the heap: a destructor that skipped the subclass
    // would leak them (caught under the address sanitizer).
    NavixQueryResultSet* rs = new NavixColumnResultSet();
    static_cast<NavixColumnResultSet*>(rs)->tableName = std::string(200, 't');
    static_cast<NavixColumnResultSet*>(rs)->addColumnRow(std::string(100, 'c'), "INT",
                                                         std::string(100, 'r'), 1);
    rs->m_columns.push_back(new ColumnDesc(std::string(64, 'n'), "STRING"));
    delete rs;
    NavixQueryResultSet* t = new NavixTableResultSet();
    t->m_columns.push_back(new ColumnDesc(std::string(64, 'n'), "STRING"));
    delete t;
    SUCCEED();
}

TEST(CatalogSets, CatalogArgumentChecks) {
    LogSpy log;
    ConnProperty p = makeProperty();
    NavixConnection conn(&p, "");
    DiagRecord rec;
    memset(&rec, 0, sizeof(rec));
    NavixQueryResultSet* rs = nullptr;
    EXPECT_EQ(1, DBTables(nullptr, "", &rs, &rec));
    EXPECT_EQ(1, DBTables(&conn, nullptr, &rs, &rec));
    EXPECT_EQ(1, DBTables(&conn, "", nullptr, &rec));
    EXPECT_EQ(1, DBTables(&conn, "", &rs, nullptr));
    EXPECT_EQ(1, DBColumns(nullptr, "t", &rs, &rec));
    EXPECT_EQ(1, DBColumns(&conn, nullptr, &rs, &rec));
    EXPECT_EQ(1u, log.count("tbl_search_pattern cannot be NULL."));
    EXPECT_EQ(1u, log.count("tableName cannot be NULL."));
    EXPECT_EQ(2u, log.count("Connection cannot be NULL."));
}
