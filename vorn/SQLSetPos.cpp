#include "SQLOdbcApi.h"
#include "handles.h"

// Cursor positioning is not supported; operations other than SQL_POSITION,
// SQL_REFRESH, SQL_UPDATE and SQL_DELETE are named in the statement's
// message log.
extern "C" SQLRETURN SQL_API SQLSetPos(SQLHSTMT StatementHandle, SQLSETPOSIROW RowNumber, SQLUSMALLINT Operation,
                                       SQLUSMALLINT LockType)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL) {
        return SQL_INVALID_HANDLE;
    }
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    if (Operation > SQL_DELETE) {
        VORN_RECORDF(stmt, 1, "SQL_ERROR Invalid Operation=%d", (int)Operation);
    }
    return SQL_ERROR;
}
