#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "handles.h"

// The service does not report affected rows: the count is always unknown.
extern "C" SQLRETURN SQL_API SQLRowCount(SQLHSTMT StatementHandle, SQLLEN* RowCountPtr)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_INVALID_HANDLE;
    }
    if (RowCountPtr == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLRowCount", "SQL_ERROR pnRowCount can not be NULL");
        return SQL_ERROR;
    }
    *RowCountPtr = -1;
    NAVIX_LOG(NAVIX_WARN, "SQLRowCount", "Not currently supported: returning -1. hStmt = $%08lX", VORN_HVAL(stmt));
    return SQL_SUCCESS;
}
