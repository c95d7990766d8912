#include <stdint.h>

#include "NavixLogging.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT handleType, SQLHANDLE handle) {
    NAVIX_LOG(NAVIX_INFO, "SQLFreeHandle", "Handle = $%08lX, HandleType = %d",
              (unsigned long)(uintptr_t)handle, (int)handleType);
    switch (handleType) {
    case SQL_HANDLE_ENV:
        return _FreeEnv(handle);
    case SQL_HANDLE_DBC:
        return _FreeConnect(handle);
    case SQL_HANDLE_STMT:
        return _ReleaseStmt(static_cast<StmtHandle*>(handle));
    default:
        return SQL_ERROR;
    }
}
