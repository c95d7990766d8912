#include <new>

#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_CatalogTableName.h"
#include "handles.h"
#include "navixclient.h"

// Tables of the service have no keys: the answer is always an empty result
// with no columns, and no request goes to the service.
extern "C" SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT StatementHandle, SQLCHAR* CatalogName,
                                            SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                                            SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                            SQLSMALLINT NameLength3)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLPrimaryKeys", "hStmt is NULL");
        return SQL_INVALID_HANDLE;
    }
    hStmtExtras* extras = stmt->extras;
    if (extras == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLPrimaryKeys", "hStmtExtras is NULL");
        return SQL_INVALID_HANDLE;
    }
    char tableName[CATALOG_TABLE_NAME_MAX + 1];
    if (_CatalogTableName(__FILE__, "SQLPrimaryKeys", TableName, NameLength3, tableName) != SQL_SUCCESS) {
        return SQL_ERROR;
    }
    NAVIX_LOG(NAVIX_INFO, "SQLPrimaryKeys", "hStmt = $%08lX, table name = %s", VORN_HVAL(stmt), tableName);
    _DropStmtResults(stmt);

    extras->resultSet = new (std::nothrow) NavixQueryResultSet();
    SQLRETURN ret = _PrepareResults(stmt);
    if (ret != SQL_SUCCESS) {
        NAVIX_LOG(NAVIX_ERROR, "SQLPrimaryKeys", "Problem preparing DBPrimaryKeys results");
        _ReleaseResults(extras);
        return ret;
    }
    return SQL_SUCCESS;
}
