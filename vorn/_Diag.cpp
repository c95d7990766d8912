#include "_Diag.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "NavixLogging.h"
#include "SQLOdbcApi.h"

void _DiagClear(DiagRecord* record) {
    if (record != NULL) {
        memset(record, 0, sizeof(*record));
    }
}

void _DiagSet(DiagRecord* record, const char* sqlstate, int32_t native, const char* message) {
    if (record == NULL) {
        return;
    }
    memset(record, 0, sizeof(*record));
    record->nativeCode = native;
    const char* state = sqlstate != NULL ? sqlstate : SQLSTATE_GENERAL;
    memcpy(record->sqlState, state, strnlen(state, DIAG_SQLSTATE_SIZE - 1));
    if (message != NULL) {
        memcpy(record->message, message, strnlen(message, DIAG_MESSAGE_SIZE - 1));
    }
}

bool _DiagHolds(const DiagRecord* record) {
    return record != NULL && record->sqlState[0] != '\0' &&
           !(record->sqlState[0] == '0' && record->sqlState[1] == '0');
}

namespace {

// What every helper does once the text is formatted into the handle's
// message buffer.
SQLRETURN report(DiagRecord* record, MsgLog* log, const char* text, const char* file, int line,
                 const char* func, SQLRETURN rc, const char* sqlstate, int32_t native) {
    if (sqlstate != NULL) {
        _DiagSet(record, sqlstate, native, text);
    }
    _RecordText(log, file, line, 1, text);
    NavixLogging(rc == SQL_ERROR ? NAVIX_ERROR : NAVIX_WARN, file, func, line, "%s", text);
    return rc;
}

} // namespace

#define VORN_FORMAT_INTO(buf, fmt)                                                                 \
    do {                                                                                           \
        va_list ap;                                                                                \
        va_start(ap, fmt);                                                                         \
        vsnprintf((buf), sizeof(buf), (fmt), ap);                                                  \
        va_end(ap);                                                                                \
    } while (0)

SQLRETURN _EnvFail(EnvHandle* env, const char* file, int line, const char* func, SQLRETURN rc,
                   const char* sqlstate, int32_t native, const char* fmt, ...) {
    if (env == NULL) {
        return rc;
    }
    VORN_FORMAT_INTO(env->msg, fmt);
    return report(&env->diag, env->msgLog, env->msg, file, line, func, rc, sqlstate, native);
}

SQLRETURN _DbcFail(DbcHandle* dbc, const char* file, int line, const char* func, SQLRETURN rc,
                   const char* sqlstate, int32_t native, const char* fmt, ...) {
    if (dbc == NULL) {
        return rc;
    }
    VORN_FORMAT_INTO(dbc->msg, fmt);
    return report(&dbc->diag, dbc->msgLog, dbc->msg, file, line, func, rc, sqlstate, native);
}

SQLRETURN _StmtFail(StmtHandle* stmt, const char* file, int line, const char* func, SQLRETURN rc,
                    const char* sqlstate, int32_t native, const char* fmt, ...) {
    if (stmt == NULL) {
        return rc;
    }
    VORN_FORMAT_INTO(stmt->msg, fmt);
    return report(&stmt->diag, stmt->msgLog, stmt->msg, file, line, func, rc, sqlstate, native);
}

SQLRETURN _DbcClientFail(DbcHandle* dbc, const char* file, int line, const char* func,
                         const char* fmt, ...) {
    if (dbc == NULL) {
        return SQL_ERROR;
    }
    VORN_FORMAT_INTO(dbc->msg, fmt);
    return report(&dbc->diag, dbc->msgLog, dbc->msg, file, line, func, SQL_ERROR,
                  _DiagHolds(&dbc->diag) ? NULL : SQLSTATE_GENERAL, 0);
}

SQLRETURN _StmtClientFail(StmtHandle* stmt, const char* file, int line, const char* func,
                          const char* fmt, ...) {
    if (stmt == NULL) {
        return SQL_ERROR;
    }
    VORN_FORMAT_INTO(stmt->msg, fmt);
    return report(&stmt->diag, stmt->msgLog, stmt->msg, file, line, func, SQL_ERROR,
                  _DiagHolds(&stmt->diag) ? NULL : SQLSTATE_GENERAL, 0);
}

bool _StmtColumnInRange(StmtHandle* stmt, const char* file, int line, const char* func,
                        SQLUSMALLINT column, const char* shortPrefix) {
    if (stmt == NULL || stmt->extras == NULL) {
        return false;
    }
    if (column >= 1 && column <= stmt->extras->columnCount) {
        return true;
    }
    if (shortPrefix != NULL) {
        _StmtFail(stmt, file, line, func, SQL_ERROR, SQLSTATE_BAD_COLUMN, 0, "%s%u", shortPrefix,
                  (unsigned)column);
    } else {
        _StmtFail(stmt, file, line, func, SQL_ERROR, SQLSTATE_BAD_COLUMN, 0,
                  "SQL_ERROR Column %d is out of range. Range is 1 - %zu", (int)column,
                  (size_t)stmt->extras->columnCount);
    }
    return false;
}
