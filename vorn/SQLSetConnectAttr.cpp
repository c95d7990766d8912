#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Three attributes are accepted without effect; nothing is stored.
SQLRETURN _SetConnectAttr(DbcHandle* dbc, SQLINTEGER attribute, SQLPOINTER value) {
    if (dbc == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "_SetConnectAttr", "hDbc = $%08lX, Attribute = %d, Value = %d",
              VORN_HVAL(dbc), (int)attribute, (int)(intptr_t)value);
    switch (attribute) {
    case SQL_ATTR_LOGIN_TIMEOUT:
    case SQL_ATTR_TXN_ISOLATION:
    case SQL_ATTR_QUIET_MODE:
        return SQL_SUCCESS;
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_ACCESS_MODE:
    case SQL_ATTR_AUTOCOMMIT:
    case SQL_ATTR_TRACE:
    case SQL_ATTR_TRACEFILE:
    case SQL_ATTR_TRANSLATE_LIB:
    case SQL_ATTR_TRANSLATE_OPTION:
    case SQL_ATTR_CURRENT_CATALOG:
    case SQL_ATTR_ODBC_CURSORS:
    case SQL_ATTR_PACKET_SIZE:
    case SQL_ATTR_CONNECTION_TIMEOUT:
    case SQL_ATTR_CONNECTION_DEAD:
    case SQL_ATTR_AUTO_IPD:
    case SQL_ATTR_METADATA_ID:
        return VORN_DBC_ERROR(dbc, "_SetConnectAttr", SQLSTATE_NOT_IMPLEMENTED,
                              "SQL_ERROR Connection attribute %d not currently supported",
                              (int)attribute);
    default:
        return VORN_DBC_ERROR(dbc, "_SetConnectAttr", SQLSTATE_BAD_ATTR,
                              "Invalid Connection Attribute = %d", (int)attribute);
    }
}

extern "C" SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute,
                                               SQLPOINTER ValuePtr, SQLINTEGER StringLength) {
    VORN_ENTER(Dbc, dbc, ConnectionHandle);
    return _SetConnectAttr(dbc, Attribute, ValuePtr);
}
