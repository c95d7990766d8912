// Failures of the service and of jobs, read back through SQLGetDiagRec.
#include "OdbcHarness.h"

#include <cstring>

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
