// Workers of the statement path: prepare, execute, describe, fetch and
// conversion to C types.
#ifndef VORN_STATEMENT_H
#define VORN_STATEMENT_H

#include <stddef.h>
#include <sql.h>
#include <sqlext.h>

struct StmtHandle;

// Formats into the statement's message buffer and pushes the text into its
// message log, with the source file as module and function.
void _RecordStmt(StmtHandle* stmt, const char* file, int line, int severity, const char* fmt, ...)
    __attribute__((format(printf, 5, 6)));
#define STMT_RECORD_ERROR(stmt, ...) _RecordStmt((stmt), __FILE__, __LINE__, 1, __VA_ARGS__)
#define STMT_RECORD_SUCCESS(stmt) _RecordStmt((stmt), __FILE__, __LINE__, 0, "%s", "SQL_SUCCESS")

// Stores a copy of the SQL text (textLength bytes, or up to the NUL for SQL_NTS).
SQLRETURN _Prepare(StmtHandle* stmt, const SQLCHAR* text, SQLINTEGER textLength);
// Runs the prepared text and builds the column headers of its result.
SQLRETURN _Execute(StmtHandle* stmt);

SQLRETURN _ColAttribute(StmtHandle* stmt, SQLUSMALLINT columnNumber, SQLUSMALLINT fieldIdentifier,
                        SQLPOINTER characterAttribute, SQLSMALLINT bufferLength,
                        SQLSMALLINT* stringLength, SQLLEN* numericAttribute);

// Advances the result and fills the bound columns.
SQLRETURN _Fetch(StmtHandle* stmt);

// SQLGetData: converts column `column` (1-based) of the current row to
// `cType`; a text too long for the buffer goes out in parts over several
// calls, and a value that has gone out whole answers SQL_NO_DATA.
SQLRETURN _GetData(StmtHandle* stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                   SQLLEN bufferLength, SQLLEN* lenOrInd);
// Converts a bound column of the row that SQLFetch has just made current.
SQLRETURN _GetBoundColumn(StmtHandle* stmt, SQLUSMALLINT column);

#endif
