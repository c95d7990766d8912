// Shared fixture of the catalog, attribute, information and diagnostic
// tests: handles made with the driver's own workers inside a scratch
// directory (so the message-log file is the test's own), and a capture of
// everything that reaches the log4cplus root logger.
#ifndef VORN_TEST_MISC_SUPPORT_H
#define VORN_TEST_MISC_SUPPORT_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <log4cplus/appender.h>
#include <log4cplus/logger.h>
#include <log4cplus/spi/loggingevent.h>

#include "handles.h"

struct MiscLogEntry {
    int level;
    std::string message;
};

class MiscCaptureAppender : public log4cplus::Appender {
  public:
    std::vector<MiscLogEntry> entries;
    ~MiscCaptureAppender() override { destructorImpl(); }
    void close() override { closed = true; }

  protected:
    void append(const log4cplus::spi::InternalLoggingEvent& event) override {
        entries.push_back(MiscLogEntry{event.getLogLevel(), event.getMessage()});
    }
};

// "$%08lX" as the driver prints handle values.
inline std::string hexValue(const void* p) {
    char buf[32];
    snprintf(buf, sizeof(buf), "$%08lX", (unsigned long)(uintptr_t)p);
    return buf;
}

class MiscOdbcTest : public ::testing::Test {
  protected:
    EnvHandle* env = nullptr;
    DbcHandle* dbc = nullptr;
    StmtHandle* stmt = nullptr;

    void SetUp() override {
        char tmpl[] = "/tmp/vorn-odbc-misc-XXXXXX";
        char* made = mkdtemp(tmpl);
        ASSERT_NE(made, nullptr);
        dir_ = made;
        char buf[4096];
        oldDir_ = getcwd(buf, sizeof(buf)) != nullptr ? buf : "/";
        ASSERT_EQ(chdir(dir_.c_str()), 0);

        appender_ = new MiscCaptureAppender;
        shared_ = log4cplus::SharedAppenderPtr(appender_);
        log4cplus::Logger root = log4cplus::Logger::getRoot();
        previousLevel_ = root.getLogLevel();
        root.addAppender(shared_);
        root.setLogLevel(log4cplus::TRACE_LOG_LEVEL);

        SQLHANDLE h = nullptr;
        ASSERT_EQ(_AllocEnv(&h), SQL_SUCCESS);
        env = (EnvHandle*)h;
        ASSERT_EQ(_AllocConnect(env, &h), SQL_SUCCESS);
        dbc = (DbcHandle*)h;
        ASSERT_EQ(_AllocStmt(dbc, &h), SQL_SUCCESS);
        stmt = (StmtHandle*)h;
        clearLog();
    }

    void TearDown() override {
        if (stmt != nullptr) {
            EXPECT_EQ(_ReleaseStmt(stmt), SQL_SUCCESS);
        }
        if (dbc != nullptr) {
            EXPECT_EQ(_FreeConnect(dbc), SQL_SUCCESS);
        }
        if (env != nullptr) {
            EXPECT_EQ(_FreeEnv(env), SQL_SUCCESS);
        }
        log4cplus::Logger root = log4cplus::Logger::getRoot();
        root.removeAppender(shared_);
        root.setLogLevel(previousLevel_);
        if (chdir(oldDir_.c_str()) != 0) {
            ADD_FAILURE() << "cannot return to " << oldDir_;
        }
        std::string cmd = "rm -rf '" + dir_ + "'";
        (void)system(cmd.c_str());
    }

    // Log entries (message text behind the "function][" head) since the
    // last clearLog().
    const std::vector<MiscLogEntry>& logEntries() const { return appender_->entries; }
    void clearLog() { appender_->entries.clear(); }

    // How many captured entries at `level` contain `text`.
    size_t logged(int level, const std::string& text) const {
        size_t n = 0;
        for (const MiscLogEntry& e : appender_->entries) {
            if (e.level == level && e.message.find(text) != std::string::npos) {
                n++;
            }
        }
        return n;
    }
    size_t loggedAnyLevel(const std::string& text) const {
        size_t n = 0;
        for (const MiscLogEntry& e : appender_->entries) {
            if (e.message.find(text) != std::string::npos) {
                n++;
            }
        }
        return n;
    }

    // Lines of the message-log file in the scratch directory.
    std::vector<std::string> msgLogLines() const {
        std::vector<std::string> lines;
        std::ifstream in(dir_ + "/vorn_odbc.log");
        std::string line;
        while (std::getline(in, line)) {
            lines.push_back(line);
        }
        return lines;
    }

    // The text part of each message-log line from `fromLine` on, checking on
    // the way that the line names the expected source file as module and
    // function.
    std::vector<std::string> msgLogTexts(const std::string& sourceFile, size_t fromLine = 0) const {
        std::vector<std::string> texts;
        std::vector<std::string> lines = msgLogLines();
        for (size_t i = fromLine; i < lines.size(); i++) {
            const std::string& line = lines[i];
            // [[template]][module][function][line]text
            const std::string head = "[[template]][";
            EXPECT_EQ(line.compare(0, head.size(), head), 0) << line;
            size_t modEnd = line.find("][", head.size());
            size_t funcEnd = modEnd == std::string::npos ? modEnd : line.find("][", modEnd + 2);
            size_t lineEnd = funcEnd == std::string::npos ? funcEnd : line.find(']', funcEnd + 2);
            if (lineEnd == std::string::npos) {
                ADD_FAILURE() << "malformed line: " << line;
                continue;
            }
            std::string module = line.substr(head.size(), modEnd - head.size());
            std::string function = line.substr(modEnd + 2, funcEnd - modEnd - 2);
            EXPECT_EQ(module, function) << line;
            EXPECT_GE(module.size(), sourceFile.size() + 1) << line;
            if (module.size() > sourceFile.size()) {
                EXPECT_EQ(module.substr(module.size() - sourceFile.size() - 1), "/" + sourceFile)
                    << line;
            }
            texts.push_back(line.substr(lineEnd + 1));
        }
        return texts;
    }

  private:
    std::string dir_;
    std::string oldDir_;
    MiscCaptureAppender* appender_ = nullptr;
    log4cplus::SharedAppenderPtr shared_;
    log4cplus::LogLevel previousLevel_ = log4cplus::NOT_SET_LOG_LEVEL;
};

#endif
