#include "SQLOdbcApi.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "_Connect.h"
#include "_Diag.h"

void _RecordText(MsgLog* log, const char* file, int line, int severity, const char* text) {
    // Pushes to a handle without a log are dropped by msgLogPush itself.
    (void)msgLogPush(log, file, file, line, severity, severity, text);
}

void _RecordFormat(MsgLog* log, char* msgBuf, const char* file, int line, int severity,
                   const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(msgBuf, HANDLE_MSG_SIZE, fmt, ap);
    va_end(ap);
    _RecordText(log, file, line, severity, msgBuf);
}

SQLRETURN _StmtNotSupported(StmtHandle* stmt, const char* file, int line, const char* name) {
    _RecordFormat(stmt->msgLog, stmt->msg, file, line, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    return _StmtFail(stmt, file, line, name, SQL_ERROR, SQLSTATE_NOT_IMPLEMENTED, 0,
                     "SQL_ERROR %s not currently supported", name);
}

void _TraceBadStmt(const char* file, int line, const char* func, SQLHSTMT handle) {
    const StmtHandle* stmt = static_cast<const StmtHandle*>(handle);
    if (stmt == NULL) {
        NavixLogging(NAVIX_ERROR, file, func, line, "hStmt is NULL");
    } else if (stmt->extras == NULL) {
        NavixLogging(NAVIX_ERROR, file, func, line, "hStmtExtras is NULL");
    }
}

void _DropStmtResults(StmtHandle* stmt) {
    if (stmt == NULL) {
        return;
    }
    hStmtExtras* extras = stmt->extras;
    if (extras != NULL && (extras->resultSet != NULL || extras->columnHeaders != NULL)) {
        _ReleaseResults(extras);
    }
    if (stmt->sqlText != NULL) {
        free(stmt->sqlText);
        stmt->sqlText = NULL;
    }
    _ForgetKeptBindings(extras);
}

bool _NameArgHasEmbeddedNul(const char* name, size_t n, size_t length) {
    for (size_t i = n; i < length; i++) {
        if (name[i] != '\0') {
            return true;
        }
    }
    return false;
}

SQLRETURN _CopyNameArg(StmtHandle* stmt, const char* func, const char* argName, const SQLCHAR* name,
                       SQLSMALLINT length, char** copy) {
    *copy = NULL;
    if (name == NULL) {
        return SQL_SUCCESS;
    }
    // SQL_NTS and every other negative length read up to the NUL.
    int bad = VORN_TEXT_OK;
    char* out = vornDupText(name, length < 0 ? SQL_NTS : length, &bad);
    if (bad == VORN_TEXT_EMBEDDED_NUL) {
        return VORN_STMT_ERROR(stmt, func, SQLSTATE_BAD_LENGTH,
                               "%s holds a NUL character within its length %d", argName,
                               (int)length);
    }
    if (out == NULL) {
        return VORN_STMT_ERROR(stmt, func, SQLSTATE_NO_MEMORY, "SQL_ERROR %s failed.", func);
    }
    *copy = out;
    return SQL_SUCCESS;
}
