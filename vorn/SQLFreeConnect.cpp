#include <stdint.h>

#include "NavixLogging.h"
#include "_Diag.h"
#include "handles.h"

SQLRETURN _FreeConnect(SQLHDBC connectionHandle) {
    DbcHandle* dbc = static_cast<DbcHandle*>(connectionHandle);
    if (dbc == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "_FreeConnect", "hDbc = $%08lX", (unsigned long)(uintptr_t)dbc);
    {
        VornDbcCall call(dbc);
        if (dbc->connected || (dbc->extras != NULL && dbc->extras->conn != NULL)) {
            return VORN_DBC_ERROR(dbc, "_FreeConnect", SQLSTATE_SEQUENCE,
                                  "SQL_ERROR Connection is active");
        }
        if (dbc->firstStmt != NULL) {
            return VORN_DBC_ERROR(dbc, "_FreeConnect", SQLSTATE_SEQUENCE,
                                  "SQL_ERROR Connection has allocated statements");
        }
    }
    return _FreeDbc(dbc);
}

extern "C" SQLRETURN SQL_API SQLFreeConnect(SQLHDBC connectionHandle) {
    return _FreeConnect(connectionHandle);
}
