// The driver as the unixODBC driver manager sees it: loaded from a
// connection string that names the library, handles allocated and freed
// through it, and a connect that cannot succeed failing cleanly.
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace {

bool logHas(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(DriverManager, LoadsAllocatesAndFreesThroughTheDriver) {
    TempDir dir;
    ScopedChdir cwd(dir.path());
    std::string lib = dir.file("libvornodbc.so");
    {
        std::ifstream in(VORN_DRIVER_LIBRARY, std::ios::binary);
        std::ofstream out(lib, std::ios::binary);
        out << in.rdbuf();
        ASSERT_TRUE(out.good());
    }
    writeFile(dir.file("log.properties"),
              "log4cplus.rootLogger=TRACE, F\n"
              "log4cplus.appender.F=log4cplus::FileAppender\n"
              "log4cplus.appender.F.File=" +
                  dir.file("driver.log") +
                  "\n"
                  "log4cplus.appender.F.layout=log4cplus::PatternLayout\n"
                  "log4cplus.appender.F.layout.ConversionPattern=%m%n\n");

    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);

    // No data source and no service: whatever the driver can do by now, the
    // connect must fail without taking the process down.
    std::string connStr = "DRIVER=" + lib + ";";
    SQLCHAR outStr[1024];
    SQLSMALLINT outLen = 0;
    testing::internal::CaptureStderr();
    SQLRETURN rc = SQLDriverConnect(dbc, NULL, (SQLCHAR*)connStr.c_str(), SQL_NTS, outStr,
                                    sizeof(outStr), &outLen, SQL_DRIVER_NOPROMPT);
    std::string console = testing::internal::GetCapturedStderr();
    EXPECT_NE(rc, SQL_SUCCESS);
    EXPECT_NE(rc, SQL_SUCCESS_WITH_INFO);

    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);

    // The manager loaded this copy of the library ...
    EXPECT_NE(console.find("VKL ODBC Driver path = " + dir.path() + "\n"), std::string::npos)
        << console;
    // ... and went through the driver's own handles.
    std::vector<std::string> log = readLines(dir.file("driver.log"));
    EXPECT_TRUE(logHas(log, "DllMain][VKL odbc loaded by application or driver manager."));
    EXPECT_TRUE(logHas(log, "_AllocEnv][Alloc env success."));
    EXPECT_TRUE(logHas(log, "_AllocConnect][hEnv = $"));
    EXPECT_TRUE(logHas(log, "_FreeConnect][hDbc = $"));
    EXPECT_TRUE(logHas(log, "_FreeEnv][hEnv = $"));
    EXPECT_FALSE(logHas(log, "SQL_ERROR Connection is active"));
    EXPECT_FALSE(logHas(log, "SQL_ERROR There are allocated Connections"));
}
