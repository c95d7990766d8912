#include "NavixLogging.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT StatementHandle, SQLSMALLINT* ColumnCountPtr)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_INVALID_HANDLE;
    }
    if (ColumnCountPtr == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLNumResultCols", "SQL_ERROR pnColumnCount can not be NULL");
        return SQL_ERROR;
    }
    *ColumnCountPtr = (SQLSMALLINT)stmt->extras->columnCount;
    NAVIX_LOG(NAVIX_INFO, "SQLNumResultCols", "hStmt = $%08lX, ColumnCount = %d",
              (unsigned long)stmt, (int)*ColumnCountPtr);
    return SQL_SUCCESS;
}
