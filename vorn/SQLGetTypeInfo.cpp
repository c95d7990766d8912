#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "handles.h"
#include "navixclient.h"

extern "C" SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT StatementHandle, SQLSMALLINT DataType)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "SQLGetTypeInfo", "hDrvStmt = $%08lX, nSqlType = %d", VORN_HVAL(stmt), (int)DataType);
    _DropStmtResults(stmt);

    // Without extras there is no result slot; the client refuses that.
    hStmtExtras* extras = stmt->extras;
    if (DBGetTypeInfo(DataType, extras != NULL ? &extras->resultSet : NULL, &stmt->diag) != 0) {
        NAVIX_LOG(NAVIX_ERROR, "SQLGetTypeInfo", "SQL_ERROR DBGetTypeInfo failed.");
        _ReleaseResults(extras);
        return SQL_ERROR;
    }

    SQLRETURN ret = _PrepareResults(stmt);
    if (ret != SQL_SUCCESS) {
        NAVIX_LOG(NAVIX_ERROR, "SQLGetTypeInfo", "Problem preparing SQLGetTypeInfo results");
        _ReleaseResults(extras);
        return ret;
    }
    return SQL_SUCCESS;
}
