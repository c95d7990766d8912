#include <new>

#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"
#include "navixclient.h"

// Like SQLPrimaryKeys: an empty result with no columns; no name is looked at.
static SQLRETURN _ForeignKeys(StmtHandle* stmt) {
    hStmtExtras* extras = stmt->extras;
    NAVIX_LOG(NAVIX_INFO, "SQLForeignKeys", "hStmt = $%08lX", VORN_HVAL(stmt));
    _DropStmtResults(stmt);

    extras->resultSet = new (std::nothrow) NavixQueryResultSet();
    SQLRETURN ret = _PrepareResults(stmt);
    if (ret != SQL_SUCCESS) {
        NAVIX_LOG(NAVIX_ERROR, "SQLForeignKeys", "Problem preparing DBForeignKeys results");
        return ret;
    }
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT StatementHandle, SQLCHAR* PKCatalogName,
                                            SQLSMALLINT NameLength1, SQLCHAR* PKSchemaName,
                                            SQLSMALLINT NameLength2, SQLCHAR* PKTableName,
                                            SQLSMALLINT NameLength3, SQLCHAR* FKCatalogName,
                                            SQLSMALLINT NameLength4, SQLCHAR* FKSchemaName,
                                            SQLSMALLINT NameLength5, SQLCHAR* FKTableName,
                                            SQLSMALLINT NameLength6) {
    VORN_TRACE_BAD_STMT("SQLForeignKeys", StatementHandle);
    VORN_ENTER(Stmt, stmt, StatementHandle);
    return _ForeignKeys(stmt);
}
