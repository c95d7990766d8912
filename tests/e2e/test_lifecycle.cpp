// Freeing handles and disconnecting in the wrong order is refused, and the
// refused connection stays usable.
#include "OdbcHarness.h"

using namespace e2e;

namespace {

void expectUsable(Connection& conn) {
    Statement st(conn);
    ASSERT_EQ(SQL_SUCCESS, st.exec("select 7")) << st.diagText();
    auto rows = st.fetchAllText();
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("7", rows[0][0]);
}

} // namespace

TEST(Lifecycle, DisconnectRefusedWhileAStatementIsAllocated) {
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(testProject()));
    SQLHSTMT st = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, conn.dbc, &st));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(st, (SQLCHAR*)"select 7", SQL_NTS));

    EXPECT_EQ(SQL_ERROR, SQLDisconnect(conn.dbc));

    // The statement and its result survived the refusal.
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st));
    EXPECT_EQ("7", getText(st, 1));
    expectUsable(conn);

    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, st));
    EXPECT_EQ(SQL_SUCCESS, conn.disconnect());
}

TEST(Lifecycle, FreeingAConnectedConnectionIsRefused) {
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(testProject()));
    EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_DBC, conn.dbc));
    expectUsable(conn);
    // Nor can the environment go while its connection exists.
    EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_ENV, conn.env));
    expectUsable(conn);
    ASSERT_EQ(SQL_SUCCESS, conn.disconnect());
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, conn.dbc));
    conn.dbc = SQL_NULL_HDBC;
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_ENV, conn.env));
    conn.env = SQL_NULL_HENV;
}

TEST(Lifecycle, ManyStatementsFreedInAnyOrder) {
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(testProject()));
    SQLHSTMT st[4];
    for (auto& s : st)
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, conn.dbc, &s));
    for (int i = 0; i < 4; ++i) {
        std::string sql = "select " + std::to_string(i + 10);
        ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(st[i], (SQLCHAR*)sql.c_str(), SQL_NTS));
    }
    // Results of different statements are independent of each other.
    for (int i : {2, 0, 3, 1}) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st[i]));
        EXPECT_EQ(std::to_string(i + 10), getText(st[i], 1));
    }
    for (int i : {1, 3, 0})
        EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, st[i]));
    EXPECT_EQ(SQL_ERROR, SQLDisconnect(conn.dbc));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, st[2]));
    EXPECT_EQ(SQL_SUCCESS, conn.disconnect());
}

TEST(Lifecycle, PreparedTextRunsTwiceThenANewTextAfterClose) {
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(testProject()));
    Statement st(conn);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st.h, (SQLCHAR*)"select 5", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(st.h)) << st.diagText();
    // A prepared statement runs again as a new job.
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(st.h)) << st.diagText();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
    EXPECT_EQ("5", getText(st.h, 1));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st.h));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(st.h, SQL_CLOSE));
    // A new text runs after the close.
    ASSERT_EQ(SQL_SUCCESS, st.exec("select 6")) << st.diagText();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
    EXPECT_EQ("6", getText(st.h, 1));
}
