#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLBindCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                        SQLSMALLINT TargetType, SQLPOINTER TargetValuePtr,
                                        SQLLEN BufferLength, SQLLEN* StrLen_or_IndPtr)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "SQLBindCol", "hStmt = $%08lX nCol = %d, type = %d, max = %ld",
              (unsigned long)stmt, (int)ColumnNumber, (int)TargetType, (long)BufferLength);
    hStmtExtras* extras = stmt->extras;
    if (extras->columnHeaders == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLBindCol", "SQL_ERROR Uninitialized column headers.");
        return SQL_ERROR;
    }
    if (ColumnNumber == 0 || ColumnNumber > extras->columnCount) {
        NAVIX_LOG(NAVIX_ERROR, "SQLBindCol", "SQL_ERROR Column %d is out of range. Range is 1 - %zu",
                  (int)ColumnNumber, (size_t)extras->columnCount);
        return SQL_ERROR;
    }
    if (TargetValuePtr == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLBindCol", "SQL_ERROR Invalid data pointer");
        return SQL_ERROR;
    }
    if (StrLen_or_IndPtr != NULL) {
        *StrLen_or_IndPtr = 0;
    }
    ColumnHeader* h = &extras->columnHeaders[ColumnNumber - 1];
    h->boundCType = TargetType;
    h->boundTarget = TargetValuePtr;
    h->boundBufferLength = BufferLength;
    h->boundLenOrInd = StrLen_or_IndPtr;
    return SQL_SUCCESS;
}
