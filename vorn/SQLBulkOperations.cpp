#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Not supported: reported in the statement's message log and its record,
// with operations outside ODBC's four named apart.
extern "C" SQLRETURN SQL_API SQLBulkOperations(SQLHSTMT StatementHandle, SQLSMALLINT Operation) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    if (Operation >= SQL_ADD && Operation <= SQL_FETCH_BY_BOOKMARK) {
        return VORN_STMT_NOT_SUPPORTED(stmt, "SQLBulkOperations");
    }
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    return VORN_STMT_ERROR(stmt, "SQLBulkOperations", SQLSTATE_BAD_ATTR,
                           "SQL_ERROR Unknown nOperation=%d", (int)Operation);
}
