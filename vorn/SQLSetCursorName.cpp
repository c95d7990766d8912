#include <string.h>

#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "_StringCopy.h"
#include "handles.h"

// ODBC's SQLSTATE for a cursor name that breaks the naming rules.
#define SQLSTATE_BAD_CURSOR_NAME "34000"

static int isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

extern "C" SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT StatementHandle, SQLCHAR* CursorName,
                                              SQLSMALLINT NameLength) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    const char* name = (const char*)CursorName;
    // An explicit length counts characters up to a NUL inside the name; any
    // negative length but SQL_NTS is no length at all.
    const char* state = NULL;
    if (name == NULL) {
        state = SQLSTATE_NULL_POINTER;
    } else if (NameLength != SQL_NTS && NameLength <= 0) {
        state = SQLSTATE_BAD_LENGTH;
    } else if (!isAsciiLetter(name[0])) {
        state = SQLSTATE_BAD_CURSOR_NAME;
    }
    if (state != NULL) {
        return VORN_STMT_ERROR(stmt, "SQLSetCursorName", state, "SQL_ERROR Invalid cursor name");
    }
    size_t limit = NameLength == SQL_NTS ? (size_t)(CURSOR_NAME_SIZE - 1) : (size_t)NameLength;
    size_t n = strnlen(name, limit);
    // Names longer than the field are cut to its 99 characters.
    vornCopyStringN(stmt->cursorName, CURSOR_NAME_SIZE, name, (int64_t)n);
    VORN_RECORD(stmt, 0, "SQL_SUCCESS");
    return SQL_SUCCESS;
}
