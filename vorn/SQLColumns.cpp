#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_CatalogTableName.h"
#include "handles.h"
#include "navixclient.h"

extern "C" SQLRETURN SQL_API SQLColumns(SQLHSTMT StatementHandle, SQLCHAR* CatalogName,
                                        SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                                        SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                        SQLSMALLINT NameLength3, SQLCHAR* ColumnName,
                                        SQLSMALLINT NameLength4)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLColumns", "hStmt is NULL");
        return SQL_INVALID_HANDLE;
    }
    hStmtExtras* extras = stmt->extras;
    if (extras == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLColumns", "hStmtExtras is NULL");
        return SQL_INVALID_HANDLE;
    }
    // The checks come before the previous result is dropped, so a refused
    // call leaves it in place.
    char tableName[CATALOG_TABLE_NAME_MAX + 1];
    if (_CatalogTableName(__FILE__, "SQLColumns", TableName, NameLength3, tableName) != SQL_SUCCESS) {
        return SQL_ERROR;
    }
    NAVIX_LOG(NAVIX_INFO, "SQLColumns", "hStmt = $%08lX, table name = %s", VORN_HVAL(stmt), tableName);
    _DropStmtResults(stmt);

    NavixConnection* conn = _StmtConnection(stmt);
    if (DBColumns(conn, tableName, &extras->resultSet, &stmt->diag) != 0) {
        NAVIX_LOG(NAVIX_ERROR, "SQLColumns", "SQL_ERROR DBColumns failed.");
        _ReleaseResults(extras);
        return SQL_ERROR;
    }

    SQLRETURN ret = _PrepareResults(stmt);
    if (ret != SQL_SUCCESS) {
        NAVIX_LOG(NAVIX_ERROR, "SQLColumns", "Problem preparing SQLColumns results");
        _ReleaseResults(extras);
        return ret;
    }
    return SQL_SUCCESS;
}
