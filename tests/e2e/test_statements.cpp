// Statements the driver handles itself (SET, USE), the text it sends, and the
// job kinds of the service (query, DDL, insert) through the driver manager.
#include "OdbcHarness.h"

#include <chrono>
#include <thread>

using namespace e2e;

namespace {

class Statements : public ::testing::Test {
  protected:
    void SetUp() override {
        project = testProject();
        emulator().reset(project);
    }
    void connect(const std::string& extra = "") {
        E2E_CONNECT(conn, akskConnStr(project, extra));
        st = std::make_unique<Statement>(conn);
    }
    std::string scalar(const std::string& sql) {
        Statement s(conn);
        if (s.exec(sql) != SQL_SUCCESS) return "<failed: " + s.diagText() + ">";
        auto rows = s.fetchAllText();
        return rows.size() == 1 && !rows[0].empty() ? rows[0][0] : "<no single value>";
    }
    std::vector<EmuRequest> submits() { return emulator().requests(project, "/jobs/submit-job"); }

    std::string project;
    Connection conn;
    std::unique_ptr<Statement> st;
};

} // namespace

TEST_F(Statements, UseChangesTheDatabaseOfLaterJobs) {
    connect();
    ASSERT_EQ(SQL_SUCCESS, st->exec("use db2")) << st->diagText();
    EXPECT_EQ(0, st->numCols());
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st->h));
    // USE is the driver's own: nothing reached the service.
    EXPECT_EQ(0u, submitRequests(project));
    EXPECT_EQ("3", scalar("select count(*) from orders"));
    auto subs = submits();
    ASSERT_EQ(1u, subs.size());
    EXPECT_NE(std::string::npos, subs[0].body.find("\"currentdb\":\"db2\"")) << subs[0].body;
    // Lower case works too, and every statement of the connection follows.
    Statement other(conn);
    ASSERT_EQ(SQL_SUCCESS, other.exec("USE db1")) << other.diagText();
    EXPECT_EQ("250", scalar("select count(*) from numbers"));
    // One name only: a second statement is neither run nor taken for a name.
    const size_t before = submitRequests(project);
    EXPECT_EQ(SQL_ERROR, other.exec("USE db2; drop table numbers"));
    EXPECT_EQ("01000", diag(SQL_HANDLE_STMT, other.h).state);
    EXPECT_EQ(before, submitRequests(project));
    EXPECT_EQ("250", scalar("select count(*) from numbers"));
}

TEST_F(Statements, SetSendsTheSettingWithLaterJobs) {
    connect();
    ASSERT_EQ(SQL_SUCCESS, st->exec("Set vkl.sql.syncMode.enabled=true")) << st->diagText();
    EXPECT_EQ(0u, submitRequests(project));
    EXPECT_EQ("250", scalar("select count(*) from numbers"));
    // Synchronous mode: the rows came with the submission.
    EXPECT_EQ(0u, statusRequests(project));
    EXPECT_EQ(0u, pageRequests(project));
    auto subs = submits();
    ASSERT_EQ(1u, subs.size());
    EXPECT_NE(std::string::npos, subs[0].body.find("\"conf\":[\"vkl.sql.syncMode.enabled=true\"]"))
        << subs[0].body;

    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    ASSERT_EQ(SQL_SUCCESS, st->exec("set vkl.sql.syncMode.enabled=false")) << st->diagText();
    EXPECT_EQ("250", scalar("select count(*) from numbers"));
    EXPECT_EQ(1u, pageRequests(project));
}

TEST_F(Statements, TextIsTrimmedAndDoubleQuotesBecomeBackticks) {
    connect();
    EXPECT_EQ("1", scalar("  \t select \"id\" from numbers where id = 1;  \n"));
    auto sql = submittedSql(project);
    ASSERT_EQ(1u, sql.size());
    EXPECT_EQ(0u, sql[0].find("select `id` from numbers where id = 1")) << sql[0];
    EXPECT_EQ(std::string::npos, sql[0].find(';')) << sql[0];
}

TEST_F(Statements, DoubleQuotesInsideTextLiteralsAreData) {
    connect();
    // Double quotes stand for identifier quotes only outside text literals;
    // inside one they are part of the text and must reach the service as
    // they are, or stored data and search values change.
    EXPECT_EQ("3", scalar("select id from customers where name = 'Zo\xC3\xAB \"Zed\" O''Neil'"));
    ASSERT_EQ(SQL_SUCCESS, st->exec("create table quotes (id INT, body STRING)")) << st->diagText();
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    ASSERT_EQ(SQL_SUCCESS, st->exec("insert into quotes values (1, 'say \"hi\"')"))
        << st->diagText();
    EXPECT_EQ("say \"hi\"", scalar("select body from quotes where id = 1"));
    // Outside literals they still quote identifiers.
    EXPECT_EQ("1", scalar("select \"id\" from quotes"));
}

TEST_F(Statements, UnicodeTextTravelsUnchanged) {
    connect();
    EXPECT_EQ("1", scalar("select id from customers where name = 'Anna M\xC3\xBCller'"));
    EXPECT_EQ("\xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4\xAA\xE9\x83\x8E",
              scalar("select name from customers where city = '\xE6\x9D\xB1\xE4\xBA\xAC'"));
}

TEST_F(Statements, DdlAndInsertJobs) {
    connect();
    runningPolls(project, 2);
    ASSERT_EQ(SQL_SUCCESS, st->exec("create table scratch (a INT, b STRING)")) << st->diagText();
    EXPECT_EQ(0, st->numCols());
    // A DDL job is done when it is accepted.
    EXPECT_EQ(0u, statusRequests(project));

    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    ASSERT_EQ(SQL_SUCCESS, st->exec("insert into scratch values (1, 'one'), (2, 'two')"))
        << st->diagText();
    EXPECT_EQ(0, st->numCols());
    // An insert job is polled until it finishes (two RUNNING answers, then
    // FINISHED), and it has no result to read.
    EXPECT_EQ(3u, statusRequests(project));
    EXPECT_EQ(0u, pageRequests(project));
    SQLLEN count = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(st->h, &count));
    EXPECT_EQ(-1, count);

    EXPECT_EQ("two", scalar("select b from scratch where a = 2"));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    ASSERT_EQ(SQL_SUCCESS, st->exec("drop table scratch")) << st->diagText();
    EXPECT_EQ(SQL_ERROR, Statement(conn).exec("select * from scratch"));
}

TEST_F(Statements, QueryIsPolledUntilFinished) {
    connect();
    runningPolls(project, 3);
    EXPECT_EQ("5", scalar("select count(*) from customers"));
    EXPECT_EQ(4u, statusRequests(project));
    EXPECT_EQ(1u, pageRequests(project));
}

TEST_F(Statements, PreparedTextRunsAgainAfterClose) {
    connect();
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st->h, (SQLCHAR*)"select count(*) from customers", SQL_NTS));
    // Preparing sends nothing.
    EXPECT_EQ(0u, submitRequests(project));
    // Prepare once; execute, fetch, close, again and again. The column is
    // bound after the first execution and stays bound across SQL_CLOSE.
    SQLINTEGER count = 0;
    SQLLEN ind = 0;
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(st->h)) << st->diagText();
        if (run == 1) {
            ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st->h, 1, SQL_C_SLONG, &count, 0, &ind));
        }
        count = -1;
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h)) << st->diagText();
        EXPECT_EQ(5, count);
        EXPECT_EQ(SQL_NO_DATA, SQLFetch(st->h));
        ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
        // SQL_CLOSE ends the result: nothing is left to fetch.
        EXPECT_EQ(SQL_ERROR, SQLFetch(st->h));
        EXPECT_EQ("HY010", diag(SQL_HANDLE_STMT, st->h).state);
        EXPECT_EQ(static_cast<size_t>(run), submitRequests(project));
    }
    // A new text is a new result: its columns start unbound.
    ASSERT_EQ(SQL_SUCCESS, st->exec("select 7")) << st->diagText();
    count = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ(-1, count);
    EXPECT_EQ("7", getText(st->h, 1));
}

TEST_F(Statements, CloseCursorIsRefusedAndSqlCloseEndsTheResult) {
    connect();
    E2E_EXEC(*st, "select 1");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    // SQLCloseCursor is not carried out by the driver; SQLFreeStmt with
    // SQL_CLOSE is the way to end a result before the next statement.
    EXPECT_EQ(SQL_ERROR, SQLCloseCursor(st->h));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    ASSERT_EQ(SQL_SUCCESS, st->exec("select 2")) << st->diagText();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ("2", getText(st->h, 1));
}

TEST_F(Statements, ExplicitTextLengthIsHonoured) {
    connect();
    const char* text = "select 11 as a; this part is not sent";
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(st->h, (SQLCHAR*)text, 14)) << st->diagText();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ("11", getText(st->h, 1));
    EXPECT_EQ((std::vector<std::string>{"select 11 as a"}), submittedSql(project));

    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    // A NUL inside the length with text behind it: refused, nothing sent.
    // Cut at the NUL this would delete every row.
    const char victim[] = "delete from numbers\0 where id = 2";
    const SQLINTEGER length = sizeof victim - 1;
    ASSERT_EQ(33, length);
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(st->h, (SQLCHAR*)victim, length));
    Diag d = diag(SQL_HANDLE_STMT, st->h);
    EXPECT_EQ("HY090", d.state);
    EXPECT_NE(std::string::npos, d.text.find("NUL character")) << d.text;
    EXPECT_EQ(SQL_ERROR, SQLPrepare(st->h, (SQLCHAR*)victim, length));
    EXPECT_EQ("HY090", diag(SQL_HANDLE_STMT, st->h).state);
    EXPECT_EQ(SQL_ERROR, SQLExecute(st->h));
    EXPECT_EQ(1u, submitRequests(project));
    EXPECT_EQ("250", scalar("select count(*) from numbers"));
}

TEST_F(Statements, ExpiredTokenIsRenewed) {
    // Tokens live 4 s (counted from the whole second of their issue), enough
    // for the first query even when the connect falls late in a second.
    emulator().config("{\"project\":\"" + project + "\",\"token_ttl\":4}");
    auto connected = std::chrono::steady_clock::now();
    E2E_CONNECT(conn, tokenConnStr(project));
    EXPECT_EQ("1", scalar("select 1"));
    EXPECT_EQ(1u, tokenRequests(project));
    std::this_thread::sleep_until(connected + std::chrono::milliseconds(4200));
    // The token has expired: the driver asks for a new one before the next call.
    EXPECT_EQ("2", scalar("select 2"));
    EXPECT_EQ(2u, tokenRequests(project));
}
