#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Not supported: reported in the connection's message log and its record.
extern "C" SQLRETURN SQL_API SQLBrowseConnect(SQLHDBC ConnectionHandle, SQLCHAR* InConnectionString,
                                              SQLSMALLINT StringLength1,
                                              SQLCHAR* OutConnectionString,
                                              SQLSMALLINT BufferLength,
                                              SQLSMALLINT* StringLength2Ptr) {
    VORN_ENTER(Dbc, dbc, ConnectionHandle);
    VORN_RECORDF(dbc, 1, "hDbc = $%08lX", VORN_HVAL(dbc));
    VORN_RECORD(dbc, 1, "SQL_ERROR SQLBrowseConnect not currently supported");
    return VORN_DBC_ERROR(dbc, "SQLBrowseConnect", SQLSTATE_NOT_IMPLEMENTED,
                          "SQL_ERROR %s not currently supported", "SQLBrowseConnect");
}
