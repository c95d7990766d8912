#include <stdlib.h>

#include "handles.h"

SQLRETURN _FreeDbc(DbcHandle* dbc)
{
    if (dbc == NULL) {
        return SQL_ERROR;
    }
    _ReleaseAllStmts(dbc);

    EnvHandle* env = dbc->env;
    if (env != NULL) {
        if (env->firstDbc == dbc) {
            env->firstDbc = dbc->next;
        }
        if (env->lastDbc == dbc) {
            env->lastDbc = dbc->prev;
        }
    }
    if (dbc->prev != NULL) {
        dbc->prev->next = dbc->next;
    }
    if (dbc->next != NULL) {
        dbc->next->prev = dbc->prev;
    }

    if (dbc->extras != NULL) {
        free(dbc->extras->connInfo);
        free(dbc->extras);
    }
    msgLogClose(dbc->msgLog);
    free(dbc);
    return SQL_SUCCESS;
}
