#include <new>

#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "handles.h"
#include "navixclient.h"

// Like SQLPrimaryKeys: an empty result with no columns; no name is looked at.
extern "C" SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT StatementHandle, SQLCHAR* PKCatalogName,
                                            SQLSMALLINT NameLength1, SQLCHAR* PKSchemaName,
                                            SQLSMALLINT NameLength2, SQLCHAR* PKTableName,
                                            SQLSMALLINT NameLength3, SQLCHAR* FKCatalogName,
                                            SQLSMALLINT NameLength4, SQLCHAR* FKSchemaName,
                                            SQLSMALLINT NameLength5, SQLCHAR* FKTableName,
                                            SQLSMALLINT NameLength6)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLForeignKeys", "hStmt is NULL");
        return SQL_INVALID_HANDLE;
    }
    hStmtExtras* extras = stmt->extras;
    if (extras == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLForeignKeys", "hStmtExtras is NULL");
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "SQLForeignKeys", "hStmt = $%08lX", VORN_HVAL(stmt));
    _DropStmtResults(stmt);

    extras->resultSet = new (std::nothrow) NavixQueryResultSet();
    SQLRETURN ret = _PrepareResults(stmt);
    if (ret != SQL_SUCCESS) {
        NAVIX_LOG(NAVIX_ERROR, "SQLForeignKeys", "Problem preparing DBForeignKeys results");
        _ReleaseResults(extras);
        return ret;
    }
    return SQL_SUCCESS;
}
