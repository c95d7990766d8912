#include <stdint.h>

#include "NavixLogging.h"
#include "handles.h"

SQLRETURN _FreeConnect(SQLHDBC connectionHandle)
{
    DbcHandle* dbc = static_cast<DbcHandle*>(connectionHandle);
    if (dbc == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "_FreeConnect", "hDbc = $%08lX", (unsigned long)(uintptr_t)dbc);
    if (dbc->connected || (dbc->extras != NULL && dbc->extras->conn != NULL)) {
        NAVIX_LOG(NAVIX_ERROR, "_FreeConnect", "SQL_ERROR Connection is active");
        return SQL_ERROR;
    }
    if (dbc->firstStmt != NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_FreeConnect", "SQL_ERROR Connection has allocated statements");
        return SQL_ERROR;
    }
    return _FreeDbc(dbc);
}

extern "C" SQLRETURN SQL_API SQLFreeConnect(SQLHDBC connectionHandle)
{
    return _FreeConnect(connectionHandle);
}
