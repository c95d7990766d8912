#include <stdint.h>
#include <stdlib.h>

#include "NavixLogging.h"
#include "_Diag.h"
#include "handles.h"

SQLRETURN _FreeEnv(SQLHENV environmentHandle) {
    EnvHandle* env = static_cast<EnvHandle*>(environmentHandle);
    if (env == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "_FreeEnv", "hEnv = $%08lX", (unsigned long)(uintptr_t)env);
    {
        VornEnvCall call(env);
        if (env->firstDbc != NULL) {
            return VORN_ENV_ERROR(env, "_FreeEnv", SQLSTATE_SEQUENCE,
                                  "SQL_ERROR There are allocated Connections");
        }
    }
    msgLogClose(env->msgLog);
    _HandleLockDestroy(&env->lock);
    free(env);
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLFreeEnv(SQLHENV environmentHandle) {
    return _FreeEnv(environmentHandle);
}
