#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "handles.h"

// No connection attribute can be read; ValuePtr is never written.
SQLRETURN _GetConnectAttr(DbcHandle* dbc, SQLINTEGER attribute)
{
    if (dbc == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "_GetConnectAttr", "hDbc = $%08lX, Attribute = %d", VORN_HVAL(dbc), (int)attribute);
    switch (attribute) {
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_CONNECTION_DEAD:
    case SQL_ATTR_AUTO_IPD:
    case SQL_ATTR_METADATA_ID:
        return SQL_ERROR;
    default:
        if (attribute >= SQL_ATTR_ACCESS_MODE && attribute <= SQL_ATTR_CONNECTION_TIMEOUT) {
            return SQL_ERROR;
        }
        NAVIX_LOG(NAVIX_ERROR, "_GetConnectAttr", "Invalid Connection Attribute=%d", (int)attribute);
        return SQL_ERROR;
    }
}

extern "C" SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute,
                                               SQLPOINTER ValuePtr, SQLINTEGER BufferLength,
                                               SQLINTEGER* StringLengthPtr)
{
    return _GetConnectAttr((DbcHandle*)ConnectionHandle, Attribute);
}
