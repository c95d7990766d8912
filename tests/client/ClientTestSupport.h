// Helpers shared by the query-client tests: a log spy on the root logger,
// scoped environment variables and a filled connection-property record.
#ifndef VORN_TESTS_CLIENT_SUPPORT_H
#define VORN_TESTS_CLIENT_SUPPORT_H

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include <log4cplus/appender.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/spi/loggingevent.h>

#include "ConnProperty.h"

namespace clienttest {

struct LogLine {
    int level; // log4cplus level
    std::string text;
};

class SpyAppender : public log4cplus::Appender {
  public:
    std::vector<LogLine> lines;
    ~SpyAppender() override { destructorImpl(); }
    void close() override {}

  protected:
    void append(const log4cplus::spi::InternalLoggingEvent& e) override {
        lines.push_back(LogLine{e.getLogLevel(), e.getMessage()});
    }
};

// Captures every entry of the root logger while it lives.
class LogSpy {
  public:
    LogSpy() : spy_(new SpyAppender), ptr_(spy_) {
        log4cplus::Logger root = log4cplus::Logger::getRoot();
        old_ = root.getLogLevel();
        root.addAppender(ptr_);
        root.setLogLevel(log4cplus::TRACE_LOG_LEVEL);
    }
    ~LogSpy() {
        log4cplus::Logger root = log4cplus::Logger::getRoot();
        root.removeAppender(ptr_);
        root.setLogLevel(old_);
    }
    // Entries whose text contains `part`, at `level` (log4cplus) or any level (-1).
    size_t count(const std::string& part, int level = -1) const {
        size_t n = 0;
        for (const LogLine& l : spy_->lines) {
            if (l.text.find(part) != std::string::npos && (level < 0 || l.level == level)) {
                ++n;
            }
        }
        return n;
    }
    std::string all() const {
        std::string s;
        for (const LogLine& l : spy_->lines) {
            s += l.text + "\n";
        }
        return s;
    }
    void clear() { spy_->lines.clear(); }

  private:
    SpyAppender* spy_;
    log4cplus::SharedAppenderPtr ptr_;
    log4cplus::LogLevel old_;
};

const int kLevelDebug = 10000; // log4cplus DEBUG_LOG_LEVEL
const int kLevelInfo = 20000;
const int kLevelError = 40000;

// Sets (or, with NULL, unsets) an environment variable for one scope.
class EnvGuard {
  public:
    EnvGuard(const char* name, const char* value) : name_(name) {
        const char* old = getenv(name);
        had_ = old != NULL;
        if (had_) {
            old_ = old;
        }
        if (value != NULL) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
        if (name_ == "TZ") {
            tzset();
        }
    }
    ~EnvGuard() {
        if (had_) {
            setenv(name_.c_str(), old_.c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
        if (name_ == "TZ") {
            tzset();
        }
    }

  private:
    std::string name_;
    std::string old_;
    bool had_;
};

inline void setText(char* field, const std::string& value) {
    strncpy(field, value.c_str(), CONN_PROPERTY_TEXT_SIZE - 1);
    field[CONN_PROPERTY_TEXT_SIZE - 1] = '\0';
}

// A record as the ODBC layer fills it with the defaults of the key table.
inline ConnProperty makeProperty(int authMode = 1, const std::string& project = "proj") {
    ConnProperty p;
    memset(&p, 0, sizeof(p));
    p.authMode = authMode;
    p.charsetFlag = 0;
    p.jobTimeout = 300;
    setText(p.DRIVER, "vornodbc");
    setText(p.DSN, "vkl");
    setText(p.PROJECTID, project);
    setText(p.QUEUENAME, "default");
    setText(p.REGION, "region-1");
    setText(p.SVCNAME, "VKL");
    setText(p.USEPROXY, "0");
    return p;
}

} // namespace clienttest

#endif
