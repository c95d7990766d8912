#include <stdlib.h>
#include <string.h>

#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "_Connect.h"
#include "_Diag.h"
#include "_Statement.h"
#include "handles.h"

// A refused text also forgets the one prepared before, as ODBC's statement
// states have it: a later SQLExecute must not run a text that the
// application meant to replace.
static void forgetText(StmtHandle* stmt) {
    free(stmt->sqlText);
    stmt->sqlText = NULL;
    _ForgetKeptBindings(stmt->extras);
}

SQLRETURN _Prepare(StmtHandle* stmt, const SQLCHAR* text, SQLINTEGER textLength) {
    if (stmt == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_Prepare", "hStmt is SQL_INVALID_HANDLE");
        return SQL_INVALID_HANDLE;
    }
    if (text == NULL) {
        forgetText(stmt);
        return VORN_STMT_ERROR(stmt, "_Prepare", SQLSTATE_NULL_POINTER, "No SQL to process");
    }
    int bad = 0;
    char* copy = vornDupText(text, textLength, &bad);
    if (copy == NULL) {
        forgetText(stmt);
        if (bad == VORN_TEXT_BAD_LENGTH) {
            return VORN_STMT_ERROR(stmt, "_Prepare", SQLSTATE_BAD_LENGTH,
                                   "Invalid SQL text length %d", (int)textLength);
        }
        if (bad == VORN_TEXT_EMBEDDED_NUL) {
            // Cut at the NUL, the text would run as a different statement.
            return VORN_STMT_ERROR(stmt, "_Prepare", SQLSTATE_BAD_LENGTH,
                                   "SQL text holds a NUL character within its length %d",
                                   (int)textLength);
        }
        return VORN_STMT_ERROR(stmt, "_Prepare", SQLSTATE_NO_MEMORY, "Memory allocation error");
    }
    if (stmt->sqlText != NULL) {
        NAVIX_LOG(NAVIX_WARN, "_Prepare", "Exist sql: %s, to be prepared sql: %s", stmt->sqlText,
                  copy);
        free(stmt->sqlText);
    }
    stmt->sqlText = copy;
    // Bindings that SQL_CLOSE kept were made for the old text's columns.
    _ForgetKeptBindings(stmt->extras);
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLPrepare(SQLHSTMT StatementHandle, SQLCHAR* StatementText,
                                        SQLINTEGER TextLength) {
    // The worker answers a missing handle itself.
    VornStmtCall call(StatementHandle);
    return _Prepare(call.h, StatementText, TextLength);
}
