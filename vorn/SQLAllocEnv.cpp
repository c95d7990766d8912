#include <stdlib.h>

#include "NavixLogging.h"
#include "_Diag.h"
#include "handles.h"

SQLRETURN _AllocEnv(SQLHANDLE* outputHandle) {
    if (outputHandle == NULL) {
        return SQL_INVALID_HANDLE;
    }
    EnvHandle* env = static_cast<EnvHandle*>(calloc(1, sizeof(EnvHandle)));
    *outputHandle = env;
    if (env == NULL) {
        return SQL_ERROR;
    }
    env->firstDbc = NULL;
    env->lastDbc = NULL;
    _HandleLockInit(&env->lock);
    if (msgLogOpen(&env->msgLog, MSGLOG_DEFAULT_FILE)) {
        env->msgLog->on = 1;
    } else {
        env->msgLog = NULL;
    }
    NAVIX_LOG(NAVIX_INFO, "_AllocEnv", "Alloc env success.");
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLAllocEnv(SQLHENV* environmentHandle) {
    return _AllocEnv(environmentHandle);
}
