// Handle records, their lists, and the allocate and free entry points.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "ColumnHeader.h"
#include "ConnProperty.h"
#include "LogCapture.h"
#include "NavixResultSet.h"
#include "TempDir.h"
#include "handles.h"

namespace {

// A result set that reports its own destruction, to see that freeing a
// statement destroys what it holds, and as its own class.
int gDestroyed = 0;
class TrackedResultSet : public NavixQueryResultSet {
  public:
    ~TrackedResultSet() override { gDestroyed++; }
};

// Handle tests write message logs into the current directory: keep them in a
// scratch directory of their own.
class HandleTest : public testing::Test {
  protected:
    TempDir dir;
    ScopedChdir cwd{dir.path()};
    SQLHENV henv = SQL_NULL_HENV;
    SQLHDBC hdbc = SQL_NULL_HDBC;

    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &henv), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, henv, &hdbc), SQL_SUCCESS);
    }
    void TearDown() override {
        if (hdbc != SQL_NULL_HDBC) {
            EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, hdbc), SQL_SUCCESS);
        }
        if (henv != SQL_NULL_HENV) {
            EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, henv), SQL_SUCCESS);
        }
    }
    EnvHandle* env() { return static_cast<EnvHandle*>(henv); }
    DbcHandle* dbc() { return static_cast<DbcHandle*>(hdbc); }
    SQLHSTMT newStmt() {
        SQLHSTMT h = SQL_NULL_HSTMT;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &h), SQL_SUCCESS);
        return h;
    }
};

bool allZero(const void* p, size_t n) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; i++) {
        if (b[i] != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST_F(HandleTest, NewRecordsStartEmpty) {
    EXPECT_EQ(env()->firstDbc, dbc());
    EXPECT_EQ(env()->lastDbc, dbc());
    EXPECT_EQ(env()->odbcVersion, 0);
    ASSERT_NE(env()->msgLog, nullptr);
    EXPECT_EQ(env()->msgLog->on, 1);
    EXPECT_STREQ(env()->msgLog->fileName, "vorn_odbc.log");

    EXPECT_EQ(dbc()->env, env());
    EXPECT_EQ(dbc()->prev, nullptr);
    EXPECT_EQ(dbc()->next, nullptr);
    EXPECT_EQ(dbc()->connected, 0);
    EXPECT_EQ(dbc()->firstStmt, nullptr);
    ASSERT_NE(dbc()->extras, nullptr);
    EXPECT_EQ(dbc()->extras->conn, nullptr);
    EXPECT_EQ(dbc()->extras->connInfo, nullptr);
    ASSERT_NE(dbc()->msgLog, nullptr);
    EXPECT_EQ(dbc()->msgLog->on, 1);
    EXPECT_TRUE(allZero(&dbc()->diag, sizeof(DiagRecord)));

    SQLHSTMT h = newStmt();
    StmtHandle* s = static_cast<StmtHandle*>(h);
    EXPECT_EQ(s->dbc, dbc());
    EXPECT_EQ(s->sqlText, nullptr);
    ASSERT_NE(s->extras, nullptr);
    EXPECT_EQ(s->extras->resultSet, nullptr);
    EXPECT_EQ(s->extras->columnHeaders, nullptr);
    EXPECT_EQ(s->extras->columnCount, 0u);
    ASSERT_NE(s->msgLog, nullptr);
    EXPECT_EQ(s->msgLog->on, 1);
    EXPECT_TRUE(allZero(&s->diag, sizeof(DiagRecord)));
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, h), SQL_SUCCESS);
}

TEST_F(HandleTest, CursorNameCarriesTheWholeHandleValue) {
    SQLHSTMT h = newStmt();
    char expected[64];
    snprintf(expected, sizeof(expected), "CUR_%08lX", (unsigned long)(uintptr_t)h);
    const char* name = static_cast<StmtHandle*>(h)->cursorName;
    EXPECT_STREQ(name, expected);
    // Upper-case hexadecimal of the full 64-bit address, nothing cut.
    EXPECT_EQ(strtoull(name + 4, NULL, 16), (unsigned long long)(uintptr_t)h);
    EXPECT_EQ(strspn(name + 4, "0123456789ABCDEF"), strlen(name + 4));
    EXPECT_GE(strlen(name), 12u);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_F(HandleTest, StatementsFreedMiddleLastFirst) {
    SQLHSTMT a = newStmt(), b = newStmt(), c = newStmt();
    StmtHandle* sa = static_cast<StmtHandle*>(a);
    StmtHandle* sb = static_cast<StmtHandle*>(b);
    StmtHandle* sc = static_cast<StmtHandle*>(c);
    EXPECT_EQ(dbc()->firstStmt, sa);
    EXPECT_EQ(dbc()->lastStmt, sc);
    EXPECT_EQ(sa->prev, nullptr);
    EXPECT_EQ(sa->next, sb);
    EXPECT_EQ(sb->prev, sa);
    EXPECT_EQ(sb->next, sc);
    EXPECT_EQ(sc->prev, sb);
    EXPECT_EQ(sc->next, nullptr);

    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, b), SQL_SUCCESS);
    EXPECT_EQ(sa->next, sc);
    EXPECT_EQ(sc->prev, sa);
    EXPECT_EQ(dbc()->firstStmt, sa);
    EXPECT_EQ(dbc()->lastStmt, sc);

    EXPECT_EQ(SQLFreeStmt(c, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(dbc()->firstStmt, sa);
    EXPECT_EQ(dbc()->lastStmt, sa);
    EXPECT_EQ(sa->next, nullptr);

    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, a), SQL_SUCCESS);
    EXPECT_EQ(dbc()->firstStmt, nullptr);
    EXPECT_EQ(dbc()->lastStmt, nullptr);

    EXPECT_EQ(SQLFreeConnect(hdbc), SQL_SUCCESS);
    hdbc = SQL_NULL_HDBC;
    EXPECT_EQ(env()->firstDbc, nullptr);
    EXPECT_EQ(env()->lastDbc, nullptr);
}

TEST_F(HandleTest, ConnectionsFreedMiddleLastFirst) {
    SQLHDBC b = SQL_NULL_HDBC, c = SQL_NULL_HDBC;
    ASSERT_EQ(SQLAllocConnect(henv, &b), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, henv, &c), SQL_SUCCESS);
    DbcHandle* da = dbc();
    DbcHandle* db = static_cast<DbcHandle*>(b);
    DbcHandle* dc = static_cast<DbcHandle*>(c);
    EXPECT_EQ(da->next, db);
    EXPECT_EQ(db->prev, da);
    EXPECT_EQ(db->next, dc);
    EXPECT_EQ(env()->lastDbc, dc);

    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, b), SQL_SUCCESS);
    EXPECT_EQ(da->next, dc);
    EXPECT_EQ(dc->prev, da);
    EXPECT_EQ(SQLFreeConnect(c), SQL_SUCCESS);
    EXPECT_EQ(env()->lastDbc, da);
    EXPECT_EQ(da->next, nullptr);
    EXPECT_EQ(SQLFreeConnect(hdbc), SQL_SUCCESS);
    hdbc = SQL_NULL_HDBC;
    EXPECT_EQ(env()->firstDbc, nullptr);
    EXPECT_EQ(env()->lastDbc, nullptr);
}

TEST_F(HandleTest, FreeConnectRefusesWhileStatementsRemain) {
    LogCapture capture;
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocStmt(hdbc, &h), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeConnect(hdbc), SQL_ERROR);
    EXPECT_EQ(capture.count("_FreeConnect][SQL_ERROR Connection has allocated statements"), 1u);
    EXPECT_EQ(dbc()->firstStmt, h) << "nothing freed by the refusal";
    EXPECT_EQ(SQLFreeStmt(h, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeConnect(hdbc), SQL_SUCCESS);
    hdbc = SQL_NULL_HDBC;
}

TEST_F(HandleTest, FreeConnectRefusesWhileConnected) {
    LogCapture capture;
    dbc()->connected = 1;
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, hdbc), SQL_ERROR);
    EXPECT_EQ(capture.count("_FreeConnect][SQL_ERROR Connection is active"), 1u);
    dbc()->connected = 0;

    // A held client connection counts as open even with the flag down.
    NavixConnection* fake = reinterpret_cast<NavixConnection*>(&capture);
    dbc()->extras->conn = fake;
    EXPECT_EQ(SQLFreeConnect(hdbc), SQL_ERROR);
    EXPECT_EQ(capture.count("SQL_ERROR Connection is active"), 2u);
    dbc()->extras->conn = NULL;
    EXPECT_EQ(env()->firstDbc, dbc());
}

TEST_F(HandleTest, FreeEnvRefusesWhileConnectionsRemain) {
    LogCapture capture;
    EXPECT_EQ(SQLFreeEnv(henv), SQL_ERROR);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, henv), SQL_ERROR);
    EXPECT_EQ(capture.count("_FreeEnv][SQL_ERROR There are allocated Connections"), 2u);
    // The environment is still usable.
    SQLHDBC second = SQL_NULL_HDBC;
    ASSERT_EQ(SQLAllocConnect(henv, &second), SQL_SUCCESS);
    EXPECT_EQ(env()->lastDbc, second);
    EXPECT_EQ(SQLFreeConnect(second), SQL_SUCCESS);
}

TEST_F(HandleTest, FreeingAStatementReleasesItsResults) {
    SQLHSTMT h = newStmt();
    StmtHandle* s = static_cast<StmtHandle*>(h);
    s->sqlText = strdup("select 1");
    s->extras->resultSet = new TrackedResultSet();
    s->extras->columnCount = 2;
    s->extras->columnHeaders = static_cast<ColumnHeader*>(calloc(2, sizeof(ColumnHeader)));
    s->extras->columnHeaders[0].name = strdup("a");
    s->extras->columnHeaders[1].typeName = strdup("INT");
    gDestroyed = 0;
    EXPECT_EQ(SQLFreeStmt(h, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(gDestroyed, 1);
    // The leak checker of the sanitizer build sees the rest (texts, headers).
}

TEST_F(HandleTest, FreeingAConnectionFreesItsConnectionInfo) {
    dbc()->extras->connInfo = static_cast<ConnInfo*>(calloc(1, sizeof(ConnInfo)));
    EXPECT_EQ(SQLFreeConnect(hdbc), SQL_SUCCESS);
    hdbc = SQL_NULL_HDBC;
}

TEST_F(HandleTest, FreeStmtOptions) {
    LogCapture capture;
    SQLHSTMT h = newStmt();
    StmtHandle* s = static_cast<StmtHandle*>(h);
    s->sqlText = strdup("select 1");
    TrackedResultSet* rs = new TrackedResultSet();
    s->extras->resultSet = rs;
    s->extras->columnCount = 1;
    s->extras->columnHeaders = static_cast<ColumnHeader*>(calloc(1, sizeof(ColumnHeader)));
    SQLLEN ind = 0;
    s->extras->columnHeaders[0].boundTarget = &ind;

    EXPECT_EQ(SQLFreeStmt(h, SQL_RESET_PARAMS), SQL_SUCCESS);
    EXPECT_EQ(s->extras->columnHeaders[0].boundTarget, &ind) << "column bindings stay";
    EXPECT_EQ(SQLFreeStmt(h, SQL_UNBIND), SQL_SUCCESS);
    EXPECT_STREQ(s->sqlText, "select 1");
    EXPECT_EQ(s->extras->columnHeaders[0].boundTarget, nullptr) << "every binding goes";
    s->extras->columnHeaders[0].boundTarget = &ind;

    gDestroyed = 0;
    EXPECT_EQ(SQLFreeStmt(h, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_STREQ(s->sqlText, "select 1") << "the prepared text stays";
    EXPECT_EQ(s->extras->resultSet, nullptr) << "the result ends";
    EXPECT_EQ(s->extras->columnHeaders, nullptr);
    EXPECT_EQ(gDestroyed, 1);
    ASSERT_EQ(s->extras->keptCount, 1u) << "the bindings are kept for the next result";
    EXPECT_EQ(s->extras->keptBindings[0].target, &ind);
    EXPECT_EQ(SQLFreeStmt(h, SQL_CLOSE), SQL_SUCCESS) << "closing twice is harmless";
    EXPECT_EQ(s->extras->keptCount, 1u);

    capture.clear();
    EXPECT_EQ(SQLFreeStmt(h, 7), SQL_ERROR);
    EXPECT_EQ(capture.count("SQLFreeStmt][SQL_ERROR Invalid nOption=7"), 1u);
    EXPECT_EQ(SQLFreeStmt(h, 4), SQL_ERROR);
    EXPECT_EQ(SQLFreeStmt(h, 0xFFFF), SQL_ERROR);
    EXPECT_EQ(capture.count("SQL_ERROR Invalid nOption=65535"), 1u) << "option read unsigned";
    EXPECT_EQ(dbc()->firstStmt, s) << "a refused option frees nothing";

    EXPECT_EQ(SQLFreeStmt(h, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(gDestroyed, 1);
    EXPECT_EQ(dbc()->firstStmt, nullptr);
}

TEST_F(HandleTest, AllocHandleTypes) {
    LogCapture capture;
    SQLHANDLE out = reinterpret_cast<SQLHANDLE>(0x1234);
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, hdbc, &out), SQL_SUCCESS);
    EXPECT_EQ(out, reinterpret_cast<SQLHANDLE>(0x1234)) << "descriptor: output left as it was";
    EXPECT_EQ(SQLAllocHandle(0, henv, &out), SQL_ERROR);
    EXPECT_EQ(SQLAllocHandle(5, henv, &out), SQL_ERROR);
    EXPECT_EQ(SQLAllocHandle(-1, henv, &out), SQL_ERROR);
    EXPECT_EQ(out, reinterpret_cast<SQLHANDLE>(0x1234));
    EXPECT_TRUE(capture.entries().empty()) << "allocating logs nothing for these types";

    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, out), SQL_ERROR);
    EXPECT_EQ(SQLFreeHandle(0, henv), SQL_ERROR);
    EXPECT_EQ(capture.count("SQLFreeHandle][Handle = $"), 2u);
    EXPECT_EQ(env()->firstDbc, dbc()) << "an unknown type frees nothing";
}

TEST_F(HandleTest, NullHandlesAndNullOutputs) {
    LogCapture capture;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, NULL), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLAllocEnv(NULL), SQL_INVALID_HANDLE);

    SQLHDBC d = SQL_NULL_HDBC;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, SQL_NULL_HANDLE, &d), SQL_INVALID_HANDLE);
    EXPECT_TRUE(capture.entries().empty());
    EXPECT_EQ(SQLAllocConnect(henv, NULL), SQL_ERROR);
    EXPECT_EQ(capture.count("_AllocConnect][SQL_ERROR *phDbc is NULL"), 1u);

    SQLHSTMT s = SQL_NULL_HSTMT;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, SQL_NULL_HANDLE, &s), SQL_INVALID_HANDLE);
    EXPECT_EQ(capture.count("_AllocStmt][SQL_INVALID_HANDLE"), 1u);
    EXPECT_EQ(SQLAllocStmt(hdbc, NULL), SQL_ERROR);
    EXPECT_EQ(capture.count("_AllocStmt][SQL_ERROR phStmt=NULL"), 1u);
    EXPECT_EQ(dbc()->firstStmt, nullptr);
    EXPECT_EQ(env()->lastDbc, dbc()) << "no half-made connection linked";

    EXPECT_EQ(SQLFreeEnv(SQL_NULL_HENV), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeConnect(SQL_NULL_HDBC), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, SQL_NULL_HANDLE), SQL_INVALID_HANDLE);
    // The statement worker answers a NULL record with an error, unlike SQLFreeStmt.
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, SQL_NULL_HANDLE), SQL_ERROR);
    EXPECT_EQ(SQLFreeStmt(SQL_NULL_HSTMT, SQL_DROP), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeStmt(SQL_NULL_HSTMT, 7), SQL_INVALID_HANDLE);
}

TEST_F(HandleTest, TracesAtTheirLevels) {
    LogCapture capture;
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocStmt(hdbc, &h), SQL_SUCCESS);
    char expected[64];
    snprintf(expected, sizeof(expected), "SQLAllocStmt][hDrvDbc = $%08lX",
             (unsigned long)(uintptr_t)hdbc);
    ASSERT_EQ(capture.count(expected), 1u);
    EXPECT_EQ(capture.entries()[0].level, log4cplus::DEBUG_LOG_LEVEL);
    EXPECT_EQ(capture.entries().size(), 1u) << "a successful allocation logs nothing else";

    capture.clear();
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, h), SQL_SUCCESS);
    snprintf(expected, sizeof(expected), "SQLFreeHandle][Handle = $%08lX, HandleType = 3",
             (unsigned long)(uintptr_t)h);
    ASSERT_EQ(capture.entries().size(), 1u);
    EXPECT_EQ(capture.entries()[0].message, expected);
    EXPECT_EQ(capture.entries()[0].level, log4cplus::INFO_LOG_LEVEL);

    capture.clear();
    SQLHENV e2 = SQL_NULL_HENV;
    ASSERT_EQ(SQLAllocEnv(&e2), SQL_SUCCESS);
    EXPECT_EQ(capture.count("_AllocEnv][Alloc env success."), 1u);
    ASSERT_EQ(SQLFreeEnv(e2), SQL_SUCCESS);
    snprintf(expected, sizeof(expected), "_FreeEnv][hEnv = $%08lX", (unsigned long)(uintptr_t)e2);
    EXPECT_EQ(capture.count(expected), 1u);
}
