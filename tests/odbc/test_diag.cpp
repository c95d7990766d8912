// Diagnostics: the copy of a handle's record, SQLGetDiagRec, and the entry
// points with fixed answers (row count, more results, descriptors,
// transactions).
#include <string.h>

#include <string>

#include "MiscTestSupport.h"
#include "SQLOdbcApi.h"

namespace {

void fillRecord(DiagRecord* r, int32_t code, const char* state, const char* message) {
    memset(r, 0, sizeof(*r));
    r->nativeCode = code;
    snprintf(r->sqlState, sizeof(r->sqlState), "%s", state);
    snprintf(r->message, sizeof(r->message), "%s", message);
}

const char* kTimeOut = "VKL Service Response Time Out."; // 30 characters

} // namespace

TEST(CopyDiagRecord, MessageCutToEverySmallBuffer) {
    DiagRecord rec;
    fillRecord(&rec, 3, "HY000", kTimeOut);
    const size_t full = strlen(kTimeOut);
    ASSERT_EQ(full, 30u);
    for (int size = 1; size <= 34; size++) {
        unsigned char buf[40];
        memset(buf, 0xFF, sizeof(buf));
        SQLSMALLINT len = -1;
        SQLRETURN rc = copyDiagRecord(&rec, nullptr, nullptr, buf + 2, (SQLSMALLINT)size, &len);
        size_t copied = full < (size_t)size - 1 ? full : (size_t)size - 1;
        EXPECT_EQ(rc, full >= (size_t)size ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS) << size;
        EXPECT_EQ(len, 30) << size;
        EXPECT_EQ(buf[0], 0xFF);
        EXPECT_EQ(buf[1], 0xFF);
        EXPECT_EQ(memcmp(buf + 2, kTimeOut, copied), 0) << size;
        EXPECT_EQ(buf[2 + copied], 0) << size;
        for (size_t i = 3 + copied; i < sizeof(buf); i++) {
            EXPECT_EQ(buf[i], 0xFF) << "size " << size << " byte " << i;
        }
    }
}

TEST(CopyDiagRecord, ZeroOrNegativeSizeWritesNoMessage) {
    DiagRecord rec;
    fillRecord(&rec, 4, "01000", "VKL Service response: boom");
    for (int size : {0, -1, -40}) {
        char buf[8];
        memset(buf, 'x', sizeof(buf));
        SQLSMALLINT len = 0;
        EXPECT_EQ(copyDiagRecord(&rec, nullptr, nullptr, (SQLCHAR*)buf, (SQLSMALLINT)size, &len),
                  SQL_SUCCESS_WITH_INFO);
        EXPECT_EQ(len, 26);
        for (char c : buf) {
            EXPECT_EQ(c, 'x') << size;
        }
    }
}

TEST(CopyDiagRecord, WithoutMessageBufferOnlyTheLength) {
    DiagRecord rec;
    fillRecord(&rec, 4, "01000", "abc");
    SQLSMALLINT len = 0;
    SQLINTEGER native = 0;
    EXPECT_EQ(copyDiagRecord(&rec, nullptr, &native, nullptr, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(native, 4);
    EXPECT_EQ(copyDiagRecord(&rec, nullptr, nullptr, nullptr, 0, nullptr), SQL_SUCCESS);
}

TEST(CopyDiagRecord, SqlStateIsAlwaysSixBytesNulPadded) {
    DiagRecord rec;
    fillRecord(&rec, 1, "01", "m");
    unsigned char state[10];
    memset(state, 0xFF, sizeof(state));
    copyDiagRecord(&rec, state, nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(memcmp(state, "01\0\0\0\0", 6), 0);
    EXPECT_EQ(state[6], 0xFF);

    fillRecord(&rec, 1, "HY000", "m");
    memset(state, 0xFF, sizeof(state));
    copyDiagRecord(&rec, state, nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(memcmp(state, "HY000\0", 6), 0);
    EXPECT_EQ(state[6], 0xFF);
}

TEST(CopyDiagRecord, UnterminatedRecordIsReadWithinItsFields) {
    DiagRecord rec;
    memset(&rec, 'A', sizeof(rec));
    rec.nativeCode = -5;
    char msg[DIAG_MESSAGE_SIZE + 8];
    unsigned char state[6];
    SQLSMALLINT len = 0;
    SQLINTEGER native = 0;
    EXPECT_EQ(copyDiagRecord(&rec, state, &native, (SQLCHAR*)msg, sizeof(msg), &len), SQL_SUCCESS);
    EXPECT_EQ(len, DIAG_MESSAGE_SIZE - 1);
    EXPECT_EQ(strlen(msg), (size_t)DIAG_MESSAGE_SIZE - 1);
    EXPECT_EQ(memcmp(state, "AAAAA\0", 6), 0);
    EXPECT_EQ(native, -5);
}

TEST(CopyDiagRecord, ReadingLeavesTheRecordAlone) {
    DiagRecord rec;
    fillRecord(&rec, 3, "HY000", kTimeOut);
    DiagRecord before = rec;
    char buf[4];
    copyDiagRecord(&rec, nullptr, nullptr, (SQLCHAR*)buf, sizeof(buf), nullptr);
    EXPECT_EQ(memcmp(&before, &rec, sizeof(rec)), 0);
}

using GetDiagRecTest = MiscOdbcTest;

TEST_F(GetDiagRecTest, ArgumentChecks) {
    char msg[64];
    EXPECT_EQ(
        SQLGetDiagRec(SQL_HANDLE_STMT, nullptr, 1, nullptr, nullptr, (SQLCHAR*)msg, 64, nullptr),
        SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 0, nullptr, nullptr, (SQLCHAR*)msg, 64, nullptr),
              SQL_ERROR);
    EXPECT_EQ(
        SQLGetDiagRec(SQL_HANDLE_STMT, stmt, -1, nullptr, nullptr, (SQLCHAR*)msg, 64, nullptr),
        SQL_ERROR);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, nullptr, nullptr, (SQLCHAR*)msg, -1, nullptr),
              SQL_ERROR);
    EXPECT_EQ(logEntries().size(), 0u) << "refused before the trace";

    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_ENV, env, 1, nullptr, nullptr, (SQLCHAR*)msg, 64, nullptr),
              SQL_NO_DATA);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_ENV, env, 0, nullptr, nullptr, (SQLCHAR*)msg, 64, nullptr),
              SQL_ERROR);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 2, nullptr, nullptr, (SQLCHAR*)msg, 64, nullptr),
              SQL_NO_DATA);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 2, nullptr, nullptr, (SQLCHAR*)msg, 64, nullptr),
              SQL_NO_DATA);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DESC, stmt, 1, nullptr, nullptr, (SQLCHAR*)msg, 64, nullptr),
              SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLGetDiagRec(0, stmt, 1, nullptr, nullptr, (SQLCHAR*)msg, 64, nullptr),
              SQL_INVALID_HANDLE);
    EXPECT_EQ(logged(log4cplus::DEBUG_LOG_LEVEL,
                     "Handle Type = 3, Handle = " + hexValue(stmt) + ", RecordNumber = 2."),
              1u);
}

TEST_F(GetDiagRecTest, FreshHandlesHaveNoRecordAndWriteNothing) {
    for (int type : {SQL_HANDLE_DBC, SQL_HANDLE_STMT}) {
        SQLHANDLE h = type == SQL_HANDLE_DBC ? (SQLHANDLE)dbc : (SQLHANDLE)stmt;
        char state[6];
        memset(state, 'x', sizeof(state));
        char msg[16];
        memset(msg, 'x', sizeof(msg));
        SQLINTEGER native = 99;
        SQLSMALLINT len = 99;
        EXPECT_EQ(SQLGetDiagRec((SQLSMALLINT)type, h, 1, (SQLCHAR*)state, &native, (SQLCHAR*)msg,
                                sizeof(msg), &len),
                  SQL_NO_DATA);
        EXPECT_EQ(native, 99);
        EXPECT_EQ(memcmp(state, "xxxxxx", 6), 0);
        EXPECT_EQ(msg[0], 'x');
        EXPECT_EQ(len, 99);
    }
    // Once the client has filled it, record 1 is there.
    fillRecord(&dbc->diag, 0, "00000", "VKL ODBC Success.");
    char state[6];
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, (SQLCHAR*)state, nullptr, nullptr, 0, nullptr),
              SQL_SUCCESS);
    EXPECT_STREQ(state, "00000");
}

TEST_F(GetDiagRecTest, RecordOneIsTheHandlesOwnAndStaysAfterReading) {
    fillRecord(&stmt->diag, 3, "HY000", kTimeOut);
    fillRecord(&dbc->diag, 7, "HY000", "VKL ODBC System ERROR.");
    for (int round = 0; round < 2; round++) {
        char state[6];
        char msg[10];
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, (SQLCHAR*)state, &native, (SQLCHAR*)msg,
                                sizeof(msg), &len),
                  SQL_SUCCESS_WITH_INFO);
        EXPECT_STREQ(state, "HY000");
        EXPECT_EQ(native, 3);
        EXPECT_STREQ(msg, "VKL Servi");
        EXPECT_EQ(len, 30);
    }
    char msg[64];
    SQLINTEGER native = 0;
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, nullptr, &native, (SQLCHAR*)msg, sizeof(msg),
                            nullptr),
              SQL_SUCCESS);
    EXPECT_STREQ(msg, "VKL ODBC System ERROR.");
    EXPECT_EQ(native, 7);
}

using FixedAnswerTest = MiscOdbcTest;

TEST_F(FixedAnswerTest, RowCountIsAlwaysUnknown) {
    SQLLEN count = 0x5555555555555555L;
    EXPECT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(logged(log4cplus::WARN_LOG_LEVEL,
                     "Not currently supported: returning -1. hStmt = " + hexValue(stmt)),
              1u);

    EXPECT_EQ(SQLRowCount(stmt, nullptr), SQL_ERROR);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "SQL_ERROR pnRowCount can not be NULL"), 1u);
    EXPECT_STREQ(stmt->diag.sqlState, "HY009");
    EXPECT_EQ(SQLRowCount(nullptr, &count), SQL_INVALID_HANDLE);

    StmtHandle bare;
    memset(&bare, 0, sizeof(bare));
    EXPECT_EQ(SQLRowCount(&bare, &count), SQL_INVALID_HANDLE);
}

TEST_F(FixedAnswerTest, NeverAnotherResult) {
    EXPECT_EQ(SQLMoreResults(stmt), SQL_NO_DATA);
    EXPECT_EQ(
        logged(log4cplus::WARN_LOG_LEVEL, "Not currently supported, hStmt = " + hexValue(stmt)),
        1u);
    EXPECT_EQ(SQLMoreResults(nullptr), SQL_INVALID_HANDLE);
    StmtHandle bare;
    memset(&bare, 0, sizeof(bare));
    EXPECT_EQ(SQLMoreResults(&bare), SQL_INVALID_HANDLE);
}

TEST_F(FixedAnswerTest, DescriptorsTransactionsAndDiagFieldsFail) {
    char buf[16];
    SQLINTEGER ilen = 0;
    SQLSMALLINT slen = 0;
    SQLLEN llen = 0;
    // The statement is what SQLGetStmtAttr hands out as a descriptor.
    fillRecord(&stmt->diag, 4, "01000", "earlier");
    for (SQLHANDLE h : {(SQLHANDLE) nullptr, (SQLHANDLE)stmt}) {
        EXPECT_EQ(SQLCopyDesc(h, h), SQL_ERROR);
        EXPECT_EQ(SQLGetDescField(h, 1, SQL_DESC_COUNT, buf, sizeof(buf), &ilen), SQL_ERROR);
        EXPECT_EQ(SQLGetDescRec(h, 1, (SQLCHAR*)buf, sizeof(buf), &slen, &slen, &slen, &llen, &slen,
                                &slen, &slen),
                  SQL_ERROR);
        EXPECT_EQ(SQLSetDescField(h, 1, SQL_DESC_COUNT, buf, 0), SQL_ERROR);
        EXPECT_EQ(SQLSetDescRec(h, 1, SQL_CHAR, 0, 10, 0, 0, buf, &llen, &llen), SQL_ERROR);
        EXPECT_EQ(
            SQLGetDiagField(SQL_HANDLE_STMT, h, 1, SQL_DIAG_MESSAGE_TEXT, buf, sizeof(buf), &slen),
            SQL_ERROR);
    }
    // None of them has a record to write; the reader leaves the one there.
    EXPECT_STREQ(stmt->diag.message, "earlier");
    EXPECT_TRUE(msgLogLines().empty());
    EXPECT_TRUE(logEntries().empty());

    // Ending a transaction is refused in the record of the handle it names.
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, nullptr, SQL_COMMIT), SQL_ERROR);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_ERROR);
    EXPECT_STREQ(dbc->diag.sqlState, "HYC00");
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, env, SQL_ROLLBACK), SQL_ERROR);
    EXPECT_STREQ(env->diag.sqlState, "HYC00");
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_STMT, stmt, SQL_COMMIT), SQL_ERROR);
    EXPECT_STREQ(stmt->diag.message, "earlier");
}
