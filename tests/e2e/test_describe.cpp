// SQLNumResultCols, SQLDescribeCol and SQLColAttribute over a result with
// every service type.
#include "OdbcHarness.h"

#include <cstring>

using namespace e2e;

namespace {

struct Expected {
    const char* name;
    const char* typeName; // as the service names it
    SQLSMALLINT sqlType;
    SQLLEN octets;
    SQLLEN display;
};

// db1.all_types as the emulator describes its result.
const Expected kColumns[] = {
    {"id", "INT", SQL_INTEGER, 4, 11},
    {"c_boolean", "BOOLEAN", SQL_SMALLINT, 1, 1},
    {"c_tinyint", "TINYINT", SQL_TINYINT, 1, 4},
    {"c_smallint", "SMALLINT", SQL_SMALLINT, 2, 6},
    {"c_int", "INT", SQL_INTEGER, 4, 11},
    {"c_bigint", "BIGINT", SQL_BIGINT, 8, 20},
    {"c_float", "FLOAT", SQL_FLOAT, 4, 16},
    {"c_double", "DOUBLE", SQL_DOUBLE, 8, 24},
    {"c_decimal", "DECIMAL(10,2)", SQL_DECIMAL, 8, 24},
    {"c_string", "STRING", SQL_VARCHAR, 334, 334},
    {"c_varchar", "VARCHAR", SQL_VARCHAR, 334, 334},
    {"c_char", "CHAR", SQL_VARCHAR, 334, 334},
    {"c_date", "DATE", SQL_TYPE_DATE, 334, 334},
    {"c_timestamp", "TIMESTAMP", SQL_TYPE_TIMESTAMP, 334, 334},
};

class Describe : public ::testing::Test {
  protected:
    void SetUp() override {
        E2E_CONNECT(conn, akskConnStr(testProject()));
        st = std::make_unique<Statement>(conn);
        E2E_EXEC(*st, "select * from all_types");
    }
    SQLLEN numAttr(SQLUSMALLINT col, SQLUSMALLINT field) {
        SQLLEN v = -999;
        SQLRETURN rc = SQLColAttribute(st->h, col, field, nullptr, 0, nullptr, &v);
        EXPECT_EQ(SQL_SUCCESS, rc) << "column " << col << " field " << field;
        return v;
    }
    std::string textAttr(SQLUSMALLINT col, SQLUSMALLINT field) {
        char buf[256];
        memset(buf, 0x5A, sizeof buf);
        SQLSMALLINT len = -1;
        SQLRETURN rc = SQLColAttribute(st->h, col, field, buf, sizeof buf, &len, nullptr);
        EXPECT_EQ(SQL_SUCCESS, rc) << "column " << col << " field " << field;
        EXPECT_EQ(static_cast<SQLSMALLINT>(strlen(buf)), len)
            << "column " << col << " field " << field;
        return buf;
    }
    Connection conn;
    std::unique_ptr<Statement> st;
};

} // namespace

TEST_F(Describe, DescribeColEveryType) {
    ASSERT_EQ(14, st->numCols());
    for (SQLUSMALLINT c = 1; c <= 14; ++c) {
        const Expected& e = kColumns[c - 1];
        SCOPED_TRACE(e.name);
        SQLCHAR name[64];
        SQLSMALLINT nameLen = -1, type = -1, digits = -1, nullable = -1;
        SQLULEN size = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(st->h, c, name, sizeof name, &nameLen, &type, &size,
                                              &digits, &nullable));
        EXPECT_STREQ(e.name, (char*)name);
        EXPECT_EQ(static_cast<SQLSMALLINT>(strlen(e.name)), nameLen);
        EXPECT_EQ(e.sqlType, type);
        EXPECT_EQ(static_cast<SQLULEN>(e.octets), size);
        EXPECT_EQ(4, digits);
        EXPECT_EQ(SQL_NULLABLE, nullable);
    }
}

TEST_F(Describe, ColAttributeEveryType) {
    for (SQLUSMALLINT c = 1; c <= 14; ++c) {
        const Expected& e = kColumns[c - 1];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.sqlType, numAttr(c, SQL_DESC_CONCISE_TYPE));
        EXPECT_EQ(e.sqlType, numAttr(c, SQL_DESC_TYPE));
        EXPECT_EQ(e.display, numAttr(c, SQL_DESC_DISPLAY_SIZE));
        EXPECT_EQ(e.octets, numAttr(c, SQL_DESC_OCTET_LENGTH));
        EXPECT_EQ(e.octets, numAttr(c, SQL_DESC_LENGTH));
        EXPECT_EQ(4, numAttr(c, SQL_DESC_PRECISION));
        EXPECT_EQ(4, numAttr(c, SQL_DESC_SCALE));
        EXPECT_EQ(SQL_NULLABLE, numAttr(c, SQL_DESC_NULLABLE));
        EXPECT_EQ(SQL_SEARCHABLE, numAttr(c, SQL_DESC_SEARCHABLE));
        EXPECT_EQ(SQL_FALSE, numAttr(c, SQL_DESC_UNSIGNED));
        EXPECT_EQ(SQL_ATTR_READONLY, numAttr(c, SQL_DESC_UPDATABLE));
        EXPECT_EQ(SQL_FALSE, numAttr(c, SQL_DESC_AUTO_UNIQUE_VALUE));
        EXPECT_EQ(SQL_FALSE, numAttr(c, SQL_DESC_CASE_SENSITIVE));
        EXPECT_EQ(SQL_FALSE, numAttr(c, SQL_DESC_FIXED_PREC_SCALE));
        EXPECT_EQ(SQL_NAMED, numAttr(c, SQL_DESC_UNNAMED));
        EXPECT_EQ(14, numAttr(c, SQL_DESC_COUNT));
        EXPECT_EQ(e.typeName, textAttr(c, SQL_DESC_TYPE_NAME));
        EXPECT_EQ(e.name, textAttr(c, SQL_DESC_NAME));
        EXPECT_EQ(e.name, textAttr(c, SQL_DESC_LABEL));
        EXPECT_EQ(e.name, textAttr(c, SQL_DESC_BASE_COLUMN_NAME));
        EXPECT_EQ("", textAttr(c, SQL_DESC_TABLE_NAME));
        EXPECT_EQ("", textAttr(c, SQL_DESC_BASE_TABLE_NAME));
        EXPECT_EQ("", textAttr(c, SQL_DESC_SCHEMA_NAME));
        EXPECT_EQ("", textAttr(c, SQL_DESC_CATALOG_NAME));
        EXPECT_EQ("", textAttr(c, SQL_DESC_LITERAL_PREFIX));
    }
}

TEST_F(Describe, CutNamesAndBadColumns) {
    // A four-byte buffer takes three characters of "c_boolean" and a NUL.
    SQLCHAR name[8];
    memset(name, 0x5A, sizeof name);
    SQLSMALLINT nameLen = -1;
    SQLRETURN rc = SQLDescribeCol(st->h, 2, name, 4, &nameLen, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
    EXPECT_STREQ("c_b", (char*)name);
    EXPECT_EQ(0x5A, name[4]);
    EXPECT_EQ(9, nameLen);

    char text[8];
    memset(text, 0x5A, sizeof text);
    SQLSMALLINT len = -1;
    rc = SQLColAttribute(st->h, 14, SQL_DESC_TYPE_NAME, text, 5, &len, nullptr);
    EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
    EXPECT_STREQ("TIME", text);
    EXPECT_EQ(0x5A, text[5]);
    EXPECT_EQ(9, len);

    EXPECT_EQ(SQL_ERROR, SQLDescribeCol(st->h, 15, name, sizeof name, &nameLen, nullptr, nullptr,
                                        nullptr, nullptr));
    SQLLEN v = 0;
    EXPECT_EQ(SQL_ERROR, SQLColAttribute(st->h, 15, SQL_DESC_TYPE, nullptr, 0, nullptr, &v));
    EXPECT_EQ(SQL_ERROR,
              SQLColAttribute(st->h, 1, SQL_DESC_MINIMUM_SCALE, nullptr, 0, nullptr, &v));
}

TEST_F(Describe, ResultWithoutColumns) {
    Statement set(conn);
    ASSERT_EQ(SQL_SUCCESS, set.exec("set vkl.sql.queue.priority=5")) << set.diagText();
    EXPECT_EQ(0, set.numCols());
    SQLCHAR name[16];
    EXPECT_EQ(SQL_ERROR, SQLDescribeCol(set.h, 1, name, sizeof name, nullptr, nullptr, nullptr,
                                        nullptr, nullptr));
}

TEST_F(Describe, ExpressionColumnsTakeTheirTypeFromTheService) {
    Statement expr(conn);
    E2E_EXEC(expr, "select 1 as small, 10000000000 as big, 2.5 as ratio, 'x' as word");
    ASSERT_EQ(4, expr.numCols());
    const SQLSMALLINT types[] = {SQL_INTEGER, SQL_BIGINT, SQL_DOUBLE, SQL_VARCHAR};
    const char* names[] = {"small", "big", "ratio", "word"};
    for (SQLUSMALLINT c = 1; c <= 4; ++c) {
        SQLCHAR name[32];
        SQLSMALLINT type = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(expr.h, c, name, sizeof name, nullptr, &type, nullptr,
                                              nullptr, nullptr));
        EXPECT_STREQ(names[c - 1], (char*)name);
        EXPECT_EQ(types[c - 1], type) << names[c - 1];
    }
}
