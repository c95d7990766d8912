#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Not supported. With a table name it drops the statement's result first,
// as the catalog calls do.
extern "C" SQLRETURN SQL_API SQLStatistics(SQLHSTMT StatementHandle, SQLCHAR* CatalogName,
                                           SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                                           SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                           SQLSMALLINT NameLength3, SQLUSMALLINT Unique,
                                           SQLUSMALLINT Reserved) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    if (TableName == NULL || TableName[0] == '\0') {
        VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
        return VORN_STMT_ERROR(stmt, "SQLStatistics",
                               TableName == NULL ? SQLSTATE_NULL_POINTER : SQLSTATE_BAD_LENGTH,
                               "SQL_ERROR No table name");
    }
    _DropStmtResults(stmt);
    return VORN_STMT_NOT_SUPPORTED(stmt, "SQLStatistics");
}
