// Results longer than one page, and text longer than the buffer read in parts.
#include "OdbcHarness.h"

#include <cstring>

using namespace e2e;

TEST(Rows, TwoHundredFiftyRowsWithBoundColumns) {
    std::string project = testProject();
    emulator().reset(project);
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(project));
    Statement st(conn);
    E2E_EXEC(st, "select id, label, squared from numbers order by id");
    // The first page comes with the execution.
    EXPECT_EQ(1u, pageRequests(project));

    SQLINTEGER id = 0;
    char label[16];
    SQLBIGINT squared = 0;
    SQLLEN idInd = 0, labelInd = 0, sqInd = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st.h, 1, SQL_C_SLONG, &id, 0, &idInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st.h, 2, SQL_C_CHAR, label, sizeof label, &labelInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st.h, 3, SQL_C_SBIGINT, &squared, 0, &sqInd));

    for (int i = 1; i <= 250; ++i) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h)) << "row " << i << ": " << st.diagText();
        ASSERT_EQ(i, id);
        std::string expected = "row " + std::to_string(i);
        ASSERT_EQ(expected, std::string(label));
        ASSERT_EQ(static_cast<SQLLEN>(expected.size()), labelInd);
        ASSERT_EQ(static_cast<SQLBIGINT>(i) * i, squared);
        // The next page is asked for only when the held one is used up.
        if (i == 100 || i == 101 || i == 201) {
            EXPECT_EQ(static_cast<size_t>((i - 1) / 100 + 1), pageRequests(project)) << "row " << i;
        }
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st.h));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st.h));
    // The bound variables keep the last row.
    EXPECT_EQ(250, id);

    // Pages were asked for in order, 100 rows each, and nothing was asked
    // for again before the end of the result.
    std::vector<std::string> queries;
    for (const EmuRequest& r : emulator().requests(project))
        if (r.query.find("current-page=") != std::string::npos) queries.push_back(r.query);
    ASSERT_GE(queries.size(), 3u);
    EXPECT_EQ("current-page=1&page-size=100", queries[0]);
    EXPECT_EQ("current-page=2&page-size=100", queries[1]);
    EXPECT_EQ("current-page=3&page-size=100", queries[2]);
    EXPECT_EQ(1u, submitRequests(project));
}

TEST(Rows, ShortResultNeedsOnePageOnly) {
    std::string project = testProject();
    emulator().reset(project);
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(project));
    Statement st(conn);
    E2E_EXEC(st, "select id from numbers where id <= 30 order by id");
    int n = 0;
    while (SQLFetch(st.h) == SQL_SUCCESS)
        ++n;
    EXPECT_EQ(30, n);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st.h));
    EXPECT_EQ(1u, pageRequests(project));
}

TEST(Rows, EmptyResultKeepsItsColumns) {
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(testProject()));
    Statement st(conn);
    E2E_EXEC(st, "select id, name from empty_table");
    EXPECT_EQ(2, st.numCols());
    EXPECT_EQ("id", columnName(st.h, 1));
    EXPECT_EQ("name", columnName(st.h, 2));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st.h));
    char buf[8];
    SQLLEN ind = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetData(st.h, 1, SQL_C_CHAR, buf, sizeof buf, &ind));
}

namespace {

// Reads column `col` of the current row in parts of `part` bytes; returns
// the parts' texts and checks the indicators and return codes on the way.
std::string readInParts(SQLHSTMT h, SQLUSMALLINT col, SQLLEN part, size_t total, int* calls) {
    std::string all;
    std::vector<char> buf(part + 4);
    *calls = 0;
    for (;;) {
        memset(buf.data(), 0x5A, buf.size());
        SQLLEN ind = 0;
        SQLRETURN rc = SQLGetData(h, col, SQL_C_CHAR, buf.data(), part, &ind);
        ++*calls;
        if (rc == SQL_NO_DATA) break;
        EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << "rc " << rc;
        if (!SQL_SUCCEEDED(rc) || *calls > 10000) break;
        EXPECT_EQ(0x5A, buf[part]) << "written past the buffer";
        // The indicator gives what is left, including this part.
        EXPECT_EQ(static_cast<SQLLEN>(total - all.size()), ind);
        std::string piece(buf.data());
        if (rc == SQL_SUCCESS_WITH_INFO) {
            EXPECT_EQ(static_cast<size_t>(part - 1), piece.size());
        } else {
            EXPECT_EQ(total - all.size(), piece.size());
        }
        all += piece;
    }
    return all;
}

} // namespace

TEST(Rows, TextReadInParts) {
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(testProject()));
    Statement st(conn);
    E2E_EXEC(st, "select c_varchar, c_string from all_types where id = 1");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
    int calls = 0;
    // "varchar text", 12 bytes, in parts of 4 characters and a NUL.
    EXPECT_EQ("varchar text", readInParts(st.h, 1, 5, 12, &calls));
    EXPECT_EQ(4, calls); // three parts, then SQL_NO_DATA
    char buf[8];
    SQLLEN ind = 0;
    EXPECT_EQ(SQL_NO_DATA, SQLGetData(st.h, 1, SQL_C_CHAR, buf, sizeof buf, &ind));
    // Another column starts from its beginning.
    EXPECT_EQ("hello", getText(st.h, 2));
}

TEST(Rows, LongTextWrittenAndReadBackInParts) {
    std::string project = testProject();
    emulator().reset(project);
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(project));
    Statement st(conn);
    // Multi-byte characters cut at arbitrary byte boundaries must join again.
    std::string unit = "K\xC3\xB6ln-\xE6\x9D\xB1\xE4\xBA\xAC-";
    std::string text;
    while (text.size() < 5000)
        text += unit;
    E2E_EXEC(st, "create table notes (id INT, body STRING)");
    E2E_EXEC(st, "insert into notes values (1, '" + text + "')");
    E2E_EXEC(st, "select body from notes where id = 1");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
    int calls = 0;
    std::string back = readInParts(st.h, 1, 333, text.size(), &calls);
    EXPECT_EQ(text.size(), back.size());
    EXPECT_TRUE(text == back) << "text differs after reading in parts";
    EXPECT_EQ(static_cast<int>((text.size() + 331) / 332) + 1, calls);

    // Read whole into a big enough buffer: the same text in one call.
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st.h, SQL_CLOSE));
    E2E_EXEC(st, "select body from notes where id = 1");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
    EXPECT_EQ(text, getText(st.h, 1, 8192));
}

TEST(Rows, RefusedLaterPageFailsTheFetchWithTheServiceText) {
    std::string project = testProject();
    emulator().reset(project);
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(project));
    Statement st(conn);
    E2E_EXEC(st, "select id from numbers order by id");
    fault(project, "result", "not_success", "\"message\":\"page 2 is gone\"");
    for (int i = 1; i <= 100; ++i)
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h)) << "row " << i;
    EXPECT_EQ(SQL_ERROR, SQLFetch(st.h));
    Diag d = diag(SQL_HANDLE_STMT, st.h);
    EXPECT_EQ("01000", d.state);
    EXPECT_EQ("VKL Service response: page 2 is gone", d.text);
    // No row is current after the failed fetch.
    char buf[8];
    SQLLEN ind = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetData(st.h, 1, SQL_C_CHAR, buf, sizeof buf, &ind));
    EXPECT_EQ("24000", diag(SQL_HANDLE_STMT, st.h).state);
}

TEST(Rows, UnbindReleasesEveryBuffer) {
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(testProject()));
    Statement st(conn);
    E2E_EXEC(st, "select id, label from numbers where id <= 3 order by id");
    SQLINTEGER id = 0;
    char label[16];
    SQLLEN idInd = 0, labelInd = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st.h, 1, SQL_C_SLONG, &id, 0, &idInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st.h, 2, SQL_C_CHAR, label, sizeof label, &labelInd));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
    EXPECT_EQ(1, id);
    EXPECT_STREQ("row 1", label);
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st.h, SQL_UNBIND));
    id = -1;
    idInd = labelInd = -7;
    memset(label, 0x5A, sizeof label);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
    EXPECT_EQ(-1, id);
    EXPECT_EQ(-7, idInd);
    EXPECT_EQ(-7, labelInd);
    EXPECT_EQ(0x5A, label[0]);
    EXPECT_EQ("2", getText(st.h, 1));
    // A new binding works as before.
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st.h, 1, SQL_C_SLONG, &id, 0, &idInd));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
    EXPECT_EQ(3, id);
}

// SQLBindCol with a NULL target unbinds that column, as ODBC has it, also a
// binding that SQL_CLOSE kept for the next execution; the other column
// stays bound.
TEST(Rows, NullTargetUnbindsTheColumn) {
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(testProject()));
    for (bool afterClose : {false, true}) {
        SCOPED_TRACE(afterClose ? "after SQL_CLOSE" : "open result");
        Statement st(conn);
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st.h,
                                          (SQLCHAR*)"select id, label from numbers where id <= 3 "
                                                    "order by id",
                                          SQL_NTS));
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(st.h)) << st.diagText();
        SQLINTEGER id = 0;
        char label[16];
        SQLLEN idInd = 0, labelInd = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st.h, 1, SQL_C_SLONG, &id, 0, &idInd));
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st.h, 2, SQL_C_CHAR, label, sizeof label, &labelInd));
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
        EXPECT_STREQ("row 1", label);
        if (afterClose) {
            ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st.h, SQL_CLOSE));
        }
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st.h, 2, SQL_C_CHAR, nullptr, 0, nullptr))
            << st.diagText();
        if (afterClose) {
            ASSERT_EQ(SQL_SUCCESS, SQLExecute(st.h)) << st.diagText();
        }
        memset(label, 0x5A, sizeof label);
        labelInd = -7;
        id = -1;
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h)) << st.diagText();
        EXPECT_EQ(afterClose ? 1 : 2, id);
        EXPECT_EQ(0x5A, label[0]);
        EXPECT_EQ(-7, labelInd);
        EXPECT_EQ(afterClose ? "row 1" : "row 2", getText(st.h, 2));
        // The bookmark column is none to unbind.
        EXPECT_EQ(SQL_ERROR, SQLBindCol(st.h, 0, SQL_C_CHAR, nullptr, 0, nullptr));
        EXPECT_EQ("07009", diag(SQL_HANDLE_STMT, st.h).state);
    }
}

TEST(Rows, BoundTimestampTextIsCutWithItsWholeLength) {
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(testProject()));
    Statement st(conn);
    E2E_EXEC(st, "select c_timestamp from all_types where id = 1");
    char stamp[12];
    SQLLEN ind = 0;
    memset(stamp, 0x5A, sizeof stamp);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st.h, 1, SQL_C_CHAR, stamp, 10, &ind));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(st.h));
    EXPECT_EQ("01004", diag(SQL_HANDLE_STMT, st.h).state);
    EXPECT_STREQ("2024-01-1", stamp);
    EXPECT_EQ(19, ind);
    EXPECT_EQ(0x5A, stamp[10]);
}
