// Cells of every service type converted to every supported C type, with
// SQLGetData and with bound columns, against the emulator's table
// db1.all_types (row 1: maxima, row 2: minima and non-ASCII text, row 3: NULLs).
#include "OdbcHarness.h"

#include <cmath>
#include <cstring>
#include <limits>

using namespace e2e;

namespace {

// Columns of all_types, in order.
enum Col : SQLUSMALLINT {
    ID = 1,
    C_BOOLEAN,
    C_TINYINT,
    C_SMALLINT,
    C_INT,
    C_BIGINT,
    C_FLOAT,
    C_DOUBLE,
    C_DECIMAL,
    C_STRING,
    C_VARCHAR,
    C_CHAR,
    C_DATE,
    C_TIMESTAMP
};
const SQLUSMALLINT kAllCols[] = {ID,        C_BOOLEAN, C_TINYINT, C_SMALLINT, C_INT,
                                 C_BIGINT,  C_FLOAT,   C_DOUBLE,  C_DECIMAL,  C_STRING,
                                 C_VARCHAR, C_CHAR,    C_DATE,    C_TIMESTAMP};

class Fetch : public ::testing::Test {
  protected:
    void SetUp() override { open(); }

    void open(const std::string& extra = "") {
        st.reset();
        conn = std::make_unique<Connection>();
        E2E_CONNECT(*conn, akskConnStr(testProject(), extra));
        st = std::make_unique<Statement>(*conn);
        E2E_EXEC(*st, "select * from all_types order by id");
        ASSERT_EQ(14, st->numCols());
    }

    // Moves to row n (1-based) of the result; rows are fetched in order.
    void row(int n) {
        while (current < n) {
            ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h)) << st->diagText();
            ++current;
        }
        ASSERT_EQ(n, current) << "rows must be visited in order";
    }

    // A value goes out once; reading another column first starts it over.
    void other(SQLUSMALLINT col) {
        SQLINTEGER id = 0;
        SQLLEN ind = 0;
        SQLGetData(st->h, col == ID ? C_INT : ID, SQL_C_SLONG, &id, sizeof id, &ind);
    }

    template <typename T>
    SQLRETURN get(SQLUSMALLINT col, SQLSMALLINT cType, T* value, SQLLEN* ind) {
        other(col);
        memset(value, 0x5A, sizeof(T));
        return SQLGetData(st->h, col, cType, value, sizeof(T), ind);
    }

    std::string state() { return diag(SQL_HANDLE_STMT, st->h).state; }

    // Reads a cell as text; the indicator goes to *ind.
    std::string text(SQLUSMALLINT col, SQLLEN bufLen, SQLLEN* ind, SQLRETURN* rc) {
        std::vector<char> buf(bufLen + 8, 0x5A);
        *rc = SQLGetData(st->h, col, SQL_C_CHAR, buf.data(), bufLen, ind);
        EXPECT_EQ(0x5A, buf[bufLen]) << "written past the buffer, column " << col;
        return std::string(buf.data(), strnlen(buf.data(), bufLen));
    }
    std::string text(SQLUSMALLINT col) {
        SQLLEN ind = 0;
        SQLRETURN rc;
        std::string t = text(col, 1024, &ind, &rc);
        EXPECT_EQ(SQL_SUCCESS, rc) << "column " << col;
        EXPECT_EQ(static_cast<SQLLEN>(t.size()), ind) << "column " << col;
        return t;
    }

    std::unique_ptr<Connection> conn;
    std::unique_ptr<Statement> st;
    int current = 0;
};

} // namespace

TEST_F(Fetch, EveryColumnAsText) {
    row(1);
    EXPECT_EQ("1", text(ID));
    EXPECT_EQ("true", text(C_BOOLEAN));
    EXPECT_EQ("127", text(C_TINYINT));
    EXPECT_EQ("32767", text(C_SMALLINT));
    EXPECT_EQ("2147483647", text(C_INT));
    EXPECT_EQ("9223372036854775807", text(C_BIGINT));
    EXPECT_EQ("1.5", text(C_FLOAT));
    EXPECT_EQ("3.141592653589793", text(C_DOUBLE));
    EXPECT_EQ("12.50", text(C_DECIMAL));
    EXPECT_EQ("hello", text(C_STRING));
    EXPECT_EQ("varchar text", text(C_VARCHAR));
    EXPECT_EQ("abc", text(C_CHAR));
    EXPECT_EQ("2024-01-15", text(C_DATE));
    // Milliseconds since the epoch become local time (the tests run in UTC),
    // whole seconds.
    EXPECT_EQ("2024-01-15 10:30:45", text(C_TIMESTAMP));

    row(2);
    EXPECT_EQ("false", text(C_BOOLEAN));
    EXPECT_EQ("-9223372036854775808", text(C_BIGINT));
    EXPECT_EQ("-99999999.99", text(C_DECIMAL));
    // CHARSET=UTF-8: text passes unchanged.
    EXPECT_EQ("M\xC3\xBCller", text(C_STRING));
    EXPECT_EQ("\xE6\x9D\xB1\xE4\xBA\xAC", text(C_VARCHAR));
    EXPECT_EQ("1970-01-01", text(C_DATE));
    EXPECT_EQ("1970-01-01 00:00:00", text(C_TIMESTAMP));
}

TEST_F(Fetch, ValueGoesOutOnceThenNoData) {
    row(1);
    EXPECT_EQ("hello", text(C_STRING));
    char buf[64];
    SQLLEN ind = 0;
    EXPECT_EQ(SQL_NO_DATA, SQLGetData(st->h, C_STRING, SQL_C_CHAR, buf, sizeof buf, &ind));
    // The loop that reads until SQL_NO_DATA ends, with the whole value.
    std::string all;
    int calls = 0;
    while (SQLGetData(st->h, C_VARCHAR, SQL_C_CHAR, buf, sizeof buf, &ind) != SQL_NO_DATA &&
           ++calls < 10)
        all += buf;
    EXPECT_EQ("varchar text", all);
    EXPECT_EQ(1, calls);
    // Numbers too: one read, then no data.
    SQLBIGINT v = 0;
    EXPECT_EQ(SQL_SUCCESS, get(C_BIGINT, SQL_C_SBIGINT, &v, &ind));
    EXPECT_EQ(SQL_NO_DATA, SQLGetData(st->h, C_BIGINT, SQL_C_SBIGINT, &v, sizeof v, &ind));
    EXPECT_EQ(std::numeric_limits<SQLBIGINT>::max(), v);
    // Another column in between starts the value over.
    other(C_BIGINT);
    EXPECT_EQ("9223372036854775807", text(C_BIGINT));
}

// Numbers to every integer width: the value, or the SQLSTATE that says why
// there is none.
TEST_F(Fetch, IntegersOfEveryWidth) {
    struct Row {
        int row;
        SQLUSMALLINT col;
        SQLSMALLINT cType;
        SQLRETURN rc;
        const char* state;
        long long value = 0;
        SQLLEN ind = 0;
    } rows[] = {
        {1, C_INT, SQL_C_SLONG, SQL_SUCCESS, "", 2147483647, 4},
        {1, C_INT, SQL_C_LONG, SQL_SUCCESS, "", 2147483647, 4},
        {1, C_SMALLINT, SQL_C_SLONG, SQL_SUCCESS, "", 32767, 4},
        {1, C_TINYINT, SQL_C_SLONG, SQL_SUCCESS, "", 127, 4},
        {1, C_INT, SQL_C_ULONG, SQL_SUCCESS, "", 2147483647, 4},
        {1, C_SMALLINT, SQL_C_SSHORT, SQL_SUCCESS, "", 32767, 2},
        {1, C_SMALLINT, SQL_C_SHORT, SQL_SUCCESS, "", 32767, 2},
        {1, C_SMALLINT, SQL_C_USHORT, SQL_SUCCESS, "", 32767, 2},
        {1, C_TINYINT, SQL_C_STINYINT, SQL_SUCCESS, "", 127, 1},
        {1, C_TINYINT, SQL_C_TINYINT, SQL_SUCCESS, "", 127, 1},
        {1, C_TINYINT, SQL_C_UTINYINT, SQL_SUCCESS, "", 127, 1},
        {1, C_BIGINT, SQL_C_SBIGINT, SQL_SUCCESS, "", std::numeric_limits<SQLBIGINT>::max(), 8},
        {1, C_BIGINT, SQL_C_UBIGINT, SQL_SUCCESS, "", std::numeric_limits<SQLBIGINT>::max(), 8},
        // Outside the target's range.
        {1, C_INT, SQL_C_SSHORT, SQL_ERROR, "22003"},
        {1, C_SMALLINT, SQL_C_STINYINT, SQL_ERROR, "22003"},
        {1, C_BIGINT, SQL_C_SLONG, SQL_ERROR, "22003"},
        {1, C_BIGINT, SQL_C_ULONG, SQL_ERROR, "22003"},
        // A dropped fraction is reported.
        {1, C_DECIMAL, SQL_C_SLONG, SQL_SUCCESS_WITH_INFO, "01S07", 12, 4},
        {1, C_DOUBLE, SQL_C_SBIGINT, SQL_SUCCESS_WITH_INFO, "01S07", 3, 8},
        {1, C_FLOAT, SQL_C_SSHORT, SQL_SUCCESS_WITH_INFO, "01S07", 1, 2},
        // Text that is no number.
        {1, C_DATE, SQL_C_SLONG, SQL_ERROR, "22018"},
        {1, C_STRING, SQL_C_SLONG, SQL_ERROR, "22018"},
        {2, C_INT, SQL_C_SLONG, SQL_SUCCESS, "", std::numeric_limits<SQLINTEGER>::min(), 4},
        {2, C_SMALLINT, SQL_C_SSHORT, SQL_SUCCESS, "", -32768, 2},
        {2, C_TINYINT, SQL_C_STINYINT, SQL_SUCCESS, "", -128, 1},
        {2, C_BIGINT, SQL_C_SBIGINT, SQL_SUCCESS, "", std::numeric_limits<SQLBIGINT>::min(), 8},
        // A negative value has no unsigned form.
        {2, C_SMALLINT, SQL_C_USHORT, SQL_ERROR, "22003"},
        {2, C_TINYINT, SQL_C_UTINYINT, SQL_ERROR, "22003"},
        {2, C_BIGINT, SQL_C_UBIGINT, SQL_ERROR, "22003"},
        // -2.5e-10 is 0 as an integer, its fraction dropped.
        {2, C_DOUBLE, SQL_C_SLONG, SQL_SUCCESS_WITH_INFO, "01S07", 0, 4},
        {2, C_DECIMAL, SQL_C_SLONG, SQL_SUCCESS_WITH_INFO, "01S07", -99999999, 4},
    };
    for (const Row& r : rows) {
        row(r.row);
        SCOPED_TRACE("row " + std::to_string(r.row) + " column " + std::to_string(r.col) +
                     " as C type " + std::to_string(r.cType));
        other(r.col);
        unsigned char target[16];
        memset(target, 0x5A, sizeof target);
        SQLLEN ind = -99;
        EXPECT_EQ(r.rc, SQLGetData(st->h, r.col, r.cType, target, 8, &ind));
        if (r.rc != SQL_SUCCESS) {
            EXPECT_EQ(r.state, state());
        }
        if (r.rc == SQL_ERROR) {
            EXPECT_EQ(-99, ind);
            EXPECT_EQ(0x5A, target[0]);
            continue;
        }
        ASSERT_EQ(r.ind, ind);
        long long v = 0;
        switch (r.cType) {
        case SQL_C_UTINYINT:
            v = target[0];
            break;
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
            v = static_cast<SQLSCHAR>(target[0]);
            break;
        case SQL_C_USHORT: {
            SQLUSMALLINT x;
            memcpy(&x, target, 2);
            v = x;
            break;
        }
        case SQL_C_SHORT:
        case SQL_C_SSHORT: {
            SQLSMALLINT x;
            memcpy(&x, target, 2);
            v = x;
            break;
        }
        case SQL_C_ULONG: {
            SQLUINTEGER x;
            memcpy(&x, target, 4);
            v = x;
            break;
        }
        case SQL_C_LONG:
        case SQL_C_SLONG: {
            SQLINTEGER x;
            memcpy(&x, target, 4);
            v = x;
            break;
        }
        default:
            memcpy(&v, target, 8);
            break;
        }
        EXPECT_EQ(r.value, v);
        EXPECT_EQ(0x5A, target[ind]) << "written past the value";
    }
}

TEST_F(Fetch, BooleanReadsAsOneAndZeroThroughEveryNumericType) {
    SQLLEN ind = 0;
    for (int r : {1, 2}) {
        row(r);
        const int expected = r == 1 ? 1 : 0;
        SQLINTEGER i32 = -1;
        EXPECT_EQ(SQL_SUCCESS, get(C_BOOLEAN, SQL_C_SLONG, &i32, &ind));
        EXPECT_EQ(expected, i32);
        SQLSMALLINT i16 = -1;
        EXPECT_EQ(SQL_SUCCESS, get(C_BOOLEAN, SQL_C_SSHORT, &i16, &ind));
        EXPECT_EQ(expected, i16);
        SQLSCHAR i8 = -1;
        EXPECT_EQ(SQL_SUCCESS, get(C_BOOLEAN, SQL_C_STINYINT, &i8, &ind));
        EXPECT_EQ(expected, i8);
        SQLBIGINT i64 = -1;
        EXPECT_EQ(SQL_SUCCESS, get(C_BOOLEAN, SQL_C_SBIGINT, &i64, &ind));
        EXPECT_EQ(expected, i64);
        SQLUINTEGER u32 = 7;
        EXPECT_EQ(SQL_SUCCESS, get(C_BOOLEAN, SQL_C_ULONG, &u32, &ind));
        EXPECT_EQ(static_cast<SQLUINTEGER>(expected), u32);
    }
}

TEST_F(Fetch, FloatingPoint) {
    SQLLEN ind = 0;
    row(1);
    SQLDOUBLE d = 0;
    EXPECT_EQ(SQL_SUCCESS, get(C_DOUBLE, SQL_C_DOUBLE, &d, &ind));
    EXPECT_EQ(3.141592653589793, d);
    EXPECT_EQ(8, ind);
    EXPECT_EQ(SQL_SUCCESS, get(C_DECIMAL, SQL_C_DOUBLE, &d, &ind));
    EXPECT_EQ(12.5, d);
    EXPECT_EQ(SQL_SUCCESS, get(C_INT, SQL_C_DOUBLE, &d, &ind));
    EXPECT_EQ(2147483647.0, d);
    SQLREAL f = 0;
    EXPECT_EQ(SQL_SUCCESS, get(C_FLOAT, SQL_C_FLOAT, &f, &ind));
    EXPECT_EQ(1.5f, f);
    EXPECT_EQ(4, ind);
    EXPECT_EQ(SQL_SUCCESS, get(C_DOUBLE, SQL_C_FLOAT, &f, &ind));
    EXPECT_EQ(static_cast<float>(3.141592653589793), f);

    row(2);
    EXPECT_EQ(SQL_SUCCESS, get(C_DOUBLE, SQL_C_DOUBLE, &d, &ind));
    EXPECT_EQ(-2.5e-10, d);
    EXPECT_EQ(SQL_SUCCESS, get(C_DECIMAL, SQL_C_DOUBLE, &d, &ind));
    EXPECT_EQ(-99999999.99, d);
    EXPECT_EQ(SQL_SUCCESS, get(C_FLOAT, SQL_C_FLOAT, &f, &ind));
    EXPECT_EQ(-0.25f, f);
}

TEST_F(Fetch, DatesAndTimestamps) {
    SQLLEN ind = 0;
    row(1);
    SQL_DATE_STRUCT date;
    EXPECT_EQ(SQL_SUCCESS, get(C_DATE, SQL_C_TYPE_DATE, &date, &ind));
    EXPECT_EQ(2024, date.year);
    EXPECT_EQ(1, date.month);
    EXPECT_EQ(15, date.day);
    EXPECT_EQ(6, ind);
    EXPECT_EQ(SQL_SUCCESS, get(C_DATE, SQL_C_DATE, &date, &ind));
    EXPECT_EQ(2024, date.year);

    SQL_TIMESTAMP_STRUCT ts;
    EXPECT_EQ(SQL_SUCCESS, get(C_TIMESTAMP, SQL_C_TYPE_TIMESTAMP, &ts, &ind));
    EXPECT_EQ(2024, ts.year);
    EXPECT_EQ(1, ts.month);
    EXPECT_EQ(15, ts.day);
    EXPECT_EQ(10, ts.hour);
    EXPECT_EQ(30, ts.minute);
    EXPECT_EQ(45, ts.second);
    EXPECT_EQ(0u, ts.fraction);
    EXPECT_EQ(16, ind);
    EXPECT_EQ(SQL_SUCCESS, get(C_TIMESTAMP, SQL_C_TIMESTAMP, &ts, &ind));
    EXPECT_EQ(45, ts.second);

    // A DATE read as a timestamp is midnight of that day.
    EXPECT_EQ(SQL_SUCCESS, get(C_DATE, SQL_C_TYPE_TIMESTAMP, &ts, &ind));
    EXPECT_EQ(2024, ts.year);
    EXPECT_EQ(1, ts.month);
    EXPECT_EQ(15, ts.day);
    EXPECT_EQ(0, ts.hour);
    EXPECT_EQ(0, ts.minute);
    EXPECT_EQ(0, ts.second);
    EXPECT_EQ(0u, ts.fraction);

    // A TIMESTAMP read as a date: the day of its local time, its time dropped.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, get(C_TIMESTAMP, SQL_C_TYPE_DATE, &date, &ind));
    EXPECT_EQ("01S07", state());
    EXPECT_EQ(2024, date.year);
    EXPECT_EQ(1, date.month);
    EXPECT_EQ(15, date.day);
    EXPECT_EQ(6, ind);

    // Text that is no date is refused.
    EXPECT_EQ(SQL_ERROR, get(C_STRING, SQL_C_TYPE_DATE, &date, &ind));
    EXPECT_EQ("22007", state());
    EXPECT_EQ(SQL_ERROR, get(C_STRING, SQL_C_TYPE_TIMESTAMP, &ts, &ind));
    EXPECT_EQ("22007", state());

    // A buffer smaller than the structure is refused, with nothing written.
    for (SQLLEN size : {0, 4}) {
        char small[4];
        memset(small, 0x5A, sizeof small);
        ind = -99;
        EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, C_DATE, SQL_C_TYPE_DATE, small, size, &ind));
        EXPECT_EQ("HY090", state());
        EXPECT_EQ(SQL_ERROR,
                  SQLGetData(st->h, C_TIMESTAMP, SQL_C_TYPE_TIMESTAMP, small, size, &ind));
        EXPECT_EQ("HY090", state());
        EXPECT_EQ(-99, ind);
        for (char c : small)
            EXPECT_EQ(0x5A, c);
    }

    // A TIMESTAMP as text into 10 bytes: the cut text, 01004, the whole length.
    SQLRETURN rc;
    other(C_TIMESTAMP);
    EXPECT_EQ("2024-01-1", text(C_TIMESTAMP, 10, &ind, &rc));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, rc);
    EXPECT_EQ("01004", state());
    EXPECT_EQ(19, ind);
    // ... and the rest comes with the next call.
    EXPECT_EQ("5 10:30:45", text(C_TIMESTAMP, 11, &ind, &rc));
    EXPECT_EQ(SQL_SUCCESS, rc);
    EXPECT_EQ(10, ind);

    row(2);
    EXPECT_EQ(SQL_SUCCESS, get(C_TIMESTAMP, SQL_C_TYPE_TIMESTAMP, &ts, &ind));
    EXPECT_EQ(1970, ts.year);
    EXPECT_EQ(1, ts.month);
    EXPECT_EQ(1, ts.day);
    EXPECT_EQ(0, ts.hour);
}

TEST_F(Fetch, NullCellsOfEveryType) {
    row(3);
    SQLLEN ind = 0;
    for (SQLUSMALLINT col : kAllCols) {
        if (col == ID) continue;
        SCOPED_TRACE("column " + std::to_string(col));
        SQLINTEGER i32 = 99;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_SLONG, &i32, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        EXPECT_EQ(0, i32);
        SQLUINTEGER u32 = 99;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_ULONG, &u32, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        SQLSMALLINT i16 = 99;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_SSHORT, &i16, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        EXPECT_EQ(0, i16);
        SQLUSMALLINT u16 = 99;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_USHORT, &u16, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        SQLSCHAR i8 = 99;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_STINYINT, &i8, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        SQLCHAR u8 = 99;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_UTINYINT, &u8, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        SQLBIGINT i64 = 99;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_SBIGINT, &i64, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        EXPECT_EQ(0, i64);
        SQLUBIGINT u64 = 99;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_UBIGINT, &u64, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        SQLREAL f = 99;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_FLOAT, &f, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        SQLDOUBLE d = 99;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_DOUBLE, &d, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        EXPECT_EQ(0.0, d);
        SQL_DATE_STRUCT date;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_TYPE_DATE, &date, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        SQL_TIMESTAMP_STRUCT ts;
        EXPECT_EQ(SQL_SUCCESS, get(col, SQL_C_TYPE_TIMESTAMP, &ts, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        SQLRETURN rc;
        other(col);
        text(col, 64, &ind, &rc);
        EXPECT_EQ(SQL_SUCCESS, rc);
        EXPECT_EQ(SQL_NULL_DATA, ind);
    }
    // Without an indicator a NULL cannot be reported.
    SQLINTEGER i32 = 0;
    other(C_INT);
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, C_INT, SQL_C_SLONG, &i32, sizeof i32, nullptr));
    EXPECT_EQ("22002", state());
    char buf[16];
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, C_STRING, SQL_C_CHAR, buf, sizeof buf, nullptr));
    // A cell that is not NULL needs no indicator.
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(st->h, ID, SQL_C_SLONG, &i32, sizeof i32, nullptr));
    EXPECT_EQ(3, i32);
}

TEST_F(Fetch, CutTextReportsTheFullLength) {
    row(1);
    SQLLEN ind = 0;
    SQLRETURN rc;
    // A BIGINT as text into 6 bytes: five digits, the whole length, with info.
    EXPECT_EQ("92233", text(C_BIGINT, 6, &ind, &rc));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, rc);
    EXPECT_EQ(19, ind);
    Statement fresh(*conn);
    ASSERT_EQ(SQL_SUCCESS, fresh.exec("select c_string, c_timestamp from all_types where id = 2"));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(fresh.h));
    char buf[16];
    memset(buf, 0x5A, sizeof buf);
    // "Müller" is seven bytes in UTF-8.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(fresh.h, 1, SQL_C_CHAR, buf, 3, &ind));
    EXPECT_STREQ("M\xC3", buf);
    EXPECT_EQ(7, ind);
    EXPECT_EQ(0x5A, buf[3]);
    // Exactly the text and its NUL fits.
    Statement again(*conn);
    ASSERT_EQ(SQL_SUCCESS, again.exec("select c_char from all_types where id = 1"));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(again.h));
    memset(buf, 0x5A, sizeof buf);
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(again.h, 1, SQL_C_CHAR, buf, 4, &ind));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(3, ind);
}

// BufferLength 0 asks how long a text is: nothing is written, the whole
// length comes back with 01004 (a NULL: SQL_NULL_DATA), and the next call
// with a buffer still gets the value from its start.
TEST_F(Fetch, EmptyTextBufferAsksForTheLength) {
    const struct {
        int row;
        SQLUSMALLINT col;
        const char* value; // nullptr: NULL
    } rows[] = {
        {1, C_STRING, "hello"},
        {1, C_TIMESTAMP, "2024-01-15 10:30:45"},
        {1, C_BIGINT, "9223372036854775807"},
        {2, C_VARCHAR, "\xE6\x9D\xB1\xE4\xBA\xAC"},
        {3, C_STRING, nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.col);
        row(r.row);
        other(r.col);
        SQLLEN ind = -99;
        SQLRETURN rc;
        // Asked twice: the question moves nothing.
        for (int ask = 0; ask < (r.value != nullptr ? 2 : 1); ++ask) {
            EXPECT_EQ("", text(r.col, 0, &ind, &rc));
            if (r.value == nullptr) {
                EXPECT_EQ(SQL_SUCCESS, rc);
                EXPECT_EQ(SQL_NULL_DATA, ind);
            } else {
                EXPECT_EQ(SQL_SUCCESS_WITH_INFO, rc);
                EXPECT_EQ("01004", state());
                EXPECT_EQ(static_cast<SQLLEN>(strlen(r.value)), ind);
            }
        }
        if (r.value != nullptr) {
            EXPECT_EQ(r.value, text(r.col));
        }
        char buf[64];
        EXPECT_EQ(SQL_NO_DATA, SQLGetData(st->h, r.col, SQL_C_CHAR, buf, sizeof buf, &ind));
    }

    // Between parts it gives what is left.
    Statement parts(*conn);
    ASSERT_EQ(SQL_SUCCESS, parts.exec("select c_string from all_types where id = 1"));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(parts.h));
    char buf[8];
    SQLLEN ind = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(parts.h, 1, SQL_C_CHAR, buf, 3, &ind));
    EXPECT_STREQ("he", buf);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(parts.h, 1, SQL_C_CHAR, buf, 0, &ind));
    EXPECT_EQ(3, ind);
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(parts.h, 1, SQL_C_CHAR, buf, sizeof buf, &ind));
    EXPECT_STREQ("llo", buf);

    // A bound column of length 0 gets its length only.
    Statement bound(*conn);
    ASSERT_EQ(SQL_SUCCESS,
              bound.exec("select c_string, c_char from all_types where id <= 3 order by id"));
    char none[4];
    memset(none, 0x5A, sizeof none);
    SQLLEN lens[2] = {0, 0};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(bound.h, 1, SQL_C_CHAR, none, 0, &lens[0]));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(bound.h, 2, SQL_C_CHAR, none + 1, 0, &lens[1]));
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(bound.h));
    EXPECT_EQ("01004", diag(SQL_HANDLE_STMT, bound.h).state);
    EXPECT_EQ(5, lens[0]);
    EXPECT_EQ(3, lens[1]);
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(bound.h));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(bound.h)); // NULLs: nothing to cut
    EXPECT_EQ(SQL_NULL_DATA, lens[0]);
    EXPECT_EQ(SQL_NULL_DATA, lens[1]);
    for (char c : none)
        EXPECT_EQ(0x5A, c);
}

TEST_F(Fetch, UnsupportedTargetTypesAreRefused) {
    row(1);
    char buf[64];
    SQLLEN ind = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, C_BOOLEAN, SQL_C_BIT, buf, sizeof buf, &ind));
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, C_STRING, SQL_C_BINARY, buf, sizeof buf, &ind));
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, C_DECIMAL, SQL_C_NUMERIC, buf, sizeof buf, &ind));
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, C_STRING, SQL_C_WCHAR, buf, sizeof buf, &ind));
    Diag d = diag(SQL_HANDLE_STMT, st->h);
    EXPECT_EQ("HYC00", d.state);
    EXPECT_EQ("SQL_ERROR Unknown target type -8", d.text);
    // Refusals leave the row readable.
    EXPECT_EQ("true", text(C_BOOLEAN));
}

TEST_F(Fetch, ColumnNumbersOutsideTheResultAreRefused) {
    char buf[64];
    SQLLEN ind = 0;
    // Before the first fetch there is no current row.
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, ID, SQL_C_CHAR, buf, sizeof buf, &ind));
    EXPECT_EQ("24000", state());
    row(1);
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, 0, SQL_C_CHAR, buf, sizeof buf, &ind));
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, 15, SQL_C_CHAR, buf, sizeof buf, &ind));
    Diag d = diag(SQL_HANDLE_STMT, st->h);
    EXPECT_EQ("07009", d.state);
    EXPECT_EQ("Column out of bounds: 15", d.text);
    EXPECT_EQ(SQL_ERROR, SQLBindCol(st->h, 15, SQL_C_CHAR, buf, sizeof buf, &ind));
    EXPECT_EQ("07009", state());
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, 15, SQL_C_SLONG, buf, sizeof buf, &ind));
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, 200, SQL_C_DOUBLE, buf, sizeof buf, &ind));
    // A negative text buffer length is refused too.
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, C_STRING, SQL_C_CHAR, buf, -1, &ind));
    EXPECT_EQ("HY090", state());
    EXPECT_EQ("1", text(ID));
}

TEST_F(Fetch, BoundColumnsOfEveryType) {
    SQLINTEGER id = 0, cInt = 0;
    SQLSMALLINT cBool = 0, cSmall = 0;
    SQLSCHAR cTiny = 0;
    SQLBIGINT cBig = 0;
    SQLREAL cFloat = 0;
    SQLDOUBLE cDouble = 0, cDecimal = 0;
    char cString[32], cVarchar[32], cChar[2];
    SQL_DATE_STRUCT cDate;
    SQL_TIMESTAMP_STRUCT cTs;
    SQLLEN ind[15] = {0};
    struct Binding {
        SQLUSMALLINT col;
        SQLSMALLINT type;
        void* target;
        SQLLEN len;
    } bindings[] = {
        {ID, SQL_C_SLONG, &id, 0},
        {C_BOOLEAN, SQL_C_SSHORT, &cBool, 0},
        {C_TINYINT, SQL_C_STINYINT, &cTiny, 0},
        {C_SMALLINT, SQL_C_SSHORT, &cSmall, 0},
        {C_INT, SQL_C_SLONG, &cInt, 0},
        {C_BIGINT, SQL_C_SBIGINT, &cBig, 0},
        {C_FLOAT, SQL_C_FLOAT, &cFloat, 0},
        {C_DOUBLE, SQL_C_DOUBLE, &cDouble, 0},
        {C_DECIMAL, SQL_C_DOUBLE, &cDecimal, 0},
        {C_STRING, SQL_C_CHAR, cString, sizeof cString},
        {C_VARCHAR, SQL_C_CHAR, cVarchar, sizeof cVarchar},
        {C_CHAR, SQL_C_CHAR, cChar, sizeof cChar}, // cut to one character
        {C_DATE, SQL_C_TYPE_DATE, &cDate, sizeof cDate},
        {C_TIMESTAMP, SQL_C_TYPE_TIMESTAMP, &cTs, sizeof cTs},
    };
    for (const Binding& b : bindings)
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st->h, b.col, b.type, b.target, b.len, &ind[b.col]))
            << "column " << b.col;

    // Row 1: one column is cut, so the fetch reports info, and every column is filled.
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(st->h));
    EXPECT_EQ(1, id);
    EXPECT_EQ(1, cBool);
    EXPECT_EQ(127, cTiny);
    EXPECT_EQ(32767, cSmall);
    EXPECT_EQ(2147483647, cInt);
    EXPECT_EQ(std::numeric_limits<SQLBIGINT>::max(), cBig);
    EXPECT_EQ(1.5f, cFloat);
    EXPECT_EQ(3.141592653589793, cDouble);
    EXPECT_EQ(12.5, cDecimal);
    EXPECT_STREQ("hello", cString);
    EXPECT_EQ(5, ind[C_STRING]);
    EXPECT_STREQ("varchar text", cVarchar);
    EXPECT_STREQ("a", cChar);
    EXPECT_EQ(3, ind[C_CHAR]);
    EXPECT_EQ(2024, cDate.year);
    EXPECT_EQ(15, cDate.day);
    EXPECT_EQ(10, cTs.hour);
    EXPECT_EQ(16, ind[C_TIMESTAMP]);

    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(st->h));
    EXPECT_EQ(2, id);
    EXPECT_EQ(0, cBool);
    EXPECT_EQ(-128, cTiny);
    EXPECT_EQ(std::numeric_limits<SQLBIGINT>::min(), cBig);
    EXPECT_STREQ("M\xC3\xBCller", cString);
    EXPECT_EQ(7, ind[C_STRING]);
    EXPECT_EQ(1970, cTs.year);

    // Row 3: every cell but the id is NULL, nothing is cut.
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ(3, id);
    EXPECT_EQ(4, ind[ID]);
    for (SQLUSMALLINT col : kAllCols) {
        if (col == ID) continue;
        EXPECT_EQ(SQL_NULL_DATA, ind[col]) << "column " << col;
    }

    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st->h));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st->h));
}

TEST_F(Fetch, BindingsEndWithTheResult) {
    SQLINTEGER id = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st->h, ID, SQL_C_SLONG, &id, 0, &ind));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ(1, id);
    // A new execution drops the bindings: the variable is left alone.
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    E2E_EXEC(*st, "select id from all_types where id = 2");
    id = -7;
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ(-7, id);
    EXPECT_EQ("2", getText(st->h, 1));
    // Bad bindings are refused.
    EXPECT_EQ(SQL_ERROR, SQLBindCol(st->h, 2, SQL_C_SLONG, &id, 0, &ind));
    EXPECT_EQ(SQL_ERROR, SQLBindCol(st->h, 0, SQL_C_SLONG, &id, 0, &ind));
}

// The cursor is forward-only: every direction but SQL_FETCH_NEXT is refused
// and leaves it where it was. The rows fetched reach both counters.
TEST_F(Fetch, ExtendedFetchMovesOneRowForwardOnly) {
    SQLULEN fetched = 99, count = 99;
    SQLUSMALLINT status[1] = {99};
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st->h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(st->h, SQL_FETCH_NEXT, 0, &count, status));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(1u, fetched);
    EXPECT_EQ(SQL_ROW_SUCCESS, status[0]);
    EXPECT_EQ("1", text(ID));
    for (SQLUSMALLINT way : {SQL_FETCH_FIRST, SQL_FETCH_LAST, SQL_FETCH_PRIOR, SQL_FETCH_ABSOLUTE,
                             SQL_FETCH_RELATIVE, SQL_FETCH_BOOKMARK}) {
        count = fetched = 99;
        EXPECT_EQ(SQL_ERROR, SQLExtendedFetch(st->h, way, way == SQL_FETCH_RELATIVE ? -1 : 100,
                                              &count, status))
            << way;
        EXPECT_EQ("HY106", state()) << way;
        EXPECT_EQ(0u, count) << way;
        EXPECT_EQ(0u, fetched) << way;
    }
    ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(st->h, SQL_FETCH_NEXT, 0, &count, status));
    EXPECT_EQ("2", text(ID));
    EXPECT_EQ(SQL_SUCCESS, SQLExtendedFetch(st->h, SQL_FETCH_NEXT, 0, &count, status));
    fetched = count = 99;
    EXPECT_EQ(SQL_NO_DATA, SQLExtendedFetch(st->h, SQL_FETCH_NEXT, 0, &count, status));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0u, fetched);
    // SQLFetch writes it too, until a NULL pointer stops it.
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    E2E_EXEC(*st, "select id from all_types order by id");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ(1u, fetched);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st->h, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0));
    while (SQLFetch(st->h) == SQL_SUCCESS) {
    }
    EXPECT_EQ(1u, fetched);
}

// The string 'null' is a text through every C type, read or bound; only a
// real NULL is NULL.
TEST(FetchNullText, OnlyARealNullIsNull) {
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(testProject()));
    const struct {
        SQLUSMALLINT col; // 1: the text 'null', 2: NULL
        SQLSMALLINT cType;
        SQLRETURN rc;
        const char* state; // for SQL_ERROR
        SQLLEN ind;        // otherwise
        const char* text;  // SQL_C_CHAR only
    } cases[] = {
        {1, SQL_C_CHAR, SQL_SUCCESS, "", 4, "null"},
        {2, SQL_C_CHAR, SQL_SUCCESS, "", SQL_NULL_DATA, "null"},
        {1, SQL_C_SLONG, SQL_ERROR, "22018", 0, ""},
        {1, SQL_C_SBIGINT, SQL_ERROR, "22018", 0, ""},
        {1, SQL_C_DOUBLE, SQL_ERROR, "22018", 0, ""},
        {1, SQL_C_TYPE_DATE, SQL_ERROR, "22007", 0, ""},
        {1, SQL_C_TYPE_TIMESTAMP, SQL_ERROR, "22007", 0, ""},
        {2, SQL_C_SLONG, SQL_SUCCESS, "", SQL_NULL_DATA, ""},
        {2, SQL_C_DOUBLE, SQL_SUCCESS, "", SQL_NULL_DATA, ""},
        {2, SQL_C_TYPE_DATE, SQL_SUCCESS, "", SQL_NULL_DATA, ""},
    };
    for (bool bound : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(bound ? "bound" : "read") + ", column " +
                         std::to_string(c.col) + ", C type " + std::to_string(c.cType));
            Statement st(conn);
            E2E_EXEC(st, "select 'null' as s, null as n");
            char buf[64];
            memset(buf, 0x5A, sizeof buf);
            SQLLEN ind = -12345;
            SQLRETURN rc;
            if (bound) {
                ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st.h, c.col, c.cType, buf, sizeof buf, &ind));
                rc = SQLFetch(st.h);
            } else {
                ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
                rc = SQLGetData(st.h, c.col, c.cType, buf, sizeof buf, &ind);
            }
            EXPECT_EQ(c.rc, rc);
            if (c.rc == SQL_ERROR) {
                EXPECT_EQ(c.state, diag(SQL_HANDLE_STMT, st.h).state);
                continue;
            }
            EXPECT_EQ(c.ind, ind);
            if (c.cType == SQL_C_CHAR) {
                EXPECT_STREQ(c.text, buf);
            }
        }
    }
}

// With a data source in the ANSI code page, text cells reach the
// application in the code page that the locale names.
TEST(FetchCharset, TextInTheLocalesCodePage) {
    setenv("LC_ALL", "de_DE.ISO-8859-1", 1);
    Connection conn;
    std::string cs = akskConnStr(testProject());
    cs.replace(cs.find("CHARSET=UTF-8"), 13, "CHARSET=ANSI");
    E2E_CONNECT(conn, cs);
    Statement st(conn);
    E2E_EXEC(st, "select c_string, c_varchar, id from all_types where id = 2");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
    EXPECT_EQ("M\xFCller", getText(st.h, 1));
    // Characters the code page lacks become its default character.
    EXPECT_EQ("??", getText(st.h, 2));
    // Numbers are not text: they are not converted.
    EXPECT_EQ("2", getText(st.h, 3));

    // Statement text goes the other way: Latin-1 in, UTF-8 to the service.
    Statement latin(conn);
    E2E_EXEC(latin, "select name from customers where city = 'M\xFCnchen'");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(latin.h));
    EXPECT_EQ("Anna M\xFCller", getText(latin.h, 1));
    unsetenv("LC_ALL");
}
