// Connect, execute, describe and fetch through the driver's entry points
// against the emulator (no driver manager in between).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "ColumnHeader.h"
#include "EmuClient.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "handles.h"

namespace {

class EmuStatementTest : public ::testing::Test {
  protected:
    // The message-log file of each test process stays in its own directory.
    TempDir dir;
    ScopedChdir cwd{dir.path()};
    SQLHANDLE env = NULL, dbc = NULL, hstmt = NULL;
    std::string project;

    void SetUp() override {
        EmuClient& emu = EmuClient::get();
        setenv("VORN_IDENTITY_HOST", emu.hostPort().c_str(), 1);
        project = emu.uniqueProject("odbcstmt");
        ASSERT_EQ(_AllocEnv(&env), SQL_SUCCESS);
        ASSERT_EQ(_AllocConnect(env, &dbc), SQL_SUCCESS);
    }
    void TearDown() override {
        if (hstmt != NULL) {
            EXPECT_EQ(_ReleaseStmt((StmtHandle*)hstmt), SQL_SUCCESS);
        }
        if (((DbcHandle*)dbc)->connected) {
            EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
        }
        EXPECT_EQ(_FreeConnect(dbc), SQL_SUCCESS);
        EXPECT_EQ(_FreeEnv(env), SQL_SUCCESS);
    }
    std::string akskString(const std::string& extra = "") {
        return "DRIVER=vorn;DSN=emu;SSLCA=" + EmuClient::get().caFile() +
               ";HOST=" + EmuClient::get().hostPort() + ";REGION=r1;PROJECTID=" + project +
               ";AUTHMODE=1;AK=" + emu::kAk + ";SK=" + emu::kSk + ";DATABASE=db1;CHARSET=UTF-8" +
               extra;
    }
    void connectAndAlloc(const std::string& extra = "") {
        std::string s = akskString(extra);
        ASSERT_EQ(SQLDriverConnect(dbc, NULL, (SQLCHAR*)s.c_str(), SQL_NTS, NULL, 0, NULL,
                                   SQL_DRIVER_NOPROMPT),
                  SQL_SUCCESS);
        ASSERT_EQ(_AllocStmt(dbc, &hstmt), SQL_SUCCESS);
    }
    StmtHandle* stmt() { return (StmtHandle*)hstmt; }
};

} // namespace

TEST_F(EmuStatementTest, PagesThroughTwoHundredFiftyRows) {
    connectAndAlloc();
    ASSERT_EQ(SQLExecDirect(hstmt, (SQLCHAR*)"select id, label, squared from numbers order by id",
                            SQL_NTS),
              SQL_SUCCESS);
    SQLSMALLINT cols = 0;
    ASSERT_EQ(SQLNumResultCols(hstmt, &cols), SQL_SUCCESS);
    ASSERT_EQ(cols, 3);
    SQLINTEGER id = 0;
    SQLBIGINT squared = 0;
    char label[16];
    SQLLEN idInd = 0, labelInd = 0, sqInd = 0;
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, &id, 0, &idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(hstmt, 2, SQL_C_CHAR, label, sizeof(label), &labelInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(hstmt, 3, SQL_C_SBIGINT, &squared, 0, &sqInd), SQL_SUCCESS);
    for (int i = 1; i <= 250; i++) {
        ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS) << "row " << i;
        ASSERT_EQ(id, i);
        ASSERT_EQ(squared, (SQLBIGINT)i * i);
        ASSERT_EQ(std::string(label), "row " + std::to_string(i));
        ASSERT_EQ(labelInd, (SQLLEN)strlen(label));
    }
    EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
    EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
}

TEST_F(EmuStatementTest, ExecuteRunsANewJobAndDropsTheOldResult) {
    connectAndAlloc();
    ASSERT_EQ(
        SQLPrepare(hstmt, (SQLCHAR*)"select id from numbers where id <= 2 order by id", SQL_NTS),
        SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS);
    SQLINTEGER id = 0;
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, &id, 0, NULL), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(id, 1);
    ASSERT_EQ(SQLExecute(hstmt), SQL_SUCCESS);
    // The binding went with the first result: the fetch fills nothing.
    id = -1;
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(id, -1);
    size_t submits = EmuClient::get().requests(project, "/submit-job").size();
    EXPECT_EQ(submits, 2u);
}

TEST_F(EmuStatementTest, ServiceErrorLandsInTheStatementDiagnostic) {
    connectAndAlloc();
    EXPECT_EQ(SQLExecDirect(hstmt, (SQLCHAR*)"select * from nosuch", SQL_NTS), SQL_ERROR);
    EXPECT_NE(std::string(stmt()->diag.message).find("no such table"), std::string::npos)
        << stmt()->diag.message;
    EXPECT_EQ(stmt()->extras->resultSet, nullptr);
    SQLSMALLINT cols = 9;
    ASSERT_EQ(SQLNumResultCols(hstmt, &cols), SQL_SUCCESS);
    EXPECT_EQ(cols, 0);
}

TEST_F(EmuStatementTest, TokenModeWithWrongPasswordFailsTheConnect) {
    std::string s = "DRIVER=vorn;DSN=emu;SSLCA=" + EmuClient::get().caFile() +
                    ";HOST=" + EmuClient::get().hostPort() + ";REGION=r1;PROJECTID=" + project +
                    ";AUTHMODE=0;ACCOUNT=" + emu::kAccount + ";USER=" + emu::kUser +
                    ";PASSWORD=wrong";
    SQLCHAR out[64];
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLDriverConnect(dbc, NULL, (SQLCHAR*)s.c_str(), SQL_NTS, out, sizeof(out), &len,
                               SQL_DRIVER_NOPROMPT),
              SQL_ERROR);
    EXPECT_STREQ((char*)out, "DRIVER=vorn");
    EXPECT_EQ(((DbcHandle*)dbc)->connected, 0);
    EXPECT_STREQ(((DbcHandle*)dbc)->diag.sqlState, "HY000");

    s = "DRIVER=vorn;DSN=emu;SSLCA=" + EmuClient::get().caFile() +
        ";HOST=" + EmuClient::get().hostPort() + ";REGION=r1;PROJECTID=" + project +
        ";AUTHMODE=0;ACCOUNT=" + emu::kAccount + ";USER=" + emu::kUser +
        ";PASSWORD=" + emu::kPassword + ";DATABASE=db1";
    ASSERT_EQ(SQLDriverConnect(dbc, NULL, (SQLCHAR*)s.c_str(), SQL_NTS, NULL, 0, NULL,
                               SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS);
    ASSERT_EQ(_AllocStmt(dbc, &hstmt), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(hstmt, (SQLCHAR*)"select count(*) from numbers", SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    char n[8];
    SQLLEN ind;
    ASSERT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, n, sizeof(n), &ind), SQL_SUCCESS);
    EXPECT_STREQ(n, "250");
}
