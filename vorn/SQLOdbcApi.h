// Workers shared by the catalog, attribute, information and diagnostic entry
// points, and the helpers with which they report into a handle's message log.
#ifndef VORN_SQLODBCAPI_H
#define VORN_SQLODBCAPI_H

#include <stdint.h>
#include <sql.h>
#include <sqlext.h>

#include "handles.h"

// Whole handle or pointer value for the "$%08lX" traces.
#define VORN_HVAL(p) ((unsigned long)(uintptr_t)(p))

// Pushes a fixed text into a handle's message log, with the source file as
// module and function. Severity and code are the same value: 1 for errors
// and traces, 0 for "SQL_SUCCESS".
void _RecordText(MsgLog* log, const char* file, int line, int severity, const char* text);

// Formats into the handle's message buffer (HANDLE_MSG_SIZE bytes) first,
// then pushes the result.
void _RecordFormat(MsgLog* log, char* msgBuf, const char* file, int line, int severity,
                   const char* fmt, ...) __attribute__((format(printf, 6, 7)));

#define VORN_RECORD(h, sev, text) _RecordText((h)->msgLog, __FILE__, __LINE__, (sev), (text))
#define VORN_RECORDF(h, sev, ...)                                                                  \
    _RecordFormat((h)->msgLog, (h)->msg, __FILE__, __LINE__, (sev), __VA_ARGS__)

// The answer of a statement entry point that the driver does not carry out:
// "hStmt = $%08lX" and then "SQL_ERROR <name> not currently supported" go
// into the statement's message log under the caller's source file, the
// second also into its record (HYC00). Returns SQL_ERROR.
SQLRETURN _StmtNotSupported(StmtHandle* stmt, const char* file, int line, const char* name);
#define VORN_STMT_NOT_SUPPORTED(stmt, name) _StmtNotSupported((stmt), __FILE__, __LINE__, (name))

// Logs why a catalog entry point is about to answer SQL_INVALID_HANDLE:
// "hStmt is NULL" or "hStmtExtras is NULL", under the caller's source file
// and function. Logs nothing for a usable handle.
void _TraceBadStmt(const char* file, int line, const char* func, SQLHSTMT handle);
#define VORN_TRACE_BAD_STMT(func, handle) _TraceBadStmt(__FILE__, __LINE__, (func), (handle))

// A catalog call (or SQLStatistics with a table name) drops the statement's
// result set and column headers, and its SQL text, so that a later
// SQLExecute fails until the statement is prepared again.
void _DropStmtResults(StmtHandle* stmt);

// Whether a name argument of `length` bytes, whose text ends after `n`
// characters, has anything but NULs behind that first NUL: reading it up to
// the NUL would name something else than the application gave.
bool _NameArgHasEmbeddedNul(const char* name, size_t n, size_t length);

// Reads an application name argument: the first `length` characters of
// `name` (NULs that end it within the length are dropped), or up to the NUL
// for SQL_NTS and other negative lengths, into a malloc'd NUL-terminated
// copy in *copy (NULL for a NULL name). Returns SQL_SUCCESS, or the refusal
// (HY090 for a NUL inside the length with text behind it, HY001 when out of
// memory) recorded on the statement under the caller's function and the
// argument's name.
SQLRETURN _CopyNameArg(StmtHandle* stmt, const char* func, const char* argName, const SQLCHAR* name,
                       SQLSMALLINT length, char** copy);

// Attribute workers behind SQLGet/SetConnectAttr and SQLGet/SetStmtAttr.
SQLRETURN _GetConnectAttr(DbcHandle* dbc, SQLINTEGER attribute);
SQLRETURN _SetConnectAttr(DbcHandle* dbc, SQLINTEGER attribute, SQLPOINTER value);
SQLRETURN _GetStmtAttr(StmtHandle* stmt, SQLINTEGER attribute, SQLPOINTER valuePtr);
SQLRETURN _SetStmtAttr(StmtHandle* stmt, SQLINTEGER attribute, SQLPOINTER value);

// The truncating copy of a SQLGetInfo string answer: -1 writes an empty
// string, a positive size copies at most size-1 characters and a NUL, any
// other size writes nothing.
void copyInfoString(SQLPOINTER dest, const char* text, SQLSMALLINT bufferLength);

// Hands a handle's diagnostic record to the application; each part only
// where its destination is given. SQL_SUCCESS_WITH_INFO when the message
// was cut, else SQL_SUCCESS.
SQLRETURN copyDiagRecord(const DiagRecord* record, SQLCHAR* sqlState, SQLINTEGER* nativeErrorPtr,
                         SQLCHAR* messageText, SQLSMALLINT bufferLength,
                         SQLSMALLINT* textLengthPtr);

#endif
