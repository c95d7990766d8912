// Several application threads use the driver at the same time: each with its
// own connection, and all on one connection.
//
// The driver manager lets them into the driver at once: these tests connect
// with DRIVER=<library path>, for which unixODBC finds no odbcinst.ini
// section and so no "Threading" level to serialise calls by.
// SharedConnection checks that calls really overlap inside the driver.
#include "OdbcHarness.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

using namespace e2e;

namespace {

const int kThreads = 8;

// Runs one query on a new statement of the connection and checks its row.
std::string queryRow(Connection& conn, int id) {
    Statement st(conn);
    std::string sql = "select label, squared from numbers where id = " + std::to_string(id);
    if (st.exec(sql) != SQL_SUCCESS || SQLFetch(st.h) != SQL_SUCCESS)
        return sql + ": " + st.diagText();
    if (getText(st.h, 1) != "row " + std::to_string(id) ||
        getText(st.h, 2) != std::to_string(id * id))
        return sql + ": wrong row";
    if (SQLFetch(st.h) != SQL_NO_DATA) return sql + ": more than one row";
    return "";
}

} // namespace

TEST(Threads, ConnectionsOnSeveralThreads) {
    const std::string project = testProject();
    // unixODBC fills a one-time cache of the ini files' paths on its first
    // connect, unlocked (a strncpy into a static buffer against a sprintf
    // that reads it): threads that make the process's first connects at once
    // race there, inside the driver manager, not the driver. One connect on
    // this thread first fills it, so that a race ThreadSanitizer finds below
    // is one of the driver's.
    {
        Connection warm;
        E2E_CONNECT(warm, akskConnStr(project));
        ASSERT_EQ(SQL_SUCCESS, warm.disconnect()) << diagText(SQL_HANDLE_DBC, warm.dbc);
    }
    const int kQueries = 4;
    std::atomic<int> good{0};
    std::vector<std::string> errors(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            try {
                Connection conn;
                // Half the threads sign their requests, half use tokens.
                std::string cs = t % 2 ? tokenConnStr(project) : akskConnStr(project);
                if (!SQL_SUCCEEDED(conn.driverConnect(cs))) {
                    errors[t] = "connect: " + diagText(SQL_HANDLE_DBC, conn.dbc);
                    return;
                }
                for (int q = 0; q < kQueries && errors[t].empty(); ++q) {
                    errors[t] = queryRow(conn, 1 + (t * kQueries + q) % 250);
                    if (errors[t].empty()) ++good;
                }
            } catch (const std::exception& e) {
                errors[t] = e.what();
            }
        });
    }
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ("", errors[t]) << "thread " << t;
    EXPECT_EQ(kThreads * kQueries, good.load());
}

// Eight threads share one token-mode connection whose token lives two to
// three seconds: they allocate and free statements and run queries at once.
// First one thread's execute is held up by the service while the others
// allocate and free statements, so that calls overlap inside the driver;
// then all of them run queries between their allocations, across renewals
// of the token.
TEST(Threads, SharedConnection) {
    const std::string project = testProject();
    emulator().reset(project);
    emulator().config("{\"project\":\"" + project + "\",\"token_ttl\":3}");
    Connection conn;
    E2E_CONNECT(conn, tokenConnStr(project, "vkl.sql.syncMode.enabled=true"));
    // The threads go on past the token's life, so that it is renewed while
    // they run.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(3500);

    const int kRounds = 200;
    std::atomic<bool> slowInside{false};
    std::atomic<bool> slowDone{false};
    std::atomic<int> overlapping{0};
    std::atomic<int> queries{0};
    std::mutex errorsMutex;
    std::vector<std::string> errors;
    auto report = [&](int t, const std::string& what) {
        std::lock_guard<std::mutex> lock(errorsMutex);
        errors.push_back("thread " + std::to_string(t) + ": " + what);
    };
    auto allocFree = [&](int t) {
        SQLHSTMT h = SQL_NULL_HSTMT;
        if (SQLAllocHandle(SQL_HANDLE_STMT, conn.dbc, &h) != SQL_SUCCESS) {
            report(t, "alloc: " + diagText(SQL_HANDLE_DBC, conn.dbc));
            return false;
        }
        // The statement's own state, set and read back while others change theirs.
        std::string name = "C" + std::to_string(t) + "_" + std::to_string((uintptr_t)h);
        SQLCHAR back[64] = {0};
        if (SQLSetCursorName(h, (SQLCHAR*)name.c_str(), SQL_NTS) != SQL_SUCCESS ||
            SQLGetCursorName(h, back, sizeof back, nullptr) != SQL_SUCCESS || name != (char*)back)
            report(t, "cursor name: " + diagText(SQL_HANDLE_STMT, h));
        if (SQLFreeHandle(SQL_HANDLE_STMT, h) != SQL_SUCCESS) report(t, "free");
        return true;
    };

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            try {
                if (t == 0) {
                    // The service holds this submission for half a second
                    // (less than the token has left: it is renewed with
                    // half of its life to go).
                    fault(project, "submit", "delay", "\"seconds\":0.5");
                    slowInside = true;
                    std::string e = queryRow(conn, 7);
                    slowInside = false;
                    slowDone = true;
                    if (!e.empty()) report(t, e);
                } else {
                    while (!slowDone) {
                        bool before = slowInside;
                        if (!allocFree(t)) return;
                        if (before && slowInside) ++overlapping;
                    }
                }
                for (int round = 0; round < kRounds || std::chrono::steady_clock::now() < until;
                     ++round) {
                    if (!allocFree(t)) return;
                    if (round % 20 == 0) {
                        std::string e = queryRow(conn, 1 + (t * kRounds + round) % 250);
                        if (!e.empty()) {
                            report(t, e);
                            return;
                        }
                        ++queries;
                    }
                }
            } catch (const std::exception& e) {
                report(t, e.what());
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(std::vector<std::string>(), errors);
    EXPECT_GE(queries.load(), kThreads * kRounds / 20);
    EXPECT_GE(tokenRequests(project), 2u);
    // Statements came and went while another call was inside the driver.
    EXPECT_GT(overlapping.load(), 0);
    // Every statement is gone: the connection closes.
    EXPECT_EQ(SQL_SUCCESS, conn.disconnect()) << diagText(SQL_HANDLE_DBC, conn.dbc);
}

// SQLCancel from another thread answers at once while a call waits for the
// service on the statement, and leaves that call's record alone; once the
// statement is idle it records that cancelling is not supported.
TEST(Threads, CancelDoesNotWaitForARunningCall) {
    const std::string project = testProject();
    emulator().reset(project);
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(project));
    Statement st(conn);
    fault(project, "submit", "delay", "\"seconds\":3");
    std::atomic<bool> done{false};
    SQLRETURN ran = SQL_ERROR;
    std::thread runner([&] {
        ran = st.exec("select 1");
        done = true;
    });
    while (submitRequests(project) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(SQL_ERROR, SQLCancel(st.h));
    EXPECT_FALSE(done.load()) << "SQLCancel waited for the running call";
    runner.join();
    EXPECT_EQ(SQL_SUCCESS, ran) << st.diagText();
    EXPECT_EQ(SQL_ERROR, SQLCancel(st.h));
    EXPECT_EQ("HYC00", diag(SQL_HANDLE_STMT, st.h).state);
}
