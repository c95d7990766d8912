// Type codes, type sizes, the service type table, the data-source keys, and
// the conversion of cells to C types.
#include <limits.h>
#include <string.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CellConvert.h"
#include "ClientTestSupport.h"
#include "ConnProperty.h"
#include "NavixResultSet.h"
#include "RestMessage.h"
#include "navixclient.h"

TEST(ClientTypes, ServiceTypeNamesMapToCodes) {
    struct {
        const char* name;
        int code;
    } cases[] = {
        {"INT", 4},
        {"int", 4},
        {"STRING", 8},
        {"double", 7},
        {"DECIMAL", 17},
        {"Decimal(10,2)", 17},
        {"decimal(38, 0)", 17},
        {"BOOLEAN", 1},
        {"short", 3},
        {"SMALLINT", 3},
        {"BigInt", 5},
        {"LONG", 5},
        {"timestamp", 11},
        {"CHAR", 16},
        {"VarChar", 15},
        {"DATE", 9},
        {"TINYINT", 2},
        {"Float", 6},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, clientTypeCodeOf(c.name)) << c.name;
    }
}

TEST(ClientTypes, DecoratedOrUnknownNamesGetTheUnknownCode) {
    for (const char* name :
         {"integer", "varchar(20)", "char(3)", "", "INT ", "array<int>", "map"}) {
        ClientTypeCode code = clientTypeCodeOf(name);
        EXPECT_EQ(CLIENT_TYPE_UNKNOWN, code) << name;
    }
    // The unknown code is none of the codes of the table.
    for (int known : {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 15, 16, 17}) {
        EXPECT_NE(known, CLIENT_TYPE_UNKNOWN);
    }
}

TEST(ClientTypes, ColumnDescKeepsNameAndTypeText) {
    ColumnDesc d("price", "decimal(10,2)");
    EXPECT_EQ("price", d.name);
    EXPECT_EQ("decimal(10,2)", d.typeName);
    EXPECT_EQ(CLIENT_TYPE_DECIMAL, d.typeCode);
}

TEST(ClientTypes, StrcasecmpAscii) {
    EXPECT_EQ(0, strcasecmpAscii("Timestamp", "TIMESTAMP"));
    EXPECT_EQ(0, strcasecmpAscii("", ""));
    EXPECT_LT(strcasecmpAscii("INT", "INTEGER"), 0);
    EXPECT_GT(strcasecmpAscii("INTEGER", "int"), 0);
    EXPECT_EQ('b' - 'a', strcasecmpAscii("B", "a"));
    // Bytes compare unsigned; letters beyond ASCII are not folded.
    EXPECT_GT(strcasecmpAscii("\xC9", "a"), 0);
    EXPECT_NE(0, strcasecmpAscii("\xC9", "\xE9"));
}

TEST(ClientTypes, DisplaySizeAndOctetLength) {
    struct {
        int code, display, octet;
    } cases[] = {
        {1, 1, 1},      {2, 4, 1},           {3, 6, 2},        {4, 11, 4},    {5, 20, 8},
        {6, 16, 4},     {7, 24, 8},          {17, 24, 8},      {8, 334, 334}, {9, 334, 334},
        {11, 334, 334}, {15, 334, 334},      {16, 334, 334},   {0, 334, 334}, {10, 334, 334},
        {-1, 334, 334}, {INT_MIN, 334, 334}, {1000, 334, 334},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.display, DBGetTypeDisplaySize(c.code)) << c.code;
        EXPECT_EQ(c.octet, DBGetTypeOctetLength(c.code)) << c.code;
    }
}

TEST(ServiceTypeTable, LookupIsExactAndFallsBackToUnknow) {
    EXPECT_STREQ("SHORT", findServiceType("SHORT").typeName);
    EXPECT_STREQ("UNKNOW", findServiceType("short").typeName);
    EXPECT_STREQ("UNKNOW", findServiceType("VARCHAR(20)").typeName);
    EXPECT_STREQ("UNKNOW", findServiceType("").typeName);
    EXPECT_STREQ("UNKNOW", findServiceType("UNKNOW").typeName);
    EXPECT_EQ(&serviceTypeTable[3], &findServiceType("DECIMAL"));
}

TEST(CatalogColumns, StaticColumnTables) {
    struct {
        const char* name;
        const char* type;
        int code;
    } cols[] = {
        {"TABLE_CAT", "STRING", 8},          {"TABLE_SCHEM", "STRING", 8},
        {"TABLE_NAME", "STRING", 8},         {"COLUMN_NAME", "STRING", 8},
        {"DATA_TYPE", "SMALLINT", 3},        {"TYPE_NAME", "STRING", 8},
        {"COLUMN_SIZE", "INT", 4},           {"BUFFER_LENGTH", "INT", 4},
        {"DECIMAL_DIGITS", "SMALLINT", 3},   {"NUM_PREC_RADIX", "SMALLINT", 3},
        {"NULLABLE", "SMALLINT", 3},         {"REMARKS", "STRING", 8},
        {"COLUMN_DEF", "STRING", 8},         {"SQL_DATA_TYPE", "SMALLINT", 3},
        {"SQL_DATETIME_SUB", "SMALLINT", 3}, {"CHAR_OCTET_LENGTH", "INT", 4},
        {"ORDINAL_POSITION", "INT", 4},      {"IS_NULLABLE", "STRING", 8},
    };
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(cols[i].name, columnResultColumns[i].name) << i;
        EXPECT_EQ(cols[i].type, columnResultColumns[i].typeName) << i;
        EXPECT_EQ(cols[i].code, columnResultColumns[i].typeCode) << i;
    }
    struct {
        const char* name;
        const char* type;
        int code;
    } info[] = {
        {"TYPE_NAME", "STRING", 8},          {"DATA_TYPE", "SMALLINT", 3},
        {"COLUMN_SIZE", "INT", 4},           {"LITERAL_PREFIX", "STRING", 8},
        {"LITERAL_SUFFIX", "STRING", 8},     {"CREATE_PARAMS", "STRING", 8},
        {"NULLABLE", "SMALLINT", 3},         {"CASE_SENSITIVE", "SMALLINT", 3},
        {"SEARCHABLE", "SMALLINT", 3},       {"UNSIGNED_ATTRIBUTE", "SMALLINT", 3},
        {"FIXED_PREC_SCALE", "SMALLINT", 3}, {"AUTO_UNIQUE_VALUE", "SMALLINT", 3},
        {"LOCAL_TYPE_NAME", "STRING", 8},    {"MINIMUM_SCALE", "SMALLINT", 3},
        {"MAXIMUM_SCALE", "SMALLINT", 3},    {"SQL_DATA_TYPE", "SMALLINT", 3},
        {"SQL_DATETIME_SUB", "SMALLINT", 3}, {"NUM_PREC_RADIX", "INT", 4},
        {"INTERVAL_PRECISION", "INT", 4},
    };
    for (int i = 0; i < 19; ++i) {
        EXPECT_EQ(info[i].name, typeInfoResultColumns[i].name) << i;
        EXPECT_EQ(info[i].type, typeInfoResultColumns[i].typeName) << i;
        EXPECT_EQ(info[i].code, typeInfoResultColumns[i].typeCode) << i;
    }
}

// ---------------------------------------------------------------------------
// Data-source keys and records

TEST(DataSourceKeys, TableInResolutionOrder) {
    struct {
        const char* name;
        int required;
        const char* def;
    } keys[] = {
        {"DRIVER", 1, nullptr},
        {"DSN", 1, nullptr},
        {"HOST", 0, ""},
        {"PORT", 0, ""},
        {"DATABASE", 0, ""},
        {"PROJECTID", 1, nullptr},
        {"QUEUENAME", 0, "default"},
        {"AK", 0, ""},
        {"SK", 0, ""},
        {"REGION", 1, nullptr},
        {"AUTHMODE", 1, nullptr},
        {"SVCNAME", 0, "VKL"},
        {"PROXYHOST", 0, ""},
        {"PROXYPORT", 0, ""},
        {"USEPROXY", 0, "0"},
        {"ACCOUNT", 0, ""},
        {"USER", 0, ""},
        {"PASSWORD", 0, ""},
        {"CHARSET", 0, "ANSI"},
        {"JOBTIMEOUT", 0, "300"},
        {"SSLCA", 0, ""},
    };
    ASSERT_EQ(21, DSKEY_COUNT);
    for (int i = 0; i < 21; ++i) {
        EXPECT_STREQ(keys[i].name, dataSourceKeys[i].name) << i;
        EXPECT_EQ(keys[i].required, dataSourceKeys[i].required) << i;
        if (keys[i].def == nullptr) {
            EXPECT_EQ(nullptr, dataSourceKeys[i].defaultValue) << i;
        } else {
            ASSERT_NE(nullptr, dataSourceKeys[i].defaultValue) << i;
            EXPECT_STREQ(keys[i].def, dataSourceKeys[i].defaultValue) << i;
        }
    }
}

TEST(DataSourceKeys, TextFieldsOfTheRecord) {
    ConnProperty p;
    memset(&p, 0, sizeof(p));
    EXPECT_EQ(p.DRIVER, connPropertyTextField(&p, DSKEY_DRIVER));
    EXPECT_EQ(p.DSN, connPropertyTextField(&p, DSKEY_DSN));
    EXPECT_EQ(p.HOST, connPropertyTextField(&p, DSKEY_HOST));
    EXPECT_EQ(p.DATABASE, connPropertyTextField(&p, DSKEY_DATABASE));
    EXPECT_EQ(p.QUEUENAME, connPropertyTextField(&p, DSKEY_QUEUENAME));
    EXPECT_EQ(p.SK, connPropertyTextField(&p, DSKEY_SK));
    EXPECT_EQ(p.REGION, connPropertyTextField(&p, DSKEY_REGION));
    EXPECT_EQ(p.USEPROXY, connPropertyTextField(&p, DSKEY_USEPROXY));
    EXPECT_EQ(p.PROXYPORT, connPropertyTextField(&p, DSKEY_PROXYPORT));
    EXPECT_EQ(p.PASSWORD, connPropertyTextField(&p, DSKEY_PASSWORD));
    EXPECT_EQ(p.SSLCA, connPropertyTextField(&p, DSKEY_SSLCA));
    EXPECT_EQ(nullptr, connPropertyTextField(&p, DSKEY_AUTHMODE));
    EXPECT_EQ(nullptr, connPropertyTextField(&p, DSKEY_CHARSET));
    EXPECT_EQ(nullptr, connPropertyTextField(&p, DSKEY_JOBTIMEOUT));
    EXPECT_EQ(nullptr, connPropertyTextField(&p, -1));
    EXPECT_EQ(nullptr, connPropertyTextField(&p, DSKEY_COUNT));
    EXPECT_EQ(nullptr, connPropertyTextField(nullptr, DSKEY_DSN));
}

TEST(DataSourceKeys, DecimalValuesReadLikeAtoi) {
    EXPECT_EQ(1, connPropertyDecimal("1"));
    EXPECT_EQ(1, connPropertyDecimal("01"));
    EXPECT_EQ(42, connPropertyDecimal("  42abc"));
    EXPECT_EQ(-7, connPropertyDecimal("-7"));
    EXPECT_EQ(3, connPropertyDecimal("+3"));
    EXPECT_EQ(0, connPropertyDecimal("yes"));
    EXPECT_EQ(0, connPropertyDecimal(""));
    EXPECT_EQ(0, connPropertyDecimal(nullptr));
    EXPECT_EQ(INT_MAX, connPropertyDecimal("99999999999999999999"));
    EXPECT_EQ(INT_MIN, connPropertyDecimal("-99999999999999999999"));
}

TEST(DataSourceKeys, CharsetFlag) {
    EXPECT_EQ(0, connPropertyCharsetFlag("UTF-8"));
    EXPECT_EQ(0, connPropertyCharsetFlag("utf-8"));
    EXPECT_EQ(1, connPropertyCharsetFlag("UTF8"));
    EXPECT_EQ(1, connPropertyCharsetFlag("ANSI"));
    EXPECT_EQ(1, connPropertyCharsetFlag(""));
    EXPECT_EQ(1, connPropertyCharsetFlag(nullptr));
}

// ---------------------------------------------------------------------------
// Cells to C types

namespace {

// The size that a fixed-size C type writes.
size_t fixedSize(SQLSMALLINT cType) {
    switch (cType) {
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
        return 1;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
        return 2;
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_FLOAT:
        return 4;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_DOUBLE:
        return 8;
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
        return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
        return sizeof(SQL_TIMESTAMP_STRUCT);
    default:
        return 16;
    }
}

// The written value as text, so that a row can name it.
template <typename T> std::string num(const unsigned char* p) {
    T v;
    memcpy(&v, p, sizeof(v));
    return std::to_string(v);
}

std::string shown(SQLSMALLINT cType, const unsigned char* p, size_t size) {
    char buf[80];
    switch (cType) {
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
        return num<int8_t>(p);
    case SQL_C_UTINYINT:
        return num<uint8_t>(p);
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
        return num<int16_t>(p);
    case SQL_C_USHORT:
        return num<uint16_t>(p);
    case SQL_C_LONG:
    case SQL_C_SLONG:
        return num<int32_t>(p);
    case SQL_C_ULONG:
        return num<uint32_t>(p);
    case SQL_C_SBIGINT:
        return num<int64_t>(p);
    case SQL_C_UBIGINT:
        return num<uint64_t>(p);
    case SQL_C_FLOAT: {
        float f;
        memcpy(&f, p, 4);
        snprintf(buf, sizeof buf, "%.9g", f);
        return buf;
    }
    case SQL_C_DOUBLE: {
        double d;
        memcpy(&d, p, 8);
        snprintf(buf, sizeof buf, "%.17g", d);
        return buf;
    }
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: {
        SQL_DATE_STRUCT d;
        memcpy(&d, p, sizeof d);
        snprintf(buf, sizeof buf, "%d-%u-%u", d.year, d.month, d.day);
        return buf;
    }
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT t;
        memcpy(&t, p, sizeof t);
        snprintf(buf, sizeof buf, "%d-%u-%u %u:%u:%u.%u", t.year, t.month, t.day, t.hour, t.minute,
                 t.second, (unsigned)t.fraction);
        return buf;
    }
    default:
        return std::string((const char*)p, strnlen((const char*)p, size));
    }
}

struct ConvertRow {
    const char* cell;
    int32_t type; // client type code
    SQLSMALLINT cType;
    SQLLEN bufLen; // 0: the C type's own size (text: a zero length)
    CellStatus status;
    SQLLEN length = 0;      // length/indicator (when the status writes)
    const char* value = ""; // the written value, as shown()
};

const int32_t B = CLIENT_TYPE_BOOLEAN, I = CLIENT_TYPE_INT, BI = CLIENT_TYPE_BIGINT,
              D = CLIENT_TYPE_DOUBLE, S = CLIENT_TYPE_STRING, DT = CLIENT_TYPE_DATE,
              TS = CLIENT_TYPE_TIMESTAMP, DEC = CLIENT_TYPE_DECIMAL;
const SQLLEN NUL = SQL_NULL_DATA;
const char* const JSON_NULL = navixrest::kNullCell.data(); // the cell of a JSON null

const ConvertRow kRows[] = {
    // Integer widths at their range edges.
    {"127", I, SQL_C_STINYINT, 0, CELL_OK, 1, "127"},
    {"128", I, SQL_C_STINYINT, 0, CELL_OUT_OF_RANGE},
    {"-128", I, SQL_C_TINYINT, 0, CELL_OK, 1, "-128"},
    {"-129", I, SQL_C_TINYINT, 0, CELL_OUT_OF_RANGE},
    {"255", I, SQL_C_UTINYINT, 0, CELL_OK, 1, "255"},
    {"256", I, SQL_C_UTINYINT, 0, CELL_OUT_OF_RANGE},
    {"-1", I, SQL_C_UTINYINT, 0, CELL_OUT_OF_RANGE},
    {"32767", I, SQL_C_SSHORT, 0, CELL_OK, 2, "32767"},
    {"-32768", I, SQL_C_SHORT, 0, CELL_OK, 2, "-32768"},
    {"70000", I, SQL_C_SHORT, 0, CELL_OUT_OF_RANGE},
    {"-32769", I, SQL_C_SSHORT, 0, CELL_OUT_OF_RANGE},
    {"65535", I, SQL_C_USHORT, 0, CELL_OK, 2, "65535"},
    {"65536", I, SQL_C_USHORT, 0, CELL_OUT_OF_RANGE},
    {"-32768", I, SQL_C_USHORT, 0, CELL_OUT_OF_RANGE},
    {"2147483647", I, SQL_C_LONG, 0, CELL_OK, 4, "2147483647"},
    {"-2147483648", I, SQL_C_SLONG, 0, CELL_OK, 4, "-2147483648"},
    {"2147483648", BI, SQL_C_SLONG, 0, CELL_OUT_OF_RANGE},
    {"-2147483649", BI, SQL_C_LONG, 0, CELL_OUT_OF_RANGE},
    {"9223372036854775807", BI, SQL_C_LONG, 0, CELL_OUT_OF_RANGE},
    {"4294967295", BI, SQL_C_ULONG, 0, CELL_OK, 4, "4294967295"},
    {"4294967296", BI, SQL_C_ULONG, 0, CELL_OUT_OF_RANGE},
    {"9223372036854775807", BI, SQL_C_SBIGINT, 0, CELL_OK, 8, "9223372036854775807"},
    {"-9223372036854775808", BI, SQL_C_SBIGINT, 0, CELL_OK, 8, "-9223372036854775808"},
    {"9223372036854775808", BI, SQL_C_SBIGINT, 0, CELL_OUT_OF_RANGE},
    {"-9223372036854775809", BI, SQL_C_SBIGINT, 0, CELL_OUT_OF_RANGE},
    {"9007199254740993", BI, SQL_C_SBIGINT, 0, CELL_OK, 8, "9007199254740993"},
    {"18446744073709551615", BI, SQL_C_UBIGINT, 0, CELL_OK, 8, "18446744073709551615"},
    {"18446744073709551616", BI, SQL_C_UBIGINT, 0, CELL_OUT_OF_RANGE},
    {"-1", BI, SQL_C_UBIGINT, 0, CELL_OUT_OF_RANGE},
    {"99999999999999999999999", BI, SQL_C_UBIGINT, 0, CELL_OUT_OF_RANGE},
    // Only whole numbers count; blanks around them are allowed.
    {"abc", S, SQL_C_SLONG, 0, CELL_NOT_A_NUMBER},
    {"42abc", S, SQL_C_SLONG, 0, CELL_NOT_A_NUMBER},
    {"", S, SQL_C_SLONG, 0, CELL_NOT_A_NUMBER},
    {"-", S, SQL_C_SLONG, 0, CELL_NOT_A_NUMBER},
    {".", S, SQL_C_DOUBLE, 0, CELL_NOT_A_NUMBER},
    {"1e", S, SQL_C_SLONG, 0, CELL_NOT_A_NUMBER},
    {"0x10", S, SQL_C_SLONG, 0, CELL_NOT_A_NUMBER},
    {"nan", S, SQL_C_DOUBLE, 0, CELL_NOT_A_NUMBER},
    {"2024-01-15", DT, SQL_C_SLONG, 0, CELL_NOT_A_NUMBER},
    {" 42 ", S, SQL_C_SLONG, 0, CELL_OK, 4, "42"},
    {"+7", S, SQL_C_SBIGINT, 0, CELL_OK, 8, "7"},
    // Exponent and fraction forms; a dropped fraction says so.
    {"-2.5e-10", D, SQL_C_LONG, 0, CELL_FRACTION_CUT, 4, "0"},
    {"-2.5e-10", D, SQL_C_ULONG, 0, CELL_FRACTION_CUT, 4, "0"},
    {"1e30", D, SQL_C_SBIGINT, 0, CELL_OUT_OF_RANGE},
    {"1e18", D, SQL_C_SBIGINT, 0, CELL_OK, 8, "1000000000000000000"},
    {"1.5e3", D, SQL_C_SSHORT, 0, CELL_OK, 2, "1500"},
    {"1.25e1", D, SQL_C_SSHORT, 0, CELL_FRACTION_CUT, 2, "12"},
    {"12.50", DEC, SQL_C_SLONG, 0, CELL_FRACTION_CUT, 4, "12"},
    {"12.00", DEC, SQL_C_SLONG, 0, CELL_OK, 4, "12"},
    {"-99999999.99", DEC, SQL_C_SLONG, 0, CELL_FRACTION_CUT, 4, "-99999999"},
    {".5", DEC, SQL_C_UTINYINT, 0, CELL_FRACTION_CUT, 1, "0"},
    {"5.", DEC, SQL_C_UTINYINT, 0, CELL_OK, 1, "5"},
    {"-2.5e-10", D, SQL_C_DOUBLE, 0, CELL_OK, 8, "-2.5000000000000002e-10"},
    {"3.141592653589793", D, SQL_C_DOUBLE, 0, CELL_OK, 8, "3.1415926535897931"},
    {"12.50", DEC, SQL_C_FLOAT, 0, CELL_OK, 4, "12.5"},
    {"1e300", D, SQL_C_FLOAT, 0, CELL_OUT_OF_RANGE},
    {"1e400", D, SQL_C_DOUBLE, 0, CELL_OUT_OF_RANGE},
    {"1e-400", D, SQL_C_DOUBLE, 0, CELL_OK, 8, "0"},
    // BOOLEAN cells are 1 and 0 through every numeric type.
    {"true", B, SQL_C_STINYINT, 0, CELL_OK, 1, "1"},
    {"true", B, SQL_C_UTINYINT, 0, CELL_OK, 1, "1"},
    {"true", B, SQL_C_SHORT, 0, CELL_OK, 2, "1"},
    {"true", B, SQL_C_USHORT, 0, CELL_OK, 2, "1"},
    {"true", B, SQL_C_SLONG, 0, CELL_OK, 4, "1"},
    {"true", B, SQL_C_ULONG, 0, CELL_OK, 4, "1"},
    {"true", B, SQL_C_SBIGINT, 0, CELL_OK, 8, "1"},
    {"true", B, SQL_C_UBIGINT, 0, CELL_OK, 8, "1"},
    {"true", B, SQL_C_FLOAT, 0, CELL_OK, 4, "1"},
    {"true", B, SQL_C_DOUBLE, 0, CELL_OK, 8, "1"},
    {"false", B, SQL_C_TINYINT, 0, CELL_OK, 1, "0"},
    {"false", B, SQL_C_UTINYINT, 0, CELL_OK, 1, "0"},
    {"false", B, SQL_C_SSHORT, 0, CELL_OK, 2, "0"},
    {"false", B, SQL_C_USHORT, 0, CELL_OK, 2, "0"},
    {"false", B, SQL_C_LONG, 0, CELL_OK, 4, "0"},
    {"false", B, SQL_C_ULONG, 0, CELL_OK, 4, "0"},
    {"false", B, SQL_C_SBIGINT, 0, CELL_OK, 8, "0"},
    {"false", B, SQL_C_UBIGINT, 0, CELL_OK, 8, "0"},
    {"false", B, SQL_C_FLOAT, 0, CELL_OK, 4, "0"},
    {"false", B, SQL_C_DOUBLE, 0, CELL_OK, 8, "0"},
    {"true", B, SQL_C_CHAR, 8, CELL_OK, 4, "true"},
    {"TRUE", B, SQL_C_SLONG, 0, CELL_NOT_A_NUMBER},
    {"true", S, SQL_C_SLONG, 0, CELL_NOT_A_NUMBER}, // only a BOOLEAN column's words
    // Dates and timestamps.
    {"2024-01-15", DT, SQL_C_TYPE_DATE, 0, CELL_OK, 6, "2024-1-15"},
    {"20240229", DT, SQL_C_DATE, 0, CELL_OK, 6, "2024-2-29"},
    {"2023-02-29", DT, SQL_C_TYPE_DATE, 0, CELL_BAD_DATETIME},
    {"2024-13-45", DT, SQL_C_TYPE_DATE, 0, CELL_BAD_DATETIME},
    {"2024-13-45", S, SQL_C_TYPE_TIMESTAMP, 0, CELL_BAD_DATETIME},
    {"hello", S, SQL_C_TYPE_DATE, 0, CELL_BAD_DATETIME},
    {"2024-01-15", DT, SQL_C_TYPE_TIMESTAMP, 0, CELL_OK, 16, "2024-1-15 0:0:0.0"},
    {"2021-03-04 05:06:07.5", S, SQL_C_TIMESTAMP, 0, CELL_OK, 16, "2021-3-4 5:6:7.500000000"},
    {"2021-03-04 05:06:07.1234567891", S, SQL_C_TYPE_TIMESTAMP, 0, CELL_FRACTION_CUT, 16,
     "2021-3-4 5:6:7.123456789"},
    {"2021-03-04 05:06:07", S, SQL_C_TYPE_DATE, 0, CELL_FRACTION_CUT, 6, "2021-3-4"},
    {"2021-03-04 00:00:00", S, SQL_C_TYPE_DATE, 0, CELL_OK, 6, "2021-3-4"},
    {"2024-01-15", DT, SQL_C_TYPE_DATE, 5, CELL_BAD_LENGTH},
    {"2024-01-15", DT, SQL_C_TYPE_TIMESTAMP, 15, CELL_BAD_LENGTH},
    // TIMESTAMP cells: milliseconds since 1970, local time (UTC here).
    {"1705314645123", TS, SQL_C_TYPE_TIMESTAMP, 0, CELL_OK, 16, "2024-1-15 10:30:45.0"},
    {"1705314645123", TS, SQL_C_TYPE_DATE, 0, CELL_FRACTION_CUT, 6, "2024-1-15"},
    {"0", TS, SQL_C_TYPE_DATE, 0, CELL_OK, 6, "1970-1-1"},
    {"-500", TS, SQL_C_TYPE_TIMESTAMP, 0, CELL_OK, 16, "1969-12-31 23:59:59.0"},
    {"1705314645123", TS, SQL_C_SBIGINT, 0, CELL_OK, 8, "1705314645123"},
    {"soon", TS, SQL_C_TYPE_TIMESTAMP, 0, CELL_BAD_DATETIME},
    {"soon", TS, SQL_C_TYPE_DATE, 0, CELL_BAD_DATETIME},
    // The text form pads the year to four digits, after the sign before year 1.
    {"-30636384833000", TS, SQL_C_CHAR, 32, CELL_OK, 19, "0999-03-04 05:06:07"},
    {"-62135596800000", TS, SQL_C_CHAR, 32, CELL_OK, 19, "0001-01-01 00:00:00"},
    {"-62198755200000", TS, SQL_C_CHAR, 32, CELL_OK, 20, "-0001-01-01 00:00:00"},
    // Text.
    {"hello", S, SQL_C_CHAR, 6, CELL_OK, 5, "hello"},
    {"hello", S, SQL_C_CHAR, 5, CELL_TRUNCATED, 5, "hell"},
    {"hello", S, SQL_C_CHAR, 1, CELL_TRUNCATED, 5, ""},
    {"hello", S, SQL_C_CHAR, -1, CELL_BAD_LENGTH},
    // A zero length asks for the length: nothing is written.
    {"hello", S, SQL_C_CHAR, 0, CELL_TRUNCATED, 5, ""},
    {"", S, SQL_C_CHAR, 0, CELL_TRUNCATED, 0, ""},
    {JSON_NULL, S, SQL_C_CHAR, 0, CELL_OK, NUL, ""},
    {"null", S, SQL_C_CHAR, 0, CELL_TRUNCATED, 4, ""},
    {"12.50", DEC, SQL_C_CHAR, 64, CELL_OK, 5, "12.50"},
    // NULL cells (a JSON null): zero or "null", and the NULL indicator.
    {JSON_NULL, I, SQL_C_SLONG, 0, CELL_OK, NUL, "0"},
    {JSON_NULL, BI, SQL_C_UBIGINT, 0, CELL_OK, NUL, "0"},
    {JSON_NULL, D, SQL_C_DOUBLE, 0, CELL_OK, NUL, "0"},
    {JSON_NULL, B, SQL_C_UTINYINT, 0, CELL_OK, NUL, "0"},
    {JSON_NULL, DT, SQL_C_TYPE_DATE, 0, CELL_OK, NUL, "0-0-0"},
    {JSON_NULL, TS, SQL_C_TYPE_TIMESTAMP, 0, CELL_OK, NUL, "0-0-0 0:0:0.0"},
    {JSON_NULL, S, SQL_C_CHAR, 3, CELL_OK, NUL, "nu"},
    {JSON_NULL, S, SQL_C_CHAR, 64, CELL_OK, NUL, "null"},
    // The text "null" (a string sent as "null") is a text like any other.
    {"null", S, SQL_C_CHAR, 64, CELL_OK, 4, "null"},
    {"null", S, SQL_C_CHAR, 3, CELL_TRUNCATED, 4, "nu"},
    {"null", S, SQL_C_SLONG, 0, CELL_NOT_A_NUMBER},
    {"null", S, SQL_C_UBIGINT, 0, CELL_NOT_A_NUMBER},
    {"null", S, SQL_C_DOUBLE, 0, CELL_NOT_A_NUMBER},
    {"null", S, SQL_C_TYPE_DATE, 0, CELL_BAD_DATETIME},
    {"null", TS, SQL_C_TYPE_TIMESTAMP, 0, CELL_BAD_DATETIME},
    // C types the driver does not convert to.
    {"hello", S, SQL_C_WCHAR, 64, CELL_NO_CONVERSION},
    {"true", B, SQL_C_BIT, 0, CELL_NO_CONVERSION},
    {"12.50", DEC, SQL_C_NUMERIC, 64, CELL_NO_CONVERSION},
    {"abc", S, SQL_C_BINARY, 64, CELL_NO_CONVERSION},
    {JSON_NULL, S, SQL_C_DEFAULT, 64, CELL_NO_CONVERSION},
};

// Converts a row's cell into a buffer with 0xFF guard bytes on both sides.
CellStatus convertGuarded(const ConvertRow& r, SQLLEN* length, std::string* value,
                          bool* guardsIntact, bool* untouched) {
    const size_t guard = 16;
    const size_t size = r.bufLen > 0 ? (size_t)r.bufLen : fixedSize(r.cType);
    std::vector<unsigned char> mem(guard + size + guard, 0xFF);
    unsigned char* target = mem.data() + guard;
    const std::string cell = r.cell;
    char stamp[CELL_STAMP_SIZE];
    std::string scratch;
    std::string_view text;
    CellStatus s = cellText(cell, r.type, false, stamp, scratch, &text, nullptr);
    if (s == CELL_OK) {
        const bool ownSize = r.bufLen == 0 && r.cType != SQL_C_CHAR;
        s = convertCell(cell, r.type, text, r.cType, target, ownSize ? (SQLLEN)size : r.bufLen,
                        length);
    }
    *guardsIntact = true;
    *untouched = true;
    for (size_t i = 0; i < mem.size(); ++i) {
        bool inTarget = i >= guard && i < guard + size;
        if (!inTarget && mem[i] != 0xFF) *guardsIntact = false;
        if (inTarget && mem[i] != 0xFF) *untouched = false;
    }
    *value = shown(r.cType, target, size);
    return s;
}

} // namespace

TEST(CellConvert, EveryCTypeAgainstTheInterestingCells) {
    clienttest::EnvGuard utc("TZ", "UTC");
    for (const ConvertRow& r : kRows) {
        SCOPED_TRACE(std::string(r.cell) + " type " + std::to_string(r.type) + " as C type " +
                     std::to_string(r.cType) + " into " + std::to_string(r.bufLen));
        SQLLEN length = -12345;
        std::string value;
        bool guardsIntact, untouched;
        CellStatus s = convertGuarded(r, &length, &value, &guardsIntact, &untouched);
        EXPECT_EQ(r.status, s);
        EXPECT_TRUE(guardsIntact) << "written outside the buffer";
        if (cellStatusInfo(r.status).rc == SQL_ERROR) {
            EXPECT_TRUE(untouched) << "a refused conversion wrote " << value;
            EXPECT_EQ(-12345, length);
        } else if (r.cType == SQL_C_CHAR && r.bufLen == 0) {
            EXPECT_EQ(r.length, length);
            EXPECT_TRUE(untouched) << "a zero-length buffer got " << value;
        } else {
            EXPECT_EQ(r.length, length);
            EXPECT_EQ(r.value, value);
        }
    }
}

TEST(CellConvert, TimestampTextCutToEverySmallBuffer) {
    clienttest::EnvGuard utc("TZ", "UTC");
    const std::string cell = "1705314645123";
    const std::string whole = "2024-01-15 10:30:45";
    char stamp[CELL_STAMP_SIZE];
    std::string scratch;
    std::string_view text;
    ASSERT_EQ(CELL_OK,
              cellText(cell, CLIENT_TYPE_TIMESTAMP, false, stamp, scratch, &text, nullptr));
    ASSERT_EQ(whole, text);
    for (SQLLEN size = 1; size <= 25; ++size) {
        SCOPED_TRACE("buffer of " + std::to_string(size));
        std::vector<unsigned char> mem(size + 2, 0xFF);
        SQLLEN length = 0;
        CellStatus s = convertCell(cell, CLIENT_TYPE_TIMESTAMP, text, SQL_C_CHAR, mem.data() + 1,
                                   size, &length);
        EXPECT_EQ(size < 20 ? CELL_TRUNCATED : CELL_OK, s);
        EXPECT_EQ(19, length);
        EXPECT_EQ(whole.substr(0, size - 1), std::string((const char*)mem.data() + 1));
        EXPECT_EQ(0xFF, mem[0]);
        EXPECT_EQ(0xFF, mem[size + 1]);
    }
    EXPECT_EQ(CELL_BAD_DATETIME,
              cellText("12:00", CLIENT_TYPE_TIMESTAMP, false, stamp, scratch, &text, nullptr));
}

TEST(CellConvert, StatusTable) {
    struct {
        CellStatus status;
        const char* state;
        SQLRETURN rc;
    } rows[] = {
        {CELL_OK, "00000", SQL_SUCCESS},
        {CELL_TRUNCATED, "01004", SQL_SUCCESS_WITH_INFO},
        {CELL_FRACTION_CUT, "01S07", SQL_SUCCESS_WITH_INFO},
        {CELL_OUT_OF_RANGE, "22003", SQL_ERROR},
        {CELL_NOT_A_NUMBER, "22018", SQL_ERROR},
        {CELL_BAD_DATETIME, "22007", SQL_ERROR},
        {CELL_NO_CONVERSION, "HYC00", SQL_ERROR},
        {CELL_BAD_LENGTH, "HY090", SQL_ERROR},
    };
    for (const auto& r : rows) {
        EXPECT_STREQ(r.state, cellStatusInfo(r.status).sqlstate);
        EXPECT_EQ(r.rc, cellStatusInfo(r.status).rc);
    }
}
