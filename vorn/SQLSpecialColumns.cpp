#include "SQLOdbcApi.h"
#include "handles.h"

// Not supported: reported in the statement's message log.
extern "C" SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT StatementHandle, SQLUSMALLINT IdentifierType, SQLCHAR* CatalogName,
    SQLSMALLINT NameLength1, SQLCHAR* SchemaName, SQLSMALLINT NameLength2, SQLCHAR* TableName,
    SQLSMALLINT NameLength3, SQLUSMALLINT Scope, SQLUSMALLINT Nullable)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL) {
        return SQL_INVALID_HANDLE;
    }
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    VORN_RECORDF(stmt, 1, "SQL_ERROR %s not currently supported", "SQLSpecialColumns");
    return SQL_ERROR;
}
