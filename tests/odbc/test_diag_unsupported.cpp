// The entry points that are not supported: what each records in its
// handle's message log, and that each fails.
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "MiscTestSupport.h"
#include "NavixResultSet.h"
#include "SQLOdbcApi.h"

namespace {

std::string notSupported(const char* name) {
    return std::string("SQL_ERROR ") + name + " not currently supported";
}

} // namespace

using UnsupportedTest = MiscOdbcTest;

TEST_F(UnsupportedTest, StatementFamilyRecordsTraceThenNotSupported) {
    const std::string trace = "hStmt = " + hexValue(stmt);
    struct Case {
        const char* name;
        std::function<SQLRETURN(SQLHSTMT)> call;
    };
    SQLSMALLINT s = 0;
    SQLULEN ul = 0;
    SQLPOINTER p = nullptr;
    std::vector<Case> cases = {
        {"SQLCancel", [](SQLHSTMT h) { return SQLCancel(h); }},
        {"SQLCloseCursor", [](SQLHSTMT h) { return SQLCloseCursor(h); }},
        {"SQLColumnPrivileges",
         [](SQLHSTMT h) {
             return SQLColumnPrivileges(h, nullptr, 0, nullptr, 0, (SQLCHAR*)"t", SQL_NTS, nullptr,
                                        0);
         }},
        {"SQLDescribeParam", [&](SQLHSTMT h) { return SQLDescribeParam(h, 1, &s, &ul, &s, &s); }},
        {"SQLFetchScroll", [](SQLHSTMT h) { return SQLFetchScroll(h, SQL_FETCH_NEXT, 0); }},
        {"SQLNumParams", [&](SQLHSTMT h) { return SQLNumParams(h, &s); }},
        {"SQLParamData", [&](SQLHSTMT h) { return SQLParamData(h, &p); }},
        {"SQLProcedureColumns",
         [](SQLHSTMT h) {
             return SQLProcedureColumns(h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
         }},
        {"SQLProcedures",
         [](SQLHSTMT h) { return SQLProcedures(h, nullptr, 0, nullptr, 0, nullptr, 0); }},
        {"SQLPutData", [](SQLHSTMT h) { return SQLPutData(h, (SQLPOINTER) "x", 1); }},
        {"SQLSpecialColumns",
         [](SQLHSTMT h) {
             return SQLSpecialColumns(h, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, (SQLCHAR*)"t",
                                      SQL_NTS, SQL_SCOPE_SESSION, SQL_NULLABLE);
         }},
        {"SQLTablePrivileges",
         [](SQLHSTMT h) { return SQLTablePrivileges(h, nullptr, 0, nullptr, 0, nullptr, 0); }},
    };
    size_t before = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(nullptr), SQL_INVALID_HANDLE) << c.name;
        EXPECT_EQ(msgLogLines().size(), before) << c.name << " with a NULL handle records nothing";
        EXPECT_EQ(c.call(stmt), SQL_ERROR) << c.name;
        EXPECT_STREQ(stmt->diag.sqlState, "HYC00") << c.name;
        EXPECT_EQ(stmt->diag.message, notSupported(c.name)) << c.name;
        std::vector<std::string> texts = msgLogTexts(std::string(c.name) + ".cpp", before);
        ASSERT_EQ(texts.size(), 2u) << c.name;
        EXPECT_EQ(texts[0], trace) << c.name;
        EXPECT_EQ(texts[1], notSupported(c.name)) << c.name;
        before += 2;
    }
}

TEST_F(UnsupportedTest, BindParameterTraceShowsEveryArgument) {
    SQLLEN ind = 5;
    char data[4];
    EXPECT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 3, data,
                               sizeof(data), &ind),
              SQL_ERROR);
    std::vector<std::string> texts = msgLogTexts("SQLBindParameter.cpp");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(
        texts[0],
        "hStmt=" + hexValue(stmt) +
            " nParameterNumber=2 nIOType=1 nBufferType=1 nParamType=12 nParamLength=20 nScale=3 "
            "pData=" +
            hexValue(data) + " nBufferLength=4 *pnLengthOrIndicator=$00000005");
    EXPECT_EQ(texts[1], notSupported("SQLBindParameter"));
    EXPECT_STREQ(stmt->diag.sqlState, "HYC00");
    EXPECT_EQ(SQLBindParameter(nullptr, 1, 1, 1, 1, 0, 0, nullptr, 0, nullptr), SQL_INVALID_HANDLE);
}

TEST_F(UnsupportedTest, BindParameterWithoutIndicatorDoesNotReadIt) {
    EXPECT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0,
                               nullptr),
              SQL_ERROR);
    std::vector<std::string> texts = msgLogTexts("SQLBindParameter.cpp");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find("*pnLengthOrIndicator=NULL"), std::string::npos) << texts[0];
    EXPECT_EQ(texts[1], notSupported("SQLBindParameter"));
}

TEST_F(UnsupportedTest, BrowseConnectRecordsItsRefusalTwice) {
    EXPECT_EQ(SQLBrowseConnect(dbc, (SQLCHAR*)"DSN=x", SQL_NTS, nullptr, 0, nullptr), SQL_ERROR);
    std::vector<std::string> texts = msgLogTexts("SQLBrowseConnect.cpp");
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "hDbc = " + hexValue(dbc));
    EXPECT_EQ(texts[1], notSupported("SQLBrowseConnect"));
    EXPECT_EQ(texts[2], texts[1]);
    EXPECT_STREQ(dbc->diag.sqlState, "HYC00");
    EXPECT_EQ(SQLBrowseConnect(nullptr, nullptr, 0, nullptr, 0, nullptr), SQL_INVALID_HANDLE);
    EXPECT_EQ(msgLogLines().size(), 3u);
}

TEST_F(UnsupportedTest, NativeSqlRecordsOnlyTheRefusal) {
    char out[16];
    SQLINTEGER len = 0;
    EXPECT_EQ(SQLNativeSql(dbc, (SQLCHAR*)"select 1", SQL_NTS, (SQLCHAR*)out, sizeof(out), &len),
              SQL_ERROR);
    std::vector<std::string> texts = msgLogTexts("SQLNativeSql.cpp");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], notSupported("SQLNativeSql"));
    EXPECT_STREQ(dbc->diag.sqlState, "HYC00");
    EXPECT_EQ(SQLNativeSql(nullptr, nullptr, 0, nullptr, 0, nullptr), SQL_INVALID_HANDLE);
}

TEST_F(UnsupportedTest, BulkOperationsNamesUnknownOperations) {
    EXPECT_EQ(SQLBulkOperations(stmt, SQL_ADD), SQL_ERROR);
    EXPECT_STREQ(stmt->diag.sqlState, "HYC00");
    EXPECT_EQ(SQLBulkOperations(stmt, SQL_FETCH_BY_BOOKMARK), SQL_ERROR);
    EXPECT_EQ(SQLBulkOperations(stmt, 3), SQL_ERROR);
    EXPECT_STREQ(stmt->diag.sqlState, "HY092");
    EXPECT_EQ(SQLBulkOperations(stmt, 8), SQL_ERROR);
    EXPECT_EQ(SQLBulkOperations(stmt, -1), SQL_ERROR);
    EXPECT_EQ(SQLBulkOperations(nullptr, SQL_ADD), SQL_INVALID_HANDLE);
    std::vector<std::string> texts = msgLogTexts("SQLBulkOperations.cpp");
    const std::string trace = "hStmt = " + hexValue(stmt);
    std::vector<std::string> want = {
        trace, notSupported("SQLBulkOperations"), trace, notSupported("SQLBulkOperations"),
        trace, "SQL_ERROR Unknown nOperation=3",  trace, "SQL_ERROR Unknown nOperation=8",
        trace, "SQL_ERROR Unknown nOperation=-1",
    };
    EXPECT_EQ(texts, want);
}

TEST_F(UnsupportedTest, SetPosNamesOnlyInvalidOperations) {
    EXPECT_EQ(SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
    EXPECT_EQ(SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
    EXPECT_EQ(SQLSetPos(stmt, 1, 4, SQL_LOCK_NO_CHANGE), SQL_ERROR);
    EXPECT_EQ(SQLSetPos(stmt, 1, 9, SQL_LOCK_NO_CHANGE), SQL_ERROR);
    EXPECT_EQ(SQLSetPos(stmt, 1, 65535, SQL_LOCK_NO_CHANGE), SQL_ERROR);
    EXPECT_STREQ(stmt->diag.sqlState, "HY092");
    EXPECT_EQ(SQLSetPos(nullptr, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_INVALID_HANDLE);
    std::vector<std::string> texts = msgLogTexts("SQLSetPos.cpp");
    const std::string trace = "hStmt = " + hexValue(stmt);
    // A known operation is refused as not supported, an unknown one as invalid.
    std::vector<std::string> want = {
        trace, notSupported("SQLSetPos"),           trace, notSupported("SQLSetPos"),
        trace, "SQL_ERROR Invalid Operation=4",     trace, "SQL_ERROR Invalid Operation=9",
        trace, "SQL_ERROR Invalid Operation=65535",
    };
    EXPECT_EQ(texts, want);
}

class StatisticsTest : public MiscOdbcTest {
  protected:
    void giveStatementAResult() {
        stmt->extras->resultSet = new NavixQueryResultSet();
        stmt->sqlText = strdup("select 1");
    }
};

TEST_F(StatisticsTest, WithoutTableNameKeepsTheResult) {
    giveStatementAResult();
    NavixQueryResultSet* rs = stmt->extras->resultSet;
    EXPECT_EQ(SQLStatistics(stmt, nullptr, 0, nullptr, 0, nullptr, 0, SQL_INDEX_ALL, SQL_QUICK),
              SQL_ERROR);
    EXPECT_STREQ(stmt->diag.sqlState, "HY009");
    EXPECT_EQ(
        SQLStatistics(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"", 0, SQL_INDEX_ALL, SQL_QUICK),
        SQL_ERROR);
    EXPECT_STREQ(stmt->diag.sqlState, "HY090");
    EXPECT_EQ(stmt->extras->resultSet, rs);
    EXPECT_STREQ(stmt->sqlText, "select 1");
    std::vector<std::string> texts = msgLogTexts("SQLStatistics.cpp");
    const std::string trace = "hStmt = " + hexValue(stmt);
    std::vector<std::string> want = {trace, "SQL_ERROR No table name", trace,
                                     "SQL_ERROR No table name"};
    EXPECT_EQ(texts, want);
}

TEST_F(StatisticsTest, WithTableNameDropsTheResultAndText) {
    giveStatementAResult();
    EXPECT_EQ(SQLStatistics(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"t1", SQL_NTS, SQL_INDEX_ALL,
                            SQL_QUICK),
              SQL_ERROR);
    EXPECT_EQ(stmt->extras->resultSet, nullptr);
    EXPECT_EQ(stmt->extras->columnHeaders, nullptr);
    EXPECT_EQ(stmt->sqlText, nullptr);
    std::vector<std::string> texts = msgLogTexts("SQLStatistics.cpp");
    std::vector<std::string> want = {"hStmt = " + hexValue(stmt), notSupported("SQLStatistics")};
    EXPECT_EQ(texts, want);
}

TEST_F(StatisticsTest, StatementWithoutExtrasIsInvalid) {
    StmtHandle bare;
    memset(&bare, 0, sizeof(bare));
    EXPECT_EQ(SQLStatistics(&bare, nullptr, 0, nullptr, 0, (SQLCHAR*)"t1", SQL_NTS, 0, 0),
              SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLStatistics(nullptr, nullptr, 0, nullptr, 0, (SQLCHAR*)"t1", SQL_NTS, 0, 0),
              SQL_INVALID_HANDLE);
    EXPECT_TRUE(msgLogLines().empty());
}
