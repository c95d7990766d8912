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

// Converts column `column` (1-based) of the current row to `cType`.
SQLRETURN _GetData(StmtHandle* stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                   SQLLEN bufferLength, SQLLEN* lenOrInd);

// Date "yyyymmdd" or "yyyy-mm-dd"; timestamp "yyyy-mm-dd hh:mm:ss[.f...]".
// 0, or -1 with the reason formatted into msg (msgSize bytes).
int parseDateText(const char* text, SQL_DATE_STRUCT* date, char* msg, size_t msgSize);
int parseTimestampText(const char* text, SQL_TIMESTAMP_STRUCT* ts, char* msg, size_t msgSize);

#endif
