#include <stdlib.h>

#include "handles.h"
#include "_ListLinks.h"

SQLRETURN _FreeDbc(DbcHandle* dbc)
{
    if (dbc == NULL) {
        return SQL_ERROR;
    }
    _ReleaseAllStmts(dbc);

    EnvHandle* env = dbc->env;
    _ListUnlink(dbc, env != NULL ? &env->firstDbc : NULL, env != NULL ? &env->lastDbc : NULL);

    if (dbc->extras != NULL) {
        free(dbc->extras->connInfo);
        free(dbc->extras);
    }
    msgLogClose(dbc->msgLog);
    free(dbc);
    return SQL_SUCCESS;
}
