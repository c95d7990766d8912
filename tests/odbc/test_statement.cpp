// Result description, binding, fetch and conversion on a statement whose
// result set is filled by hand (no server): the statement path sees the
// client's real result-set class, getters and C interface.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "ColumnHeader.h"
#include "LogCapture.h"
#include "NavixResultSet.h"
#include "RestMessage.h"
#include "TempDir.h"
#include "_Statement.h"
#include "handles.h"

namespace {

const char* const kBig = "9007199254740993";   // odd, above 2^53: a double would lose it
const std::string kNull(navixrest::kNullCell); // a JSON null

class StatementTest : public ::testing::Test {
  protected:
    // ctest runs these processes side by side in one directory: each keeps
    // its message-log file in a scratch directory of its own.
    TempDir dir;
    ScopedChdir cwd{dir.path()};
    SQLHANDLE env = NULL, dbc = NULL, hstmt = NULL;

    void SetUp() override {
        ASSERT_EQ(_AllocEnv(&env), SQL_SUCCESS);
        ASSERT_EQ(_AllocConnect(env, &dbc), SQL_SUCCESS);
        ASSERT_EQ(_AllocStmt(dbc, &hstmt), SQL_SUCCESS);
    }
    void TearDown() override {
        EXPECT_EQ(_ReleaseStmt(stmt()), SQL_SUCCESS);
        EXPECT_EQ(_FreeConnect(dbc), SQL_SUCCESS);
        EXPECT_EQ(_FreeEnv(env), SQL_SUCCESS);
    }
    StmtHandle* stmt() { return (StmtHandle*)hstmt; }
    hStmtExtras* extras() { return stmt()->extras; }

    // Installs a result with these columns (name, service type) and rows, as
    // an execution would, and builds the headers.
    void install(const std::vector<std::pair<std::string, std::string>>& cols,
                 const std::vector<std::vector<std::string>>& rows,
                 NavixQueryResultSet* rs = NULL) {
        if (rs == NULL) rs = new NavixQueryResultSet();
        for (const auto& c : cols)
            rs->m_columns.push_back(new ColumnDesc(c.first, c.second));
        rs->m_icolNum = (uint32_t)cols.size();
        for (const auto& r : rows)
            rs->m_ResultRows.push_back(r);
        rs->m_irowNum = (uint32_t)rows.size();
        _ReleaseResults(extras());
        extras()->resultSet = rs;
        ASSERT_EQ(_PrepareResults(stmt()), SQL_SUCCESS);
    }

    // The standard result: 8 columns, 3 rows.
    void installStandard() {
        install(
            {{"id", "INT"},
             {"big", "BIGINT"},
             {"name", "STRING"},
             {"ts", "TIMESTAMP"},
             {"flag", "BOOLEAN"},
             {"d", "DATE"},
             {"odd", "varchar(10)"},
             {"", "STRING"}},
            {{"70000", kBig, "hello world", "1614834367000", "true", "2021-03-04", "300",
              "2021-03-04 05:06:07.25"},
             {kNull, kNull, kNull, kNull, kNull, kNull, kNull, kNull},
             {"-5", "-1", "abc", "0", "false", "20210304", "March 4", "2021-03-04T05:06:07.25"}});
    }

    std::string lastRecorded() {
        MsgLog* log = stmt()->msgLog;
        if (log == NULL || log->list == NULL || log->list->last == NULL) return "";
        return ((LogMessage*)log->list->last->data)->text;
    }
};

std::string localTime(time_t secs) {
    struct tm tmv;
    localtime_r(&secs, &tmv);
    char buf[32];
    strftime(buf, sizeof(buf), "%Y-%m-%d %H:%M:%S", &tmv);
    return buf;
}

// A result set that reports its own destruction.
int derivedDestroyed = 0;
class CountingResultSet : public NavixQueryResultSet {
  public:
    ~CountingResultSet() override { derivedDestroyed++; }
};

} // namespace

// ---- description ---------------------------------------------------------

TEST_F(StatementTest, HeadersDescribeEachColumnType) {
    installStandard();
    SQLSMALLINT n = -1;
    ASSERT_EQ(SQLNumResultCols(hstmt, &n), SQL_SUCCESS);
    EXPECT_EQ(n, 8);
    struct Want {
        int type, octet, display;
        const char* typeName;
    } want[] = {{SQL_INTEGER, 4, 11, "INT"},
                {SQL_BIGINT, 8, 20, "BIGINT"},
                {SQL_VARCHAR, 334, 334, "STRING"},
                {SQL_TYPE_TIMESTAMP, 334, 334, "TIMESTAMP"},
                {SQL_SMALLINT, 1, 1, "BOOLEAN"},
                {SQL_TYPE_DATE, 334, 334, "DATE"},
                {SQL_UNKNOWN_TYPE, 334, 334, "varchar(10)"},
                {SQL_VARCHAR, 334, 334, "STRING"}};
    for (int i = 0; i < 8; i++) {
        const ColumnHeader& h = extras()->columnHeaders[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(h.conciseType, want[i].type);
        EXPECT_EQ(h.type, want[i].type);
        EXPECT_EQ(h.octetLength, want[i].octet);
        EXPECT_EQ(h.length, want[i].octet);
        EXPECT_EQ(h.displaySize, want[i].display);
        EXPECT_STREQ(h.typeName, want[i].typeName);
        EXPECT_EQ(h.precision, 4);
        EXPECT_EQ(h.scale, 4);
        EXPECT_EQ(h.nullable, SQL_NULLABLE);
        EXPECT_EQ(h.searchable, SQL_SEARCHABLE);
        EXPECT_EQ(h.updatable, SQL_ATTR_READONLY);
        EXPECT_STREQ(h.baseTableName, "");
        EXPECT_EQ(h.boundTarget, nullptr);
        EXPECT_EQ(h.unnamed, i == 7 ? SQL_UNNAMED : SQL_NAMED);
    }
    EXPECT_STREQ(extras()->columnHeaders[2].name, "name");
    EXPECT_STREQ(extras()->columnHeaders[2].label, "name");
    EXPECT_STREQ(extras()->columnHeaders[2].baseColumnName, "name");
}

TEST_F(StatementTest, DescribeColCutsTheNameAndWritesWholeSizes) {
    install({{"revenue", "BIGINT"}}, {});
    SQLCHAR name[8];
    memset(name, 0xFF, sizeof(name));
    SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size;
    memset(&size, 0xFF, sizeof(size));
    ASSERT_EQ(SQLDescribeCol(hstmt, 1, name, sizeof(name), &nameLen, NULL, NULL, NULL, NULL),
              SQL_SUCCESS);
    EXPECT_STREQ((char*)name, "revenue");
    EXPECT_EQ(lastRecorded(), "SQL_SUCCESS");
    // A record also reaches the file, with the entry point's source as
    // module and function.
    std::vector<std::string> lines = readLines(dir.file("vorn_odbc.log"));
    ASSERT_EQ(lines.size(), 1u);
    const std::string source = __FILE__;
    const std::string vornDir = source.substr(0, source.rfind("/tests/")) + "/vorn/";
    const std::string module = "[" + vornDir + "SQLDescribeCol.cpp]";
    EXPECT_EQ(lines[0].rfind("[[template]]" + module + module + "[", 0), 0u) << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].size() - 12), "]SQL_SUCCESS") << lines[0];

    // A cut name is reported with its full length, and says so.
    memset(name, 0xFF, sizeof(name));
    ASSERT_EQ(SQLDescribeCol(hstmt, 1, name, 4, &nameLen, &type, &size, &digits, &nullable),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ((char*)name, "rev");
    EXPECT_EQ(name[4], 0xFF);
    EXPECT_EQ(nameLen, 7);
    EXPECT_EQ(type, SQL_BIGINT);
    EXPECT_EQ(size, (SQLULEN)8); // all 64 bits written
    EXPECT_EQ(digits, 4);
    EXPECT_EQ(nullable, SQL_NULLABLE);
    EXPECT_STREQ(stmt()->diag.sqlState, "01004");

    // Negative and zero lengths never touch the buffer; a negative one is
    // refused. NULL outputs are skipped.
    memset(name, 0xFF, sizeof(name));
    nameLen = -1;
    EXPECT_EQ(SQLDescribeCol(hstmt, 1, name, -4, &nameLen, NULL, NULL, NULL, NULL), SQL_ERROR);
    EXPECT_STREQ(stmt()->diag.sqlState, "HY090");
    EXPECT_EQ(nameLen, -1);
    EXPECT_EQ(SQLDescribeCol(hstmt, 1, name, 0, &nameLen, NULL, NULL, NULL, NULL),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(SQLDescribeCol(hstmt, 1, NULL, 0, NULL, NULL, NULL, NULL, NULL), SQL_SUCCESS);
    EXPECT_EQ(name[0], 0xFF);
    EXPECT_EQ(nameLen, 7);

    EXPECT_EQ(SQLDescribeCol(hstmt, 0, name, 8, NULL, NULL, NULL, NULL, NULL), SQL_ERROR);
    EXPECT_EQ(SQLDescribeCol(hstmt, 2, name, 8, NULL, NULL, NULL, NULL, NULL), SQL_ERROR);
    EXPECT_EQ(lastRecorded(), "SQL_ERROR Column 2 is out of range. Range is 1 - 1");
    EXPECT_EQ(SQLDescribeCol(NULL, 1, name, 8, NULL, NULL, NULL, NULL, NULL), SQL_INVALID_HANDLE);
}

TEST_F(StatementTest, NoColumnsMeansNoHeaders) {
    SQLSMALLINT n = -1;
    ASSERT_EQ(SQLNumResultCols(hstmt, &n), SQL_SUCCESS);
    EXPECT_EQ(n, 0);
    install({}, {});
    EXPECT_EQ(extras()->columnHeaders, nullptr);
    ASSERT_EQ(SQLNumResultCols(hstmt, &n), SQL_SUCCESS);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(SQLNumResultCols(hstmt, NULL), SQL_ERROR);
    EXPECT_EQ(SQLDescribeCol(hstmt, 1, NULL, 0, NULL, NULL, NULL, NULL, NULL), SQL_ERROR);
    EXPECT_EQ(lastRecorded(), "SQL_ERROR Uninitialized column headers.");
    SQLLEN num = 0;
    EXPECT_EQ(SQLColAttribute(hstmt, 1, SQL_DESC_COUNT, NULL, 0, NULL, &num), SQL_ERROR);
    EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
}

TEST_F(StatementTest, ColAttributeNumbersAndTexts) {
    installStandard();
    SQLLEN num;
    memset(&num, 0xFF, sizeof(num));
    ASSERT_EQ(SQLColAttribute(hstmt, 2, SQL_DESC_COUNT, NULL, 0, NULL, &num), SQL_SUCCESS);
    EXPECT_EQ(num, 8); // the whole SQLLEN written
    ASSERT_EQ(SQLColAttribute(hstmt, 2, SQL_DESC_CONCISE_TYPE, NULL, 0, NULL, &num), SQL_SUCCESS);
    EXPECT_EQ(num, SQL_BIGINT);
    ASSERT_EQ(SQLColAttribute(hstmt, 2, SQL_DESC_DISPLAY_SIZE, NULL, 0, NULL, &num), SQL_SUCCESS);
    EXPECT_EQ(num, 20);
    ASSERT_EQ(SQLColAttribute(hstmt, 2, SQL_DESC_OCTET_LENGTH, NULL, 0, NULL, &num), SQL_SUCCESS);
    EXPECT_EQ(num, 8);
    ASSERT_EQ(SQLColAttribute(hstmt, 8, SQL_DESC_UNNAMED, NULL, 0, NULL, &num), SQL_SUCCESS);
    EXPECT_EQ(num, SQL_UNNAMED);
    ASSERT_EQ(SQLColAttribute(hstmt, 1, SQL_DESC_SEARCHABLE, NULL, 0, NULL, &num), SQL_SUCCESS);
    EXPECT_EQ(num, SQL_SEARCHABLE);

    char text[16];
    memset(text, 0xFF, sizeof(text));
    SQLSMALLINT len = 0;
    num = 99;
    ASSERT_EQ(SQLColAttribute(hstmt, 4, SQL_DESC_TYPE_NAME, text, 5, &len, &num),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(text, "TIME");
    EXPECT_EQ((unsigned char)text[5], 0xFF);
    EXPECT_EQ(len, 9);
    EXPECT_EQ(num, 0);
    EXPECT_STREQ(stmt()->diag.sqlState, "01004");
    EXPECT_EQ(SQLColAttribute(hstmt, 4, SQL_DESC_TYPE_NAME, text, -1, &len, NULL), SQL_ERROR);
    EXPECT_STREQ(stmt()->diag.sqlState, "HY090");
    EXPECT_STREQ(text, "TIME");
    ASSERT_EQ(SQLColAttribute(hstmt, 3, SQL_DESC_NAME, text, sizeof(text), &len, NULL),
              SQL_SUCCESS);
    EXPECT_STREQ(text, "name");
    // A number answer leaves the text buffer alone.
    ASSERT_EQ(SQLColAttribute(hstmt, 3, SQL_DESC_TYPE, text, sizeof(text), NULL, &num),
              SQL_SUCCESS);
    EXPECT_STREQ(text, "name");
    EXPECT_EQ(num, SQL_VARCHAR);

    for (int bad : {0, 1, 3, 4, 5, 7, 1004, 1007, 1009, 1010, 9999}) {
        EXPECT_EQ(SQLColAttribute(hstmt, 1, (SQLUSMALLINT)bad, text, sizeof(text), NULL, &num),
                  SQL_ERROR);
        EXPECT_EQ(lastRecorded(), "Invalid nFieldIdentifier value of " + std::to_string(bad));
    }
    EXPECT_EQ(SQLColAttribute(hstmt, 9, SQL_DESC_COUNT, NULL, 0, NULL, &num), SQL_ERROR);
    EXPECT_EQ(lastRecorded(), "Column out of bounds: 9");
    EXPECT_EQ(SQLColAttribute(hstmt, 0, SQL_DESC_COUNT, NULL, 0, NULL, &num), SQL_ERROR);
}

// ---- binding and fetch ----------------------------------------------------

TEST_F(StatementTest, BindColChecks) {
    SQLINTEGER v = 0;
    SQLLEN ind = 77;
    EXPECT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, &v, 0, &ind), SQL_ERROR); // not executed
    installStandard();
    EXPECT_EQ(SQLBindCol(hstmt, 0, SQL_C_SLONG, &v, 0, &ind), SQL_ERROR);
    EXPECT_EQ(SQLBindCol(hstmt, 9, SQL_C_SLONG, &v, 0, &ind), SQL_ERROR);
    EXPECT_EQ(ind, 77);
    EXPECT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(ind, 0);
    EXPECT_EQ(extras()->columnHeaders[0].boundTarget, &v);
    // A NULL target unbinds the column.
    ind = 77;
    EXPECT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, NULL, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(extras()->columnHeaders[0].boundTarget, nullptr);
    EXPECT_EQ(extras()->columnHeaders[0].boundLenOrInd, nullptr);
    EXPECT_EQ(ind, 77);
    EXPECT_EQ(SQLBindCol(NULL, 1, SQL_C_SLONG, &v, 0, &ind), SQL_INVALID_HANDLE);
}

TEST_F(StatementTest, FetchFillsBoundColumnsAndEndsWithNoData) {
    installStandard();
    SQLINTEGER id = 0;
    SQLLEN idInd = 0, nameInd = 0;
    char name[6];
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, &id, 0, &idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(hstmt, 3, SQL_C_CHAR, name, sizeof(name), &nameInd), SQL_SUCCESS);

    // The second bound column is cut: both are filled, the fetch says so.
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(id, 70000);
    EXPECT_EQ(idInd, 4);
    EXPECT_STREQ(name, "hello");
    EXPECT_EQ(nameInd, 11);
    EXPECT_EQ(stmt()->msgLog->on, 1);

    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(idInd, SQL_NULL_DATA);
    EXPECT_EQ(nameInd, SQL_NULL_DATA);

    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(id, -5);
    EXPECT_STREQ(name, "abc");
    EXPECT_EQ(nameInd, 3);

    LogCapture capture;
    EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
    EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
    EXPECT_EQ(capture.count("SQL_NO_DATA Call DBFetch"), 2u);
}

TEST_F(StatementTest, FailingBoundColumnEndsTheFetchButKeepsTheRow) {
    installStandard();
    SQLINTEGER id = 0, after = 0;
    char bit = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(hstmt, 2, SQL_C_BIT, &bit, 1, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(hstmt, 3, SQL_C_SLONG, &after, 0, &ind), SQL_SUCCESS);
    after = 12345;
    LogCapture capture;
    EXPECT_EQ(SQLFetch(hstmt), SQL_ERROR);
    EXPECT_EQ(capture.count("SQL_ERROR Failed to get data for column 2"), 1u);
    EXPECT_EQ(id, 70000);
    EXPECT_EQ(after, 12345); // not reached
    SQLINTEGER again = 0;
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &again, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(again, 70000);
}

TEST_F(StatementTest, FetchWithoutResultSet) {
    LogCapture capture;
    EXPECT_EQ(SQLFetch(hstmt), SQL_ERROR);
    EXPECT_EQ(capture.count("Vorn resultset cannot be NULL."), 1u);
    EXPECT_EQ(capture.count("SQL_ERROR Call DBFetch Fetch failed."), 1u);
    EXPECT_EQ(SQLFetch(NULL), SQL_INVALID_HANDLE);
}

TEST_F(StatementTest, ExtendedFetchReportsOneRow) {
    installStandard();
    SQLULEN rows = 99;
    SQLUSMALLINT status[2] = {77, 77};
    for (int i = 0; i < 3; i++) {
        rows = 99;
        status[0] = 77;
        ASSERT_EQ(SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, &rows, status), SQL_SUCCESS);
        EXPECT_EQ(rows, 1u);
        EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
        EXPECT_EQ(status[1], 77);
    }
    EXPECT_EQ(SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, &rows, status), SQL_NO_DATA);
    EXPECT_EQ(rows, 0u);
    EXPECT_EQ(SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, NULL, NULL), SQL_NO_DATA);
}

// ---- conversion -----------------------------------------------------------

TEST_F(StatementTest, BigIntExactAndAsTextInParts) {
    installStandard();
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    SQLBIGINT v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQLGetData(hstmt, 2, SQL_C_SBIGINT, &v, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(v, 9007199254740993LL);
    EXPECT_EQ(ind, 8);
    // The value has gone out whole: the column has nothing more.
    SQLUBIGINT u = 0;
    EXPECT_EQ(SQLGetData(hstmt, 2, SQL_C_UBIGINT, &u, 0, &ind), SQL_NO_DATA);
    // Another column in between starts the value over.
    SQLINTEGER id = 0;
    ASSERT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLGetData(hstmt, 2, SQL_C_UBIGINT, &u, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(u, 9007199254740993ULL);
    ASSERT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);

    char buf[6];
    LogCapture capture;
    ASSERT_EQ(SQLGetData(hstmt, 2, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buf, "90071");
    EXPECT_EQ(ind, 16);
    EXPECT_EQ(capture.count("SQL_SUCCESS_WITH_INFO column 2 has more data to fetch."), 1u);
    EXPECT_STREQ(stmt()->diag.sqlState, "01004");
    // The rest follows piece by piece; the indicator gives what is left.
    ASSERT_EQ(SQLGetData(hstmt, 2, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buf, "99254");
    EXPECT_EQ(ind, 11);
    ASSERT_EQ(SQLGetData(hstmt, 2, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buf, "74099");
    EXPECT_EQ(ind, 6);
    ASSERT_EQ(SQLGetData(hstmt, 2, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_SUCCESS);
    EXPECT_STREQ(buf, "3");
    EXPECT_EQ(ind, 1);
    EXPECT_EQ(SQLGetData(hstmt, 2, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_NO_DATA);
    EXPECT_EQ(capture.count("SQL_NO_DATA column 2 has already been completely fetched."), 1u);
    EXPECT_EQ(SQLGetData(hstmt, 2, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_NO_DATA);

    // Another column in between starts the text over.
    ASSERT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLGetData(hstmt, 2, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buf, "90071");
    // So does the next row.
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    ASSERT_EQ(SQLGetData(hstmt, 2, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_SUCCESS);
    EXPECT_STREQ(buf, "-1");
}

TEST_F(StatementTest, WholeTextIsDeliveredOnce) {
    installStandard();
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    char buf[64];
    SQLLEN ind = 0;
    ASSERT_EQ(SQLGetData(hstmt, 3, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_SUCCESS);
    EXPECT_STREQ(buf, "hello world");
    EXPECT_EQ(ind, 11);
    memset(buf, 0x7F, sizeof(buf));
    EXPECT_EQ(SQLGetData(hstmt, 3, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_NO_DATA);
    EXPECT_EQ(buf[0], 0x7F);
    // Exactly fitting text and its NUL, after another column.
    SQLINTEGER id = 0;
    ASSERT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLGetData(hstmt, 3, SQL_C_CHAR, buf, 12, &ind), SQL_SUCCESS);
    EXPECT_STREQ(buf, "hello world");
}

TEST_F(StatementTest, LongTextIsMeasuredWhole) {
    std::string longText(5000, 'x');
    longText[4999] = 'y';
    install({{"t", "STRING"}}, {{longText}});
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    std::vector<char> buf(10);
    SQLLEN ind = 0;
    ASSERT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, buf.data(), 10, &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(ind, 5000);
    std::vector<char> big(6000);
    // Part retrieval is under way: the rest, 4991 bytes, comes next.
    ASSERT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, big.data(), 6000, &ind), SQL_SUCCESS);
    EXPECT_EQ(ind, 4991);
    EXPECT_EQ(strlen(big.data()), 4991u);
    EXPECT_EQ(big[4990], 'y');
}

TEST_F(StatementTest, NullCells) {
    installStandard();
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    SQLINTEGER v = 99;
    SQLLEN ind = 0;
    LogCapture capture;
    // Without an indicator a NULL cannot be told.
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &v, 0, NULL), SQL_ERROR);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(capture.count("SQL_ERROR column 1 contained NULL but pnLengthOrIndicator was not "
                            "provided."),
              1u);
    EXPECT_STREQ(stmt()->diag.sqlState, "22002");
    v = 99;
    ASSERT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(ind, SQL_NULL_DATA);
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &v, 0, &ind), SQL_NO_DATA);

    char buf[3];
    ASSERT_EQ(SQLGetData(hstmt, 3, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_SUCCESS);
    EXPECT_STREQ(buf, "nu");
    EXPECT_EQ(ind, SQL_NULL_DATA);

    SQL_DATE_STRUCT d;
    memset(&d, 0x55, sizeof(d));
    ASSERT_EQ(SQLGetData(hstmt, 6, SQL_C_TYPE_DATE, &d, sizeof(d), &ind), SQL_SUCCESS);
    EXPECT_EQ(ind, SQL_NULL_DATA);
    EXPECT_EQ(d.year, 0);
    EXPECT_EQ(d.month, 0);
    SQL_TIMESTAMP_STRUCT ts;
    ASSERT_EQ(SQLGetData(hstmt, 4, SQL_C_TYPE_TIMESTAMP, &ts, sizeof(ts), &ind), SQL_SUCCESS);
    EXPECT_EQ(ind, SQL_NULL_DATA);
    double dbl = 1;
    ASSERT_EQ(SQLGetData(hstmt, 2, SQL_C_DOUBLE, &dbl, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(dbl, 0.0);
}

// One row per conversion through SQLGetData: the result code, the record's
// SQLSTATE and what reached the target.
TEST_F(StatementTest, ConversionOutcomesReachTheRecord) {
    installStandard();
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    struct Row {
        SQLUSMALLINT col;
        SQLSMALLINT cType;
        SQLRETURN rc;
        const char* state;
        int64_t value;
    } rows[] = {
        {1, SQL_C_SSHORT, SQL_ERROR, "22003", 0}, // 70000
        {1, SQL_C_USHORT, SQL_ERROR, "22003", 0},
        {1, SQL_C_ULONG, SQL_SUCCESS, "", 70000},
        {7, SQL_C_UTINYINT, SQL_ERROR, "22003", 0}, // 300
        {7, SQL_C_SSHORT, SQL_SUCCESS, "", 300},
        {2, SQL_C_SLONG, SQL_ERROR, "22003", 0}, // above 2^31
        {3, SQL_C_SLONG, SQL_ERROR, "22018", 0}, // "hello world"
        {6, SQL_C_SLONG, SQL_ERROR, "22018", 0}, // a date
        {5, SQL_C_SHORT, SQL_SUCCESS, "", 1},    // BOOLEAN true
        {5, SQL_C_UBIGINT, SQL_SUCCESS, "", 1},
        {1, SQL_C_BIT, SQL_ERROR, "HYC00", 0},
        {1, SQL_C_WCHAR, SQL_ERROR, "HYC00", 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("column " + std::to_string(r.col) + " as " + std::to_string(r.cType));
        // Reading column 8 first makes each row a first read of its column.
        char other[64];
        SQLLEN ind = 0;
        ASSERT_EQ(SQLGetData(hstmt, 8, SQL_C_CHAR, other, sizeof(other), &ind), SQL_SUCCESS);
        unsigned char target[16];
        memset(target, 0xEE, sizeof(target));
        ind = 12345;
        EXPECT_EQ(SQLGetData(hstmt, r.col, r.cType, target, sizeof(target), &ind), r.rc);
        EXPECT_STREQ(stmt()->diag.sqlState, r.state);
        if (r.rc == SQL_ERROR) {
            EXPECT_EQ(ind, 12345);
            EXPECT_EQ(target[0], 0xEE);
        } else {
            int64_t v = 0;
            memcpy(&v, target, (size_t)ind);
            EXPECT_EQ(v, r.value);
        }
    }
}

TEST_F(StatementTest, DatesAndTimestamps) {
    installStandard();
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    SQLLEN ind = 0;
    SQLINTEGER id = 0;
    // Each read below is the first of its column since the one before.
    auto other = [&]() { ASSERT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS); };
    SQL_DATE_STRUCT d;
    ASSERT_EQ(SQLGetData(hstmt, 6, SQL_C_TYPE_DATE, &d, sizeof(d), &ind), SQL_SUCCESS);
    EXPECT_EQ(d.year, 2021);
    EXPECT_EQ(d.month, 3);
    EXPECT_EQ(d.day, 4);
    EXPECT_EQ(ind, 6);

    // A DATE cell as a timestamp: midnight of that date.
    other();
    SQL_TIMESTAMP_STRUCT ts;
    memset(&ts, 0x55, sizeof(ts));
    ASSERT_EQ(SQLGetData(hstmt, 6, SQL_C_TYPE_TIMESTAMP, &ts, sizeof(ts), &ind), SQL_SUCCESS);
    EXPECT_EQ(ts.year, 2021);
    EXPECT_EQ(ts.month, 3);
    EXPECT_EQ(ts.day, 4);
    EXPECT_EQ(ts.hour, 0);
    EXPECT_EQ(ts.minute, 0);
    EXPECT_EQ(ts.second, 0);
    EXPECT_EQ(ts.fraction, 0u);
    EXPECT_EQ(ind, 16);

    // A text column holding a timestamp with a fraction, in nanoseconds.
    ASSERT_EQ(SQLGetData(hstmt, 8, SQL_C_TYPE_TIMESTAMP, &ts, sizeof(ts), &ind), SQL_SUCCESS);
    EXPECT_EQ(ts.hour, 5);
    EXPECT_EQ(ts.minute, 6);
    EXPECT_EQ(ts.second, 7);
    EXPECT_EQ(ts.fraction, 250000000u);

    // A TIMESTAMP cell: milliseconds since 1970, shown in local time.
    char text[32];
    ASSERT_EQ(SQLGetData(hstmt, 4, SQL_C_CHAR, text, sizeof(text), &ind), SQL_SUCCESS);
    EXPECT_EQ(std::string(text), localTime(1614834367));
    other();
    ASSERT_EQ(SQLGetData(hstmt, 4, SQL_C_TYPE_TIMESTAMP, &ts, sizeof(ts), &ind), SQL_SUCCESS);
    struct tm tmv;
    time_t secs = 1614834367;
    localtime_r(&secs, &tmv);
    EXPECT_EQ(ts.year, tmv.tm_year + 1900);
    EXPECT_EQ(ts.hour, tmv.tm_hour);
    EXPECT_EQ(ts.second, tmv.tm_sec);

    // ... and as a date: the local date of that moment, its time dropped.
    other();
    SQL_DATE_STRUCT tsDate;
    ASSERT_EQ(SQLGetData(hstmt, 4, SQL_C_TYPE_DATE, &tsDate, sizeof(tsDate), &ind),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(stmt()->diag.sqlState, "01S07");
    EXPECT_EQ(tsDate.year, tmv.tm_year + 1900);
    EXPECT_EQ(tsDate.month, tmv.tm_mon + 1);
    EXPECT_EQ(tsDate.day, tmv.tm_mday);
    EXPECT_EQ(ind, 6);

    // A TIMESTAMP as text into a small buffer: the cut text, its whole length.
    other();
    memset(text, 0x7F, sizeof(text));
    ASSERT_EQ(SQLGetData(hstmt, 4, SQL_C_CHAR, text, 11, &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::string(text), localTime(1614834367).substr(0, 10));
    EXPECT_EQ(ind, 19);
    EXPECT_EQ(text[11], 0x7F);

    // Only the structure is written, whatever length the buffer claims.
    unsigned char big[64];
    memset(big, 0xEE, sizeof(big));
    other();
    ASSERT_EQ(SQLGetData(hstmt, 6, SQL_C_DATE, big, sizeof(big), &ind), SQL_SUCCESS);
    for (size_t i = sizeof(SQL_DATE_STRUCT); i < sizeof(big); i++)
        ASSERT_EQ(big[i], 0xEE);
    memset(big, 0xEE, sizeof(big));
    other();
    ASSERT_EQ(SQLGetData(hstmt, 8, SQL_C_TIMESTAMP, big, sizeof(big), &ind), SQL_SUCCESS);
    for (size_t i = sizeof(SQL_TIMESTAMP_STRUCT); i < sizeof(big); i++)
        ASSERT_EQ(big[i], 0xEE);
}

TEST_F(StatementTest, DateAndTimestampRefusals) {
    installStandard();
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    SQLLEN ind = 12345;
    SQL_DATE_STRUCT d;
    EXPECT_EQ(SQLGetData(hstmt, 6, SQL_C_TYPE_DATE, &d, 0, &ind), SQL_ERROR);
    EXPECT_STREQ(stmt()->diag.sqlState, "HY090");
    SQL_TIMESTAMP_STRUCT ts;
    EXPECT_EQ(SQLGetData(hstmt, 6, SQL_C_TYPE_TIMESTAMP, &ts, 15, &ind), SQL_ERROR);
    EXPECT_EQ(ind, 12345);

    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    // The compact date form of row 3 reads fine; its 7-letter text does not,
    // nor does a timestamp with a T, nor a TIMESTAMP cell of 0 ms as a date.
    ASSERT_EQ(SQLGetData(hstmt, 6, SQL_C_TYPE_DATE, &d, sizeof(d), &ind), SQL_SUCCESS);
    EXPECT_EQ(d.year, 2021);
    EXPECT_EQ(d.day, 4);
    EXPECT_EQ(SQLGetData(hstmt, 7, SQL_C_TYPE_DATE, &d, sizeof(d), &ind), SQL_ERROR);
    EXPECT_STREQ(stmt()->diag.sqlState, "22007");
    EXPECT_EQ(SQLGetData(hstmt, 8, SQL_C_TYPE_TIMESTAMP, &ts, sizeof(ts), &ind), SQL_ERROR);
    EXPECT_STREQ(stmt()->diag.sqlState, "22007");
    EXPECT_STREQ(stmt()->diag.message, "SQL_ERROR column 8: value is not a valid date or time.");
}

TEST_F(StatementTest, BadTargetsAndColumns) {
    installStandard();
    SQLLEN ind = 0;
    char buf[16];
    SQLINTEGER v;
    // Before the first fetch no row is current.
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_ERROR);
    EXPECT_STREQ(stmt()->diag.sqlState, "24000");
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &v, 0, &ind), SQL_ERROR);
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);

    LogCapture capture;
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_BIT, buf, sizeof(buf), &ind), SQL_ERROR);
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_WCHAR, buf, sizeof(buf), &ind), SQL_ERROR);
    EXPECT_EQ(capture.count("SQL_ERROR Unknown target type -7"), 1u);
    EXPECT_EQ(capture.count("SQL_ERROR Unknown target type -8"), 1u);
    EXPECT_STREQ(stmt()->diag.sqlState, "HYC00");

    const SQLSMALLINT types[] = {
        SQL_C_CHAR,     SQL_C_SLONG,     SQL_C_ULONG,         SQL_C_SHORT,   SQL_C_USHORT,
        SQL_C_STINYINT, SQL_C_UTINYINT,  SQL_C_SBIGINT,       SQL_C_UBIGINT, SQL_C_FLOAT,
        SQL_C_DOUBLE,   SQL_C_TYPE_DATE, SQL_C_TYPE_TIMESTAMP};
    char big[64];
    for (SQLSMALLINT t : types) {
        for (int col : {0, 9, 300}) {
            EXPECT_EQ(SQLGetData(hstmt, (SQLUSMALLINT)col, t, big, sizeof(big), &ind), SQL_ERROR)
                << "type " << t << " column " << col;
            EXPECT_STREQ(stmt()->diag.sqlState, "07009");
            EXPECT_EQ(std::string(stmt()->diag.message),
                      "Column out of bounds: " + std::to_string(col));
        }
    }
    memset(buf, 0x7F, sizeof(buf));
    EXPECT_EQ(SQLGetData(hstmt, 3, SQL_C_CHAR, buf, -5, &ind), SQL_ERROR);
    EXPECT_STREQ(stmt()->diag.sqlState, "HY090");
    EXPECT_EQ(buf[0], 0x7F);
    EXPECT_EQ(SQLGetData(hstmt, 3, SQL_C_CHAR, NULL, 10, &ind), SQL_ERROR);
    EXPECT_STREQ(stmt()->diag.sqlState, "HY009");
    EXPECT_EQ(SQLGetData(NULL, 3, SQL_C_CHAR, buf, 10, &ind), SQL_INVALID_HANDLE);
}

TEST_F(StatementTest, GetDataOnEmptyOrMissingResult) {
    char buf[8];
    SQLLEN ind;
    LogCapture capture;
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_ERROR);
    EXPECT_EQ(capture.count("SQL_ERROR check for results failed."), 1u);
    EXPECT_STREQ(stmt()->diag.sqlState, "HY010");
    install({{"a", "INT"}}, {});
    EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, buf, sizeof(buf), &ind), SQL_ERROR);
    EXPECT_STREQ(stmt()->diag.sqlState, "24000");
}

TEST_F(StatementTest, UnbindReleasesEveryBinding) {
    installStandard();
    SQLINTEGER id = 0;
    char name[32];
    SQLLEN idInd = 0, nameInd = 0;
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, &id, 0, &idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(hstmt, 3, SQL_C_CHAR, name, sizeof(name), &nameInd), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(id, 70000);
    ASSERT_EQ(SQLFreeStmt(hstmt, SQL_UNBIND), SQL_SUCCESS);
    id = -1;
    idInd = nameInd = -7;
    memset(name, 0x7F, sizeof(name));
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(idInd, -7);
    EXPECT_EQ(nameInd, -7);
    EXPECT_EQ(name[0], 0x7F);
    for (uint32_t i = 0; i < extras()->columnCount; i++) {
        EXPECT_EQ(extras()->columnHeaders[i].boundTarget, nullptr) << i;
    }
    // Parameters are not bound here: resetting them changes nothing.
    EXPECT_EQ(SQLFreeStmt(hstmt, SQL_RESET_PARAMS), SQL_SUCCESS);
}

// ---- prepare, execute, release ---------------------------------------------

TEST_F(StatementTest, PrepareKeepsTheTextAsGiven) {
    // Rows: text (bytes), length -> the text kept, or the refusal's SQLSTATE.
    // A refused text also forgets the one prepared before it.
    struct Case {
        std::string text;
        SQLINTEGER length;
        const char* kept;
        const char* state;
    } cases[] = {
        {"SELECT 1; DROP", 8, "SELECT 1", NULL},
        {"SELECT 2", SQL_NTS, "SELECT 2", NULL},
        {std::string("SELECT 3\0\0", 10), 10, "SELECT 3", NULL}, // NULs that only end it
        {"x", -9, NULL, "HY090"},
        // Cut at the NUL, this would delete every row.
        {std::string("delete from victims\0 where id = 2", 33), 33, NULL, "HY090"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(SQLPrepare(hstmt, (SQLCHAR*)"previous", SQL_NTS), SQL_SUCCESS);
        std::vector<char> buf(c.text.begin(), c.text.end());
        buf.push_back('\0');
        SQLRETURN rc = SQLPrepare(hstmt, (SQLCHAR*)buf.data(), c.length);
        if (c.kept != NULL) {
            EXPECT_EQ(rc, SQL_SUCCESS) << c.kept;
            EXPECT_STREQ(stmt()->sqlText, c.kept);
        } else {
            EXPECT_EQ(rc, SQL_ERROR) << c.length;
            EXPECT_STREQ(stmt()->diag.sqlState, c.state);
            EXPECT_EQ(stmt()->sqlText, nullptr);
        }
    }
    EXPECT_EQ(SQLPrepare(hstmt, NULL, SQL_NTS), SQL_ERROR);
    EXPECT_STREQ(stmt()->diag.sqlState, "HY009");
    EXPECT_EQ(SQLPrepare(NULL, (SQLCHAR*)"x", SQL_NTS), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLExecDirect(NULL, (SQLCHAR*)"x", SQL_NTS), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLExecute(NULL), SQL_INVALID_HANDLE);
}

TEST_F(StatementTest, ExecuteWithoutTextOrConnection) {
    LogCapture capture;
    EXPECT_EQ(SQLExecute(hstmt), SQL_ERROR);
    EXPECT_EQ(capture.count("Query sql is NULL"), 1u);

    // A failed execution drops the earlier result and its bindings.
    installStandard();
    SQLINTEGER v;
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, &v, 0, NULL), SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(hstmt, (SQLCHAR*)"select 1", SQL_NTS), SQL_ERROR);
    EXPECT_EQ(capture.count("Call NavixExecute execute sql failed"), 1u);
    EXPECT_EQ(extras()->resultSet, nullptr);
    EXPECT_EQ(extras()->columnHeaders, nullptr);
    EXPECT_EQ(extras()->columnCount, 0u);
    EXPECT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, &v, 0, NULL), SQL_ERROR);
    EXPECT_STREQ(stmt()->sqlText, "select 1"); // the text stays for another try
}

TEST_F(StatementTest, ReleaseDestroysTheResultAsItsOwnClass) {
    derivedDestroyed = 0;
    install({{"a", "INT"}, {"b", "STRING"}}, {{"1", "x"}}, new CountingResultSet());
    EXPECT_EQ(_ReleaseResults(extras()), 0);
    EXPECT_EQ(derivedDestroyed, 1);
    EXPECT_EQ(extras()->resultSet, nullptr);
    EXPECT_EQ(extras()->columnHeaders, nullptr);
    EXPECT_EQ(extras()->columnCount, 0u);
    EXPECT_EQ(_ReleaseResults(extras()), 0); // twice is harmless
    EXPECT_EQ(_ReleaseResults(NULL), SQL_ERROR);

    // Freeing the statement releases a result it still holds.
    install({{"a", "INT"}}, {{"1"}}, new CountingResultSet());
    EXPECT_EQ(_ReleaseStmt(stmt()), SQL_SUCCESS);
    EXPECT_EQ(derivedDestroyed, 2);
    ASSERT_EQ(_AllocStmt(dbc, &hstmt), SQL_SUCCESS); // for TearDown
}

TEST_F(StatementTest, PrepareResultsNeedsAResultSet) {
    LogCapture capture;
    EXPECT_EQ(_PrepareResults(stmt()), SQL_ERROR);
    EXPECT_EQ(capture.count("Vorn resultset cannot be NULL."), 1u);
    EXPECT_EQ(capture.count("Column count failed."), 1u);
    EXPECT_EQ(_FillColumnHeader(NULL, NULL, 0), -1);
}
