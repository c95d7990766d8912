// The query client against the VKL emulator, in both authorisation modes:
// statement preparation, SET/USE, the job flow, paging, getters, catalog sets
// and the diagnostics that the service can provoke.
#include <string.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "ClientTestSupport.h"
#include "EmuClient.h"
#include "NavixConnection.h"
#include "NavixResultSet.h"
#include "RestApiProxy.h"
#include "navixclient.h"

using clienttest::EnvGuard;
using clienttest::LogSpy;
using clienttest::setText;

namespace {

struct SubmitBody {
    std::string currentdb, sql, queue;
    std::vector<std::string> conf;
    bool hasConf = false;
};

SubmitBody parseSubmit(const std::string& body) {
    boost::property_tree::ptree tree;
    std::istringstream in(body);
    boost::property_tree::read_json(in, tree);
    SubmitBody b;
    b.currentdb = tree.get<std::string>("currentdb");
    b.sql = tree.get<std::string>("sql");
    b.queue = tree.get<std::string>("queue_name");
    if (auto conf = tree.get_child_optional("conf")) {
        b.hasConf = true;
        for (const auto& e : *conf) {
            b.conf.push_back(e.second.data());
        }
    }
    return b;
}

class ClientIT : public ::testing::TestWithParam<int> {
  protected:
    EmuClient& emu = EmuClient::get();
    std::string project;
    EnvGuard identity{"VORN_IDENTITY_HOST", EmuClient::get().hostPort().c_str()};
    NavixConnection* conn = nullptr;
    NavixQueryResultSet* rs = nullptr;
    DiagRecord rec;

    void SetUp() override {
        memset(&rec, 0, sizeof(rec));
        project = emu.uniqueProject(GetParam() == 1 ? "client-aksk" : "client-token");
        polls(0);
    }
    void TearDown() override {
        delete rs;
        if (conn != nullptr) {
            NavixCloseConnection(conn);
        }
    }

    void polls(int n) {
        emu.config("{\"project\":" + emuJsonString(project) +
                   ",\"running_polls\":" + std::to_string(n) + "}");
    }
    void fault(const std::string& details) {
        emu.fault("{\"project\":" + emuJsonString(project) + "," + details + "}");
    }

    ConnProperty property(int jobTimeout = 300, int charset = 0) {
        ConnProperty p = clienttest::makeProperty(GetParam(), project);
        setText(p.HOST, emu.hostPort());
        setText(p.SSLCA, emu.caFile());
        setText(p.DATABASE, "db1");
        if (GetParam() == 1) {
            setText(p.AK, emu::kAk);
            setText(p.SK, emu::kSk);
        } else {
            setText(p.ACCOUNT, emu::kAccount);
            setText(p.USER, emu::kUser);
            setText(p.PASSWORD, emu::kPassword);
        }
        p.jobTimeout = jobTimeout;
        p.charsetFlag = charset;
        return p;
    }

    void open(const std::string& extra = "", int jobTimeout = 300, int charset = 0) {
        ConnProperty p = property(jobTimeout, charset);
        DiagRecord openRec;
        memset(&openRec, 0, sizeof(openRec));
        conn = NavixOpenConnection(&p, ("DSN=vkl;" + extra).c_str(), &openRec);
        ASSERT_NE(nullptr, conn) << openRec.message;
    }

    // The caller owns the result set: release it before the next one arrives.
    void drop() {
        delete rs;
        rs = nullptr;
    }

    int exec(const std::string& sql) {
        drop();
        memset(&rec, 0, sizeof(rec));
        return NavixExecute(conn, sql.c_str(), &rs, &rec);
    }

    std::vector<EmuRequest> calls(const std::string& suffix) {
        return emu.requests(project, suffix);
    }
    std::vector<SubmitBody> submits() {
        std::vector<SubmitBody> out;
        for (const EmuRequest& r : calls("/jobs/submit-job")) {
            out.push_back(parseSubmit(r.body));
        }
        return out;
    }
    // Result-page requests (GET /jobs/<id>?current-page=..).
    std::vector<std::string> pageQueries() {
        std::vector<std::string> out;
        for (const EmuRequest& r : emu.requests(project)) {
            if (r.method == "GET" && r.query.find("current-page=") != std::string::npos) {
                out.push_back(r.query);
            }
        }
        return out;
    }

    std::string cell(uint32_t col, uint32_t size = 256) {
        std::vector<char> buf(size);
        int32_t len = -1, isNull = -1;
        if (DBGetFieldAsCString(rs, col, buf.data(), size, &len, &isNull) != 0) {
            return "<fail>";
        }
        EXPECT_EQ((int32_t)strlen(buf.data()), len);
        return isNull ? std::string("<null>") : std::string(buf.data());
    }

    void expectDiag(int code, const char* state, const std::string& message) {
        EXPECT_EQ(code, rec.nativeCode);
        EXPECT_STREQ(state, rec.sqlState);
        EXPECT_EQ(message, rec.message);
    }
};

INSTANTIATE_TEST_SUITE_P(AuthModes, ClientIT, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return i.param == 1 ? "Signing" : "Token";
                         });

} // namespace

TEST_P(ClientIT, StatementTextIsPreparedBeforeSubmission) {
    open();
    ASSERT_EQ(0, exec("  \n select 1 ;  \t"));
    ASSERT_EQ(0, exec("select \"id\" from all_types where id = 1;;"));
    // Double quotes inside text literals are data and stay; outside they
    // quote identifiers, also after an escaped quote or a doubled ''.
    // (The emulator's engine reads no backslash escapes, so it refuses the
    // third statement; what matters is the text the service received.)
    exec("select 'it''s \"x\"', \"id\", 'a\\'\"b', \"name\" from all_types where id = 1");
    ASSERT_EQ(0, exec("select 'say \"hi\"' "));
    std::vector<SubmitBody> s = submits();
    ASSERT_EQ(4u, s.size());
    EXPECT_EQ("select 1 ", s[0].sql);
    EXPECT_EQ("select `id` from all_types where id = 1;", s[1].sql);
    EXPECT_EQ("select 'it''s \"x\"', `id`, 'a\\'\"b', `name` from all_types where id = 1",
              s[2].sql);
    EXPECT_EQ("select 'say \"hi\"'", s[3].sql);
    EXPECT_EQ("db1", s[0].currentdb);
    EXPECT_EQ("default", s[0].queue);
    EXPECT_FALSE(s[0].hasConf);
    // Every request carries the authorisation of its mode.
    for (const EmuRequest& r : calls("/jobs/submit-job")) {
        EXPECT_TRUE(r.hasHeader(GetParam() == 1 ? "Authorization" : "X-Auth-Token"));
    }
    expectDiag(0, "00000", "VKL ODBC Success.");
}

TEST_P(ClientIT, SetAndUseChangeLaterSubmissions) {
    open("vkl.b=2;vkl.a=0");
    ASSERT_EQ(0, exec("set vkl.a=1"));
    ASSERT_EQ(0, exec("SET spark.shuffle = 4"));
    ASSERT_EQ(0, exec("set vkl.e=\"q\"")); // kept as written
    ASSERT_EQ(0, exec("use db2"));
    EXPECT_TRUE(calls("/jobs/submit-job").empty()); // handled inside the client
    ASSERT_EQ(0, exec("select count(*) from orders"));
    ASSERT_EQ(0, DBFetch(rs));
    EXPECT_EQ("3", cell(0));
    std::vector<SubmitBody> s = submits();
    ASSERT_EQ(1u, s.size());
    EXPECT_EQ("db2", s[0].currentdb);
    ASSERT_TRUE(s[0].hasConf);
    EXPECT_EQ((std::vector<std::string>{"spark.shuffle=4", "vkl.a=1", "vkl.b=2", "vkl.e=\"q\""}),
              s[0].conf);
}

TEST_P(ClientIT, SetWithoutSpaceGoesToTheService) {
    open();
    EXPECT_EQ(1, exec("SET\tvkl.a=1"));
    std::vector<SubmitBody> s = submits();
    ASSERT_EQ(1u, s.size());
    EXPECT_EQ("SET\tvkl.a=1", s[0].sql);
    EXPECT_EQ(4, rec.nativeCode);
    EXPECT_TRUE(conn->serverConfList.empty());
}

TEST_P(ClientIT, SynchronousQueryNeedsNoStatusOrPageRequest) {
    open("vkl.sql.syncMode.enabled=true");
    ASSERT_EQ(0, exec("select id, name from customers order by id"));
    EXPECT_TRUE(calls("/status").empty());
    EXPECT_TRUE(pageQueries().empty());
    int32_t count = 0;
    ASSERT_EQ(0, DBGetColumnCount(rs, &count));
    EXPECT_EQ(2, count);
    for (int i = 1; i <= 5; ++i) {
        ASSERT_EQ(0, DBFetch(rs));
        EXPECT_EQ(std::to_string(i), cell(0));
    }
    EXPECT_EQ(2, DBFetch(rs));
    EXPECT_EQ(1u, emu.requests(project, "/jobs/submit-job").size());
    EXPECT_TRUE(pageQueries().empty());
}

TEST_P(ClientIT, SyncModeSwitchedOnBySet) {
    open();
    ASSERT_EQ(0, exec("set vkl.sql.syncMode.enabled=TRUE"));
    ASSERT_EQ(0, exec("select 7"));
    EXPECT_TRUE(calls("/status").empty());
    ASSERT_EQ(0, DBFetch(rs));
    EXPECT_EQ("7", cell(0));
    // An empty synchronous answer still describes its columns.
    ASSERT_EQ(0, exec("select * from empty_table"));
    int32_t count = -1;
    ASSERT_EQ(0, DBGetColumnCount(rs, &count));
    EXPECT_EQ(2, count);
    EXPECT_EQ(2, DBFetch(rs));
}

TEST_P(ClientIT, JobIsPolledUntilFinished) {
    polls(2);
    open();
    ASSERT_EQ(0, exec("select name from customers where id = 2"));
    EXPECT_EQ(3u, calls("/status").size()); // RUNNING, RUNNING, FINISHED
    EXPECT_EQ((std::vector<std::string>{"current-page=1&page-size=100"}), pageQueries());
    ASSERT_EQ(0, DBFetch(rs));
    EXPECT_EQ("\xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4\xAA\xE9\x83\x8E", cell(0));
}

TEST_P(ClientIT, OtherJobsArePolledButNotPaged) {
    open();
    ASSERT_EQ(0, exec("insert into numbers values (999, 'x', 1)"));
    EXPECT_EQ(1u, calls("/status").size());
    EXPECT_TRUE(pageQueries().empty());
    int32_t count = -1;
    ASSERT_EQ(0, DBGetColumnCount(rs, &count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(2, DBFetch(rs));
    // A DDL job is answered at once: no status request either.
    ASSERT_EQ(0, exec("create table t_new (id INT)"));
    EXPECT_EQ(1u, calls("/status").size());
    EXPECT_TRUE(pageQueries().empty());
}

TEST_P(ClientIT, FailedAndCancelledJobs) {
    open();
    fault("\"match\":\"status\",\"kind\":\"job_failed\",\"message\":\"out of memory\"");
    EXPECT_EQ(1, exec("select 1"));
    EXPECT_EQ(nullptr, rs);
    expectDiag(4, "01000", "VKL Service response: out of memory");
    EXPECT_TRUE(pageQueries().empty());

    fault("\"match\":\"status\",\"kind\":\"job_cancelled\",\"message\":\"stopped by admin\"");
    EXPECT_EQ(1, exec("select 1"));
    expectDiag(4, "01000", "VKL Service response: stopped by admin");
}

TEST_P(ClientIT, JobThatNeverFinishesTimesOut) {
    open("", 0);
    fault("\"match\":\"submit\",\"kind\":\"never_finish\"");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(1, exec("select 1"));
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    expectDiag(3, "HY000", "VKL Service Response Time Out.");
    // The clock counts whole seconds: the first status answer may already be
    // one second after the submission.
    EXPECT_GE(calls("/status").size(), 1u);
    EXPECT_GE(took, 0.5);
    EXPECT_TRUE(pageQueries().empty());
}

TEST_P(ClientIT, FinishedStatusWinsOverAZeroTimeOut) {
    // The first status answer is FINISHED; a time-out of 0 must not be
    // tested before the status is looked at.
    open("", 0);
    ASSERT_EQ(0, exec("select 5"));
    expectDiag(0, "00000", "VKL ODBC Success.");
    EXPECT_EQ(1u, calls("/status").size());
    ASSERT_EQ(0, DBFetch(rs));
    EXPECT_EQ("5", cell(0));
}

TEST_P(ClientIT, TwoHundredFiftyRowsInPagesOfOneHundred) {
    open();
    ASSERT_EQ(0, exec("select id, label, squared from numbers order by id"));
    EXPECT_EQ(1u, pageQueries().size());
    EXPECT_EQ(100u, rs->m_ResultRows.size()); // only the current page is held
    for (int i = 1; i <= 250; ++i) {
        ASSERT_EQ(0, DBFetch(rs)) << i;
        int64_t id = 0;
        int32_t isNull = 1;
        ASSERT_EQ(0, DBGetFieldAsI64(rs, 0, &id, &isNull));
        ASSERT_EQ(i, id);
        if (i == 101) {
            EXPECT_EQ(2u, pageQueries().size());
        }
        ASSERT_LE(rs->m_ResultRows.size(), 100u);
    }
    EXPECT_EQ("row 250", cell(1));
    EXPECT_EQ(2, DBFetch(rs));
    EXPECT_EQ(2, DBFetch(rs));
    EXPECT_EQ(
        (std::vector<std::string>{"current-page=1&page-size=100", "current-page=2&page-size=100",
                                  "current-page=3&page-size=100", "current-page=4&page-size=100",
                                  "current-page=4&page-size=100"}),
        pageQueries());
}

TEST_P(ClientIT, EmptyQueryResultKeepsItsColumns) {
    open();
    ASSERT_EQ(0, exec("select id, name from empty_table"));
    ASSERT_NE(nullptr, rs);
    int32_t count = 0, has = -1;
    ASSERT_EQ(0, DBGetColumnCount(rs, &count));
    EXPECT_EQ(2, count);
    EXPECT_EQ("id", rs->getColumnName(0));
    EXPECT_EQ("STRING", rs->getColumnTypeName(1));
    EXPECT_EQ(CLIENT_TYPE_STRING, rs->getColumnType(1));
    EXPECT_EQ(1, DBHasResults(rs, &has));
    EXPECT_EQ(0, has);
    EXPECT_EQ(2, DBFetch(rs));
}

TEST_P(ClientIT, EveryGetterOnEveryType) {
    EnvGuard tz("TZ", "UTC");
    open();
    ASSERT_EQ(0, exec("select * from all_types order by id"));
    const int types[] = {4, 1, 2, 3, 4, 5, 6, 7, 17, 8, 15, 16, 9, 11};
    for (uint32_t c = 0; c < 14; ++c) {
        EXPECT_EQ(types[c], rs->getColumnType(c)) << c;
    }
    EXPECT_EQ("DECIMAL(10,2)", rs->getColumnTypeName(8));

    int32_t n = -1, i32 = 0;
    int8_t i8 = 0;
    uint32_t u32 = 0;
    int64_t i64 = 0;
    uint64_t u64 = 0;
    double d = 0;

    ASSERT_EQ(0, DBFetch(rs));
    // BOOLEAN true through each numeric getter.
    EXPECT_EQ(0, DBGetFieldAsInt(rs, 1, &i32, &n));
    EXPECT_EQ(1, i32);
    EXPECT_EQ(0, n);
    EXPECT_EQ(0, DBGetFieldAsI8(rs, 1, &i8, &n));
    EXPECT_EQ(1, i8);
    EXPECT_EQ(0, DBGetFieldAsLong(rs, 1, &i32, &n));
    EXPECT_EQ(1, i32);
    EXPECT_EQ(0, DBGetFieldAsULong(rs, 1, &u32, &n));
    EXPECT_EQ(1u, u32);
    EXPECT_EQ(0, DBGetFieldAsI64(rs, 1, &i64, &n));
    EXPECT_EQ(1, i64);
    EXPECT_EQ(0, DBGetFieldAsI64U(rs, 1, &u64, &n));
    EXPECT_EQ(1u, u64);
    EXPECT_EQ(0, DBGetFieldAsDouble(rs, 1, &d, &n));
    EXPECT_EQ(1.0, d);
    EXPECT_EQ("true", cell(1));
    EXPECT_EQ(0, DBGetFieldAsI8(rs, 2, &i8, &n));
    EXPECT_EQ(127, i8);
    EXPECT_EQ(0, DBGetFieldAsInt(rs, 3, &i32, &n));
    EXPECT_EQ(32767, i32);
    EXPECT_EQ(0, DBGetFieldAsLong(rs, 4, &i32, &n));
    EXPECT_EQ(2147483647, i32);
    EXPECT_EQ(0, DBGetFieldAsULong(rs, 4, &u32, &n));
    EXPECT_EQ(2147483647u, u32);
    EXPECT_EQ(0, DBGetFieldAsI64(rs, 5, &i64, &n));
    EXPECT_EQ(INT64_MAX, i64);
    EXPECT_EQ(0, DBGetFieldAsI64U(rs, 5, &u64, &n));
    EXPECT_EQ((uint64_t)INT64_MAX, u64);
    EXPECT_EQ(0, DBGetFieldAsDouble(rs, 6, &d, &n));
    EXPECT_DOUBLE_EQ(1.5, d);
    EXPECT_EQ(0, DBGetFieldAsDouble(rs, 7, &d, &n));
    EXPECT_DOUBLE_EQ(3.141592653589793, d);
    EXPECT_EQ("12.50", cell(8));
    EXPECT_EQ(0, DBGetFieldAsDouble(rs, 8, &d, &n));
    EXPECT_DOUBLE_EQ(12.5, d);
    EXPECT_EQ("hello", cell(9));
    EXPECT_EQ("hel", cell(9, 4)); // cut to the buffer
    EXPECT_EQ("varchar text", cell(10));
    EXPECT_EQ("abc", cell(11));
    EXPECT_EQ("2024-01-15", cell(12));
    EXPECT_EQ("2024-01-15 10:30:45", cell(13));
    EXPECT_EQ("2024-01-15 10:30:4", cell(13, 19)); // cut like any text

    ASSERT_EQ(0, DBFetch(rs));
    // BOOLEAN false through each numeric getter.
    i32 = 9;
    EXPECT_EQ(0, DBGetFieldAsInt(rs, 1, &i32, &n));
    EXPECT_EQ(0, i32);
    i8 = 9;
    EXPECT_EQ(0, DBGetFieldAsI8(rs, 1, &i8, &n));
    EXPECT_EQ(0, i8);
    i32 = 9;
    EXPECT_EQ(0, DBGetFieldAsLong(rs, 1, &i32, &n));
    EXPECT_EQ(0, i32);
    u32 = 9;
    EXPECT_EQ(0, DBGetFieldAsULong(rs, 1, &u32, &n));
    EXPECT_EQ(0u, u32);
    i64 = 9;
    EXPECT_EQ(0, DBGetFieldAsI64(rs, 1, &i64, &n));
    EXPECT_EQ(0, i64);
    u64 = 9;
    EXPECT_EQ(0, DBGetFieldAsI64U(rs, 1, &u64, &n));
    EXPECT_EQ(0u, u64);
    d = 9;
    EXPECT_EQ(0, DBGetFieldAsDouble(rs, 1, &d, &n));
    EXPECT_EQ(0.0, d);
    EXPECT_EQ(0, DBGetFieldAsI8(rs, 2, &i8, &n));
    EXPECT_EQ(-128, i8);
    EXPECT_EQ(0, DBGetFieldAsLong(rs, 4, &i32, &n));
    EXPECT_EQ(INT32_MIN, i32);
    EXPECT_EQ(0, DBGetFieldAsI64(rs, 5, &i64, &n));
    EXPECT_EQ(INT64_MIN, i64);
    EXPECT_EQ("-99999999.99", cell(8));
    EXPECT_EQ("M\xC3\xBCller", cell(9));
    EXPECT_EQ("1970-01-01 00:00:00", cell(13));

    ASSERT_EQ(0, DBFetch(rs));
    for (uint32_t c = 1; c < 14; ++c) {
        EXPECT_EQ("<null>", cell(c)) << c;
        n = 0;
        i64 = 5;
        EXPECT_EQ(0, DBGetFieldAsI64(rs, c, &i64, &n));
        EXPECT_EQ(0, i64);
        EXPECT_EQ(1, n);
        n = 0;
        d = 5;
        EXPECT_EQ(0, DBGetFieldAsDouble(rs, c, &d, &n));
        EXPECT_EQ(0.0, d);
        EXPECT_EQ(1, n);
    }
    // Outside the columns: refused, nothing written.
    i32 = 77;
    EXPECT_EQ(1, DBGetFieldAsInt(rs, 14, &i32, &n));
    EXPECT_EQ(77, i32);
    EXPECT_EQ("<fail>", cell(14));
    EXPECT_EQ(2, DBFetch(rs));
}

// Converted before anything reads it: in a double-byte code page the second
// byte of a character may be a backslash (GBK 0x815C) or a backtick (Big5
// 0xAA60).
TEST_P(ClientIT, AnsiApplicationTextIsConverted) {
    open("", 300, 1);
    const struct {
        const char *locale, *text, *sent, *cell; // a pattern of SQLTables when cell is null
    } rows[] = {
        {"en_US.CP1252", "select name from customers where city = 'M\xFCnchen'",
         "select name from customers where city = 'M\xC3\xBCnchen'", "Anna M\xFCller"},
        {"zh_CN.GBK", "select '\x81\x5C' as a, 'say \"hi\"' as b",
         "select '\xE4\xB9\x97' as a, 'say \"hi\"' as b", "\x81\x5C"},
        {"zh_TW.BIG5", "select 1 as \"\xAA\x60\"", "select 1 as `\xE6\xB3\xA8`", "1"},
        {"ja_JP.SJIS", "\x95\x5C*", "show tables like '\xE8\xA1\xA8*'", nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.locale);
        EnvGuard lc("LC_ALL", r.locale);
        drop();
        ASSERT_EQ(0, r.cell ? exec(r.text) : DBTables(conn, r.text, &rs, &rec)) << rec.message;
        EXPECT_EQ(r.sent, submits().back().sql);
        if (r.cell != nullptr) {
            ASSERT_EQ(0, DBFetch(rs));
            EXPECT_EQ(r.cell, cell(0));
        }
    }
}

// ---------------------------------------------------------------------------
// Catalog sets

TEST_P(ClientIT, TableListCellByCell) {
    open();
    ASSERT_EQ(0, exec("use db2"));
    drop();
    ASSERT_EQ(0, DBTables(conn, "sales%", &rs, &rec));
    expectDiag(0, "00000", "VKL ODBC Success.");
    std::vector<SubmitBody> s = submits();
    ASSERT_EQ(1u, s.size());
    EXPECT_EQ("show tables like 'sales*'", s[0].sql);
    int32_t count = 0;
    ASSERT_EQ(0, DBGetColumnCount(rs, &count));
    ASSERT_EQ(5, count);
    const char* names[] = {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"};
    for (uint32_t c = 0; c < 5; ++c) {
        EXPECT_EQ(names[c], rs->getColumnName(c));
        EXPECT_EQ("STRING", rs->getColumnTypeName(c));
        EXPECT_EQ(CLIENT_TYPE_STRING, rs->getColumnType(c));
    }
    for (const char* table : {"sales_2023", "sales_2024", "salesx"}) {
        ASSERT_EQ(0, DBFetch(rs)) << table;
        EXPECT_EQ("db2", cell(0));
        EXPECT_EQ("db2", cell(1));
        EXPECT_EQ(table, cell(2));
        EXPECT_EQ("TABLE", cell(3));
        EXPECT_EQ("", cell(4)); // empty, not NULL
    }
    EXPECT_EQ(2, DBFetch(rs));
}

TEST_P(ClientIT, TableListWithoutPatternAndWithoutMatch) {
    open();
    ASSERT_EQ(0, DBTables(conn, "", &rs, &rec));
    std::vector<std::string> tables;
    while (DBFetch(rs) == 0) {
        tables.push_back(cell(2));
    }
    EXPECT_EQ((std::vector<std::string>{"all_types", "customers", "empty_table", "numbers"}),
              tables);
    drop();
    ASSERT_EQ(0, DBTables(conn, "nothing_like_this", &rs, &rec));
    ASSERT_NE(nullptr, rs);
    EXPECT_EQ(2, DBFetch(rs));
    std::vector<SubmitBody> s = submits();
    ASSERT_EQ(2u, s.size());
    EXPECT_EQ("show tables", s[0].sql);
    EXPECT_EQ("show tables like 'nothing_like_this'", s[1].sql);
}

TEST_P(ClientIT, TableListRefusalSendsNothing) {
    open();
    EXPECT_EQ(1, DBTables(conn, "x' or '1'='1", &rs, &rec));
    EXPECT_EQ(nullptr, rs);
    expectDiag(1, "01000", "VKL ODBC Invalid SQL syntax.");
    EXPECT_TRUE(calls("/jobs/submit-job").empty());
}

TEST_P(ClientIT, ColumnsOfATableCellByCell) {
    open();
    ASSERT_EQ(0, DBColumns(conn, "customers", &rs, &rec));
    expectDiag(0, "00000", "VKL ODBC Success.");
    std::vector<EmuRequest> d = calls("/tables/customers");
    ASSERT_EQ(1u, d.size());
    EXPECT_EQ("/v1.0/" + project + "/databases/db1/tables/customers", d[0].path);
    int32_t count = 0;
    ASSERT_EQ(0, DBGetColumnCount(rs, &count));
    EXPECT_EQ(18, count);
    const std::vector<std::vector<std::string>> expected = {
        {"", "", "customers", "id", "4", "int", "11", "4", "<null>", "10", "1", "", "", "4",
         "<null>", "334", "1", "YES"},
        {"", "", "customers", "name", "12", "string", "334", "334", "<null>", "10", "1",
         "customer name", "", "12", "<null>", "334", "2", "YES"},
        {"", "", "customers", "city", "0", "varchar(30)", "334", "334", "<null>", "10", "1",
         "Wohnort (Stadt)", "", "0", "<null>", "334", "3", "YES"},
        {"", "", "customers", "balance", "3", "decimal(12,2)", "11", "8", "<null>", "10", "1", "",
         "", "3", "<null>", "334", "4", "YES"},
        {"", "", "customers", "created", "93", "timestamp", "334", "334", "<null>", "10", "1", "",
         "", "93", "<null>", "334", "5", "YES"},
    };
    for (const auto& row : expected) {
        ASSERT_EQ(0, DBFetch(rs));
        for (uint32_t c = 0; c < 18; ++c) {
            EXPECT_EQ(row[c], cell(c)) << row[3] << " column " << c;
        }
        int32_t v = 0, n = 0;
        EXPECT_EQ(0, DBGetFieldAsInt(rs, 16, &v, &n));
        EXPECT_EQ(std::stoi(row[16]), v);
    }
    EXPECT_EQ(2, DBFetch(rs));
    EXPECT_TRUE(pageQueries().empty());
}

TEST_P(ClientIT, ColumnsFollowTheCurrentDatabase) {
    open();
    ASSERT_EQ(0, exec("use db2"));
    drop();
    ASSERT_EQ(0, DBColumns(conn, "orders", &rs, &rec));
    EXPECT_EQ(1u, calls("/databases/db2/tables/orders").size());
    int rows = 0;
    while (DBFetch(rs) == 0) {
        ++rows;
    }
    EXPECT_EQ(5, rows);
}

TEST_P(ClientIT, ColumnsOfAMissingTable) {
    open();
    rs = reinterpret_cast<NavixQueryResultSet*>(0x1);
    EXPECT_EQ(1, DBColumns(conn, "no_such_table", &rs, &rec));
    EXPECT_EQ(nullptr, rs);
    EXPECT_EQ(4, rec.nativeCode);
    EXPECT_STREQ("01000", rec.sqlState);
    std::string msg = rec.message;
    EXPECT_EQ(0u, msg.find("VKL Service response: "));
    EXPECT_NE(std::string::npos, msg.find("no_such_table does not exist")) << msg;
}

// A table name with reserved characters, a blank, "%" and UTF-8 letters
// reaches the service as one path segment, and in signing mode the signature
// over the encoded path is accepted; so does a project outside ASCII.
TEST_P(ClientIT, ColumnsOfATableWhoseNameNeedsEncoding) {
    const std::string name = "odd name/x?y#z%41 M\xC3\xBCller";
    project = emu.uniqueProject("pr\xC3\xA9");
    open();
    ASSERT_EQ(0, exec("create table `" + name + "` (id INT, label STRING)")) << rec.message;
    drop();
    ASSERT_EQ(0, DBColumns(conn, name.c_str(), &rs, &rec)) << rec.message;
    std::vector<EmuRequest> d = calls("/tables/odd%20name%2Fx%3Fy%23z%2541%20M%C3%BCller");
    ASSERT_EQ(1u, d.size());
    EXPECT_EQ("/v1.0/pr%C3%A9" + project.substr(4) +
                  "/databases/db1/tables/odd%20name%2Fx%3Fy%23z%2541%20M%C3%BCller",
              d[0].path);
    EXPECT_EQ("", d[0].query);
    std::vector<std::string> columns;
    while (DBFetch(rs) == 0) {
        EXPECT_EQ(name, cell(2));
        columns.push_back(cell(3));
    }
    EXPECT_EQ((std::vector<std::string>{"id", "label"}), columns);
}

// ---------------------------------------------------------------------------
// Diagnostics

TEST_P(ClientIT, SubmitErrorsCarryTheServiceMessage) {
    open();
    EXPECT_EQ(1, exec("select * from no_such_table"));
    expectDiag(4, "01000", "VKL Service response: no such table: no_such_table");
    fault("\"match\":\"submit\",\"kind\":\"status\",\"status\":500,\"body\":\"server down\"");
    EXPECT_EQ(1, exec("select 1"));
    expectDiag(4, "01000", "VKL Service response: server down");
    // Bytes that are not UTF-8 where the data source says the text is.
    EXPECT_EQ(1, exec("select 'a\xFF\xFE"
                      "b'"));
    EXPECT_NE(nullptr, strstr(rec.message, "VKL.0400")) << rec.message;
    EXPECT_STREQ("01000", rec.sqlState);
}

TEST_P(ClientIT, StatusAndPageErrorsCarryTheServiceMessage) {
    open();
    fault("\"match\":\"status\",\"kind\":\"not_success\",\"message\":\"status broke\"");
    EXPECT_EQ(1, exec("select 1"));
    expectDiag(4, "01000", "VKL Service response: status broke");
    fault("\"match\":\"result\",\"kind\":\"status\",\"status\":503,\"body\":\"page gone\"");
    EXPECT_EQ(1, exec("select 1"));
    expectDiag(4, "01000", "VKL Service response: page gone");
}

TEST_P(ClientIT, PageErrorWhileFetchingCanBeRetried) {
    open();
    ASSERT_EQ(0, exec("select id from numbers order by id"));
    for (int i = 1; i <= 100; ++i) {
        ASSERT_EQ(0, DBFetch(rs));
    }
    fault("\"match\":\"result\",\"kind\":\"not_success\",\"message\":\"busy\"");
    EXPECT_EQ(1, DBFetch(rs));
    DiagRecord after;
    memset(&after, 0, sizeof(after));
    rs->fillDiagRecord(&after);
    EXPECT_EQ(4, after.nativeCode);
    EXPECT_STREQ("VKL Service response: busy", after.message);
    EXPECT_EQ("100", cell(0)); // the current row stays
    ASSERT_EQ(0, DBFetch(rs)); // the same page is asked for again
    EXPECT_EQ("101", cell(0));
}

// Every way a REST call can fail leaves a record that says what happened:
// a transport failure (08S01, 08001 while connecting, with libcurl's text and
// the host), a refused login (the Part's "VKL ODBC System ERROR." and the
// identity service's reason) or an answer that cannot be read (never an
// empty success, never "no more rows").
TEST_P(ClientIT, EveryFailedCallLeavesARecordThatSaysWhy) {
    const std::string link = "VKL ODBC Communication link failure: ";
    const std::string unreadable = "VKL ODBC Unreadable service answer: ";
    const std::string system = "VKL ODBC System ERROR. Identity service answered 401: ";
    enum Action { EXECUTE, LATER_PAGE, COLUMNS, TABLES, RENEWAL, CONNECT, UNREACHABLE_HOST };
    const struct Row {
        const char* name;
        Action action;
        std::string fault; // emulator fault fields; empty for none
        int native;        // -1: a CURLcode, any positive value
        const char* state;
        std::string message; // the message starts with it
        std::string host;    // the message names this host; empty: no host
        int statusCalls;     // status requests the call made; -1: not counted
        bool tokenOnly;
    } rows[] = {
        {"submit dropped", EXECUTE, "\"match\":\"submit\",\"kind\":\"drop\"", -1, "08S01", link,
         "emu", 0, false},
        {"status dropped", EXECUTE, "\"match\":\"status\",\"kind\":\"drop\"", -1, "08S01", link,
         "emu", 1, false},
        {"first page dropped", EXECUTE, "\"match\":\"result\",\"kind\":\"drop\"", -1, "08S01", link,
         "emu", 1, false},
        {"later page dropped", LATER_PAGE, "\"match\":\"result\",\"kind\":\"drop\"", -1, "08S01",
         link, "emu", -1, false},
        {"describe dropped", COLUMNS, "\"match\":\"describe\",\"kind\":\"drop\"", -1, "08S01", link,
         "emu", -1, false},
        {"table list dropped", TABLES, "\"match\":\"submit\",\"kind\":\"drop\"", -1, "08S01", link,
         "emu", -1, false},
        {"host refuses connections", UNREACHABLE_HOST, "", 7, "08S01", link, "127.0.0.1:1", -1,
         false},
        {"submit html", EXECUTE, "\"match\":\"submit\",\"kind\":\"unreadable\"", 5, "HY000",
         unreadable, "", 0, false},
        {"submit truncated", EXECUTE,
         "\"match\":\"submit\",\"kind\":\"unreadable\",\"form\":\"truncated\"", 5, "HY000",
         unreadable, "", 0, false},
        {"submit empty", EXECUTE, "\"match\":\"submit\",\"kind\":\"unreadable\",\"form\":\"empty\"",
         5, "HY000", unreadable, "", 0, false},
        {"submit bad UTF-8", EXECUTE,
         "\"match\":\"submit\",\"kind\":\"unreadable\",\"form\":\"bad_utf8\"", 5, "HY000",
         unreadable, "", 0, false},
        {"status html", EXECUTE, "\"match\":\"status\",\"kind\":\"unreadable\"", 5, "HY000",
         unreadable, "", 1, false},
        {"status empty", EXECUTE, "\"match\":\"status\",\"kind\":\"unreadable\",\"form\":\"empty\"",
         5, "HY000", unreadable, "", 1, false},
        {"first page truncated", EXECUTE,
         "\"match\":\"result\",\"kind\":\"unreadable\",\"form\":\"truncated\"", 5, "HY000",
         unreadable, "", 1, false},
        {"first page nested too deep", EXECUTE,
         "\"match\":\"result\",\"kind\":\"unreadable\",\"form\":\"deep\"", 5, "HY000",
         unreadable + "nesting too deep", "", 1, false},
        {"later page html", LATER_PAGE, "\"match\":\"result\",\"kind\":\"unreadable\"", 5, "HY000",
         unreadable, "", -1, false},
        {"later page empty", LATER_PAGE,
         "\"match\":\"result\",\"kind\":\"unreadable\",\"form\":\"empty\"", 5, "HY000", unreadable,
         "", -1, false},
        {"describe truncated", COLUMNS,
         "\"match\":\"describe\",\"kind\":\"unreadable\",\"form\":\"truncated\"", 5, "HY000",
         unreadable, "", -1, false},
        {"table list page html", TABLES, "\"match\":\"result\",\"kind\":\"unreadable\"", 5, "HY000",
         unreadable, "", -1, false},
        {"renewal dropped", RENEWAL, "\"match\":\"token\",\"kind\":\"drop\"", -1, "08S01", link,
         "emu", -1, true},
        {"renewal refused", RENEWAL,
         "\"match\":\"token\",\"kind\":\"not_success\",\"message\":\"Account locked\"", 401,
         "HY000", system + "Account locked", "", -1, true},
        {"renewal unreadable", RENEWAL,
         "\"match\":\"token\",\"kind\":\"unreadable\",\"form\":\"truncated\"", 5, "HY000",
         unreadable, "", -1, true},
        {"login dropped", CONNECT, "\"match\":\"token\",\"kind\":\"drop\"", -1, "08001", link,
         "emu", -1, true},
        {"login refused", CONNECT,
         "\"match\":\"token\",\"kind\":\"not_success\",\"message\":\"No such user\"", 401, "HY000",
         system + "No such user", "", -1, true},
        {"login answer unreadable", CONNECT,
         "\"match\":\"token\",\"kind\":\"unreadable\",\"form\":\"empty\"", 5, "HY000", unreadable,
         "", -1, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.tokenOnly && GetParam() == 1) {
            continue;
        }
        if (conn != nullptr) {
            drop();
            NavixCloseConnection(conn);
            conn = nullptr;
        }
        emu.reset(project);
        polls(0);
        memset(&rec, 0, sizeof(rec));
        int ret = -99;
        size_t statusBefore = 0;
        if (r.action == CONNECT) {
            fault(r.fault);
            ConnProperty p = property();
            conn = NavixOpenConnection(&p, "DSN=vkl", &rec);
            EXPECT_EQ(nullptr, conn);
            ret = conn == nullptr ? 1 : 0;
        } else if (r.action == UNREACHABLE_HOST) {
            ConnProperty p = property();
            setText(p.HOST, "127.0.0.1:1");
            DiagRecord openRec;
            conn = NavixOpenConnection(&p, "DSN=vkl", &openRec);
            ASSERT_NE(nullptr, conn) << openRec.message; // the identity service is elsewhere
            ret = exec("select 1");
        } else {
            open();
            if (r.action == RENEWAL) {
                conn->restApi->tokenExpiry = 0;
            }
            if (r.action == LATER_PAGE) {
                ASSERT_EQ(0, exec("select id from numbers order by id"));
                for (int i = 1; i <= 100; ++i) {
                    ASSERT_EQ(0, DBFetch(rs));
                }
            }
            fault(r.fault);
            statusBefore = calls("/status").size();
            switch (r.action) {
            case LATER_PAGE:
                ret = DBFetch(rs); // the page fails: never "no more rows"
                EXPECT_EQ(0, DBFillDiagRecord(rs, &rec));
                break;
            case COLUMNS:
                drop();
                ret = DBColumns(conn, "customers", &rs, &rec);
                break;
            case TABLES:
                drop();
                ret = DBTables(conn, "", &rs, &rec);
                break;
            default:
                ret = exec("select id from numbers where id < 3");
                break;
            }
        }
        EXPECT_EQ(1, ret);
        if (r.native < 0) {
            EXPECT_GT(rec.nativeCode, 0);
        } else {
            EXPECT_EQ(r.native, rec.nativeCode);
        }
        EXPECT_STREQ(r.state, rec.sqlState);
        const std::string message = rec.message;
        EXPECT_EQ(0u, message.find(r.message)) << message;
        if (r.message.compare(r.message.size() - 2, 2, ": ") == 0) {
            EXPECT_GT(message.size(), r.message.size()) << message; // a reason follows the prefix
        }
        if (!r.host.empty()) {
            const std::string host = r.host == "emu" ? emu.hostPort() : r.host;
            EXPECT_EQ(message.size() - host.size() - 8, message.rfind(" (host " + host + ")"))
                << message;
        }
        if (r.statusCalls >= 0) {
            EXPECT_EQ(statusBefore + r.statusCalls, calls("/status").size());
        }
        if (r.action == LATER_PAGE) {
            // The failed page is asked for again and delivers the next row.
            ASSERT_EQ(0, DBFetch(rs));
            EXPECT_EQ("101", cell(0));
        } else if (r.action != CONNECT) {
            EXPECT_EQ(nullptr, rs);
        }
    }
}

// A page whose rows are no array or are wider than the columns, or a result
// that ends short of the first page's row count, fails the fetch (or the
// execution, for the first page): never "no more rows" after part of the
// result. The pages are asked for as for a whole result.
TEST_P(ClientIT, ShortResultFailsTheFetch) {
    auto page = [](const std::string& rowCount, const std::string& rows,
                   const std::string& schema = R"([{"id":"INT"}])") {
        return "\"match\":\"result\",\"kind\":\"status\",\"status\":200,\"body\":" +
               emuJsonString(R"({"is_success":true,"message":"","job_id":"j","job_type":"QUERY",)"
                             R"("input_size":0,"row_count":)" +
                             rowCount + R"(,"schema":)" + schema + R"(,"rows":)" + rows + "}");
    };
    // n single-cell rows (or one row of n columns), and n INT columns.
    auto many = [](int n, const char* each) {
        std::string out = "[";
        for (int i = 0; i < n; ++i)
            out += std::string(i > 0 ? "," : "") + each;
        return out + "]";
    };
    const struct Row {
        const char* name;
        int firstFaultyPage; // the faults answer this page and the next ones
        std::vector<std::string> faults;
        int delivered; // rows fetched before the failure
        std::string reason;
    } rows[] = {
        {"rows an object", 2, {page("250", "{}")}, 100, "rows is not an array"},
        {"rows a text", 2, {page("250", "\"garbage\"")}, 100, "rows is not an array"},
        {"a row that is no array", 2, {page("250", "[[101],7]")}, 100, "row 2 is not an array"},
        {"no rows", 2, {page("250", "[]")}, 100, "the result ended after 100 of 250 rows"},
        {"one row, then none",
         2,
         {page("250", "[[101]]"), page("250", "[]")},
         101,
         "the result ended after 101 of 250 rows"},
        {"rows with a count of 0",
         2,
         {page("0", "[[101]]")},
         100,
         "page 2 holds 1 rows but the row count of 0 leaves room for 0"},
        {"first page without rows but a count",
         1,
         {page("250", "[]")},
         0,
         "the result ended after 0 of 250 rows"},
        {"first page rows an object", 1, {page("250", "{}")}, 0, "rows is not an array"},
        {"first page rows with a count of 0",
         1,
         {page("0", "[[1],[2]]")},
         0,
         "page 1 holds 2 rows but the row count of 0 leaves room for 0"},
        {"first page with more rows than its count",
         1,
         {page("1", "[[1],[2],[3]]")},
         0,
         "page 1 holds 3 rows but the row count of 1 leaves room for 1"},
        {"later page with more rows than remain",
         2,
         {page("250", many(151, "[7]"))},
         100,
         "page 2 holds 151 rows but the row count of 250 leaves room for 150"},
        {"a later row count of -1",
         2,
         {page("-1", "[[101]]")},
         100,
         "page 2 holds 1 rows but the row count of -1 leaves room for 0"},
        {"a later row wider than the schema",
         2,
         {page("250", "[[101,7]]")},
         100,
         "row 1 of page 2 holds 2 cells but the result has 1 columns"},
        {"more columns than ODBC counts",
         1,
         {page("1", "[" + many(32768, "1") + "]", many(32768, R"({"c":"INT"})"))},
         0,
         "the result has 32768 columns, more than 32767 that ODBC can count"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (conn != nullptr) { // a reset forgets the connection's token
            drop();
            NavixCloseConnection(conn);
            conn = nullptr;
        }
        emu.reset(project);
        polls(0);
        open();
        if (r.firstFaultyPage == 1) {
            for (const std::string& f : r.faults)
                fault(f);
        }
        int ret = exec("select id from numbers order by id");
        int delivered = 0;
        if (r.firstFaultyPage > 1) {
            ASSERT_EQ(0, ret) << rec.message;
            for (const std::string& f : r.faults)
                fault(f);
            while ((ret = DBFetch(rs)) == 0) {
                ++delivered;
            }
            memset(&rec, 0, sizeof(rec));
            rs->fillDiagRecord(&rec);
        }
        EXPECT_EQ(1, ret);
        EXPECT_EQ(r.delivered, delivered);
        expectDiag(5, "HY000", "VKL ODBC Unreadable service answer: " + r.reason);
        // One request per page, in order: the first faulty page is the last.
        const std::vector<std::string> pages = pageQueries();
        ASSERT_FALSE(pages.empty());
        const size_t last = r.firstFaultyPage + r.faults.size() - 1;
        EXPECT_EQ("current-page=" + std::to_string(last) + "&page-size=100", pages.back());
        EXPECT_EQ(last, pages.size());
    }
}

// Counts beyond 2^31 (and 2^32) are counts: the answer is read, the row
// count kept whole, and the rows that exist are delivered. A description
// is held to its own count.
TEST_P(ClientIT, LargeCountsAreReadWhole) {
    open();
    fault("\"match\":\"status\",\"kind\":\"big_counts\"");
    fault("\"match\":\"result\",\"kind\":\"big_counts\"");
    ASSERT_EQ(0, exec("select id from numbers order by id")) << rec.message;
    EXPECT_EQ(5000000000ULL, rs->m_irowNum);
    int rows = 0, ret;
    while ((ret = DBFetch(rs)) == 0) {
        ++rows;
        ASSERT_EQ(std::to_string(rows), cell(0));
    }
    EXPECT_EQ(250, rows);
    // The rows that exist are all there, but not the count the first page
    // promised: that is no complete result.
    EXPECT_EQ(1, ret);
    rs->fillDiagRecord(&rec);
    expectDiag(5, "HY000",
               "VKL ODBC Unreadable service answer: the result ended after 250 of 5000000000 rows");
    drop();
    fault("\"match\":\"describe\",\"kind\":\"big_counts\",\"value\":2147483648");
    EXPECT_EQ(1, DBColumns(conn, "customers", &rs, &rec));
    expectDiag(5, "HY000",
               "VKL ODBC Unreadable service answer: the table description holds 5 columns but "
               "its column_count is 2147483648");
}

TEST_P(ClientIT, LongServiceMessageIsCutInTheRecord) {
    open();
    std::string text(1100, 'x');
    fault("\"match\":\"submit\",\"kind\":\"status\",\"status\":400,\"body\":\"" + text + "\"");
    EXPECT_EQ(1, exec("select 1"));
    EXPECT_EQ(1024u, strlen(rec.message));
    EXPECT_EQ("VKL Service response: " + std::string(1002, 'x'), rec.message);
}

TEST_P(ClientIT, WrongCredentialsFailTheConnectInTokenModeOnly) {
    ConnProperty p = property();
    setText(p.PASSWORD, "wrong-password");
    setText(p.SK, "wrong-secret");
    DiagRecord openRec;
    memset(&openRec, 0, sizeof(openRec));
    conn = NavixOpenConnection(&p, "DSN=vkl", &openRec);
    if (GetParam() == 1) {
        // Signing sends nothing at connect; the service refuses the first job.
        ASSERT_NE(nullptr, conn);
        EXPECT_EQ(1, exec("select 1"));
        EXPECT_EQ(4, rec.nativeCode);
        EXPECT_EQ(0, openRec.nativeCode);
    } else {
        EXPECT_EQ(nullptr, conn);
        EXPECT_EQ(401, openRec.nativeCode);
        EXPECT_STREQ("HY000", openRec.sqlState);
        EXPECT_STREQ("VKL ODBC System ERROR. Identity service answered 401: The username or "
                     "password is wrong.",
                     openRec.message);
    }
}

// Statements of one token-mode connection run on 8 threads at once, across
// several lives of a short-lived token: every row is right, every request
// carries a live token, and the token is renewed once per renewal, not once
// per thread.
TEST(ClientThreads, EightThreadsShareOneTokenConnection) {
    EmuClient& emu = EmuClient::get();
    EnvGuard identity("VORN_IDENTITY_HOST", emu.hostPort().c_str());
    const std::string project = emu.uniqueProject("client-threads");
    emu.config("{\"project\":" + emuJsonString(project) + ",\"running_polls\":0,\"token_ttl\":4}");
    ConnProperty p = clienttest::makeProperty(2, project);
    setText(p.HOST, emu.hostPort());
    setText(p.SSLCA, emu.caFile());
    setText(p.DATABASE, "db1");
    setText(p.ACCOUNT, emu::kAccount);
    setText(p.USER, emu::kUser);
    setText(p.PASSWORD, emu::kPassword);
    DiagRecord openRec;
    memset(&openRec, 0, sizeof(openRec));
    NavixConnection* conn = NavixOpenConnection(&p, "DSN=vkl", &openRec);
    ASSERT_NE(nullptr, conn) << openRec.message;

    std::mutex problemsMutex;
    std::vector<std::string> problems;
    std::atomic<int> queries(0);
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(9);
    auto work = [&](int t) {
        auto report = [&](const std::string& what) {
            std::lock_guard<std::mutex> lock(problemsMutex);
            problems.push_back("thread " + std::to_string(t) + ": " + what);
        };
        for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
            DiagRecord r;
            NavixQueryResultSet* rs = nullptr;
            // Settings and the current database change under the other threads.
            const std::string local =
                i % 2 == 0 ? "set vkl.thread" + std::to_string(t) + "=" + std::to_string(i)
                           : std::string("use db1");
            if (NavixExecute(conn, local.c_str(), &rs, &r) != 0) {
                report(local + ": " + r.message);
                return;
            }
            delete rs;
            rs = nullptr;
            // Every fifth query spans two result pages.
            const int first = i % 5 == 4 ? 51 : t * 25 + 1 + i % 7;
            const int last = i % 5 == 4 ? 250 : first + 9;
            const std::string sql = "select id, label from numbers where id between " +
                                    std::to_string(first) + " and " + std::to_string(last) +
                                    " order by id";
            if (NavixExecute(conn, sql.c_str(), &rs, &r) != 0) {
                report(sql + ": " + r.message);
                return;
            }
            int id = first;
            char buf[32];
            int32_t len = 0, isNull = 0;
            int fr;
            while ((fr = DBFetch(rs)) == 0) {
                if (DBGetFieldAsCString(rs, 1, buf, sizeof buf, &len, &isNull) != 0 ||
                    std::string(buf) != "row " + std::to_string(id)) {
                    report(sql + ": wrong row " + buf);
                    break;
                }
                ++id;
            }
            if (fr == 1) {
                DBFillDiagRecord(rs, &r);
                report(sql + ": fetch failed: " + r.message);
            } else if (id != last + 1) {
                report(sql + ": " + std::to_string(id - first) + " rows");
            }
            delete rs;
            ++queries;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back(work, t);
    }
    for (std::thread& th : threads) {
        th.join();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_GE(queries.load(), 16);
    std::vector<std::string> settings = conn->serverConfSnapshot();
    EXPECT_EQ(8u, settings.size());
    NavixCloseConnection(conn);
    // A token lives about 4 s and is renewed at half its life: at least two
    // renewals in the run. Renewed once per renewal (not once per thread that
    // found it lapsing), the count stays near one per two seconds, far from
    // eight at a time.
    const size_t tokens = emu.requests(project, "/v3/auth/tokens").size();
    EXPECT_GE(tokens, 3u);
    EXPECT_LE((double)tokens, 2.0 + seconds);
}
