// Environment, connection and statement attributes, and cursor names.
#include <string.h>

#include <string>
#include <vector>

#include "MiscTestSupport.h"
#include "SQLOdbcApi.h"

namespace {

SQLPOINTER intValue(intptr_t v) {
    return (SQLPOINTER)v;
}

} // namespace

using EnvAttrTest = MiscOdbcTest;

TEST_F(EnvAttrTest, OdbcVersionTwoOrThreeIsStored) {
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, intValue(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    EXPECT_EQ(env->odbcVersion, 3);
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, intValue(SQL_OV_ODBC2), 0), SQL_SUCCESS);
    EXPECT_EQ(env->odbcVersion, 2);
    EXPECT_EQ(logged(log4cplus::INFO_LOG_LEVEL, "Attribute = 200, Value = 2"), 1u);

    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, intValue(380), 0), SQL_ERROR);
    EXPECT_EQ(env->odbcVersion, 2);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "Unrecognized ODBC version = 380"), 1u);
    EXPECT_STREQ(env->diag.sqlState, "HY024");
    EXPECT_STREQ(env->diag.message, "Unrecognized ODBC version = 380");
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, intValue(0), 0), SQL_ERROR);
    EXPECT_EQ(env->odbcVersion, 2);
}

TEST_F(EnvAttrTest, OtherAttributesAreRefused) {
    for (int attr : {SQL_ATTR_CONNECTION_POOLING, SQL_ATTR_CP_MATCH, SQL_ATTR_OUTPUT_NTS}) {
        clearLog();
        EXPECT_EQ(SQLSetEnvAttr(env, attr, intValue(1), 0), SQL_ERROR) << attr;
        EXPECT_STREQ(env->diag.sqlState, "HYC00") << attr;
    }
    clearLog();
    EXPECT_EQ(SQLSetEnvAttr(env, 4711, intValue(1), 0), SQL_ERROR);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "Invalid Environment Attribute=4711"), 1u);
    EXPECT_STREQ(env->diag.sqlState, "HY092");
    EXPECT_EQ(env->odbcVersion, 0);
}

TEST_F(EnvAttrTest, WithoutEnvironmentOnlyPoolingIsAccepted) {
    EXPECT_EQ(SQLSetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING, intValue(SQL_CP_OFF), 0),
              SQL_SUCCESS);
    EXPECT_EQ(SQLSetEnvAttr(nullptr, SQL_ATTR_CP_MATCH, intValue(0), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetEnvAttr(nullptr, SQL_ATTR_ODBC_VERSION, intValue(3), 0), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLSetEnvAttr(nullptr, SQL_ATTR_OUTPUT_NTS, intValue(1), 0), SQL_INVALID_HANDLE);
    // The trace comes before the handle check.
    EXPECT_EQ(logged(log4cplus::INFO_LOG_LEVEL, "Attribute = 201, Value = 0"), 1u);
}

TEST_F(EnvAttrTest, NothingCanBeRead) {
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, intValue(3), 0), SQL_SUCCESS);
    SQLINTEGER value = 12345;
    SQLINTEGER len = 77;
    EXPECT_EQ(SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &value, sizeof(value), &len), SQL_ERROR);
    EXPECT_STREQ(env->diag.sqlState, "HYC00");
    EXPECT_EQ(SQLGetEnvAttr(env, 999, &value, sizeof(value), &len), SQL_ERROR);
    EXPECT_STREQ(env->diag.sqlState, "HY092");
    EXPECT_EQ(value, 12345);
    EXPECT_EQ(len, 77);
    EXPECT_EQ(SQLGetEnvAttr(nullptr, SQL_ATTR_ODBC_VERSION, &value, sizeof(value), &len),
              SQL_INVALID_HANDLE);

    std::vector<std::string> texts = msgLogTexts("SQLGetEnvAttr.cpp");
    const std::string trace = "hEnv = " + hexValue(env);
    std::vector<std::string> want = {trace,
                                     "SQL_ERROR Environment attribute 200 not currently supported",
                                     trace, "Invalid Environment Attribute=999"};
    EXPECT_EQ(texts, want);
}

using ConnectAttrTest = MiscOdbcTest;

TEST_F(ConnectAttrTest, ThreeAttributesAreAcceptedTheKnownRestRefusedQuietly) {
    for (int attr : {SQL_ATTR_LOGIN_TIMEOUT, SQL_ATTR_TXN_ISOLATION, SQL_ATTR_QUIET_MODE}) {
        EXPECT_EQ(SQLSetConnectAttr(dbc, attr, intValue(30), 0), SQL_SUCCESS) << attr;
    }
    std::vector<int> quiet = {4,   101, 102, 104, 105,  106,   107,
                              109, 110, 112, 113, 1209, 10001, 10014};
    for (int attr : quiet) {
        clearLog();
        EXPECT_EQ(SQLSetConnectAttr(dbc, attr, intValue(1), 0), SQL_ERROR) << attr;
        EXPECT_STREQ(dbc->diag.sqlState, "HYC00") << attr;
        EXPECT_EQ(logged(log4cplus::INFO_LOG_LEVEL, "hDbc = " + hexValue(dbc) + ", Attribute = " +
                                                        std::to_string(attr) + ", Value = 1"),
                  1u);
    }
    for (int attr : {0, 3, 100, 114, 1208, 10002}) {
        clearLog();
        EXPECT_EQ(SQLSetConnectAttr(dbc, attr, intValue(1), 0), SQL_ERROR) << attr;
        EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL,
                         "Invalid Connection Attribute = " + std::to_string(attr)),
                  1u);
        EXPECT_STREQ(dbc->diag.sqlState, "HY092") << attr;
    }
    // An accepted attribute leaves no record of the refusal before it.
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, intValue(30), 0), SQL_SUCCESS);
    EXPECT_STREQ(dbc->diag.sqlState, "");
    EXPECT_EQ(SQLSetConnectAttr(nullptr, SQL_ATTR_LOGIN_TIMEOUT, intValue(1), 0),
              SQL_INVALID_HANDLE);
}

TEST_F(ConnectAttrTest, NothingCanBeRead) {
    std::vector<int> quiet = {4, 1209, 10001, 10014};
    for (int attr = 101; attr <= 113; attr++)
        quiet.push_back(attr);
    for (int attr : quiet) {
        clearLog();
        SQLINTEGER value = 4242;
        EXPECT_EQ(SQLGetConnectAttr(dbc, attr, &value, sizeof(value), nullptr), SQL_ERROR) << attr;
        EXPECT_EQ(value, 4242);
        EXPECT_STREQ(dbc->diag.sqlState, "HYC00") << attr;
    }
    for (int attr : {0, 100, 114, 10002}) {
        clearLog();
        SQLINTEGER value = 4242;
        EXPECT_EQ(SQLGetConnectAttr(dbc, attr, &value, sizeof(value), nullptr), SQL_ERROR) << attr;
        EXPECT_EQ(value, 4242);
        EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL,
                         "Invalid Connection Attribute=" + std::to_string(attr)),
                  1u);
        EXPECT_STREQ(dbc->diag.sqlState, "HY092") << attr;
    }
    EXPECT_EQ(SQLGetConnectAttr(nullptr, SQL_ATTR_LOGIN_TIMEOUT, nullptr, 0, nullptr),
              SQL_INVALID_HANDLE);
}

using StmtAttrTest = MiscOdbcTest;

TEST_F(StmtAttrTest, DescriptorHandlesAreTheStatementItself) {
    for (int attr : {SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC, SQL_ATTR_IMP_ROW_DESC,
                     SQL_ATTR_IMP_PARAM_DESC}) {
        struct {
            SQLHDESC desc;
            uint32_t guard;
        } out;
        memset(&out, 0xAB, sizeof(out));
        EXPECT_EQ(SQLGetStmtAttr(stmt, attr, &out.desc, sizeof(out.desc), nullptr), SQL_SUCCESS)
            << attr;
        EXPECT_EQ(out.desc, (SQLHDESC)stmt) << attr;
        EXPECT_EQ(out.guard, 0xABABABABu);
        EXPECT_EQ(SQLGetStmtAttr(stmt, attr, nullptr, 0, nullptr), SQL_SUCCESS) << attr;
    }
}

TEST_F(StmtAttrTest, OtherReadsFail) {
    std::vector<int> quiet = {-2, -1, 10014};
    for (int a = 0; a <= 8; a++)
        quiet.push_back(a);
    for (int a = 10; a <= 12; a++)
        quiet.push_back(a);
    for (int a = 14; a <= 27; a++)
        if (a != SQL_ATTR_ROWS_FETCHED_PTR) quiet.push_back(a);
    for (int attr : quiet) {
        clearLog();
        SQLULEN value = 99;
        EXPECT_EQ(SQLGetStmtAttr(stmt, attr, &value, sizeof(value), nullptr), SQL_ERROR) << attr;
        EXPECT_EQ(value, 99u) << attr;
        EXPECT_STREQ(stmt->diag.sqlState, "HYC00") << attr;
        EXPECT_EQ(logged(log4cplus::DEBUG_LOG_LEVEL,
                         "hStmt = " + hexValue(stmt) + ", Attribute = " + std::to_string(attr)),
                  1u);
    }
    for (int attr : {9, 13, 28, -3, 10009, 10015}) {
        clearLog();
        SQLULEN value = 99;
        EXPECT_EQ(SQLGetStmtAttr(stmt, attr, &value, sizeof(value), nullptr), SQL_ERROR) << attr;
        EXPECT_EQ(value, 99u);
        EXPECT_EQ(loggedAnyLevel("Unrecognized input parameter " + std::to_string(attr)), 1u);
        EXPECT_STREQ(stmt->diag.sqlState, "HY092") << attr;
    }
    clearLog();
    EXPECT_EQ(SQLGetStmtAttr(nullptr, SQL_ATTR_APP_ROW_DESC, nullptr, 0, nullptr),
              SQL_INVALID_HANDLE);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "hStmt is SQL_INVALID_HANDLEd"), 1u);
}

TEST_F(StmtAttrTest, OnlyRowsFetchedPointerIsAccepted) {
    SQLULEN fetched = 0;
    EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);

    std::vector<int> quiet = {-2, -1, 27};
    for (int a = 0; a <= 8; a++)
        quiet.push_back(a);
    for (int a = 10; a <= 12; a++)
        quiet.push_back(a);
    for (int a = 14; a <= 25; a++)
        quiet.push_back(a);
    for (int a = 10010; a <= 10014; a++)
        quiet.push_back(a);
    for (int attr : quiet) {
        clearLog();
        EXPECT_EQ(SQLSetStmtAttr(stmt, attr, intValue(1), 0), SQL_ERROR) << attr;
        EXPECT_STREQ(stmt->diag.sqlState, "HYC00") << attr;
        EXPECT_EQ(logged(log4cplus::DEBUG_LOG_LEVEL, "hStmt = " + hexValue(stmt) +
                                                         ", Attribute = " + std::to_string(attr) +
                                                         ", value = 1"),
                  1u);
    }
    for (int attr : {9, 13, 28, 10009, 10015}) {
        clearLog();
        EXPECT_EQ(SQLSetStmtAttr(stmt, attr, intValue(1), 0), SQL_ERROR) << attr;
        EXPECT_EQ(loggedAnyLevel("Unrecognized input parameter " + std::to_string(attr)), 1u);
        EXPECT_STREQ(stmt->diag.sqlState, "HY092") << attr;
    }
    clearLog();
    EXPECT_EQ(SQLSetStmtAttr(nullptr, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0), SQL_INVALID_HANDLE);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "hStmt is SQL_INVALID_HANDLE"), 1u);
}

class CursorNameTest : public MiscOdbcTest {
  protected:
    std::string defaultName() const {
        char buf[64];
        snprintf(buf, sizeof(buf), "CUR_%08lX", (unsigned long)(uintptr_t)stmt);
        return buf;
    }
};

TEST_F(CursorNameTest, FreshStatementNameFitsOrIsCut) {
    const std::string name = defaultName();
    const SQLSMALLINT n = (SQLSMALLINT)name.size();
    char buf[128];
    SQLSMALLINT len = -1;

    memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(SQLGetCursorName(stmt, (SQLCHAR*)buf, n + 1, &len), SQL_SUCCESS);
    EXPECT_EQ(std::string(buf), name);
    EXPECT_EQ(len, n);
    EXPECT_EQ(buf[n + 1], 'x');

    memset(buf, 'x', sizeof(buf));
    len = -1;
    EXPECT_EQ(SQLGetCursorName(stmt, (SQLCHAR*)buf, n, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(stmt->diag.sqlState, "01004");
    EXPECT_EQ(std::string(buf), name.substr(0, n - 1));
    EXPECT_EQ(len, n);
    EXPECT_EQ(buf[n], 'x');

    std::vector<std::string> texts = msgLogTexts("SQLGetCursorName.cpp");
    const std::string trace = "hStmt = " + hexValue(stmt);
    std::vector<std::string> want = {trace, "SQL_SUCCESS", trace,
                                     "SQL_SUCCESS_WITH_INFO Cursor was truncated"};
    EXPECT_EQ(texts, want);
}

// A zero-length buffer asks for the length; a negative one is refused.
TEST_F(CursorNameTest, NonPositiveBufferLengthsWriteNothing) {
    const SQLSMALLINT name = (SQLSMALLINT)defaultName().size();
    const struct {
        int size;
        SQLRETURN rc;
        const char* state;
        SQLSMALLINT len;
    } rows[] = {
        {0, SQL_SUCCESS_WITH_INFO, "01004", name},
        {-1, SQL_ERROR, "HY090", -1},
        {-3, SQL_ERROR, "HY090", -1},
        {-200, SQL_ERROR, "HY090", -1},
    };
    for (const auto& r : rows) {
        char buf[16];
        memset(buf, 'x', sizeof(buf));
        SQLSMALLINT len = -1;
        EXPECT_EQ(SQLGetCursorName(stmt, (SQLCHAR*)buf, (SQLSMALLINT)r.size, &len), r.rc) << r.size;
        EXPECT_STREQ(stmt->diag.sqlState, r.state) << r.size;
        EXPECT_EQ(len, r.len) << r.size;
        for (char c : buf) {
            EXPECT_EQ(c, 'x') << r.size;
        }
    }
}

TEST_F(CursorNameTest, GetRefusesMissingBuffer) {
    EXPECT_EQ(SQLGetCursorName(stmt, nullptr, 10, nullptr), SQL_ERROR);
    EXPECT_STREQ(stmt->diag.sqlState, "HY009");
    EXPECT_EQ(SQLGetCursorName(nullptr, nullptr, 10, nullptr), SQL_INVALID_HANDLE);
    std::vector<std::string> texts = msgLogTexts("SQLGetCursorName.cpp");
    std::vector<std::string> want = {"hStmt = " + hexValue(stmt), "SQL_ERROR No cursor name."};
    EXPECT_EQ(texts, want);
}

TEST_F(CursorNameTest, SetThenGet) {
    char buf[128];
    EXPECT_EQ(SQLSetCursorName(stmt, (SQLCHAR*)"orders_cursor", SQL_NTS), SQL_SUCCESS);
    std::vector<std::string> texts = msgLogTexts("SQLSetCursorName.cpp");
    std::vector<std::string> want = {"hStmt = " + hexValue(stmt), "SQL_SUCCESS"};
    EXPECT_EQ(texts, want);
    EXPECT_EQ(SQLGetCursorName(stmt, (SQLCHAR*)buf, sizeof(buf), nullptr), SQL_SUCCESS);
    EXPECT_STREQ(buf, "orders_cursor");

    // An explicit length takes that many characters.
    EXPECT_EQ(SQLSetCursorName(stmt, (SQLCHAR*)"abcdefgh", 4), SQL_SUCCESS);
    EXPECT_EQ(SQLGetCursorName(stmt, (SQLCHAR*)buf, sizeof(buf), nullptr), SQL_SUCCESS);
    EXPECT_STREQ(buf, "abcd");

    // ... but never reads past a NUL inside the name.
    char* exact = (char*)malloc(3);
    memcpy(exact, "Zq", 3);
    EXPECT_EQ(SQLSetCursorName(stmt, (SQLCHAR*)exact, 50), SQL_SUCCESS);
    free(exact);
    EXPECT_EQ(SQLGetCursorName(stmt, (SQLCHAR*)buf, sizeof(buf), nullptr), SQL_SUCCESS);
    EXPECT_STREQ(buf, "Zq");
}

TEST_F(CursorNameTest, LongNamesAreCutToTheField) {
    std::string longName = "C" + std::string(200, 'n');
    EXPECT_EQ(SQLSetCursorName(stmt, (SQLCHAR*)longName.c_str(), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(std::string(stmt->cursorName), longName.substr(0, 99));
    EXPECT_EQ(SQLSetCursorName(stmt, (SQLCHAR*)longName.c_str(), 150), SQL_SUCCESS);
    EXPECT_EQ(std::string(stmt->cursorName), longName.substr(0, 99));
    char buf[128];
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetCursorName(stmt, (SQLCHAR*)buf, sizeof(buf), &len), SQL_SUCCESS);
    EXPECT_EQ(len, 99);
}

TEST_F(CursorNameTest, NamesMustStartWithALetter) {
    const std::string before = stmt->cursorName;
    struct Case {
        const char* name;
        SQLSMALLINT length;
        const char* state;
    } cases[] = {
        {"1abc", SQL_NTS, "34000"},  {"_abc", SQL_NTS, "34000"},  {"", SQL_NTS, "34000"},
        {"\xC4x", SQL_NTS, "34000"}, {nullptr, SQL_NTS, "HY009"}, {"abc", 0, "HY090"},
        {"abc", -7, "HY090"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SQLSetCursorName(stmt, (SQLCHAR*)c.name, c.length), SQL_ERROR) << c.state;
        EXPECT_STREQ(stmt->diag.sqlState, c.state);
    }
    EXPECT_EQ(std::string(stmt->cursorName), before);
    EXPECT_EQ(SQLSetCursorName(nullptr, (SQLCHAR*)"abc", SQL_NTS), SQL_INVALID_HANDLE);

    std::vector<std::string> texts = msgLogTexts("SQLSetCursorName.cpp");
    ASSERT_EQ(texts.size(), 14u);
    for (size_t i = 0; i < texts.size(); i += 2) {
        EXPECT_EQ(texts[i], "hStmt = " + hexValue(stmt));
        EXPECT_EQ(texts[i + 1], "SQL_ERROR Invalid cursor name");
    }
}
