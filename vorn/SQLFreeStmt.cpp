#include <stdint.h>
#include <stdlib.h>

#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "_Diag.h"
#include "_ListLinks.h"
#include "handles.h"

SQLRETURN _ReleaseStmt(StmtHandle* stmt) {
    if (stmt == NULL) {
        return SQL_ERROR;
    }
    // A call still running on the statement on another thread ends first.
    pthread_mutex_lock(&stmt->lock);
    // The result goes before the statement leaves its connection's list: once
    // the list is empty, another thread may disconnect, and nothing of the
    // statement may then still hold the client connection's objects.
    free(stmt->sqlText);
    stmt->sqlText = NULL;
    if (stmt->extras != NULL) {
        if (stmt->extras->resultSet != NULL || stmt->extras->columnHeaders != NULL) {
            _ReleaseResults(stmt->extras);
        }
        _ForgetKeptBindings(stmt->extras);
        free(stmt->extras);
        stmt->extras = NULL;
    }
    DbcHandle* dbc = stmt->dbc;
    if (dbc != NULL) {
        VornHandleLock lock(&dbc->lock);
        _ListUnlink(stmt, &dbc->firstStmt, &dbc->lastStmt);
    } else {
        _ListUnlink(stmt, (StmtHandle**)NULL, (StmtHandle**)NULL);
    }
    msgLogClose(stmt->msgLog);
    pthread_mutex_unlock(&stmt->lock);
    _HandleLockDestroy(&stmt->lock);
    free(stmt);
    return SQL_SUCCESS;
}

int _ReleaseAllStmts(DbcHandle* dbc) {
    if (dbc == NULL) {
        return 0;
    }
    // The list is read under the connection's lock, but each statement is
    // freed without it: freeing takes the statement's lock first and then
    // the connection's, the order every call keeps.
    for (;;) {
        StmtHandle* first;
        {
            VornHandleLock lock(&dbc->lock);
            first = dbc->firstStmt;
        }
        if (first == NULL) {
            return 0;
        }
        _ReleaseStmt(first);
    }
}

extern "C" SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT statementHandle, SQLUSMALLINT option) {
    StmtHandle* stmt = static_cast<StmtHandle*>(statementHandle);
    if (stmt == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "SQLFreeStmt", "hStmt = $%08lX, Option = %d",
              (unsigned long)(uintptr_t)stmt, (int)option);
    if (option == SQL_DROP) {
        // Frees the handle and its lock: no guard may hold it.
        return _ReleaseStmt(stmt);
    }
    VornStmtCall call(stmt);
    switch (option) {
    case SQL_CLOSE:
        // The result ends (a fetch now has nothing to read); the prepared
        // text stays for the next SQLExecute, and the column bindings for
        // the next result, as ODBC has it.
        if (_KeepBindings(stmt->extras) != 0) {
            return VORN_STMT_ERROR(stmt, "SQLFreeStmt", SQLSTATE_NO_MEMORY,
                                   "Memory allocation error");
        }
        _ReleaseResults(stmt->extras);
        return SQL_SUCCESS;
    case SQL_UNBIND:
        // Every binding goes: the next fetch writes into none of their buffers.
        _UnbindColumns(stmt->extras);
        return SQL_SUCCESS;
    case SQL_RESET_PARAMS:
        return SQL_SUCCESS;
    default:
        return VORN_STMT_ERROR(stmt, "SQLFreeStmt", SQLSTATE_BAD_ATTR,
                               "SQL_ERROR Invalid nOption=%d", (int)option);
    }
}
