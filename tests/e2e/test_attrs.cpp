// Attributes, cursor names and the entry points with fixed answers, through
// the driver manager.
#include "OdbcHarness.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

using namespace e2e;

namespace {

class Attrs : public ::testing::Test {
  protected:
    void SetUp() override {
        E2E_CONNECT(conn, akskConnStr(testProject()));
        st = std::make_unique<Statement>(conn);
    }
    Connection conn;
    std::unique_ptr<Statement> st;
};

} // namespace

TEST_F(Attrs, ConnectionAttributesAcceptedWithoutEffect) {
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(conn.dbc, SQL_ATTR_LOGIN_TIMEOUT, (SQLPOINTER)5, 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(conn.dbc, SQL_ATTR_QUIET_MODE, nullptr, 0));
    // The service has no transactions: switching autocommit off is refused.
    EXPECT_EQ(SQL_ERROR,
              SQLSetConnectAttr(conn.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0));
    EXPECT_EQ(SQL_ERROR,
              SQLSetConnectAttr(conn.dbc, SQL_ATTR_ACCESS_MODE, (SQLPOINTER)SQL_MODE_READ_ONLY, 0));
    SQLUINTEGER v = 0xABCD;
    EXPECT_EQ(SQL_ERROR, SQLGetConnectAttr(conn.dbc, SQL_ATTR_CONNECTION_TIMEOUT, &v, 0, nullptr));
    EXPECT_EQ(0xABCDu, v);
}

TEST_F(Attrs, StatementAttributes) {
    SQLULEN fetched = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st->h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(st->h, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0));
    EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(st->h, SQL_ATTR_QUERY_TIMEOUT, (SQLPOINTER)30, 0));
    SQLULEN v = 77;
    EXPECT_EQ(SQL_ERROR, SQLGetStmtAttr(st->h, SQL_ATTR_QUERY_TIMEOUT, &v, 0, nullptr));
    EXPECT_EQ(77u, v);
    // The statement still works after the refusals.
    ASSERT_EQ(SQL_SUCCESS, st->exec("select 3")) << st->diagText();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ("3", getText(st->h, 1));
}

TEST_F(Attrs, DefaultCursorNameIsDerivedFromTheHandle) {
    char name[64];
    memset(name, 0x7F, sizeof name);
    SQLSMALLINT len = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(st->h, (SQLCHAR*)name, sizeof name, &len));
    std::string n(name);
    ASSERT_GT(n.size(), 4u);
    EXPECT_EQ("CUR_", n.substr(0, 4));
    for (size_t i = 4; i < n.size(); ++i)
        EXPECT_TRUE(isdigit((unsigned char)n[i]) || (n[i] >= 'A' && n[i] <= 'F')) << n;
    EXPECT_GE(n.size(), 12u);
    EXPECT_EQ(static_cast<SQLSMALLINT>(n.size()), len);

    // Two statements never share a default name.
    Statement other(conn);
    char name2[64] = {0};
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(other.h, (SQLCHAR*)name2, sizeof name2, nullptr));
    EXPECT_NE(n, std::string(name2));

    // A buffer one byte short cuts the name and says so.
    char cut[64];
    memset(cut, 0x7F, sizeof cut);
    SQLSMALLINT shortLen = static_cast<SQLSMALLINT>(n.size());
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetCursorName(st->h, (SQLCHAR*)cut, shortLen, &len));
    EXPECT_EQ(n.substr(0, n.size() - 1), std::string(cut));
    EXPECT_EQ(0x7F, cut[shortLen]) << "written past the buffer";
}

TEST_F(Attrs, CursorNameCanBeSet) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(st->h, (SQLCHAR*)"orders_cursor", SQL_NTS));
    char name[64] = {0};
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(st->h, (SQLCHAR*)name, sizeof name, nullptr));
    EXPECT_STREQ("orders_cursor", name);

    // Names must begin with a letter; a refused name leaves the old one.
    EXPECT_EQ(SQL_ERROR, SQLSetCursorName(st->h, (SQLCHAR*)"1cursor", SQL_NTS));
    EXPECT_EQ(SQL_ERROR, SQLSetCursorName(st->h, (SQLCHAR*)"_cursor", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(st->h, (SQLCHAR*)name, sizeof name, nullptr));
    EXPECT_STREQ("orders_cursor", name);

    // A long name is kept to 99 characters.
    std::string longName(150, 'c');
    ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(st->h, (SQLCHAR*)longName.c_str(), SQL_NTS));
    char big[256] = {0};
    SQLSMALLINT len = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(st->h, (SQLCHAR*)big, sizeof big, &len));
    EXPECT_EQ(std::string(99, 'c'), std::string(big));
}

TEST_F(Attrs, RowCountAndMoreResultsHaveFixedAnswers) {
    ASSERT_EQ(SQL_SUCCESS, st->exec("select 1")) << st->diagText();
    SQLLEN count = 12345;
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(st->h, &count));
    EXPECT_EQ(-1, count);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(st->h));
}

namespace {

// Size of the message log in the current folder (0 when there is none yet).
std::streamoff messageLogSize() {
    std::ifstream log("vorn_odbc.log", std::ios::binary | std::ios::ate);
    return log ? static_cast<std::streamoff>(log.tellg()) : 0;
}

// What was appended to the message log after `from`.
std::string messageLogSince(std::streamoff from) {
    std::ifstream log("vorn_odbc.log", std::ios::binary);
    log.seekg(from);
    return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
}

} // namespace

TEST_F(Attrs, UnsupportedCallsFailCleanly) {
    const std::streamoff logStart = messageLogSize();
    SQLINTEGER value = 1;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st->h, (SQLCHAR*)"select ?", SQL_NTS));
    EXPECT_EQ(SQL_ERROR, SQLBindParameter(st->h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &value, 0, &ind));
    char out[64];
    SQLINTEGER outLen = 0;
    EXPECT_EQ(SQL_ERROR, SQLNativeSql(conn.dbc, (SQLCHAR*)"select 1", SQL_NTS, (SQLCHAR*)out,
                                      sizeof out, &outLen));
    EXPECT_EQ(SQL_ERROR, SQLProcedures(st->h, nullptr, 0, nullptr, 0, nullptr, 0));
    EXPECT_EQ(SQL_ERROR, SQLStatistics(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)"t", SQL_NTS,
                                       SQL_INDEX_ALL, SQL_QUICK));
    // Each refusal is also written to the message log in the current folder.
    const std::string all = messageLogSince(logStart);
    EXPECT_NE(std::string::npos, all.find("SQL_ERROR SQLNativeSql not currently supported"));
    EXPECT_NE(std::string::npos, all.find("SQL_ERROR SQLProcedures not currently supported"));
    // The connection and a fresh statement still work.
    Statement again(conn);
    ASSERT_EQ(SQL_SUCCESS, again.exec("select 2")) << again.diagText();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(again.h));
    EXPECT_EQ("2", getText(again.h, 1));
}
