#include <stdint.h>

#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "_Diag.h"
#include "handles.h"

void _UnbindColumns(hStmtExtras* extras)
{
    if (extras == NULL || extras->columnHeaders == NULL) {
        return;
    }
    for (uint32_t i = 0; i < extras->columnCount; i++) {
        ColumnHeader* h = &extras->columnHeaders[i];
        h->boundCType = 0;
        h->boundTarget = NULL;
        h->boundBufferLength = 0;
        h->boundLenOrInd = NULL;
    }
}

extern "C" SQLRETURN SQL_API SQLBindCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                        SQLSMALLINT TargetType, SQLPOINTER TargetValuePtr,
                                        SQLLEN BufferLength, SQLLEN* StrLen_or_IndPtr)
{
    VORN_ENTER(Stmt, stmt, StatementHandle);
    NAVIX_LOG(NAVIX_INFO, "SQLBindCol", "hStmt = $%08lX nCol = %d, type = %d, max = %ld",
              (unsigned long)(uintptr_t)stmt, (int)ColumnNumber, (int)TargetType,
              (long)BufferLength);
    hStmtExtras* extras = stmt->extras;
    if (extras->columnHeaders == NULL) {
        return VORN_STMT_ERROR(stmt, "SQLBindCol", SQLSTATE_SEQUENCE, "%s",
                               "SQL_ERROR Uninitialized column headers.");
    }
    if (!VORN_COLUMN_IN_RANGE(stmt, "SQLBindCol", ColumnNumber)) {
        return SQL_ERROR;
    }
    if (TargetValuePtr == NULL) {
        return VORN_STMT_ERROR(stmt, "SQLBindCol", SQLSTATE_NULL_POINTER, "%s",
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
