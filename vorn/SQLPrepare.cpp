#include <stdlib.h>
#include <string.h>

#include "NavixLogging.h"
#include "_Connect.h"
#include "_Statement.h"
#include "handles.h"

SQLRETURN _Prepare(StmtHandle* stmt, const SQLCHAR* text, SQLINTEGER textLength)
{
    if (stmt == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_Prepare", "hStmt is SQL_INVALID_HANDLE");
        return SQL_INVALID_HANDLE;
    }
    if (text == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_Prepare", "No SQL to process");
        return SQL_ERROR;
    }
    if (textLength < 0 && textLength != SQL_NTS) {
        NAVIX_LOG(NAVIX_ERROR, "_Prepare", "Invalid SQL text length %d", (int)textLength);
        return SQL_ERROR;
    }
    int bad = 0;
    char* copy = vornDupText(text, textLength, &bad);
    if (copy == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_Prepare", "Memory allocation error");
        return SQL_ERROR;
    }
    if (stmt->sqlText != NULL) {
        NAVIX_LOG(NAVIX_WARN, "_Prepare", "Exist sql: %s, to be prepared sql: %s", stmt->sqlText,
                  copy);
        free(stmt->sqlText);
    }
    stmt->sqlText = copy;
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLPrepare(SQLHSTMT StatementHandle, SQLCHAR* StatementText,
                                        SQLINTEGER TextLength)
{
    return _Prepare((StmtHandle*)StatementHandle, StatementText, TextLength);
}
