#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "_Statement.h"
#include "handles.h"
#include "navixclient.h"

SQLRETURN _Execute(StmtHandle* stmt)
{
    if (stmt == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_Execute", "hStmt is SQL_INVALID_HANDLE");
        return SQL_INVALID_HANDLE;
    }
    hStmtExtras* extras = stmt->extras;
    if (extras == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_Execute", "hStmtExtras is NULL");
        return SQL_INVALID_HANDLE;
    }
    if (stmt->sqlText == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_Execute", "Query sql is NULL");
        return SQL_ERROR;
    }
    NAVIX_LOG(NAVIX_INFO, "_Execute", "hStmt = $%08lX", (unsigned long)stmt);

    if (extras->resultSet != NULL || extras->columnHeaders != NULL) {
        _ReleaseResults(extras);
    }

    NavixConnection* conn = _StmtConnection(stmt);
    if (NavixExecute(conn, stmt->sqlText, &extras->resultSet, &stmt->diag) == 1) {
        NAVIX_LOG(NAVIX_ERROR, "_Execute", "Call NavixExecute execute sql failed");
        _ReleaseResults(extras);
        return SQL_ERROR;
    }
    if (extras->resultSet == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_Execute", "Query resultset is NULL");
        _ReleaseResults(extras);
        return SQL_ERROR;
    }
    SQLRETURN rc = _PrepareResults(stmt);
    if (rc != SQL_SUCCESS) {
        STMT_RECORD_ERROR(stmt, "%s", "Problem preparing SQLExecute results");
        _ReleaseResults(extras);
        return rc;
    }
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLExecute(SQLHSTMT StatementHandle)
{
    return _Execute((StmtHandle*)StatementHandle);
}
