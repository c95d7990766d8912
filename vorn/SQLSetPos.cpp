#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Cursor positioning is not supported; operations other than SQL_POSITION,
// SQL_REFRESH, SQL_UPDATE and SQL_DELETE are named as invalid.
extern "C" SQLRETURN SQL_API SQLSetPos(SQLHSTMT StatementHandle, SQLSETPOSIROW RowNumber,
                                       SQLUSMALLINT Operation, SQLUSMALLINT LockType) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    if (Operation <= SQL_DELETE) {
        return VORN_STMT_NOT_SUPPORTED(stmt, "SQLSetPos");
    }
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    return VORN_STMT_ERROR(stmt, "SQLSetPos", SQLSTATE_BAD_ATTR, "SQL_ERROR Invalid Operation=%d",
                           (int)Operation);
}
