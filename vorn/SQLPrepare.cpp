#include <stdlib.h>
#include <string.h>

#include "NavixLogging.h"
#include "_Connect.h"
#include "_Diag.h"
#include "_Statement.h"
#include "handles.h"

SQLRETURN _Prepare(StmtHandle* stmt, const SQLCHAR* text, SQLINTEGER textLength) {
    if (stmt == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_Prepare", "hStmt is SQL_INVALID_HANDLE");
        return SQL_INVALID_HANDLE;
    }
    if (text == NULL) {
        return VORN_STMT_ERROR(stmt, "_Prepare", SQLSTATE_NULL_POINTER, "No SQL to process");
    }
    if (textLength < 0 && textLength != SQL_NTS) {
        return VORN_STMT_ERROR(stmt, "_Prepare", SQLSTATE_BAD_LENGTH, "Invalid SQL text length %d",
                               (int)textLength);
    }
    int bad = 0;
    char* copy = vornDupText(text, textLength, &bad);
    if (copy == NULL) {
        return VORN_STMT_ERROR(stmt, "_Prepare", SQLSTATE_NO_MEMORY, "Memory allocation error");
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
                                        SQLINTEGER TextLength) {
    // The worker answers a missing handle itself.
    VornStmtCall call(StatementHandle);
    return _Prepare(call.h, StatementText, TextLength);
}
