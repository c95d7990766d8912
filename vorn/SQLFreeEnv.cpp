#include <stdint.h>
#include <stdlib.h>

#include "NavixLogging.h"
#include "handles.h"

SQLRETURN _FreeEnv(SQLHENV environmentHandle)
{
    EnvHandle* env = static_cast<EnvHandle*>(environmentHandle);
    if (env == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "_FreeEnv", "hEnv = $%08lX", (unsigned long)(uintptr_t)env);
    if (env->firstDbc != NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_FreeEnv", "SQL_ERROR There are allocated Connections");
        return SQL_ERROR;
    }
    msgLogClose(env->msgLog);
    free(env);
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLFreeEnv(SQLHENV environmentHandle)
{
    return _FreeEnv(environmentHandle);
}
