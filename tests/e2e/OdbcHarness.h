// Helpers for the end-to-end tests: they drive the driver only through the
// unixODBC driver manager (libodbc), exactly as an application would, and
// talk to the emulator's control API for request records and faults.
#ifndef VORN_E2E_ODBC_HARNESS_H
#define VORN_E2E_ODBC_HARNESS_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "EmuClient.h"

namespace e2e {

// Seeded credentials of the emulator.
extern const char* const kAk;
extern const char* const kSk;
extern const char* const kAccount;
extern const char* const kUser;
extern const char* const kPassword;
extern const char* const kRegion;

// Data sources written into the private odbc.ini at start-up. Each has a
// project id of its own (the DSN name with "e2e-dsn-" in front), so the
// tests that use them can run in parallel with everything else.
extern const char* const kDsnAksk;     // signing mode, database db1, UTF-8
extern const char* const kDsnToken;    // token mode, database db1, UTF-8
extern const char* const kDsnBadPass;  // token mode with a wrong password
extern const char* const kDsnNoRegion; // lacks the required REGION key

std::string dsnProject(const char* dsn);

// Absolute path of libvornodbc.so, from VORN_DRIVER_PATH.
const std::string& driverPath();
// "127.0.0.1:<port>" of the running emulator.
const std::string& hostPort();
// PEM file of the CA that issued the emulator's certificate (SSLCA).
const std::string& caFile();
EmuClient& emulator();

// A project id unique to the running test ("e2e-<suite>-<test>", lower case).
std::string testProject();

// Connection strings that name the library directly (no data source); they
// trust the emulator's CA (SSLCA) unless extra gives an SSLCA of its own.
std::string akskConnStr(const std::string& project, const std::string& extra = "");
std::string tokenConnStr(const std::string& project, const std::string& extra = "");

struct Diag {
    SQLRETURN ret = SQL_ERROR;
    std::string state;
    SQLINTEGER native = -12345;
    std::string text;
    SQLSMALLINT textLen = -1;
};

// SQLGetDiagRec for record `rec` with a message buffer of `bufLen` bytes.
Diag diag(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec = 1, SQLSMALLINT bufLen = 1024);
// All diagnostic texts of a handle as one line, for failure messages.
std::string diagText(SQLSMALLINT type, SQLHANDLE h);

// One environment and one connection handle, freed in the right order.
class Connection {
  public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    SQLRETURN driverConnect(const std::string& connStr, std::string* outConnStr = nullptr,
                            SQLSMALLINT outBufLen = 1024, SQLSMALLINT* outLen = nullptr);
    SQLRETURN connect(const std::string& dsn, const std::string& user = "",
                      const std::string& password = "");
    SQLRETURN disconnect();

    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
};

// A statement on a connection, freed on destruction.
class Statement {
  public:
    explicit Statement(Connection& conn);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    SQLRETURN exec(const std::string& sql);
    // Fetches every remaining row, reading each column as text
    // (NULL becomes "<null>").
    std::vector<std::vector<std::string>> fetchAllText(SQLSMALLINT maxCols = 64);
    SQLSMALLINT numCols();
    std::string diagText();
    void release();

    SQLHSTMT h = SQL_NULL_HSTMT;
};

// Column value read with SQLGetData as SQL_C_CHAR ("<null>" for NULL).
std::string getText(SQLHSTMT h, SQLUSMALLINT col, SQLLEN bufLen = 4096);

// Column name of a result, from SQLDescribeCol.
std::string columnName(SQLHSTMT h, SQLUSMALLINT col);

// Index of the named column (1-based) or 0.
SQLUSMALLINT columnIndex(SQLHSTMT h, const std::string& name);

// Requests that the emulator recorded for a project whose path contains
// pathPart, counted.
size_t countRequests(const std::string& project, const std::string& method,
                     const std::string& pathPart);
// Injects a fault for the project's next matching call(s). extraJson holds
// further members, e.g. "\"message\":\"boom\",\"count\":2".
void fault(const std::string& project, const std::string& match, const std::string& kind,
           const std::string& extraJson = "");
// Sets how many RUNNING answers a job gives before it finishes.
void runningPolls(const std::string& project, int polls);

// The service calls of a project, counted by kind.
size_t submitRequests(const std::string& project);
size_t statusRequests(const std::string& project);
size_t pageRequests(const std::string& project);
size_t tokenRequests(const std::string& project);
// The "sql" member of every submitted job of a project, in order.
std::vector<std::string> submittedSql(const std::string& project);

} // namespace e2e

// Connects with the given string and stops the test unless it succeeded.
#define E2E_CONNECT(conn, cs)                                                                      \
    do {                                                                                           \
        SQLRETURN _rc = (conn).driverConnect(cs);                                                  \
        ASSERT_TRUE(SQL_SUCCEEDED(_rc))                                                            \
            << "connect failed rc=" << _rc << ": " << e2e::diagText(SQL_HANDLE_DBC, (conn).dbc);   \
    } while (0)

#define E2E_EXEC(stmt, sql)                                                                        \
    do {                                                                                           \
        SQLRETURN _rc = (stmt).exec(sql);                                                          \
        ASSERT_EQ(SQL_SUCCESS, _rc) << "exec failed: " << (sql) << ": " << (stmt).diagText();      \
    } while (0)

#endif
