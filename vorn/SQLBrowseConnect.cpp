#include "SQLOdbcApi.h"
#include "handles.h"

// Not supported: reported in the connection's message log.
extern "C" SQLRETURN SQL_API SQLBrowseConnect(SQLHDBC ConnectionHandle, SQLCHAR* InConnectionString,
                                              SQLSMALLINT StringLength1, SQLCHAR* OutConnectionString,
                                              SQLSMALLINT BufferLength, SQLSMALLINT* StringLength2Ptr)
{
    DbcHandle* dbc = (DbcHandle*)ConnectionHandle;
    if (dbc == NULL) {
        return SQL_INVALID_HANDLE;
    }
    VORN_RECORDF(dbc, 1, "hDbc = $%08lX", VORN_HVAL(dbc));
    VORN_RECORD(dbc, 1, "SQL_ERROR SQLBrowseConnect not currently supported");
    VORN_RECORDF(dbc, 1, "SQL_ERROR %s not currently supported", "SQLBrowseConnect");
    return SQL_ERROR;
}
