#include <stdint.h>
#include <stdlib.h>

#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "_Diag.h"
#include "handles.h"

void _ForgetKeptBindings(hStmtExtras* extras) {
    if (extras == NULL) {
        return;
    }
    free(extras->keptBindings);
    extras->keptBindings = NULL;
    extras->keptCount = 0;
}

int _KeepBindings(hStmtExtras* extras) {
    if (extras == NULL || extras->columnHeaders == NULL) {
        return 0;
    }
    bool any = false;
    for (uint32_t i = 0; i < extras->columnCount && !any; i++) {
        any = extras->columnHeaders[i].boundTarget != NULL;
    }
    if (!any) {
        return 0;
    }
    ColumnBinding* kept =
        static_cast<ColumnBinding*>(calloc(extras->columnCount, sizeof(ColumnBinding)));
    if (kept == NULL) {
        return -1;
    }
    for (uint32_t i = 0; i < extras->columnCount; i++) {
        const ColumnHeader* h = &extras->columnHeaders[i];
        kept[i].cType = h->boundCType;
        kept[i].target = h->boundTarget;
        kept[i].bufferLength = h->boundBufferLength;
        kept[i].lenOrInd = h->boundLenOrInd;
    }
    _ForgetKeptBindings(extras);
    extras->keptBindings = kept;
    extras->keptCount = extras->columnCount;
    return 0;
}

void _RestoreBindings(hStmtExtras* extras) {
    if (extras == NULL || extras->keptBindings == NULL || extras->columnHeaders == NULL) {
        return;
    }
    // Bindings of columns that the new result does not have are dropped,
    // as a new SQLBindCol of them would be refused.
    for (uint32_t i = 0; i < extras->keptCount && i < extras->columnCount; i++) {
        const ColumnBinding* b = &extras->keptBindings[i];
        if (b->target == NULL) {
            continue;
        }
        ColumnHeader* h = &extras->columnHeaders[i];
        h->boundCType = b->cType;
        h->boundTarget = b->target;
        h->boundBufferLength = b->bufferLength;
        h->boundLenOrInd = b->lenOrInd;
    }
    _ForgetKeptBindings(extras);
}

void _UnbindColumns(hStmtExtras* extras) {
    _ForgetKeptBindings(extras);
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

namespace {

// A NULL target unbinds the column, as ODBC has it. The application may free
// the buffer next, so no later fetch may write into it: not of this result,
// nor of the next execution that SQL_CLOSE kept the binding for. Without a
// result there is no column count to check the number against; any column
// but the bookmark may then be unbound, and one never bound stays so.
SQLRETURN unbindColumn(StmtHandle* stmt, SQLUSMALLINT column) {
    hStmtExtras* extras = stmt->extras;
    if (extras->columnHeaders != NULL) {
        if (!VORN_COLUMN_IN_RANGE(stmt, "SQLBindCol", column)) {
            return SQL_ERROR;
        }
        ColumnHeader* h = &extras->columnHeaders[column - 1];
        h->boundCType = 0;
        h->boundTarget = NULL;
        h->boundBufferLength = 0;
        h->boundLenOrInd = NULL;
    } else if (column == 0) {
        return VORN_STMT_ERROR(stmt, "SQLBindCol", SQLSTATE_BAD_COLUMN,
                               "SQL_ERROR Column %d is out of range.", (int)column);
    }
    if (column <= extras->keptCount) {
        extras->keptBindings[column - 1] = ColumnBinding{0, NULL, 0, NULL};
    }
    return SQL_SUCCESS;
}

} // namespace

extern "C" SQLRETURN SQL_API SQLBindCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                        SQLSMALLINT TargetType, SQLPOINTER TargetValuePtr,
                                        SQLLEN BufferLength, SQLLEN* StrLen_or_IndPtr) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    NAVIX_LOG(NAVIX_INFO, "SQLBindCol", "hStmt = $%08lX nCol = %d, type = %d, max = %ld",
              (unsigned long)(uintptr_t)stmt, (int)ColumnNumber, (int)TargetType,
              (long)BufferLength);
    if (TargetValuePtr == NULL) {
        return unbindColumn(stmt, ColumnNumber);
    }
    hStmtExtras* extras = stmt->extras;
    if (extras->columnHeaders == NULL) {
        return VORN_STMT_ERROR(stmt, "SQLBindCol", SQLSTATE_SEQUENCE, "%s",
                               "SQL_ERROR Uninitialized column headers.");
    }
    if (!VORN_COLUMN_IN_RANGE(stmt, "SQLBindCol", ColumnNumber)) {
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
