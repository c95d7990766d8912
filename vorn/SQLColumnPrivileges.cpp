#include "SQLOdbcApi.h"
#include "handles.h"

// Not supported: reported in the statement's message log.
extern "C" SQLRETURN SQL_API SQLColumnPrivileges(SQLHSTMT StatementHandle, SQLCHAR* CatalogName, SQLSMALLINT NameLength1,
    SQLCHAR* SchemaName, SQLSMALLINT NameLength2, SQLCHAR* TableName, SQLSMALLINT NameLength3,
    SQLCHAR* ColumnName, SQLSMALLINT NameLength4)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL) {
        return SQL_INVALID_HANDLE;
    }
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    VORN_RECORDF(stmt, 1, "SQL_ERROR %s not currently supported", "SQLColumnPrivileges");
    return SQL_ERROR;
}
