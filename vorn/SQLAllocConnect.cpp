#include <stdint.h>
#include <stdlib.h>

#include "NavixLogging.h"
#include "_Diag.h"
#include "_ListLinks.h"
#include "handles.h"

SQLRETURN _AllocConnect(SQLHENV environmentHandle, SQLHANDLE* outputHandle) {
    VORN_ENTER(Env, env, environmentHandle);
    NAVIX_LOG(NAVIX_INFO, "_AllocConnect", "hEnv = $%08lX", (unsigned long)(uintptr_t)env);
    if (outputHandle == NULL) {
        return VORN_ENV_ERROR(env, "_AllocConnect", SQLSTATE_NULL_POINTER,
                              "SQL_ERROR *phDbc is NULL");
    }

    DbcHandle* dbc = static_cast<DbcHandle*>(calloc(1, sizeof(DbcHandle)));
    // A handle is never handed out without its extras record.
    hDbcExtras* extras = NULL;
    if (dbc != NULL) {
        extras = static_cast<hDbcExtras*>(calloc(1, sizeof(hDbcExtras)));
        if (extras == NULL) {
            free(dbc);
            dbc = NULL;
        }
    }
    *outputHandle = dbc;
    if (dbc == NULL) {
        return VORN_ENV_ERROR(env, "_AllocConnect", SQLSTATE_NO_MEMORY, "SQL_ERROR malloc error");
    }
    _HandleLockInit(&dbc->lock);

    dbc->connected = 0;
    dbc->prev = NULL;
    dbc->next = NULL;
    dbc->firstStmt = NULL;
    dbc->lastStmt = NULL;
    dbc->env = env;
    if (msgLogOpen(&dbc->msgLog, NULL)) {
        dbc->msgLog->on = 1;
    } else {
        dbc->msgLog = NULL;
    }

    _ListAppend(dbc, env->firstDbc, env->lastDbc);

    extras->connInfo = NULL;
    extras->conn = NULL;
    dbc->extras = extras;
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLAllocConnect(SQLHENV environmentHandle, SQLHDBC* connectionHandle) {
    return _AllocConnect(environmentHandle, connectionHandle);
}
