#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"
#include "navixclient.h"

static SQLRETURN _GetTypeInfo(StmtHandle* stmt, SQLSMALLINT dataType) {
    NAVIX_LOG(NAVIX_INFO, "SQLGetTypeInfo", "hDrvStmt = $%08lX, nSqlType = %d", VORN_HVAL(stmt),
              (int)dataType);
    _DropStmtResults(stmt);

    // Without extras there is no result slot; the client refuses that.
    hStmtExtras* extras = stmt->extras;
    if (DBGetTypeInfo(dataType, extras != NULL ? &extras->resultSet : NULL, &stmt->diag) != 0) {
        _ReleaseResults(extras);
        return VORN_STMT_CLIENT_ERROR(stmt, "SQLGetTypeInfo", "SQL_ERROR DBGetTypeInfo failed.");
    }

    SQLRETURN ret = _PrepareResults(stmt);
    if (ret != SQL_SUCCESS) {
        NAVIX_LOG(NAVIX_ERROR, "SQLGetTypeInfo", "Problem preparing SQLGetTypeInfo results");
        return ret;
    }
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT StatementHandle, SQLSMALLINT DataType) {
    // A statement without its extras still goes on, and the client refuses
    // it: the guard's own check would answer SQL_INVALID_HANDLE instead.
    VornStmtCall call(StatementHandle);
    if (call.h == NULL) {
        return SQL_INVALID_HANDLE;
    }
    return _GetTypeInfo(call.h, DataType);
}
