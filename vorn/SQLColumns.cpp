#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_CatalogTableName.h"
#include "_Diag.h"
#include "handles.h"
#include "navixclient.h"

static SQLRETURN _Columns(StmtHandle* stmt, const SQLCHAR* tableNameArg, SQLSMALLINT nameLength) {
    hStmtExtras* extras = stmt->extras;
    // The checks come before the previous result is dropped, so a refused
    // call leaves it in place.
    char tableName[CATALOG_TABLE_NAME_MAX + 1];
    SQLRETURN rc =
        _CatalogTableName(stmt, __FILE__, "SQLColumns", tableNameArg, nameLength, tableName);
    if (rc != SQL_SUCCESS) {
        return rc;
    }
    NAVIX_LOG(NAVIX_INFO, "SQLColumns", "hStmt = $%08lX, table name = %s", VORN_HVAL(stmt),
              tableName);
    _DropStmtResults(stmt);

    NavixConnection* conn = _StmtConnection(stmt);
    if (DBColumns(conn, tableName, &extras->resultSet, &stmt->diag) != 0) {
        _ReleaseResults(extras);
        return VORN_STMT_CLIENT_ERROR(stmt, "SQLColumns", "SQL_ERROR DBColumns failed.");
    }

    rc = _PrepareResults(stmt);
    if (rc != SQL_SUCCESS) {
        NAVIX_LOG(NAVIX_ERROR, "SQLColumns", "Problem preparing SQLColumns results");
        return rc;
    }
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLColumns(SQLHSTMT StatementHandle, SQLCHAR* CatalogName,
                                        SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                                        SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                        SQLSMALLINT NameLength3, SQLCHAR* ColumnName,
                                        SQLSMALLINT NameLength4) {
    VORN_TRACE_BAD_STMT("SQLColumns", StatementHandle);
    VORN_ENTER(Stmt, stmt, StatementHandle);
    return _Columns(stmt, TableName, NameLength3);
}
