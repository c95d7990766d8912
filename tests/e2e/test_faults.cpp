// Every fault the emulator can inject, at every REST call the driver makes,
// in both authorisation modes, seen through the driver manager as an
// application sees it: SQL_ERROR with the SQLSTATE, native code and message
// of the failure, or every row of the result. Never a crash, never a wait
// beyond the cell's bound, never a success with rows missing.
//
// One table: a row per fault, a column per call. Each cell is a test of its
// own (one CTest test per cell, so they run in parallel).
#include "OdbcHarness.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <thread>

using namespace e2e;

namespace {

enum Call { SUBMIT, STATUS, FIRST_PAGE, LATER_PAGE, DESCRIBE, LOGIN, RENEWAL, CALLS };
const char* const kCallNames[CALLS] = {"submit",   "status", "firstpage", "laterpage",
                                       "describe", "login",  "renewal"};
// The emulator's name of each call ("match").
const char* const kMatch[CALLS] = {"submit",   "status", "result", "result",
                                   "describe", "token",  "token"};

// What the application sees.
enum Outcome {
    NA,            // the fault does not exist at this call
    ROWS,          // every row of the result
    SERVICE,       // 01000, native 4, "VKL Service response: " and the service's text
    LINK,          // 08S01 (08001 while connecting), a libcurl code, "Communication link failure"
    UNREAD,        // HY000, native 5, "Unreadable service answer"
    TIMEOUT,       // HY000, native 3, "VKL Service Response Time Out."
    LOGIN_REFUSED, // HY000, native = the identity service's HTTP status, "System ERROR"
    SHORT,         // every row that exists, then the fetch after them fails as UNREAD:
                   // the result claimed more rows than the service delivered
};

struct FaultRow {
    const char* name;
    std::string json;  // members of the fault besides project and match
    const char* text;  // what the message carries (SERVICE, LOGIN_REFUSED)
    int refusalStatus; // HTTP status of the identity service's refusal (LOGIN_REFUSED)
    Outcome at[CALLS]; // submit, status, first page, later page, describe, login, renewal
};

// The job time-out of every cell, and a delay beyond it.
const int kJobTimeout = 1;
const char* const kDelaySeconds = "2.5";

const std::vector<FaultRow>& faultRows() {
    // clang-format off
    static const std::vector<FaultRow> rows = {
        {"http400", R"("kind":"status","status":400,"message":"injected bad request")", "injected bad request", 400,
        //  submit   status   1st page later p. describe login          renewal
           {SERVICE, SERVICE, SERVICE, SERVICE, SERVICE, LOGIN_REFUSED, LOGIN_REFUSED}},
        {"http503", R"("kind":"status","status":503,"message":"injected unavailable")", "injected unavailable", 503,
           {SERVICE, SERVICE, SERVICE, SERVICE, SERVICE, LOGIN_REFUSED, LOGIN_REFUSED}},
        // The service's answer to a lapsed token (the driver renews before a
        // token lapses, so only a service that disagrees sends it).
        {"tokenexpired", R"("kind":"status","status":401,"body":"{\"error_code\":\"VKL.0401\",\"error_msg\":\"The token has expired\"}")",
         "The token has expired", 0,
           {SERVICE, SERVICE, SERVICE, SERVICE, SERVICE, NA,            NA}},
        // A token beside an error status logs nobody in.
        {"http500token", R"("kind":"status","status":500,"message":"injected error","headers":[["X-Subject-Token","stray"]])", "injected error", 500,
           {NA,      NA,      NA,      NA,      NA,      LOGIN_REFUSED, LOGIN_REFUSED}},
        {"http302token", R"("kind":"status","status":302,"message":"injected redirect","headers":[["X-Subject-Token","stray"],["Location","https://127.0.0.1:1/"]])", "injected redirect", 302,
           {NA,      NA,      NA,      NA,      NA,      LOGIN_REFUSED, LOGIN_REFUSED}},
        // "is_success":false; from the identity service a 401 without a token.
        // The describe answer has no such member: a body without the members
        // of a description is no answer.
        {"refused", R"("kind":"not_success","message":"injected refusal")", "injected refusal", 401,
           {SERVICE, SERVICE, SERVICE, SERVICE, UNREAD,  LOGIN_REFUSED, LOGIN_REFUSED}},
        // 200 with an HTML page; from the identity service that is no token.
        {"notjson", R"("kind":"not_json")", "<html>not json</html>", 200,
           {UNREAD,  UNREAD,  UNREAD,  UNREAD,  UNREAD,  LOGIN_REFUSED, LOGIN_REFUSED}},
        {"html", R"("kind":"unreadable","form":"html")", nullptr, 0,
           {UNREAD,  UNREAD,  UNREAD,  UNREAD,  UNREAD,  UNREAD,        UNREAD}},
        {"truncated", R"("kind":"unreadable","form":"truncated")", nullptr, 0,
           {UNREAD,  UNREAD,  UNREAD,  UNREAD,  UNREAD,  UNREAD,        UNREAD}},
        {"empty", R"("kind":"unreadable","form":"empty")", nullptr, 0,
           {UNREAD,  UNREAD,  UNREAD,  UNREAD,  UNREAD,  UNREAD,        UNREAD}},
        {"badutf8", R"("kind":"unreadable","form":"bad_utf8")", nullptr, 0,
           {UNREAD,  UNREAD,  UNREAD,  UNREAD,  UNREAD,  UNREAD,        UNREAD}},
        {"deep", R"("kind":"unreadable","form":"deep")", nullptr, 0,
           {UNREAD,  UNREAD,  UNREAD,  UNREAD,  UNREAD,  UNREAD,        UNREAD}},
        {"drop", R"("kind":"drop")", nullptr, 0,
           {LINK,    LINK,    LINK,    LINK,    LINK,    LINK,          LINK}},
        // Beyond the job time-out. Only the wait for the job is bounded by it,
        // so only a late status answer (that says RUNNING) ends the statement.
        {"delay", std::string(R"("kind":"delay","seconds":)") + kDelaySeconds, nullptr, 0,
           {ROWS,    TIMEOUT, ROWS,    ROWS,    ROWS,    ROWS,          ROWS}},
        {"jobfailed", R"("kind":"job_failed","message":"injected failure")", "injected failure", 0,
           {SERVICE, SERVICE, NA,      NA,      NA,      NA,            NA}},
        {"jobcancelled", R"("kind":"job_cancelled","message":"injected cancel")", "injected cancel", 0,
           {SERVICE, SERVICE, NA,      NA,      NA,      NA,            NA}},
        {"neverfinish", R"("kind":"never_finish")", nullptr, 0,
           {TIMEOUT, TIMEOUT, NA,      NA,      NA,      NA,            NA}},
        // Counts beyond 2^32 are read whole; a first page that claims more
        // rows than the result has gives every row, then a failure; a
        // description that claims more columns than it lists is unreadable.
        {"bigcounts", R"("kind":"big_counts")", nullptr, 0,
           {ROWS,    ROWS,    SHORT,   ROWS,    UNREAD,  ROWS,          ROWS}},
    };
    // clang-format on
    return rows;
}

struct Cell {
    const FaultRow* fault;
    Call call;
    bool token;
    std::string name() const {
        return std::string(kCallNames[call]) + "_" + fault->name + (token ? "_token" : "_aksk");
    }
};

void PrintTo(const Cell& c, std::ostream* os) {
    *os << c.name();
}

std::vector<Cell> cells() {
    std::vector<Cell> out;
    for (const FaultRow& f : faultRows())
        for (int call = 0; call < CALLS; ++call) {
            if (f.at[call] == NA) continue;
            for (bool token : {false, true}) {
                // The identity service is asked in token mode only.
                if (!token && (call == LOGIN || call == RENEWAL)) continue;
                out.push_back(Cell{&f, static_cast<Call>(call), token});
            }
        }
    return out;
}

// Ends the process when a cell takes longer than its bound: a hang is a
// failure of its own, and nothing else can stop a call that never returns.
class Watchdog {
  public:
    Watchdog(std::string what, int seconds) : what_(std::move(what)) {
        thread_ = std::thread([this, seconds] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!done_.wait_for(lock, std::chrono::seconds(seconds),
                                [this] { return finished_; })) {
                fprintf(stderr, "%s: no answer within %d s\n", what_.c_str(), seconds);
                fflush(stderr);
                _exit(3);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
    }

  private:
    std::string what_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

const int kRows = 250; // db1.numbers: ids 1..250, three pages
const std::vector<std::string> kCustomerColumns = {"id", "name", "city", "balance", "created"};

class FaultMatrix : public ::testing::TestWithParam<Cell> {
  protected:
    // The SQLSTATE, native code and message of the failure, on the handle.
    void expectFailure(SQLSMALLINT type, SQLHANDLE h, Outcome outcome, bool connecting) {
        const Cell& c = GetParam();
        Diag d = diag(type, h, 1, 2048);
        ASSERT_EQ(SQL_SUCCESS, d.ret) << "no diagnostic record";
        std::string state, prefix;
        int native = -1; // -1: any positive code
        switch (outcome) {
        case SERVICE:
            state = "01000", native = 4, prefix = "VKL Service response: ";
            break;
        case LINK:
            state = connecting ? "08001" : "08S01";
            prefix = "VKL ODBC Communication link failure: ";
            break;
        case UNREAD:
            state = "HY000", native = 5, prefix = "VKL ODBC Unreadable service answer: ";
            break;
        case TIMEOUT:
            state = "HY000", native = 3, prefix = "VKL Service Response Time Out.";
            break;
        case LOGIN_REFUSED:
            state = "HY000", native = c.fault->refusalStatus;
            prefix = "VKL ODBC System ERROR. Identity service answered " +
                     std::to_string(c.fault->refusalStatus);
            break;
        default:
            FAIL() << "not a failure";
        }
        EXPECT_EQ(state, d.state) << d.text;
        if (native < 0) {
            EXPECT_GT(d.native, 0) << d.text;
        } else {
            EXPECT_EQ(native, d.native) << d.text;
        }
        EXPECT_EQ(prefix, d.text.substr(0, prefix.size())) << d.text;
        // A prefix that ends in ": " is followed by the reason.
        // The service's or identity service's own text reaches the application.
        if ((outcome == SERVICE || outcome == LOGIN_REFUSED) && c.fault->text != nullptr) {
            EXPECT_NE(std::string::npos, d.text.find(c.fault->text)) << d.text;
        }
        if (prefix.size() > 2 && prefix.compare(prefix.size() - 2, 2, ": ") == 0) {
            EXPECT_GT(d.text.size(), prefix.size()) << d.text;
        }
    }

    // Fetches the rest of db1.numbers from the row after `from`: ids in
    // order, none missing, then SQL_NO_DATA (or, for SHORT, the failure).
    void expectRowsFrom(SQLHSTMT h, int from, bool shortResult = false) {
        SQLINTEGER id = 0;
        SQLLEN ind = 0;
        for (int want = from + 1; want <= kRows; ++want) {
            SQLRETURN rc = SQLFetch(h);
            ASSERT_EQ(SQL_SUCCESS, rc) << "row " << want << ": " << diagText(SQL_HANDLE_STMT, h);
            ASSERT_EQ(SQL_SUCCESS, SQLGetData(h, 1, SQL_C_SLONG, &id, 0, &ind));
            ASSERT_EQ(want, id);
        }
        if (shortResult) {
            EXPECT_EQ(SQL_ERROR, SQLFetch(h)) << "a short result ended as complete";
            expectFailure(SQL_HANDLE_STMT, h, UNREAD, false);
            return;
        }
        EXPECT_EQ(SQL_NO_DATA, SQLFetch(h)) << "rows beyond " << kRows;
    }

    void expectCustomerColumns(Statement& st) {
        std::vector<std::string> names;
        for (const auto& row : st.fetchAllText())
            names.push_back(row.at(3));
        EXPECT_EQ(kCustomerColumns, names);
    }
};

TEST_P(FaultMatrix, Cell) {
    const Cell& c = GetParam();
    const Outcome expected = c.fault->at[c.call];
    Watchdog watchdog(c.name(), 30);
    // The cell's own project, named after it (the test's name is its index).
    std::string project = "e2e-faults-" + c.name();
    std::replace(project.begin(), project.end(), '_', '-');
    emulator().reset(project);
    // Jobs finish at their first status answer, so that no cell meets the
    // job time-out by a slow machine; only a late status answer has to say
    // RUNNING to show that the time-out ends the wait.
    const bool lateStatus = c.call == STATUS && std::string(c.fault->name) == "delay";
    runningPolls(project, lateStatus ? 1 : 0);
    const std::string faultJson = "{\"project\":\"" + project + "\",\"match\":\"" + kMatch[c.call] +
                                  "\"," + c.fault->json + "}";
    const std::string extra = "JOBTIMEOUT=" + std::to_string(kJobTimeout);
    const std::string connStr =
        c.token ? tokenConnStr(project, extra) : akskConnStr(project, extra);

    Connection conn;
    if (c.call == LOGIN) {
        emulator().fault(faultJson);
        SQLRETURN rc = conn.driverConnect(connStr);
        EXPECT_EQ(1u, tokenRequests(project));
        if (expected != ROWS) {
            EXPECT_EQ(SQL_ERROR, rc);
            expectFailure(SQL_HANDLE_DBC, conn.dbc, expected, true);
            // Nothing was sent to the service.
            EXPECT_EQ(0u, submitRequests(project));
            return;
        }
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << diagText(SQL_HANDLE_DBC, conn.dbc);
    } else {
        if (c.call == RENEWAL)
            emulator().config("{\"project\":\"" + project + "\",\"token_ttl\":2}");
        E2E_CONNECT(conn, connStr);
        if (c.call == RENEWAL) {
            // The token lapses at the latest two seconds after it was issued;
            // the next request renews it first.
            emulator().fault(faultJson);
            std::this_thread::sleep_for(std::chrono::milliseconds(2100));
        }
    }

    Statement st(conn);
    if (c.call == DESCRIBE) {
        emulator().fault(faultJson);
        SQLRETURN rc =
            SQLColumns(st.h, nullptr, 0, nullptr, 0, (SQLCHAR*)"customers", SQL_NTS, nullptr, 0);
        EXPECT_EQ(1u, countRequests(project, "GET", "/databases/db1/tables/customers"));
        if (expected != ROWS) {
            EXPECT_EQ(SQL_ERROR, rc);
            expectFailure(SQL_HANDLE_STMT, st.h, expected, false);
            return;
        }
        ASSERT_EQ(SQL_SUCCESS, rc) << st.diagText();
        expectCustomerColumns(st);
        return;
    }

    if (c.call != LATER_PAGE && c.call != LOGIN && c.call != RENEWAL) emulator().fault(faultJson);
    SQLRETURN rc = st.exec("select id from numbers order by id");
    // The call that the fault waits for was made.
    if (c.call == RENEWAL) {
        EXPECT_GE(tokenRequests(project), 2u) << "the token was not renewed";
    }
    if (c.call == STATUS) {
        EXPECT_GE(statusRequests(project), 1u);
    }
    if (c.call == FIRST_PAGE) {
        EXPECT_GE(pageRequests(project), 1u);
    }
    if (c.call != LATER_PAGE) {
        if (expected != ROWS && expected != SHORT) {
            EXPECT_EQ(SQL_ERROR, rc);
            expectFailure(SQL_HANDLE_STMT, st.h, expected, false);
            // A failed statement has no rows to hand out.
            EXPECT_EQ(SQL_ERROR, SQLFetch(st.h));
            return;
        }
        ASSERT_EQ(SQL_SUCCESS, rc) << st.diagText();
        expectRowsFrom(st.h, 0, expected == SHORT);
        return;
    }

    // The second page: the fault waits for the request after the first page.
    ASSERT_EQ(SQL_SUCCESS, rc) << st.diagText();
    ASSERT_EQ(1u, pageRequests(project));
    SQLINTEGER id = 0;
    SQLLEN ind = 0;
    for (int want = 1; want <= 100; ++want) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h)) << "row " << want << ": " << st.diagText();
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(st.h, 1, SQL_C_SLONG, &id, 0, &ind));
        ASSERT_EQ(want, id);
    }
    emulator().fault(faultJson);
    if (expected != ROWS) {
        // Never "no more rows": the fetch fails and says why ...
        EXPECT_EQ(SQL_ERROR, SQLFetch(st.h));
        expectFailure(SQL_HANDLE_STMT, st.h, expected, false);
        EXPECT_EQ(2u, pageRequests(project));
        // ... and the next fetch asks for the same page again: nothing lost.
        expectRowsFrom(st.h, 100);
        return;
    }
    expectRowsFrom(st.h, 100);
    EXPECT_GE(pageRequests(project), 2u);
}

// CTest names each cell after its printed value (PrintTo above).
INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(cells()));

} // namespace
