#include "SQLOdbcApi.h"
#include "handles.h"

// Not supported. With a table name it drops the statement's result first,
// as the catalog calls do.
extern "C" SQLRETURN SQL_API SQLStatistics(SQLHSTMT StatementHandle, SQLCHAR* CatalogName,
                                           SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                                           SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                           SQLSMALLINT NameLength3, SQLUSMALLINT Unique, SQLUSMALLINT Reserved)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_INVALID_HANDLE;
    }
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    if (TableName == NULL || TableName[0] == '\0') {
        VORN_RECORD(stmt, 1, "SQL_ERROR No table name");
        return SQL_ERROR;
    }
    _DropStmtResults(stmt);
    VORN_RECORDF(stmt, 1, "SQL_ERROR %s not currently supported", "SQLStatistics");
    return SQL_ERROR;
}
