// Records every event that reaches the log4cplus root logger while it lives,
// so tests can check exactly what the logging front end hands over.
#ifndef VORN_TEST_LOG_CAPTURE_H
#define VORN_TEST_LOG_CAPTURE_H

#include <string>
#include <vector>

#include <log4cplus/appender.h>
#include <log4cplus/logger.h>
#include <log4cplus/spi/loggingevent.h>

struct CapturedEntry {
    int level;
    std::string message;
    std::string file;
    int line;
    std::string function;
};

class CaptureAppender : public log4cplus::Appender {
  public:
    std::vector<CapturedEntry> entries;

    ~CaptureAppender() override { destructorImpl(); }
    void close() override { closed = true; }

  protected:
    void append(const log4cplus::spi::InternalLoggingEvent& event) override {
        entries.push_back(CapturedEntry{event.getLogLevel(), event.getMessage(), event.getFile(),
                                        event.getLine(), event.getFunction()});
    }
};

class LogCapture {
  public:
    explicit LogCapture(log4cplus::LogLevel rootLevel = log4cplus::TRACE_LOG_LEVEL)
        : appender_(new CaptureAppender), shared_(appender_) {
        log4cplus::Logger root = log4cplus::Logger::getRoot();
        previousLevel_ = root.getLogLevel();
        root.addAppender(shared_);
        root.setLogLevel(rootLevel);
    }
    ~LogCapture() {
        log4cplus::Logger root = log4cplus::Logger::getRoot();
        root.removeAppender(shared_);
        root.setLogLevel(previousLevel_);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<CapturedEntry>& entries() const { return appender_->entries; }
    void clear() { appender_->entries.clear(); }

    // Entries whose message contains `text`.
    size_t count(const std::string& text) const {
        size_t n = 0;
        for (const CapturedEntry& e : appender_->entries) {
            if (e.message.find(text) != std::string::npos) {
                n++;
            }
        }
        return n;
    }

  private:
    CaptureAppender* appender_;
    log4cplus::SharedAppenderPtr shared_;
    log4cplus::LogLevel previousLevel_;
};

#endif
