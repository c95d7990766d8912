#include <stdlib.h>

#include "_Diag.h"
#include "_ListLinks.h"
#include "handles.h"

SQLRETURN _FreeDbc(DbcHandle* dbc) {
    if (dbc == NULL) {
        return SQL_ERROR;
    }
    _ReleaseAllStmts(dbc);

    EnvHandle* env = dbc->env;
    if (env != NULL) {
        VornHandleLock lock(&env->lock);
        _ListUnlink(dbc, &env->firstDbc, &env->lastDbc);
    } else {
        _ListUnlink(dbc, (DbcHandle**)NULL, (DbcHandle**)NULL);
    }

    if (dbc->extras != NULL) {
        free(dbc->extras->connInfo);
        free(dbc->extras);
    }
    msgLogClose(dbc->msgLog);
    _HandleLockDestroy(&dbc->lock);
    free(dbc);
    return SQL_SUCCESS;
}
