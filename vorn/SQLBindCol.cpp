#include <stdint.h>
#include <stdlib.h>

#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "_Diag.h"
#include "handles.h"

namespace {

const ColumnBinding kUnbound = {0, NULL, 0, NULL};

// A header's four bound* fields, read and written as one binding.
ColumnBinding bindingOf(const ColumnHeader& h) {
    return ColumnBinding{h.boundCType, h.boundTarget, h.boundBufferLength, h.boundLenOrInd};
}

void setBinding(ColumnHeader& h, const ColumnBinding& b) {
    h.boundCType = b.cType;
    h.boundTarget = b.target;
    h.boundBufferLength = b.bufferLength;
    h.boundLenOrInd = b.lenOrInd;
}

} // namespace

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
        kept[i] = bindingOf(extras->columnHeaders[i]);
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
        if (extras->keptBindings[i].target != NULL) {
            setBinding(extras->columnHeaders[i], extras->keptBindings[i]);
        }
    }
    _ForgetKeptBindings(extras);
}

void _UnbindColumns(hStmtExtras* extras) {
    _ForgetKeptBindings(extras);
    if (extras == NULL || extras->columnHeaders == NULL) {
        return;
    }
    for (uint32_t i = 0; i < extras->columnCount; i++) {
        setBinding(extras->columnHeaders[i], kUnbound);
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
        setBinding(extras->columnHeaders[column - 1], kUnbound);
    } else if (column == 0) {
        return VORN_STMT_ERROR(stmt, "SQLBindCol", SQLSTATE_BAD_COLUMN,
                               "SQL_ERROR Column %d is out of range.", (int)column);
    }
    if (column <= extras->keptCount) {
        extras->keptBindings[column - 1] = kUnbound;
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
    setBinding(extras->columnHeaders[ColumnNumber - 1],
               ColumnBinding{TargetType, TargetValuePtr, BufferLength, StrLen_or_IndPtr});
    return SQL_SUCCESS;
}
