#include "SQLOdbcApi.h"
#include "handles.h"

// Not supported: reported in the connection's message log.
extern "C" SQLRETURN SQL_API SQLNativeSql(SQLHDBC ConnectionHandle, SQLCHAR* InStatementText,
                                          SQLINTEGER TextLength1, SQLCHAR* OutStatementText,
                                          SQLINTEGER BufferLength, SQLINTEGER* TextLength2Ptr)
{
    DbcHandle* dbc = (DbcHandle*)ConnectionHandle;
    if (dbc == NULL) {
        return SQL_INVALID_HANDLE;
    }
    VORN_RECORDF(dbc, 1, "SQL_ERROR %s not currently supported", "SQLNativeSql");
    return SQL_ERROR;
}
