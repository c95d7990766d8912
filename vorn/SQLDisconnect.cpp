#include <stdlib.h>

#include "NavixLogging.h"
#include "_Diag.h"
#include "handles.h"
#include "navixclient.h"

static SQLRETURN _Disconnect(DbcHandle* dbc) {
    NAVIX_LOG(NAVIX_INFO, "SQLDisconnect", "hDbc = $%08lX", (unsigned long)dbc);
    if (dbc->connected == 0) {
        // Nothing to do; the warning says why.
        return VORN_DBC_INFO(dbc, "SQLDisconnect", SQLSTATE_WARNING,
                             "SQL_SUCCESS_WITH_INFO Connection not open");
    }
    if (dbc->firstStmt != NULL) {
        return VORN_DBC_ERROR(dbc, "SQLDisconnect", SQLSTATE_SEQUENCE,
                              "SQL_ERROR Active Statements exist. Can not disconnect.");
    }
    if (NavixCloseConnection(dbc->extras->conn) == 1) {
        return VORN_DBC_ERROR(dbc, "SQLDisconnect", SQLSTATE_GENERAL,
                              "SQL_ERROR Vorn client unable to disconnect.");
    }
    dbc->extras->conn = NULL;
    free(dbc->extras->connInfo);
    dbc->extras->connInfo = NULL;
    dbc->connected = 0;
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLDisconnect(SQLHDBC ConnectionHandle) {
    VORN_ENTER(Dbc, dbc, ConnectionHandle);
    return _Disconnect(dbc);
}
