#include <stdlib.h>

#include "NavixLogging.h"
#include "handles.h"
#include "navixclient.h"

extern "C" SQLRETURN SQL_API SQLDisconnect(SQLHDBC ConnectionHandle)
{
    DbcHandle* dbc = (DbcHandle*)ConnectionHandle;
    if (dbc == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "SQLDisconnect", "hDbc = $%08lX", (unsigned long)dbc);
    if (dbc->connected == 0) {
        NAVIX_LOG(NAVIX_WARN, "SQLDisconnect", "SQL_SUCCESS_WITH_INFO Connection not open");
        return SQL_SUCCESS_WITH_INFO;
    }
    if (dbc->firstStmt != NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLDisconnect",
                  "SQL_ERROR Active Statements exist. Can not disconnect.");
        return SQL_ERROR;
    }
    if (dbc->extras == NULL || NavixCloseConnection(dbc->extras->conn) == 1) {
        NAVIX_LOG(NAVIX_ERROR, "SQLDisconnect", "SQL_ERROR Vorn client unable to disconnect.");
        return SQL_ERROR;
    }
    dbc->extras->conn = NULL;
    free(dbc->extras->connInfo);
    dbc->extras->connInfo = NULL;
    dbc->connected = 0;
    return SQL_SUCCESS;
}
