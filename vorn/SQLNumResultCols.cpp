#include "NavixLogging.h"
#include "_Diag.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT StatementHandle,
                                              SQLSMALLINT* ColumnCountPtr) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    if (ColumnCountPtr == NULL) {
        return VORN_STMT_ERROR(stmt, "SQLNumResultCols", SQLSTATE_NULL_POINTER,
                               "SQL_ERROR pnColumnCount can not be NULL");
    }
    *ColumnCountPtr = (SQLSMALLINT)stmt->extras->columnCount;
    NAVIX_LOG(NAVIX_INFO, "SQLNumResultCols", "hStmt = $%08lX, ColumnCount = %d",
              (unsigned long)stmt, (int)*ColumnCountPtr);
    return SQL_SUCCESS;
}
