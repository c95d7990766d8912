// Several applications threads, each with its own connection, use the
// driver at the same time.
#include "OdbcHarness.h"

#include <atomic>
#include <thread>

using namespace e2e;

TEST(Threads, ConnectionsOnSeveralThreads) {
    const std::string project = testProject();
    const int kThreads = 6;
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
                for (int q = 0; q < kQueries; ++q) {
                    Statement st(conn);
                    int id = 1 + (t * kQueries + q) % 250;
                    std::string sql = "select label, squared from numbers where id = " + std::to_string(id);
                    if (st.exec(sql) != SQL_SUCCESS || SQLFetch(st.h) != SQL_SUCCESS) {
                        errors[t] = sql + ": " + st.diagText();
                        return;
                    }
                    if (getText(st.h, 1) != "row " + std::to_string(id) ||
                        getText(st.h, 2) != std::to_string(id * id)) {
                        errors[t] = sql + ": wrong row";
                        return;
                    }
                    ++good;
                }
            } catch (const std::exception& e) {
                errors[t] = e.what();
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ("", errors[t]) << "thread " << t;
    EXPECT_EQ(kThreads * kQueries, good.load());
}
