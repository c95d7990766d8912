// Plain-function interface of the query client for the ODBC layer.
//
// Result codes: 0 success, 1 failure, 2 (DBFetch only) no row left. Column
// indexes are 0-based. No exception leaves these functions.
#ifndef NAVIX_CLIENT_H
#define NAVIX_CLIENT_H

#include <stdint.h>

#include "ConnProperty.h"
#include "DiagInfo.h"
#include "NavixConnection.h"
#include "NavixResultSet.h"

// Opens a client connection (in token mode the identity token is requested
// here). NULL on failure; diag is written only when initialisation failed.
NavixConnection* NavixOpenConnection(const ConnProperty* prop, const char* connStr,
                                     DiagRecord* diag);
int NavixCloseConnection(NavixConnection* conn);

// Runs one statement into a new result set (stored in *result, NULL on
// failure). diag is filled after every execution. *result is overwritten
// without being looked at: releasing an earlier result is the caller's task.
int NavixExecute(NavixConnection* conn, const char* sql, NavixQueryResultSet** result,
                 DiagRecord* diag);

int DBFetch(NavixQueryResultSet* rs);
// Copies the result set's diagnostic into diag, for a failure of DBFetch
// (a later page that the service refused or that could not be read).
// 0, or 1 when either pointer is NULL.
int DBFillDiagRecord(NavixQueryResultSet* rs, DiagRecord* diag);
int DBHasResults(NavixQueryResultSet* rs, int32_t* hasResults);
int DBGetColumnCount(NavixQueryResultSet* rs, int32_t* colCount);

// The cell `col` of the current row as the service sent it (valid until the
// next DBFetch), its column's client type code, and whether text cells reach
// the application in the ANSI code page (the data source's CHARSET is not
// UTF-8). 0, or 1 when there is no such cell (no current row, or a row
// shorter than the columns).
int DBGetFieldCell(NavixQueryResultSet* rs, uint32_t col, const std::string** cell,
                   int32_t* typeCode, int32_t* ansi);

int DBGetFieldAsCString(NavixQueryResultSet* rs, uint32_t col, char* buf, uint32_t bufSize,
                        int32_t* outLen, int32_t* isNull);
int DBGetFieldAsInt(NavixQueryResultSet* rs, uint32_t col, int32_t* value, int32_t* isNull);
int DBGetFieldAsI8(NavixQueryResultSet* rs, uint32_t col, int8_t* value, int32_t* isNull);
int DBGetFieldAsLong(NavixQueryResultSet* rs, uint32_t col, int32_t* value, int32_t* isNull);
int DBGetFieldAsULong(NavixQueryResultSet* rs, uint32_t col, uint32_t* value, int32_t* isNull);
int DBGetFieldAsI64(NavixQueryResultSet* rs, uint32_t col, int64_t* value, int32_t* isNull);
int DBGetFieldAsI64U(NavixQueryResultSet* rs, uint32_t col, uint64_t* value, int32_t* isNull);
int DBGetFieldAsDouble(NavixQueryResultSet* rs, uint32_t col, double* value, int32_t* isNull);

// Sizes of a client type code (ClientTypeCode); any other code gives 334.
int32_t DBGetTypeDisplaySize(int32_t clientType);
int32_t DBGetTypeOctetLength(int32_t clientType);

// Catalog result sets; the caller owns *result and destroys it with delete.
int DBTables(NavixConnection* conn, const char* pattern, NavixQueryResultSet** result,
             DiagRecord* diag);
int DBColumns(NavixConnection* conn, const char* tableName, NavixQueryResultSet** result,
              DiagRecord* diag);
int DBGetTypeInfo(int32_t sqlType, NavixQueryResultSet** result, DiagRecord* diag);

#endif
