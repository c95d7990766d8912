// Collects the entries that reach log4cplus's root logger while it lives,
// so that tests can check what the library writes to the log.
#ifndef VORN_TESTS_REST_LOG_CAPTURE_H
#define VORN_TESTS_REST_LOG_CAPTURE_H

#include <mutex>
#include <string>
#include <vector>

#include <log4cplus/appender.h>
#include <log4cplus/logger.h>
#include <log4cplus/loglevel.h>
#include <log4cplus/spi/loggingevent.h>

class CaptureAppender : public log4cplus::Appender {
  public:
    CaptureAppender() {}
    ~CaptureAppender() override { destructorImpl(); }
    void close() override {}

    std::vector<std::string> entries() {
        std::lock_guard<std::mutex> lock(mutex_);
        return entries_;
    }
    std::vector<log4cplus::LogLevel> levels() {
        std::lock_guard<std::mutex> lock(mutex_);
        return levels_;
    }

  protected:
    void append(const log4cplus::spi::InternalLoggingEvent& event) override {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.push_back(event.getMessage());
        levels_.push_back(event.getLogLevel());
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> entries_;
    std::vector<log4cplus::LogLevel> levels_;
};

class LogCapture {
  public:
    LogCapture() : root_(log4cplus::Logger::getRoot()), appender_(new CaptureAppender) {
        oldLevel_ = root_.getLogLevel();
        root_.setLogLevel(log4cplus::TRACE_LOG_LEVEL);
        root_.addAppender(appender_);
    }
    ~LogCapture() {
        root_.removeAppender(appender_);
        root_.setLogLevel(oldLevel_);
    }

    std::vector<std::string> entries() {
        return static_cast<CaptureAppender*>(appender_.get())->entries();
    }
    std::string all() {
        std::string text;
        for (const std::string& e : entries())
            text += e + "\n";
        return text;
    }
    bool contains(const std::string& part) { return all().find(part) != std::string::npos; }
    // Level of the first entry holding part; -1 when there is none.
    int levelOf(const std::string& part) {
        CaptureAppender* capture = static_cast<CaptureAppender*>(appender_.get());
        std::vector<std::string> texts = capture->entries();
        std::vector<log4cplus::LogLevel> levels = capture->levels();
        for (size_t i = 0; i < texts.size() && i < levels.size(); ++i) {
            if (texts[i].find(part) != std::string::npos) return levels[i];
        }
        return -1;
    }
    size_t count(const std::string& part) {
        size_t n = 0;
        for (const std::string& e : entries()) {
            if (e.find(part) != std::string::npos) ++n;
        }
        return n;
    }

  private:
    log4cplus::Logger root_;
    log4cplus::SharedAppenderPtr appender_;
    log4cplus::LogLevel oldLevel_;
};

#endif
