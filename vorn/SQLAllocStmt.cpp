#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "NavixLogging.h"
#include "_Diag.h"
#include "_ListLinks.h"
#include "handles.h"

SQLRETURN _AllocStmt(SQLHDBC connectionHandle, SQLHANDLE* outputHandle) {
    if (connectionHandle == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_AllocStmt", "SQL_INVALID_HANDLE");
    }
    VORN_ENTER(Dbc, dbc, connectionHandle);
    if (outputHandle == NULL) {
        return VORN_DBC_ERROR(dbc, "_AllocStmt", SQLSTATE_NULL_POINTER, "SQL_ERROR phStmt=NULL");
    }

    StmtHandle* stmt = static_cast<StmtHandle*>(calloc(1, sizeof(StmtHandle)));
    // A handle is never handed out without its extras record.
    hStmtExtras* extras = NULL;
    if (stmt != NULL) {
        extras = static_cast<hStmtExtras*>(calloc(1, sizeof(hStmtExtras)));
        if (extras == NULL) {
            free(stmt);
            stmt = NULL;
        }
    }
    *outputHandle = stmt;
    if (stmt == NULL) {
        return VORN_DBC_ERROR(dbc, "_AllocStmt", SQLSTATE_NO_MEMORY,
                              "SQL_ERROR memory allocation failure");
    }
    _HandleLockInit(&stmt->lock);

    stmt->dbc = dbc;
    stmt->msgLog = NULL;
    stmt->prev = NULL;
    stmt->next = NULL;
    stmt->sqlText = NULL;
    // The whole handle value: on 64-bit it takes more than eight digits.
    snprintf(stmt->cursorName, sizeof(stmt->cursorName), "CUR_%08lX",
             (unsigned long)(uintptr_t)stmt);
    if (msgLogOpen(&stmt->msgLog, NULL)) {
        stmt->msgLog->on = 1;
    } else {
        stmt->msgLog = NULL;
    }

    _ListAppend(stmt, dbc->firstStmt, dbc->lastStmt);

    extras->resultSet = NULL;
    extras->columnHeaders = NULL;
    extras->columnCount = 0;
    stmt->extras = extras;
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLAllocStmt(SQLHDBC connectionHandle, SQLHSTMT* statementHandle) {
    NAVIX_LOG(NAVIX_DEBUG, "SQLAllocStmt", "hDrvDbc = $%08lX",
              (unsigned long)(uintptr_t)connectionHandle);
    return _AllocStmt(connectionHandle, statementHandle);
}
