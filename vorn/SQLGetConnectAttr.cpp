#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// No connection attribute can be read; ValuePtr is never written.
SQLRETURN _GetConnectAttr(DbcHandle* dbc, SQLINTEGER attribute) {
    if (dbc == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "_GetConnectAttr", "hDbc = $%08lX, Attribute = %d", VORN_HVAL(dbc),
              (int)attribute);
    bool known = attribute == SQL_ATTR_ASYNC_ENABLE || attribute == SQL_ATTR_CONNECTION_DEAD ||
                 attribute == SQL_ATTR_AUTO_IPD || attribute == SQL_ATTR_METADATA_ID ||
                 (attribute >= SQL_ATTR_ACCESS_MODE && attribute <= SQL_ATTR_CONNECTION_TIMEOUT);
    if (known) {
        return VORN_DBC_ERROR(dbc, "_GetConnectAttr", SQLSTATE_NOT_IMPLEMENTED,
                              "SQL_ERROR Connection attribute %d not currently supported",
                              (int)attribute);
    }
    return VORN_DBC_ERROR(dbc, "_GetConnectAttr", SQLSTATE_BAD_ATTR,
                          "Invalid Connection Attribute=%d", (int)attribute);
}

extern "C" SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute,
                                               SQLPOINTER ValuePtr, SQLINTEGER BufferLength,
                                               SQLINTEGER* StringLengthPtr) {
    VORN_ENTER(Dbc, dbc, ConnectionHandle);
    return _GetConnectAttr(dbc, Attribute);
}
