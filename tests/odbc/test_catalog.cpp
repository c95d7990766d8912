// Catalog entry points that need no service: the type table, the empty key
// results, the empty table list for other table types, and the argument
// checks that come before any request.
#include <string.h>

#include <string>
#include <vector>

#include "ColumnHeader.h"
#include "MiscTestSupport.h"
#include "SQLOdbcApi.h"
#include "navixclient.h"

class CatalogTest : public MiscOdbcTest {
  protected:
    // Leaves the statement with the fixed type table as its result.
    void loadTypeInfo() {
        ASSERT_EQ(SQLGetTypeInfo(stmt, SQL_ALL_TYPES), SQL_SUCCESS);
        ASSERT_EQ(stmt->extras->columnCount, 19u);
    }
    std::vector<std::string> columnNames() const {
        std::vector<std::string> names;
        for (uint32_t i = 0; i < stmt->extras->columnCount; i++) {
            names.push_back(stmt->extras->columnHeaders[i].name);
        }
        return names;
    }
    // First cell of every row of the statement's result.
    std::vector<std::string> firstCells() {
        std::vector<std::string> cells;
        while (DBFetch(stmt->extras->resultSet) == 0) {
            char buf[64];
            int32_t len = 0, isNull = 0;
            EXPECT_EQ(
                DBGetFieldAsCString(stmt->extras->resultSet, 0, buf, sizeof(buf), &len, &isNull),
                0);
            cells.push_back(buf);
        }
        return cells;
    }
};

TEST_F(CatalogTest, TypeInfoForAllTypes) {
    stmt->sqlText = strdup("select 1");
    loadTypeInfo();
    EXPECT_EQ(stmt->sqlText, nullptr) << "a catalog call drops the prepared text";
    // The client's diagnostic after a catalog call is its default one.
    EXPECT_STREQ(stmt->diag.sqlState, "00000");
    // The statement cannot be executed again until it is prepared anew; the
    // refused execute leaves the catalog result alone.
    EXPECT_EQ(SQLExecute(stmt), SQL_ERROR);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "Query sql is NULL"), 1u);
    EXPECT_STREQ(stmt->diag.sqlState, "HY010");
    ASSERT_EQ(stmt->extras->columnCount, 19u);
    std::vector<std::string> names = columnNames();
    EXPECT_EQ(names.front(), "TYPE_NAME");
    EXPECT_EQ(names.back(), "INTERVAL_PRECISION");
    std::vector<std::string> types = firstCells();
    ASSERT_EQ(types.size(), 15u);
    EXPECT_EQ(types.front(), "INT");
    EXPECT_EQ(types.back(), "FLOAT");
    EXPECT_EQ(logged(log4cplus::INFO_LOG_LEVEL, "hDrvStmt = " + hexValue(stmt) + ", nSqlType = 0"),
              1u);
}

TEST_F(CatalogTest, TypeInfoForOneTypeFailsAndLeavesNoResult) {
    loadTypeInfo();
    EXPECT_EQ(SQLGetTypeInfo(stmt, SQL_INTEGER), SQL_ERROR);
    EXPECT_EQ(stmt->extras->resultSet, nullptr);
    EXPECT_EQ(stmt->extras->columnHeaders, nullptr);
    EXPECT_EQ(stmt->extras->columnCount, 0u);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "SQL_ERROR DBGetTypeInfo failed."), 1u);
}

TEST_F(CatalogTest, TypeInfoWithoutExtrasFailsCleanly) {
    StmtHandle bare;
    memset(&bare, 0, sizeof(bare));
    bare.sqlText = strdup("select 1");
    EXPECT_EQ(SQLGetTypeInfo(&bare, SQL_ALL_TYPES), SQL_ERROR);
    EXPECT_EQ(bare.sqlText, nullptr);
    EXPECT_EQ(SQLGetTypeInfo(nullptr, SQL_ALL_TYPES), SQL_INVALID_HANDLE);
}

TEST_F(CatalogTest, PrimaryKeysGiveAnEmptyResultWithoutColumns) {
    loadTypeInfo();
    stmt->sqlText = strdup("select 1");
    EXPECT_EQ(SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"t1", SQL_NTS), SQL_SUCCESS);
    ASSERT_NE(stmt->extras->resultSet, nullptr);
    EXPECT_EQ(stmt->extras->columnCount, 0u);
    EXPECT_EQ(stmt->extras->columnHeaders, nullptr);
    EXPECT_EQ(stmt->sqlText, nullptr);
    EXPECT_EQ(DBFetch(stmt->extras->resultSet), 2);
    SQLSMALLINT cols = -1;
    EXPECT_EQ(SQLNumResultCols(stmt, &cols), SQL_SUCCESS);
    EXPECT_EQ(cols, 0);
    EXPECT_EQ(logged(log4cplus::INFO_LOG_LEVEL, "hStmt = " + hexValue(stmt) + ", table name = t1"),
              1u);
}

TEST_F(CatalogTest, ForeignKeysIgnoreTheirNames) {
    loadTypeInfo();
    EXPECT_EQ(SQLForeignKeys(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                             nullptr, 0),
              SQL_SUCCESS);
    ASSERT_NE(stmt->extras->resultSet, nullptr);
    EXPECT_EQ(stmt->extras->columnCount, 0u);
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
    EXPECT_EQ(SQLForeignKeys(nullptr, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                             nullptr, 0),
              SQL_INVALID_HANDLE);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "hStmt is NULL"), 1u);
}

// SQLColumns and SQLPrimaryKeys check the table name the same way, before
// the previous result is touched.
TEST_F(CatalogTest, TableNameChecksKeepThePreviousResult) {
    typedef SQLRETURN (*NameCall)(StmtHandle*, const char*, SQLSMALLINT);
    NameCall calls[] = {
        [](StmtHandle* s, const char* n, SQLSMALLINT l) {
            return SQLColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)n, l, nullptr, 0);
        },
        [](StmtHandle* s, const char* n, SQLSMALLINT l) {
            return SQLPrimaryKeys(s, nullptr, 0, nullptr, 0, (SQLCHAR*)n, l);
        },
    };
    std::string tooLong(513, 't');
    for (NameCall call : calls) {
        loadTypeInfo();
        NavixQueryResultSet* rs = stmt->extras->resultSet;
        clearLog();
        EXPECT_EQ(call(stmt, "", SQL_NTS), SQL_ERROR);
        EXPECT_EQ(call(stmt, nullptr, SQL_NTS), SQL_ERROR);
        EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "SQL_ERROR Must supply a valid table name"),
                  2u);
        EXPECT_EQ(call(stmt, tooLong.c_str(), 513), SQL_ERROR);
        EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "table name is too long"), 1u);
        EXPECT_EQ(stmt->extras->resultSet, rs);
        EXPECT_EQ(stmt->extras->columnCount, 19u);
    }
}

TEST_F(CatalogTest, TableNameLengths) {
    std::string name512(512, 'a');
    std::string name600 = std::string(512, 'b') + std::string(88, 'c');
    // Rows: name, length -> the name described, or the refusal's SQLSTATE.
    struct Case {
        std::string name;
        SQLSMALLINT length;
        const char* described;
        const char* state;
    } cases[] = {
        {name512, 512, name512.c_str(), NULL},
        {"abcdef", 3, "abc", NULL},
        {"t1", SQL_NTS, "t1", NULL},
        {std::string("xy\0\0", 4), 4, "xy", NULL}, // NULs that only end the name
        // Nothing is cut: a different table would be described.
        {name600, SQL_NTS, NULL, "HY090"},
        {name600, 513, NULL, "HY090"},
        {std::string("xy\0z", 4), 4, NULL, "HY090"},
    };
    for (const Case& c : cases) {
        clearLog();
        std::vector<char> buf(c.name.begin(), c.name.end());
        buf.push_back('\0');
        SQLRETURN rc = SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)buf.data(), c.length);
        if (c.described != NULL) {
            EXPECT_EQ(rc, SQL_SUCCESS) << c.name.size();
            EXPECT_EQ(logged(log4cplus::INFO_LOG_LEVEL, "table name = " + std::string(c.described)),
                      1u)
                << c.described;
        } else {
            EXPECT_EQ(rc, SQL_ERROR) << c.name.size();
            EXPECT_STREQ(stmt->diag.sqlState, c.state);
            EXPECT_EQ(loggedAnyLevel("table name = "), 0u);
        }
    }
}

TEST_F(CatalogTest, ColumnsWithoutConnectionFailAfterDroppingTheResult) {
    loadTypeInfo();
    stmt->sqlText = strdup("select 1");
    EXPECT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"t1", SQL_NTS, nullptr, 0),
              SQL_ERROR);
    EXPECT_EQ(stmt->extras->resultSet, nullptr);
    EXPECT_EQ(stmt->extras->columnCount, 0u);
    EXPECT_EQ(stmt->sqlText, nullptr);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "SQL_ERROR DBColumns failed."), 1u);

    StmtHandle bare;
    memset(&bare, 0, sizeof(bare));
    EXPECT_EQ(SQLColumns(&bare, nullptr, 0, nullptr, 0, (SQLCHAR*)"t1", SQL_NTS, nullptr, 0),
              SQL_INVALID_HANDLE);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "hStmtExtras is NULL"), 1u);
    EXPECT_EQ(SQLColumns(nullptr, nullptr, 0, nullptr, 0, (SQLCHAR*)"t1", SQL_NTS, nullptr, 0),
              SQL_INVALID_HANDLE);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "hStmt is NULL"), 1u);
}

TEST_F(CatalogTest, TablesWithoutConnectionFail) {
    loadTypeInfo();
    EXPECT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(stmt->extras->resultSet, nullptr);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "SQL_ERROR SQLTables failed."), 1u);
    // A type list that names TABLE goes to the service as well.
    EXPECT_EQ(
        SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, (SQLCHAR*)"'TABLE','VIEW'", SQL_NTS),
        SQL_ERROR);
    EXPECT_EQ(
        SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, (SQLCHAR*)"SYSTEM TABLE", SQL_NTS),
        SQL_ERROR);

    EXPECT_EQ(SQLTables(nullptr, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0),
              SQL_INVALID_HANDLE);
    StmtHandle bare;
    memset(&bare, 0, sizeof(bare));
    EXPECT_EQ(SQLTables(&bare, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_INVALID_HANDLE);
}

TEST_F(CatalogTest, TablesOfOtherTypesAreAnEmptyTableList) {
    for (const char* types : {"VIEW", "table", "'VIEW','SYNONYM'"}) {
        loadTypeInfo();
        stmt->sqlText = strdup("select 1");
        EXPECT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"t%", SQL_NTS, (SQLCHAR*)types,
                            SQL_NTS),
                  SQL_SUCCESS)
            << types;
        EXPECT_EQ(stmt->sqlText, nullptr);
        std::vector<std::string> want = {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE",
                                         "REMARKS"};
        EXPECT_EQ(columnNames(), want) << types;
        EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA) << types;
    }
    // An explicit length counts: only "VIEW" of this list is read.
    EXPECT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, (SQLCHAR*)"VIEW,TABLE", 4),
              SQL_SUCCESS);
    EXPECT_EQ(stmt->extras->columnCount, 5u);
}
