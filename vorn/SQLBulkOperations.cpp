#include "SQLOdbcApi.h"
#include "handles.h"

// Not supported: reported in the statement's message log, with operations
// outside ODBC's four named apart.
extern "C" SQLRETURN SQL_API SQLBulkOperations(SQLHSTMT StatementHandle, SQLSMALLINT Operation)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL) {
        return SQL_INVALID_HANDLE;
    }
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    if (Operation >= SQL_ADD && Operation <= SQL_FETCH_BY_BOOKMARK) {
        VORN_RECORDF(stmt, 1, "SQL_ERROR %s not currently supported", "SQLBulkOperations");
    } else {
        VORN_RECORDF(stmt, 1, "SQL_ERROR Unknown nOperation=%d", (int)Operation);
    }
    return SQL_ERROR;
}
