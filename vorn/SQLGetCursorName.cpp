#include <string.h>

#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "_StringCopy.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT StatementHandle, SQLCHAR* CursorName,
                                              SQLSMALLINT BufferLength,
                                              SQLSMALLINT* NameLengthPtr) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    if (CursorName == NULL) {
        return VORN_STMT_ERROR(stmt, "SQLGetCursorName", SQLSTATE_NULL_POINTER,
                               "SQL_ERROR No cursor name.");
    }
    if (BufferLength < 0) {
        return VORN_STMT_ERROR(stmt, "SQLGetCursorName", SQLSTATE_BAD_LENGTH,
                               "SQL_ERROR Invalid BufferLength %d", (int)BufferLength);
    }
    // The field is always terminated; read it bounded all the same.
    int64_t nameLen = (int64_t)strnlen(stmt->cursorName, CURSOR_NAME_SIZE - 1);
    vornCopyStringN((char*)CursorName, BufferLength, stmt->cursorName, nameLen);
    if (NameLengthPtr != NULL) {
        *NameLengthPtr = (SQLSMALLINT)nameLen;
    }
    if (nameLen >= BufferLength) {
        return VORN_STMT_INFO(stmt, "SQLGetCursorName", SQLSTATE_TRUNCATED,
                              "SQL_SUCCESS_WITH_INFO Cursor was truncated");
    }
    VORN_RECORD(stmt, 0, "SQL_SUCCESS");
    return SQL_SUCCESS;
}
