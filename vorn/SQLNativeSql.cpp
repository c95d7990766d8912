#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Not supported: reported in the connection's message log and its record.
extern "C" SQLRETURN SQL_API SQLNativeSql(SQLHDBC ConnectionHandle, SQLCHAR* InStatementText,
                                          SQLINTEGER TextLength1, SQLCHAR* OutStatementText,
                                          SQLINTEGER BufferLength, SQLINTEGER* TextLength2Ptr) {
    VORN_ENTER(Dbc, dbc, ConnectionHandle);
    return VORN_DBC_ERROR(dbc, "SQLNativeSql", SQLSTATE_NOT_IMPLEMENTED,
                          "SQL_ERROR %s not currently supported", "SQLNativeSql");
}
