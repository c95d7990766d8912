#include <string.h>

#include "SQLOdbcApi.h"
#include "_StringCopy.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT StatementHandle, SQLCHAR* CursorName,
                                              SQLSMALLINT BufferLength, SQLSMALLINT* NameLengthPtr)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL) {
        return SQL_INVALID_HANDLE;
    }
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    if (CursorName == NULL) {
        VORN_RECORD(stmt, 1, "SQL_ERROR No cursor name.");
        return SQL_ERROR;
    }
    // The field is always terminated; read it bounded all the same.
    int64_t nameLen = (int64_t)strnlen(stmt->cursorName, CURSOR_NAME_SIZE - 1);
    vornCopyStringN((char*)CursorName, BufferLength, stmt->cursorName, nameLen);
    if (NameLengthPtr != NULL) {
        *NameLengthPtr = (SQLSMALLINT)nameLen;
    }
    if (nameLen >= BufferLength) {
        VORN_RECORD(stmt, 1, "SQL_SUCCESS_WITH_INFO Cursor was truncated");
        return SQL_SUCCESS_WITH_INFO;
    }
    VORN_RECORD(stmt, 0, "SQL_SUCCESS");
    return SQL_SUCCESS;
}
