#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// The service does not report affected rows: the count is always unknown.
extern "C" SQLRETURN SQL_API SQLRowCount(SQLHSTMT StatementHandle, SQLLEN* RowCountPtr) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    if (RowCountPtr == NULL) {
        return VORN_STMT_ERROR(stmt, "SQLRowCount", SQLSTATE_NULL_POINTER,
                               "SQL_ERROR pnRowCount can not be NULL");
    }
    *RowCountPtr = -1;
    NAVIX_LOG(NAVIX_WARN, "SQLRowCount", "Not currently supported: returning -1. hStmt = $%08lX",
              VORN_HVAL(stmt));
    return SQL_SUCCESS;
}
