#include <string.h>

#include "SQLOdbcApi.h"
#include "_StringCopy.h"
#include "handles.h"

static int isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

extern "C" SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT StatementHandle, SQLCHAR* CursorName,
                                              SQLSMALLINT NameLength)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL) {
        return SQL_INVALID_HANDLE;
    }
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    const char* name = (const char*)CursorName;
    // An explicit length counts characters up to a NUL inside the name; any
    // negative length but SQL_NTS is no length at all.
    int valid = name != NULL && (NameLength == SQL_NTS || NameLength > 0) && isAsciiLetter(name[0]);
    if (!valid) {
        VORN_RECORD(stmt, 1, "SQL_ERROR Invalid cursor name");
        return SQL_ERROR;
    }
    size_t limit = NameLength == SQL_NTS ? (size_t)(CURSOR_NAME_SIZE - 1) : (size_t)NameLength;
    size_t n = strnlen(name, limit);
    // Names longer than the field are cut to its 99 characters.
    vornCopyStringN(stmt->cursorName, CURSOR_NAME_SIZE, name, (int64_t)n);
    VORN_RECORD(stmt, 0, "SQL_SUCCESS");
    return SQL_SUCCESS;
}
