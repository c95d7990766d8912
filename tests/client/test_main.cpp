// Test entry point: log4cplus is initialised once for the whole run, with a
// root appender that discards everything (tests add their own spies).
#include <gtest/gtest.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/nullappender.h>

int main(int argc, char** argv) {
    log4cplus::Initializer logging;
    log4cplus::Logger::getRoot().addAppender(
        log4cplus::SharedAppenderPtr(new log4cplus::NullAppender()));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
