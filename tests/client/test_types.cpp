// Type codes, type sizes, the service type table and the data-source keys.
#include <limits.h>
#include <string.h>

#include <gtest/gtest.h>

#include "ConnProperty.h"
#include "NavixResultSet.h"
#include "navixclient.h"

TEST(ClientTypes, ServiceTypeNamesMapToCodes)
{
    struct { const char* name; int code; } cases[] = {
        {"INT", 4}, {"int", 4}, {"STRING", 8}, {"double", 7}, {"DECIMAL", 17}, {"Decimal(10,2)", 17},
        {"decimal(38, 0)", 17}, {"BOOLEAN", 1}, {"short", 3}, {"SMALLINT", 3}, {"BigInt", 5}, {"LONG", 5},
        {"timestamp", 11}, {"CHAR", 16}, {"VarChar", 15}, {"DATE", 9}, {"TINYINT", 2}, {"Float", 6},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, clientTypeCodeOf(c.name)) << c.name;
    }
}

TEST(ClientTypes, DecoratedOrUnknownNamesGetTheUnknownCode)
{
    for (const char* name : {"integer", "varchar(20)", "char(3)", "", "INT ", "array<int>", "map"}) {
        ClientTypeCode code = clientTypeCodeOf(name);
        EXPECT_EQ(CLIENT_TYPE_UNKNOWN, code) << name;
    }
    // The unknown code is none of the codes of the table.
    for (int known : {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 15, 16, 17}) {
        EXPECT_NE(known, CLIENT_TYPE_UNKNOWN);
    }
}

TEST(ClientTypes, ColumnDescKeepsNameAndTypeText)
{
    ColumnDesc d("price", "decimal(10,2)");
    EXPECT_EQ("price", d.name);
    EXPECT_EQ("decimal(10,2)", d.typeName);
    EXPECT_EQ(CLIENT_TYPE_DECIMAL, d.typeCode);
}

TEST(ClientTypes, StrcasecmpAscii)
{
    EXPECT_EQ(0, strcasecmpAscii("Timestamp", "TIMESTAMP"));
    EXPECT_EQ(0, strcasecmpAscii("", ""));
    EXPECT_LT(strcasecmpAscii("INT", "INTEGER"), 0);
    EXPECT_GT(strcasecmpAscii("INTEGER", "int"), 0);
    EXPECT_EQ('b' - 'a', strcasecmpAscii("B", "a"));
    // Bytes compare unsigned; letters beyond ASCII are not folded.
    EXPECT_GT(strcasecmpAscii("\xC9", "a"), 0);
    EXPECT_NE(0, strcasecmpAscii("\xC9", "\xE9"));
}

TEST(ClientTypes, DisplaySizeAndOctetLength)
{
    struct { int code, display, octet; } cases[] = {
        {1, 1, 1}, {2, 4, 1}, {3, 6, 2}, {4, 11, 4}, {5, 20, 8}, {6, 16, 4}, {7, 24, 8}, {17, 24, 8},
        {8, 334, 334}, {9, 334, 334}, {11, 334, 334}, {15, 334, 334}, {16, 334, 334},
        {0, 334, 334}, {10, 334, 334}, {-1, 334, 334}, {INT_MIN, 334, 334}, {1000, 334, 334},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.display, DBGetTypeDisplaySize(c.code)) << c.code;
        EXPECT_EQ(c.octet, DBGetTypeOctetLength(c.code)) << c.code;
    }
}

TEST(ServiceTypeTable, LookupIsExactAndFallsBackToUnknow)
{
    EXPECT_STREQ("SHORT", findServiceType("SHORT").typeName);
    EXPECT_STREQ("UNKNOW", findServiceType("short").typeName);
    EXPECT_STREQ("UNKNOW", findServiceType("VARCHAR(20)").typeName);
    EXPECT_STREQ("UNKNOW", findServiceType("").typeName);
    EXPECT_STREQ("UNKNOW", findServiceType("UNKNOW").typeName);
    EXPECT_EQ(&serviceTypeTable[3], &findServiceType("DECIMAL"));
}

TEST(CatalogColumns, StaticColumnTables)
{
    struct { const char* name; const char* type; int code; } cols[] = {
        {"TABLE_CAT", "STRING", 8},        {"TABLE_SCHEM", "STRING", 8},      {"TABLE_NAME", "STRING", 8},
        {"COLUMN_NAME", "STRING", 8},      {"DATA_TYPE", "SMALLINT", 3},      {"TYPE_NAME", "STRING", 8},
        {"COLUMN_SIZE", "INT", 4},         {"BUFFER_LENGTH", "INT", 4},       {"DECIMAL_DIGITS", "SMALLINT", 3},
        {"NUM_PREC_RADIX", "SMALLINT", 3}, {"NULLABLE", "SMALLINT", 3},       {"REMARKS", "STRING", 8},
        {"COLUMN_DEF", "STRING", 8},       {"SQL_DATA_TYPE", "SMALLINT", 3},  {"SQL_DATETIME_SUB", "SMALLINT", 3},
        {"CHAR_OCTET_LENGTH", "INT", 4},   {"ORDINAL_POSITION", "INT", 4},    {"IS_NULLABLE", "STRING", 8},
    };
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(cols[i].name, columnResultColumns[i].name) << i;
        EXPECT_EQ(cols[i].type, columnResultColumns[i].typeName) << i;
        EXPECT_EQ(cols[i].code, columnResultColumns[i].typeCode) << i;
    }
    struct { const char* name; const char* type; int code; } info[] = {
        {"TYPE_NAME", "STRING", 8},           {"DATA_TYPE", "SMALLINT", 3},       {"COLUMN_SIZE", "INT", 4},
        {"LITERAL_PREFIX", "STRING", 8},      {"LITERAL_SUFFIX", "STRING", 8},    {"CREATE_PARAMS", "STRING", 8},
        {"NULLABLE", "SMALLINT", 3},          {"CASE_SENSITIVE", "SMALLINT", 3},  {"SEARCHABLE", "SMALLINT", 3},
        {"UNSIGNED_ATTRIBUTE", "SMALLINT", 3}, {"FIXED_PREC_SCALE", "SMALLINT", 3}, {"AUTO_UNIQUE_VALUE", "SMALLINT", 3},
        {"LOCAL_TYPE_NAME", "STRING", 8},     {"MINIMUM_SCALE", "SMALLINT", 3},   {"MAXIMUM_SCALE", "SMALLINT", 3},
        {"SQL_DATA_TYPE", "SMALLINT", 3},     {"SQL_DATETIME_SUB", "SMALLINT", 3}, {"NUM_PREC_RADIX", "INT", 4},
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

TEST(DataSourceKeys, TableInResolutionOrder)
{
    struct { const char* name; int required; const char* def; } keys[] = {
        {"DRIVER", 1, nullptr}, {"DSN", 1, nullptr},      {"HOST", 0, ""},       {"PORT", 0, ""},
        {"DATABASE", 0, ""},    {"PROJECTID", 1, nullptr}, {"QUEUENAME", 0, "default"}, {"AK", 0, ""},
        {"SK", 0, ""},          {"REGION", 1, nullptr},   {"AUTHMODE", 1, nullptr}, {"SVCNAME", 0, "VKL"},
        {"PROXYHOST", 0, ""},   {"PROXYPORT", 0, ""},     {"USEPROXY", 0, "0"},  {"ACCOUNT", 0, ""},
        {"USER", 0, ""},        {"PASSWORD", 0, ""},      {"CHARSET", 0, "ANSI"}, {"JOBTIMEOUT", 0, "300"},
    };
    ASSERT_EQ(20, DSKEY_COUNT);
    for (int i = 0; i < 20; ++i) {
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

TEST(DataSourceKeys, TextFieldsOfTheRecord)
{
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
    EXPECT_EQ(nullptr, connPropertyTextField(&p, DSKEY_AUTHMODE));
    EXPECT_EQ(nullptr, connPropertyTextField(&p, DSKEY_CHARSET));
    EXPECT_EQ(nullptr, connPropertyTextField(&p, DSKEY_JOBTIMEOUT));
    EXPECT_EQ(nullptr, connPropertyTextField(&p, -1));
    EXPECT_EQ(nullptr, connPropertyTextField(&p, DSKEY_COUNT));
    EXPECT_EQ(nullptr, connPropertyTextField(nullptr, DSKEY_DSN));
}

TEST(DataSourceKeys, DecimalValuesReadLikeAtoi)
{
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

TEST(DataSourceKeys, CharsetFlag)
{
    EXPECT_EQ(0, connPropertyCharsetFlag("UTF-8"));
    EXPECT_EQ(0, connPropertyCharsetFlag("utf-8"));
    EXPECT_EQ(1, connPropertyCharsetFlag("UTF8"));
    EXPECT_EQ(1, connPropertyCharsetFlag("ANSI"));
    EXPECT_EQ(1, connPropertyCharsetFlag(""));
    EXPECT_EQ(1, connPropertyCharsetFlag(nullptr));
}
