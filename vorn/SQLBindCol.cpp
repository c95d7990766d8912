#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "_Diag.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLBindCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                        SQLSMALLINT TargetType, SQLPOINTER TargetValuePtr,
                                        SQLLEN BufferLength, SQLLEN* StrLen_or_IndPtr) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    NAVIX_LOG(NAVIX_INFO, "SQLBindCol", "hStmt = $%08lX nCol = %d, type = %d, max = %ld",
              (unsigned long)stmt, (int)ColumnNumber, (int)TargetType, (long)BufferLength);
    hStmtExtras* extras = stmt->extras;
    if (extras->columnHeaders == NULL) {
        // Columns can be bound only while the statement holds a result.
        return VORN_STMT_ERROR(stmt, "SQLBindCol", SQLSTATE_SEQUENCE,
                               "SQL_ERROR Uninitialized column headers.");
    }
    if (ColumnNumber == 0 || ColumnNumber > extras->columnCount) {
        return VORN_STMT_ERROR(stmt, "SQLBindCol", SQLSTATE_BAD_COLUMN,
                               "SQL_ERROR Column %d is out of range. Range is 1 - %zu",
                               (int)ColumnNumber, (size_t)extras->columnCount);
    }
    if (TargetValuePtr == NULL) {
        return VORN_STMT_ERROR(stmt, "SQLBindCol", SQLSTATE_NULL_POINTER,
                               "SQL_ERROR Invalid data pointer");
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
