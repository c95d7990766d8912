// Catalog functions: the table list, the column list, the type table and the
// empty key lists.
#include "OdbcHarness.h"

#include <cstring>

using namespace e2e;

namespace {

class Catalog : public ::testing::Test {
  protected:
    void open(const std::string& database = "db1") {
        project = testProject();
        emulator().reset(project);
        std::string cs = akskConnStr(project);
        cs.replace(cs.find("DATABASE=db1"), 12, "DATABASE=" + database);
        st.reset();
        conn = std::make_unique<Connection>();
        E2E_CONNECT(*conn, cs);
        st = std::make_unique<Statement>(*conn);
    }
    void SetUp() override { open(); }

    // Column names of the current result.
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (SQLSMALLINT c = 1; c <= st->numCols(); ++c)
            out.push_back(columnName(st->h, c));
        return out;
    }
    // One column of every row, as text.
    std::vector<std::string> column(const std::vector<std::vector<std::string>>& rows, size_t i) {
        std::vector<std::string> out;
        for (const auto& r : rows)
            out.push_back(r.at(i));
        return out;
    }
    SQLRETURN tables(const char* pattern, const char* types = nullptr) {
        return SQLTables(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)pattern, pattern ? SQL_NTS : 0,
                         (SQLCHAR*)types, types ? SQL_NTS : 0);
    }

    std::string project;
    std::unique_ptr<Connection> conn;
    std::unique_ptr<Statement> st;
};

using Rows = std::vector<std::vector<std::string>>;
using Names = std::vector<std::string>;

} // namespace

TEST_F(Catalog, TablesOfTheCurrentDatabase) {
    ASSERT_EQ(SQL_SUCCESS, tables(nullptr)) << st->diagText();
    EXPECT_EQ((Names{"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"}), names());
    Rows rows = st->fetchAllText();
    ASSERT_EQ(4u, rows.size());
    EXPECT_EQ((Names{"all_types", "customers", "empty_table", "numbers"}), column(rows, 2));
    for (const auto& r : rows) {
        EXPECT_EQ("db1", r[0]);
        EXPECT_EQ("db1", r[1]);
        EXPECT_EQ("TABLE", r[3]);
        EXPECT_EQ("", r[4]); // empty, not NULL
    }
    // No table name means every table: the pattern "*".
    EXPECT_EQ((Names{"show tables like '*'"}), submittedSql(project));
}

TEST_F(Catalog, TablePatternBecomesTheServicesWildcard) {
    open("db2");
    ASSERT_EQ(SQL_SUCCESS, tables("sales%")) << st->diagText();
    EXPECT_EQ((Names{"sales_2023", "sales_2024", "salesx"}), column(st->fetchAllText(), 2));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    // An underscore goes to the service as it is, where it matches only itself.
    ASSERT_EQ(SQL_SUCCESS, tables("sales_%", "TABLE")) << st->diagText();
    EXPECT_EQ((Names{"sales_2023", "sales_2024"}), column(st->fetchAllText(), 2));
    EXPECT_EQ((Names{"show tables like 'sales*'", "show tables like 'sales_*'"}),
              submittedSql(project));
}

TEST_F(Catalog, TablePatternWithAQuoteIsRefused) {
    EXPECT_EQ(SQL_ERROR, tables("x'; drop table numbers; --"));
    Diag d = diag(SQL_HANDLE_STMT, st->h);
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("01000", d.state);
    EXPECT_EQ("VKL ODBC Invalid SQL syntax.", d.text);
    EXPECT_EQ(0u, submitRequests(project));
    // The statement remains usable.
    ASSERT_EQ(SQL_SUCCESS, tables("num%")) << st->diagText();
    EXPECT_EQ((Names{"numbers"}), column(st->fetchAllText(), 2));
}

TEST_F(Catalog, TablesAfterUseListTheNewDatabase) {
    Statement use(*conn);
    ASSERT_EQ(SQL_SUCCESS, use.exec("use db2")) << use.diagText();
    ASSERT_EQ(SQL_SUCCESS, tables("%"));
    Rows rows = st->fetchAllText();
    EXPECT_EQ((Names{"orders", "sales_2023", "sales_2024", "salesx"}), column(rows, 2));
    EXPECT_EQ("db2", rows.at(0).at(0));
}

TEST_F(Catalog, ColumnsOfATable) {
    ASSERT_EQ(SQL_SUCCESS,
              SQLColumns(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)"customers", SQL_NTS, nullptr, 0))
        << st->diagText();
    EXPECT_EQ((Names{"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "DATA_TYPE",
                     "TYPE_NAME", "COLUMN_SIZE", "BUFFER_LENGTH", "DECIMAL_DIGITS",
                     "NUM_PREC_RADIX", "NULLABLE", "REMARKS", "COLUMN_DEF", "SQL_DATA_TYPE",
                     "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION", "IS_NULLABLE"}),
              names());
    Rows rows = st->fetchAllText();
    ASSERT_EQ(5u, rows.size());
    // TABLE_CAT .. IS_NULLABLE for each column, as text; SQL_DATETIME_SUB is
    // NULL for these types.
    const Rows expected = {
        {"", "", "customers", "id", "4", "int", "11", "4", "<null>", "10", "1", "", "", "4",
         "<null>", "334", "1", "YES"},
        {"", "", "customers", "name", "12", "string", "334", "334", "<null>", "10", "1",
         "customer name", "", "12", "<null>", "334", "2", "YES"},
        // A type with a length is not in the service's type table.
        {"", "", "customers", "city", "0", "varchar(30)", "334", "334", "<null>", "10", "1",
         "Wohnort (Stadt)", "", "0", "<null>", "334", "3", "YES"},
        {"", "", "customers", "balance", "3", "decimal(12,2)", "11", "8", "<null>", "10", "1", "",
         "", "3", "<null>", "334", "4", "YES"},
        {"", "", "customers", "created", "93", "timestamp", "334", "334", "<null>", "10", "1", "",
         "", "93", "<null>", "334", "5", "YES"},
    };
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(expected[i], rows[i]) << "row " << i;
    // The description was asked for in the current database.
    bool described = false;
    for (const EmuRequest& r : emulator().requests(project))
        if (r.method == "GET" && r.path == "/v1.0/" + project + "/databases/db1/tables/customers")
            described = true;
    EXPECT_TRUE(described);
}

TEST_F(Catalog, ColumnsReadWithTypedGetters) {
    ASSERT_EQ(SQL_SUCCESS,
              SQLColumns(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)"all_types", 9, nullptr, 0))
        << st->diagText();
    SQLSMALLINT dataType = 0, decimalDigits = 0;
    SQLINTEGER columnSize = 0, ordinal = 0;
    SQLLEN ind = 0, digitsInd = 0;
    std::vector<SQLSMALLINT> types;
    for (int i = 1; SQLFetch(st->h) == SQL_SUCCESS; ++i) {
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(st->h, 5, SQL_C_SSHORT, &dataType, 0, &ind));
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(st->h, 7, SQL_C_SLONG, &columnSize, 0, &ind));
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(st->h, 9, SQL_C_SSHORT, &decimalDigits, 0, &digitsInd));
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(st->h, 17, SQL_C_SLONG, &ordinal, 0, &ind));
        EXPECT_EQ(SQL_NULL_DATA, digitsInd);
        EXPECT_EQ(i, ordinal);
        types.push_back(dataType);
    }
    // id, boolean, tinyint, smallint, int, bigint, float, double,
    // decimal(10,2), string, varchar(20), char(3), date, timestamp
    EXPECT_EQ((std::vector<SQLSMALLINT>{4, 5, -6, 5, 4, -5, 6, 8, 3, 12, 0, 0, 91, 93}), types);
}

// A table and a column named null are names, not NULLs.
TEST_F(Catalog, NamesThatReadNullAreNames) {
    E2E_EXEC(*st, "create table \"null\" (\"null\" INT, v STRING)");
    ASSERT_EQ(SQL_SUCCESS, tables("null")) << st->diagText();
    Rows rows = st->fetchAllText();
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ((Names{"db1", "db1", "null", "TABLE", ""}), rows[0]);
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    ASSERT_EQ(SQL_SUCCESS,
              SQLColumns(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)"null", SQL_NTS, nullptr, 0))
        << st->diagText();
    rows = st->fetchAllText();
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ((Names{"null", "null"}), (Names{rows[0][2], rows[0][3]}));
    EXPECT_EQ((Names{"null", "v"}), (Names{rows[1][2], rows[1][3]}));
}

TEST_F(Catalog, ColumnsOfAnUnknownTableFail) {
    EXPECT_EQ(SQL_ERROR, SQLColumns(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)"no_such_table",
                                    SQL_NTS, nullptr, 0));
    Diag d = diag(SQL_HANDLE_STMT, st->h);
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("01000", d.state);
    EXPECT_EQ(4, d.native);
    EXPECT_EQ(0u, d.text.find("VKL Service response: ")) << d.text;
    // A missing or too long name is refused before the service is asked.
    size_t before = emulator().requests(project).size();
    EXPECT_EQ(SQL_ERROR,
              SQLColumns(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)"", SQL_NTS, nullptr, 0));
    std::string tooLong(513, 't');
    EXPECT_EQ(SQL_ERROR, SQLColumns(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)tooLong.c_str(), 513,
                                    nullptr, 0));
    EXPECT_EQ(before, emulator().requests(project).size());
}

TEST_F(Catalog, TypeInfoForAllTypes) {
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(st->h, SQL_ALL_TYPES)) << st->diagText();
    EXPECT_EQ(19, st->numCols());
    EXPECT_EQ("TYPE_NAME", columnName(st->h, 1));
    EXPECT_EQ("INTERVAL_PRECISION", columnName(st->h, 19));
    Rows rows = st->fetchAllText();
    ASSERT_EQ(15u, rows.size());
    EXPECT_EQ((Names{"INT", "STRING", "DOUBLE", "DECIMAL", "BOOLEAN", "SHORT", "SMALLINT", "BIGINT",
                     "LONG", "TIMESTAMP", "CHAR", "VARCHAR", "DATE", "TINYINT", "FLOAT"}),
              column(rows, 0));
    EXPECT_EQ(
        (Names{"4", "12", "8", "3", "5", "4", "5", "-5", "-5", "93", "12", "12", "91", "-6", "6"}),
        column(rows, 1));
    EXPECT_EQ((Names{"4", "334", "8", "8", "4", "2", "2", "8", "4", "334", "334", "334", "334", "1",
                     "4"}),
              column(rows, 2));
    // INT: signed attribute and auto-unique given; STRING: both NULL.
    EXPECT_EQ((Names{"INT", "4", "4", "<null>", "<null>", "<null>", "1", "1", "3", "1", "0", "0",
                     "INT", "<null>", "<null>", "4", "<null>", "<null>", "<null>"}),
              rows[0]);
    EXPECT_EQ("<null>", rows[1][9]);
    EXPECT_EQ("<null>", rows[1][11]);
    // The type table is the driver's own: the service was not asked.
    EXPECT_EQ(0u, emulator().requests(project).size());
}

TEST_F(Catalog, TypeInfoForOneTypeIsRefused) {
    EXPECT_EQ(SQL_ERROR, SQLGetTypeInfo(st->h, SQL_INTEGER));
}

TEST_F(Catalog, PrimaryAndForeignKeysAreEmpty) {
    ASSERT_EQ(SQL_SUCCESS,
              SQLPrimaryKeys(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)"customers", SQL_NTS))
        << st->diagText();
    EXPECT_EQ(0, st->numCols());
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st->h));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    ASSERT_EQ(SQL_SUCCESS, SQLForeignKeys(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)"customers",
                                          SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0))
        << st->diagText();
    EXPECT_EQ(0, st->numCols());
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st->h));
    EXPECT_EQ(0u, emulator().requests(project).size());
}

TEST_F(Catalog, CatalogResultReplacesTheQueryResult) {
    SQLINTEGER id = 0;
    SQLLEN ind = 0;
    E2E_EXEC(*st, "select id from numbers where id = 9");
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st->h, 1, SQL_C_SLONG, &id, 0, &ind));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
    ASSERT_EQ(SQL_SUCCESS, tables("numbers"));
    // The binding went with the query result.
    id = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ(-1, id);
    EXPECT_EQ("numbers", getText(st->h, 3));
}
