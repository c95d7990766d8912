// Failures of the service and of jobs, read back through SQLGetDiagRec.
#include "OdbcHarness.h"

#include <cstdlib>
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
    for (size_t i = 0; i < longText.size(); i += 10)
        longText[i] = static_cast<char>('a' + (i / 10) % 26);
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
        // The driver manager knows this one itself and answers with its
        // own text.
        {"fetch after SQL_CLOSE", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             SQLPrepare(s.h, sqlText("select 1"), SQL_NTS);
             SQLExecute(s.h);
             SQLFreeStmt(s.h, SQL_CLOSE);
             return SQLFetch(s.h);
         },
         SQL_ERROR, "HY010", "sequence error"},
        {"NUL inside the statement's length", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             return SQLExecDirect(s.h, sqlText("delete from numbers\0 where id = 2"), 33);
         },
         SQL_ERROR, "HY090", "SQL text holds a NUL character within its length 33"},
        {"NUL inside a name's length", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             return SQLTables(s.h, nullptr, 0, nullptr, 0, sqlText("numbers\0x"), 9, nullptr, 0);
         },
         SQL_ERROR, "HY090", "TableName holds a NUL character within its length 9"},
        {"NULL output pointer", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) { return SQLGetCursorName(s.h, nullptr, 10, &len); },
         SQL_ERROR, "HY009", "No cursor name."},
        {"name longer than the driver takes", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             return SQLColumns(s.h, nullptr, 0, nullptr, 0, sqlText(longName.c_str()),
                               (SQLSMALLINT)longName.size(), nullptr, 0);
         },
         SQL_ERROR, "HY090", "table name is too long"},
        {"NUL-terminated name longer than the driver takes", SQL_HANDLE_STMT,
         [&](Connection&, Statement& s) {
             return SQLColumns(s.h, nullptr, 0, nullptr, 0, sqlText(longName.c_str()), SQL_NTS,
                               nullptr, 0);
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

namespace {

// One failure class of the query client, seen through the driver manager:
// how to connect (and where the identity service is), what to do, and what
// the record of the judged handle says.
struct ClientFailure {
    const char* what;
    std::function<std::string(const std::string& project)> connStr;
    const char* identityHost; // replaces VORN_IDENTITY_HOST for the connect; NULL keeps it
    // Runs after a successful connect and returns the judged call's result;
    // NULL when the connect itself is judged.
    std::function<SQLRETURN(Statement&, const std::string& project)> act;
    SQLRETURN rc;
    const char* state;
    SQLINTEGER native;
    const char* text;
    bool nothingSent = false; // the project's record stays empty
};

// Fetches rows 1 to 100 of the 250 numbers, then injects `kind` for the
// next page, and returns the 101st fetch.
SQLRETURN failSecondPage(Statement& st, const std::string& project, const std::string& kind,
                         const std::string& extra) {
    if (st.exec("select id from numbers order by id") != SQL_SUCCESS) return -100;
    fault(project, "result", kind, extra);
    for (int row = 1; row <= 100; ++row) {
        if (SQLFetch(st.h) != SQL_SUCCESS) return -200 - row;
    }
    return SQLFetch(st.h);
}

// Fault fields that answer with a success body of the test's own: a job
// answer with the given members.
std::string jobAnswer(const std::string& members) {
    return "\"status\":200,\"body\":" +
           emuJsonString(R"({"is_success":true,"message":"","job_id":"j","job_type":"QUERY",)" +
                         members + "}");
}

// A result page: the given row count and "rows" member.
std::string pageAnswer(const std::string& rowCount, const std::string& rows) {
    return jobAnswer(R"("input_size":0,"row_count":)" + rowCount +
                     R"(,"schema":[{"id":"INT"}],"rows":)" + rows);
}

} // namespace

TEST(DiagnosticsOfTheClient, EveryClientFailureSaysWhy) {
    const std::string project = testProject();
    const char* const closed = "127.0.0.1:1"; // nothing listens there
    auto aksk = [](const std::string& p) { return akskConnStr(p); };
    auto token = [](const std::string& p) { return tokenConnStr(p); };
    auto execWith = [](const char* match, const char* kind, const char* extra) {
        return [=](Statement& st, const std::string& p) {
            fault(p, match, kind, extra);
            return st.exec("select id from numbers");
        };
    };
    // A synchronous query answered with the given members.
    auto syncWith = [](const std::string& members) {
        return [=](Statement& st, const std::string& p) {
            if (st.exec("set vkl.sql.syncMode.enabled=true") != SQL_SUCCESS) return SQLRETURN(-100);
            fault(p, "submit", "status", jobAnswer(members));
            return st.exec("select id from numbers");
        };
    };
    const std::string link = "VKL ODBC Communication link failure: ";
    const std::string unreadable = "VKL ODBC Unreadable service answer: ";
    const std::string notAnArray = unreadable + "rows is not an array";
    const std::string endedAfter100 = unreadable + "the result ended after 100 of 250 rows";
    const std::string endedAfter0 = unreadable + "the result ended after 0 of 250 rows";
    // The connection string with one key's value replaced.
    auto with = [](bool tokenMode, const std::string& key, const std::string& value) {
        return [=](const std::string& p) {
            std::string cs = tokenMode ? tokenConnStr(p) : akskConnStr(p);
            const size_t at = cs.find(";" + key + "=") + key.size() + 2;
            return cs.replace(at, cs.find(';', at) - at, value);
        };
    };
    const char* const settingRefused = "08001";
    const std::vector<ClientFailure> rows = {
        // Values that would move a request to another host, path or header:
        // refused before anything is sent.
        {"REGION that moves the identity host", with(true, "REGION", "x@127.0.0.1:1/"), nullptr,
         nullptr, SQL_ERROR, settingRefused, 0, "Value of REGION may hold only", true},
        {"REGION with a header of its own", with(false, "REGION", "r1\r\nX-Injected: yes"), nullptr,
         nullptr, SQL_ERROR, settingRefused, 0, "Value of REGION may hold only", true},
        {"AK with a header of its own", with(false, "AK", "AK1\r\nX-Injected: yes"), nullptr,
         nullptr, SQL_ERROR, settingRefused, 0, "Value of AK holds a control character", true},
        {"HOST with user information", with(false, "HOST", "x@" + hostPort()), nullptr, nullptr,
         SQL_ERROR, settingRefused, 0, "Value of HOST is not host[:port]", true},
        {"PROJECTID a dot segment", with(true, "PROJECTID", ".."), nullptr, nullptr, SQL_ERROR,
         settingRefused, 0, "Value of PROJECTID cannot be", true},
        {"DATABASE a dot segment", with(false, "DATABASE", "."), nullptr, nullptr, SQL_ERROR,
         settingRefused, 0, "Value of DATABASE cannot be", true},
        {"table name a dot segment", aksk, nullptr,
         [](Statement& st, const std::string&) {
             return SQLColumns(st.h, nullptr, 0, nullptr, 0, (SQLCHAR*)"..", SQL_NTS, nullptr, 0);
         },
         SQL_ERROR, "HY000", 0, "Table name \"..\" cannot be described", true},
        {"identity error status with a token",
         [](const std::string& p) {
             fault(p, "token", "status",
                   "\"status\":500,\"headers\":[[\"X-Subject-Token\",\"stray\"]]");
             return tokenConnStr(p);
         },
         nullptr, nullptr, SQL_ERROR, "HY000", 500,
         "VKL ODBC System ERROR. Identity service answered 500"},
        {"a cell that is a JSON object", aksk, nullptr,
         [](Statement& st, const std::string& p) {
             fault(p, "result", "status", pageAnswer("1", R"([[{"a":1}]])"));
             return st.exec("select id from numbers");
         },
         SQL_ERROR, "HY000", 5, "row 1, column 1 is a JSON object, not a value"},
        {"synchronous rows without a schema", aksk, nullptr, syncWith(R"("rows":[[1],[2]])"),
         SQL_ERROR, "HY000", 5, "the submit answer holds 2 rows but the result has no columns"},
        {"a synchronous row wider than the schema", aksk, nullptr,
         syncWith(R"("schema":[{"id":"INT"}],"rows":[[1],[2,3]])"), SQL_ERROR, "HY000", 5,
         "row 2 of the submit answer holds 2 cells but the result has 1 columns"},
        {"a description that counts fewer columns", aksk, nullptr,
         [](Statement& st, const std::string& p) {
             fault(p, "describe", "big_counts", "\"value\":1"); // of 5 columns
             return SQLColumns(st.h, nullptr, 0, nullptr, 0, (SQLCHAR*)"customers", SQL_NTS,
                               nullptr, 0);
         },
         SQL_ERROR, "HY000", 5, "the table description holds 5 columns but its column_count is 1"},
        {"service host refuses connections",
         [&](const std::string& p) {
             std::string cs = akskConnStr(p);
             return cs.replace(cs.find(hostPort()), hostPort().size(), std::string(closed));
         },
         nullptr, [](Statement& st, const std::string&) { return st.exec("select 1"); }, SQL_ERROR,
         "08S01", 7, "(host 127.0.0.1:1)"},
        {"identity host refuses connections", token, closed, nullptr, SQL_ERROR, "08001", 7,
         "(host 127.0.0.1:1)"},
        {"connection dropped during execute", aksk, nullptr, execWith("submit", "drop", ""),
         SQL_ERROR, "08S01", -1, link.c_str()},
        {"refused login",
         [](const std::string& p) {
             std::string cs = tokenConnStr(p);
             return cs.replace(cs.find(kPassword), strlen(kPassword), "not-the-password");
         },
         nullptr, nullptr, SQL_ERROR, "HY000", 401,
         "VKL ODBC System ERROR. Identity service answered 401: "},
        {"refused later page", aksk, nullptr,
         [](Statement& st, const std::string& p) {
             return failSecondPage(st, p, "not_success", "\"message\":\"page unavailable\"");
         },
         SQL_ERROR, "01000", 4, "VKL Service response: page unavailable"},
        {"unreadable submit answer", aksk, nullptr,
         execWith("submit", "unreadable", "\"form\":\"truncated\""), SQL_ERROR, "HY000", 5,
         unreadable.c_str()},
        {"unreadable status answer", aksk, nullptr,
         execWith("status", "unreadable", "\"form\":\"bad_utf8\""), SQL_ERROR, "HY000", 5,
         unreadable.c_str()},
        {"unreadable first page", aksk, nullptr,
         execWith("result", "unreadable", "\"form\":\"html\""), SQL_ERROR, "HY000", 5,
         unreadable.c_str()},
        {"unreadable later page", aksk, nullptr,
         [](Statement& st, const std::string& p) {
             return failSecondPage(st, p, "unreadable", "\"form\":\"empty\"");
         },
         SQL_ERROR, "HY000", 5, unreadable.c_str()},
        // A page that ends the rows short of the result's count loses rows:
        // it fails the fetch, never "no more rows".
        {"later page whose rows are no array", aksk, nullptr,
         [](Statement& st, const std::string& p) {
             return failSecondPage(st, p, "status", pageAnswer("250", "{}"));
         },
         SQL_ERROR, "HY000", 5, notAnArray.c_str()},
        {"later page without rows", aksk, nullptr,
         [](Statement& st, const std::string& p) {
             return failSecondPage(st, p, "status", pageAnswer("250", "[]"));
         },
         SQL_ERROR, "HY000", 5, endedAfter100.c_str()},
        {"first page without rows but a count", aksk, nullptr,
         [](Statement& st, const std::string& p) {
             fault(p, "result", "status", pageAnswer("250", "[]"));
             return st.exec("select id from numbers");
         },
         SQL_ERROR, "HY000", 5, endedAfter0.c_str()},
    };
    for (const ClientFailure& r : rows) {
        SCOPED_TRACE(r.what);
        emulator().reset(project);
        std::string cs = r.connStr(project);
        Connection conn;
        std::string identity = hostPort();
        if (r.identityHost != nullptr) setenv("VORN_IDENTITY_HOST", r.identityHost, 1);
        SQLRETURN rc = conn.driverConnect(cs);
        setenv("VORN_IDENTITY_HOST", identity.c_str(), 1);
        SQLSMALLINT type = SQL_HANDLE_DBC;
        SQLHANDLE h = conn.dbc;
        std::unique_ptr<Statement> st;
        if (r.act) {
            ASSERT_EQ(SQL_SUCCESS, rc) << diagText(SQL_HANDLE_DBC, conn.dbc);
            st = std::make_unique<Statement>(conn);
            rc = r.act(*st, project);
            type = SQL_HANDLE_STMT;
            h = st->h;
        }
        EXPECT_EQ(r.rc, rc);
        Diag d = diag(type, h);
        ASSERT_EQ(SQL_SUCCESS, d.ret);
        EXPECT_EQ(r.state, d.state);
        EXPECT_NE(std::string::npos, d.text.find(r.text)) << d.text;
        if (r.native >= 0) {
            EXPECT_EQ(r.native, d.native) << d.text;
        }
        if (r.act) {
            // A failed fetch is never the end of the rows.
            EXPECT_NE(SQL_NO_DATA, rc);
        }
        if (r.nothingSent) {
            EXPECT_TRUE(emulator().requests(project).empty());
        }
    }
}
