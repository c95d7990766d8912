// Workers of the statement path: prepare, execute, describe, fetch and
// conversion to C types.
#ifndef VORN_STATEMENT_H
#define VORN_STATEMENT_H

#include <stddef.h>
#include <sql.h>
#include <sqlext.h>

struct StmtHandle;

// Stores a copy of the SQL text (textLength bytes, or up to the NUL for SQL_NTS).
SQLRETURN _Prepare(StmtHandle* stmt, const SQLCHAR* text, SQLINTEGER textLength);
// Runs the prepared text and builds the column headers of its result.
SQLRETURN _Execute(StmtHandle* stmt);

SQLRETURN _ColAttribute(StmtHandle* stmt, SQLUSMALLINT columnNumber, SQLUSMALLINT fieldIdentifier,
                        SQLPOINTER characterAttribute, SQLSMALLINT bufferLength,
                        SQLSMALLINT* stringLength, SQLLEN* numericAttribute);

// Advances the result and fills the bound columns; writes the rows fetched
// (1 after a row, 0 at the end or on an error) where SQL_ATTR_ROWS_FETCHED_PTR
// points.
SQLRETURN _Fetch(StmtHandle* stmt);
// Writes the rows that a fetch returning `rc` fetched where the application
// asked for them (SQL_ATTR_ROWS_FETCHED_PTR), and returns rc.
SQLRETURN _FetchedRows(StmtHandle* stmt, SQLRETURN rc);

// SQLGetData: converts column `column` (1-based) of the current row to
// `cType`; a text too long for the buffer goes out in parts over several
// calls, and a value that has gone out whole answers SQL_NO_DATA.
SQLRETURN _GetData(StmtHandle* stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                   SQLLEN bufferLength, SQLLEN* lenOrInd);
// Converts a bound column of the row that SQLFetch has just made current.
SQLRETURN _GetBoundColumn(StmtHandle* stmt, SQLUSMALLINT column);

#endif
