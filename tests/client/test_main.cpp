// Test entry point: log4cplus is initialised once for the whole run.
#include <gtest/gtest.h>
#include <log4cplus/initializer.h>

int main(int argc, char** argv)
{
    log4cplus::Initializer logging;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
