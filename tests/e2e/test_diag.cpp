// Failures of the service and of jobs, read back through SQLGetDiagRec.
#include "OdbcHarness.h"

#include <cstring>
#include <functional>

using namespace e2e;

namespace {

const std::string kPrefix = "VKL Service response: ";

class Diagnostics : public ::testing::Test {
protected:
    void connect(const std::string& extra = "") {
        project = testProject();
        emulator().reset(project);
        conn = std::make_unique<Connection>();
        E2E_CONNECT(*conn, akskConnStr(project, extra));
        st = std::make_unique<Statement>(*conn);
    }
    Diag stmtDiag(SQLSMALLINT bufLen = 2048) { return diag(SQL_HANDLE_STMT, st->h, 1, bufLen); }

    // After a failure the statement can run the next statement normally.
    void expectRecovers() {
        ASSERT_EQ(SQL_SUCCESS, st->exec("select 42")) << st->diagText();
        auto rows = st->fetchAllText();
        ASSERT_EQ(1u, rows.size());
        EXPECT_EQ("42", rows[0][0]);
    }

    std::string project;
    std::unique_ptr<Connection> conn;
    std::unique_ptr<Statement> st;
};

} // namespace

TEST_F(Diagnostics, SqlErrorOfTheServiceCarriesItsMessage) {
    connect();
    EXPECT_EQ(SQL_ERROR, st->exec("select * from no_such_table_here"));
    Diag d = stmtDiag();
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("01000", d.state);
    EXPECT_EQ(4, d.native);
    EXPECT_EQ(kPrefix, d.text.substr(0, kPrefix.size())) << d.text;
    EXPECT_NE(std::string::npos, d.text.find("no_such_table_here")) << d.text;
    EXPECT_EQ(static_cast<SQLSMALLINT>(d.text.size()), d.textLen);
    // One record per handle.
    EXPECT_EQ(SQL_NO_DATA, diag(SQL_HANDLE_STMT, st->h, 2).ret);
    // Nothing was fetched for it.
    EXPECT_EQ(0u, pageRequests(project));
    expectRecovers();
}

TEST_F(Diagnostics, HttpErrorStatusOnSubmit) {
    connect();
    fault(project, "submit", "status", "\"status\":500,\"body\":\"internal trouble\"");
    EXPECT_EQ(SQL_ERROR, st->exec("select 1"));
    Diag d = stmtDiag();
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("01000", d.state);
    EXPECT_EQ(4, d.native);
    EXPECT_EQ(kPrefix + "internal trouble", d.text);
    expectRecovers();
}

TEST_F(Diagnostics, FailedJob) {
    connect();
    fault(project, "status", "job_failed", "\"message\":\"disk quota exceeded\"");
    EXPECT_EQ(SQL_ERROR, st->exec("select 1"));
    Diag d = stmtDiag();
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("01000", d.state);
    EXPECT_EQ(4, d.native);
    EXPECT_EQ(kPrefix + "disk quota exceeded", d.text);
    // A failed job has no result to page through.
    EXPECT_EQ(0u, pageRequests(project));
    EXPECT_EQ(SQL_ERROR, SQLFetch(st->h));
    expectRecovers();
}

TEST_F(Diagnostics, CancelledJob) {
    connect();
    fault(project, "status", "job_cancelled", "\"message\":\"cancelled by admin\"");
    EXPECT_EQ(SQL_ERROR, st->exec("select 1"));
    Diag d = stmtDiag();
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("01000", d.state);
    EXPECT_EQ(kPrefix + "cancelled by admin", d.text);
}

TEST_F(Diagnostics, TimeOutAndItsTruncatedMessage) {
    connect("JOBTIMEOUT=1");
    fault(project, "status", "never_finish", "\"count\":100");
    EXPECT_EQ(SQL_ERROR, st->exec("select 1"));
    // The job was polled, more than once, but never read.
    EXPECT_GE(statusRequests(project), 2u);
    EXPECT_EQ(0u, pageRequests(project));

    const std::string msg = "VKL Service Response Time Out.";
    Diag whole = diag(SQL_HANDLE_STMT, st->h, 1, 31);
    EXPECT_EQ(SQL_SUCCESS, whole.ret);
    EXPECT_EQ("HY000", whole.state);
    EXPECT_EQ(3, whole.native);
    EXPECT_EQ(msg, whole.text);
    EXPECT_EQ(30, whole.textLen);

    // A 10-byte buffer: nine characters and a NUL, the full length, with info.
    SQLCHAR state[6];
    SQLINTEGER native = 0;
    SQLCHAR buf[16];
    memset(buf, 0x7F, sizeof buf);
    SQLSMALLINT len = -1;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLGetDiagRec(SQL_HANDLE_STMT, st->h, 1, state, &native, buf, 10, &len));
    EXPECT_EQ(msg.substr(0, 9), std::string((char*)buf));
    EXPECT_EQ(0x7F, buf[10]) << "written past the buffer";
    EXPECT_EQ(30, len);
    EXPECT_STREQ("HY000", (char*)state);

    // Reading does not clear it.
    EXPECT_EQ(msg, stmtDiag().text);
}

TEST_F(Diagnostics, LongServiceMessageIsCutTo1024Characters) {
    connect();
    std::string longText(1100, 'x');
    for (size_t i = 0; i < longText.size(); i += 10) longText[i] = static_cast<char>('a' + (i / 10) % 26);
    fault(project, "submit", "not_success", "\"message\":\"" + longText + "\"");
    EXPECT_EQ(SQL_ERROR, st->exec("select 1"));
    Diag d = stmtDiag(2048);
    ASSERT_TRUE(SQL_SUCCEEDED(d.ret));
    std::string expected = (kPrefix + longText).substr(0, 1024);
    EXPECT_EQ(expected.size(), d.text.size());
    EXPECT_EQ(expected, d.text);
}

TEST_F(Diagnostics, RejectedSetStatement) {
    connect();
    EXPECT_EQ(SQL_ERROR, st->exec("set vkl.some.flag"));
    Diag d = stmtDiag();
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("01000", d.state);
    EXPECT_EQ(1, d.native);
    EXPECT_EQ("VKL ODBC Invalid SQL syntax.", d.text);
    // SET is handled by the driver: nothing reached the service.
    EXPECT_EQ(0u, submitRequests(project));
}

TEST_F(Diagnostics, FailedResultPageDuringFetchIsRetried) {
    connect();
    ASSERT_EQ(SQL_SUCCESS, st->exec("select id from numbers order by id")) << st->diagText();
    ASSERT_EQ(1u, pageRequests(project));
    fault(project, "result", "not_success", "\"message\":\"page unavailable\",\"count\":1");
    SQLINTEGER id = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st->h, 1, SQL_C_SLONG, &id, 0, &ind));
    for (int i = 1; i <= 100; ++i) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h)) << "row " << i;
        ASSERT_EQ(i, id);
    }
    // The second page fails once: the fetch reports it, and the next fetch
    // asks for the same page again and goes on where it stopped.
    EXPECT_EQ(SQL_ERROR, SQLFetch(st->h));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h)) << st->diagText();
    EXPECT_EQ(101, id);
    EXPECT_EQ(3u, pageRequests(project));
}

TEST_F(Diagnostics, DroppedConnectionFailsTheStatementOnly) {
    connect();
    fault(project, "submit", "drop");
    EXPECT_EQ(SQL_ERROR, st->exec("select 1"));
    expectRecovers();
}

TEST_F(Diagnostics, EachStatementKeepsItsOwnDiagnostic) {
    connect();
    Statement good(*conn);
    EXPECT_EQ(SQL_ERROR, st->exec("select * from no_such_table_here"));
    ASSERT_EQ(SQL_SUCCESS, good.exec("select 1")) << good.diagText();
    Diag d = stmtDiag();
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("01000", d.state);
    EXPECT_NE(std::string::npos, d.text.find("no_such_table_here"));
}

namespace {

SQLCHAR* sqlText(const char* s) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s));
}

// One failure class of the ODBC layer: the calls that lead to it (the last
// one is the one judged), the handle whose record tells, and what it says.
struct Refusal {
    const char* what;
    SQLSMALLINT handleType;
    std::function<SQLRETURN(Connection&, Statement&)> call;
    SQLRETURN rc;
    const char* state;
    const char* text;
};

// A second call on the same handle that succeeds, whatever state the
// failure left the handle in.
SQLRETURN succeed(SQLSMALLINT handleType, Connection& conn, Statement& st) {
    if (handleType == SQL_HANDLE_STMT) {
        SQLCHAR name[128];
        return SQLGetCursorName(st.h, name, sizeof name, nullptr);
    }
    SQLUSMALLINT txn = 0;
    return SQLGetInfo(conn.dbc, SQL_TXN_CAPABLE, &txn, sizeof txn, nullptr);
}

} // namespace

TEST_F(Diagnostics, EveryRefusalOfTheOdbcLayerSaysWhy) {
    connect();
    SQLCHAR buf[64];
    SQLSMALLINT len = 0;
    SQLLEN num = 0;
    auto execOne = [](Statement& s) { return s.exec("select 1 as a"); };
    const std::string longName(513, 't');
    const std::vector<Refusal> rows = {
        {"column number out of range", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             execOne(s);
             return SQLDescribeCol(s.h, 7, buf, sizeof buf, &len, nullptr, nullptr, nullptr,
                                   nullptr);
         },
         SQL_ERROR, "07009", "Column 7 is out of range"},
        {"attribute of a column out of range", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             execOne(s);
             return SQLColAttribute(s.h, 7, SQL_DESC_TYPE, nullptr, 0, nullptr, &num);
         },
         SQL_ERROR, "07009", "Column out of bounds: 7"},
        {"binding a column out of range", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             execOne(s);
             return SQLBindCol(s.h, 7, SQL_C_CHAR, buf, sizeof buf, &num);
         },
         SQL_ERROR, "07009", "Column 7 is out of range"},
        {"empty statement", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) { return s.exec(" ; "); }, SQL_ERROR, "HY010",
         "No SQL to process"},
        {"execute after SQL_CLOSE", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             SQLPrepare(s.h, sqlText("select 1"), SQL_NTS);
             SQLExecute(s.h);
             SQLFreeStmt(s.h, SQL_CLOSE);
             return SQLExecute(s.h);
         },
         SQL_ERROR, "HY010", "Query sql is NULL"},
        {"NULL output pointer", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) { return SQLGetCursorName(s.h, nullptr, 10, &len); },
         SQL_ERROR, "HY009", "No cursor name."},
        {"name longer than the driver takes", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             return SQLColumns(s.h, nullptr, 0, nullptr, 0, sqlText(longName.c_str()),
                               (SQLSMALLINT)longName.size(), nullptr, 0);
         },
         SQL_ERROR, "HY090", "table name is too long"},
        {"cut text", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) { return SQLGetCursorName(s.h, buf, 4, &len); },
         SQL_SUCCESS_WITH_INFO, "01004", "Cursor was truncated"},
        {"unsupported entry point", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             return SQLProcedures(s.h, nullptr, 0, nullptr, 0, nullptr, 0);
         },
         SQL_ERROR, "HYC00", "SQLProcedures not currently supported"},
        {"unsupported statement attribute", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             return SQLSetStmtAttr(s.h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0);
         },
         SQL_ERROR, "HYC00", "Statement attribute 0 not currently supported"},
        {"unsupported connection attribute", SQL_HANDLE_DBC,
         [&](Connection& c, Statement&) {
             return SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT,
                                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
         },
         SQL_ERROR, "HYC00", "Connection attribute 102 not currently supported"},
        {"unknown information type", SQL_HANDLE_DBC,
         [&](Connection& c, Statement&) { return SQLGetInfo(c.dbc, 65535, buf, sizeof buf, &len); },
         SQL_ERROR, "HY096", "Unrecognized input parameter InfoType 65535"},
        {"information type without an answer", SQL_HANDLE_DBC,
         [&](Connection& c, Statement&) {
             return SQLGetInfo(c.dbc, SQL_KEYWORDS, buf, sizeof buf, &len);
         },
         SQL_ERROR, "HYC00", "Input InfoType 89 not currently supported"},
        {"disconnect with a statement", SQL_HANDLE_DBC,
         [&](Connection& c, Statement&) { return SQLDisconnect(c.dbc); }, SQL_ERROR, "HY010",
         "Active Statements exist"},
    };
    for (const Refusal& r : rows) {
        SCOPED_TRACE(r.what);
        Statement s(*conn);
        SQLHANDLE h = r.handleType == SQL_HANDLE_STMT ? s.h : conn->dbc;
        EXPECT_EQ(r.rc, r.call(*conn, s));
        Diag d = diag(r.handleType, h);
        ASSERT_EQ(SQL_SUCCESS, d.ret);
        EXPECT_EQ(r.state, d.state);
        EXPECT_NE(std::string::npos, d.text.find(r.text)) << d.text;
        EXPECT_EQ(0, d.native);
        // The next call on the handle that succeeds leaves no record of it.
        ASSERT_EQ(SQL_SUCCESS, succeed(r.handleType, *conn, s));
        EXPECT_EQ(SQL_NO_DATA, diag(r.handleType, h).ret);
    }

    // The usual "how long is it?" call.
    len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(conn->dbc, SQL_DBMS_NAME, nullptr, 0, &len));
    EXPECT_EQ(3, len);
}

TEST(DiagnosticsAtConnect, MissingRequiredKeyNamesIt) {
    std::string project = testProject();
    emulator().reset(project);
    std::string connStr = akskConnStr(project);
    connStr.replace(connStr.find(";PROJECTID="), std::string(";PROJECTID=").size() + project.size(),
                    "");
    Connection conn;
    EXPECT_EQ(SQL_ERROR, conn.driverConnect(connStr));
    Diag d = diag(SQL_HANDLE_DBC, conn.dbc);
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("08001", d.state);
    EXPECT_NE(std::string::npos, d.text.find("PROJECTID cannot be empty")) << d.text;
    EXPECT_TRUE(emulator().requests(project).empty());
}
