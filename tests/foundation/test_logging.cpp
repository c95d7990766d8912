// The logging front end and the attach handler, linked statically.
#include <dlfcn.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "LogCapture.h"
#include "NavixLogging.h"
#include "odbc.h"

using log4cplus::LogLevel;

TEST(NavixLogging, EntryIsFunctionNameThenMessage) {
    LogCapture capture;
    NavixLogging(NAVIX_INFO, "some/file.cpp", "NavixQueryResultSet::runSql", 42, "job %s in %d s",
                 "abc", 7);
    ASSERT_EQ(capture.entries().size(), 1u);
    const CapturedEntry& e = capture.entries()[0];
    EXPECT_EQ(e.message, "NavixQueryResultSet::runSql][job abc in 7 s");
    EXPECT_EQ(e.file, "some/file.cpp");
    EXPECT_EQ(e.line, 42);
    EXPECT_EQ(e.level, log4cplus::INFO_LOG_LEVEL);
    // The function field names the front end itself, never the caller.
    EXPECT_NE(e.function.find("NavixLogging"), std::string::npos);
    EXPECT_EQ(e.function.find("runSql"), std::string::npos);
}

TEST(NavixLogging, EachLevelMapsToItsLog4cplusLevel) {
    LogCapture capture;
    const LogLevel expected[] = {log4cplus::TRACE_LOG_LEVEL, log4cplus::DEBUG_LOG_LEVEL,
                                 log4cplus::INFO_LOG_LEVEL,  log4cplus::WARN_LOG_LEVEL,
                                 log4cplus::ERROR_LOG_LEVEL, log4cplus::FATAL_LOG_LEVEL};
    for (int level = 0; level <= 5; level++) {
        NavixLogging(level, __FILE__, "f", __LINE__, "level %d", level);
    }
    ASSERT_EQ(capture.entries().size(), 6u);
    for (int level = 0; level <= 5; level++) {
        EXPECT_EQ(capture.entries()[level].level, expected[level]) << "level " << level;
        EXPECT_EQ(capture.entries()[level].message, "f][level " + std::to_string(level));
    }
}

TEST(NavixLogging, LevelsOutsideTheTableLogNothing) {
    LogCapture capture(log4cplus::ALL_LOG_LEVEL);
    NavixLogging(-1, __FILE__, "f", __LINE__, "minus one");
    NavixLogging(6, __FILE__, "f", __LINE__, "six");
    NavixLogging(10000, __FILE__, "f", __LINE__, "log4cplus value");
    EXPECT_TRUE(capture.entries().empty());
    NavixLogging(NAVIX_TRACE, __FILE__, "f", __LINE__, "zero");
    EXPECT_EQ(capture.entries().size(), 1u);
}

TEST(NavixLogging, LevelBelowTheRootThresholdIsDropped) {
    LogCapture capture(log4cplus::WARN_LOG_LEVEL);
    NavixLogging(NAVIX_INFO, __FILE__, "f", __LINE__, "progress");
    NavixLogging(NAVIX_DEBUG, __FILE__, "f", __LINE__, "detail");
    NavixLogging(NAVIX_WARN, __FILE__, "f", __LINE__, "unsupported");
    ASSERT_EQ(capture.entries().size(), 1u);
    EXPECT_EQ(capture.entries()[0].message, "f][unsupported");
}

TEST(NavixLogging, LongMessageIsCutToFitTheBuffer) {
    LogCapture capture;
    std::string longText(5000, 'x');
    NAVIX_LOG(NAVIX_ERROR, "DllMain", "%s", longText.c_str());
    ASSERT_EQ(capture.entries().size(), 1u);
    const std::string& msg = capture.entries()[0].message;
    EXPECT_EQ(msg.size(), 2047u);
    EXPECT_EQ(msg.substr(0, 9), "DllMain][");
    EXPECT_EQ(msg.substr(9), std::string(2038, 'x'));

    // One character short of the limit passes whole.
    capture.clear();
    std::string fits(2038, 'y');
    NAVIX_LOG(NAVIX_ERROR, "DllMain", "%s", fits.c_str());
    ASSERT_EQ(capture.entries().size(), 1u);
    EXPECT_EQ(capture.entries()[0].message, "DllMain][" + fits);
}

TEST(NavixLogging, SeparatorInsideTheMessageIsKept) {
    LogCapture capture;
    NAVIX_LOG(NAVIX_INFO, "A::b", "x][y][%s", "z][");
    ASSERT_EQ(capture.entries().size(), 1u);
    const std::string& msg = capture.entries()[0].message;
    EXPECT_EQ(msg, "A::b][x][y][z][");
    EXPECT_EQ(msg.substr(0, msg.find("][")), "A::b");
    // A percent sign reaching the format as an argument is not re-expanded.
    capture.clear();
    NAVIX_LOG(NAVIX_INFO, "A::b", "%s", "100%s done");
    EXPECT_EQ(capture.entries()[0].message, "A::b][100%s done");
}

TEST(NavixLogging, OversizedFunctionNameStaysInsideTheBuffer) {
    LogCapture capture;
    for (size_t len : {2045u, 2046u, 2047u, 3000u}) {
        capture.clear();
        std::string name(len, 'n');
        NavixLogging(NAVIX_INFO, __FILE__, name.c_str(), __LINE__, "message %d", 1);
        ASSERT_EQ(capture.entries().size(), 1u) << len;
        const std::string& msg = capture.entries()[0].message;
        EXPECT_EQ(msg.size(), 2047u) << len;
        std::string expected = (name + "][message 1").substr(0, 2047);
        EXPECT_EQ(msg, expected) << len;
    }
}

TEST(NavixLogging, NullArgumentsDoNotCrash) {
    LogCapture capture;
    NavixLogging(NAVIX_INFO, NULL, NULL, 0, NULL);
    ASSERT_EQ(capture.entries().size(), 1u);
    EXPECT_EQ(capture.entries()[0].message, "][");
    EXPECT_EQ(capture.entries()[0].file, "");
}

// The attach handler keeps process-wide state, so its whole story is one test.
TEST(DllMain, AttachDetachAndModuleHandle) {
    ASSERT_EQ(ghModule, (HINSTANCE)NULL);

    // A handle that names no module gives no path: attach fails.
    int marker = 0;
    HINSTANCE bogus = &marker;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DllMain(bogus, DLL_PROCESS_ATTACH, NULL), FALSE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "VKL ODBC Driver path error");
    EXPECT_EQ(ghModule, (HINSTANCE)NULL) << "a failed attach must not store the handle";

    Dl_info info;
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&DllMain), &info), 0);
    HINSTANCE self = info.dli_fbase;
    char exePath[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(self, exePath, sizeof(exePath)), 0u);
    std::string dir(exePath, strrchr(exePath, '/'));

    {
        LogCapture capture;
        testing::internal::CaptureStderr();
        EXPECT_EQ(DllMain(self, DLL_PROCESS_ATTACH, NULL), TRUE);
        // log4cplus says on the same stream that no log.properties is there.
        std::string console = testing::internal::GetCapturedStderr();
        EXPECT_EQ(console.substr(0, console.find("log4cplus:")),
                  "VKL ODBC Driver path = " + dir +
                      "\nVKL odbc loaded by application or driver manager.\n");
        // No log.properties beside the test program: the first entry still
        // reaches the root logger.
        ASSERT_EQ(capture.count("DllMain][VKL odbc loaded by application or driver manager."), 1u);
        EXPECT_EQ(capture.entries().back().level, log4cplus::INFO_LOG_LEVEL);
    }
    EXPECT_EQ(ghModule, self);

    int other = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DllMain(&other, DLL_THREAD_ATTACH, NULL), TRUE);
    EXPECT_EQ(DllMain(&other, DLL_THREAD_DETACH, NULL), TRUE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ghModule, self) << "later calls never replace the handle";

    testing::internal::CaptureStderr();
    EXPECT_EQ(DllMain(&other, DLL_PROCESS_DETACH, NULL), TRUE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "VKL odbc is being unloaded.\n");
    EXPECT_EQ(ghModule, self);
}

TEST(GetModuleFileNameA, NamesTheModuleAndCutsToTheBuffer) {
    Dl_info info;
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&GetModuleFileNameA), &info), 0);
    char full[MAX_PATH];
    DWORD n = GetModuleFileNameA(info.dli_fbase, full, sizeof(full));
    ASSERT_GT(n, 0u);
    EXPECT_EQ(n, strlen(full));
    EXPECT_EQ(full[0], '/') << "full path expected, got " << full;
    EXPECT_NE(strstr(full, "foundation_logging_test"), nullptr) << full;

    char exe[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameA(NULL, exe, sizeof(exe)), n);
    EXPECT_STREQ(exe, full);

    char small[8];
    memset(small, 'Z', sizeof(small));
    EXPECT_EQ(GetModuleFileNameA(info.dli_fbase, small, sizeof(small)), sizeof(small));
    EXPECT_EQ(small[7], '\0');
    EXPECT_EQ(std::string(small), std::string(full, 7));

    EXPECT_EQ(GetModuleFileNameA(info.dli_fbase, small, 0), 0u);
    int notAModule = 0;
    EXPECT_EQ(GetModuleFileNameA(&notAModule, full, sizeof(full)), 0u);
    EXPECT_STREQ(full, "");
}

// What the logs show of one "key=value" entry.
TEST(NavixMaskedEntry, SecretsNeverShow) {
    const struct {
        const char* entry;
        bool accessKey;
        const char* shown;
    } rows[] = {
        {"PASSWORD=hunter2", false, "PASSWORD=****"},
        {" pwd =x", false, " pwd =****"},
        {"Sk={a;b}", false, "Sk=****"},
        {"SK=", false, "SK=****"},
        {"AK=key", false, "AK=key"},
        {"AK=key", true, "AK=****"},
        {"ak =key", true, "ak =****"},
        {"SKIP=1", true, "SKIP=1"},
        {"DSN=a=b", true, "DSN=a=b"},
        {"cret", false, "****"},
        {"=x", false, "=x"},
        {"", false, ""},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.shown, navixMaskedEntry(r.entry, r.accessKey)) << r.entry;
    }
}
