#include <new>

#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_CatalogTableName.h"
#include "_Diag.h"
#include "handles.h"
#include "navixclient.h"

// Tables of the service have no keys: the answer is always an empty result
// with no columns, and no request goes to the service.
static SQLRETURN _PrimaryKeys(StmtHandle* stmt, const SQLCHAR* tableNameArg,
                              SQLSMALLINT nameLength) {
    hStmtExtras* extras = stmt->extras;
    char tableName[CATALOG_TABLE_NAME_MAX + 1];
    SQLRETURN rc =
        _CatalogTableName(stmt, __FILE__, "SQLPrimaryKeys", tableNameArg, nameLength, tableName);
    if (rc != SQL_SUCCESS) {
        return rc;
    }
    NAVIX_LOG(NAVIX_INFO, "SQLPrimaryKeys", "hStmt = $%08lX, table name = %s", VORN_HVAL(stmt),
              tableName);
    _DropStmtResults(stmt);

    extras->resultSet = new (std::nothrow) NavixQueryResultSet();
    rc = _PrepareResults(stmt);
    if (rc != SQL_SUCCESS) {
        NAVIX_LOG(NAVIX_ERROR, "SQLPrimaryKeys", "Problem preparing DBPrimaryKeys results");
        return rc;
    }
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT StatementHandle, SQLCHAR* CatalogName,
                                            SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                                            SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                            SQLSMALLINT NameLength3) {
    VORN_TRACE_BAD_STMT("SQLPrimaryKeys", StatementHandle);
    VORN_ENTER(Stmt, stmt, StatementHandle);
    return _PrimaryKeys(stmt, TableName, NameLength3);
}
