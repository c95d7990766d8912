// Connect path shared by SQLDriverConnect and SQLConnect.
#ifndef VORN_CONNECT_H
#define VORN_CONNECT_H

#include <stddef.h>
#include <sql.h>
#include <sqlext.h>

#include "ConnProperty.h"

struct DbcHandle;

// Most connection-string entries read; later ones are ignored.
#define CONN_MAX_ENTRIES 32
// Longest key or value kept from one entry, and the longest section name.
#define CONN_MAX_TEXT 256
#define CONN_MAX_DSN 255

// Resolves every data-source key from the connection string, then from the
// data source's "odbc.ini" section, then from the key's default, into prop.
// 0 when every required key has a value, -1 otherwise; then the reason (the
// text it logged, such as "PROJECTID cannot be empty") goes into reason, of
// reasonSize bytes, when one is given. connStr is not changed.
int buildConnConfs(const char* connStr, ConnProperty* prop, char* reason = NULL,
                   size_t reasonSize = 0);

// Writes "DRIVER=<driver>" (or "DSN=<dsn>" when DRIVER is empty) into out of
// bufferLength bytes (nothing when out is NULL or bufferLength <= 0) and its
// full length into *outLength when outLength is given. Returns 1 when the
// text did not fit (it was cut or not written), else 0.
int buildOutConnString(const ConnProperty* prop, SQLCHAR* out, SQLSMALLINT bufferLength,
                       SQLSMALLINT* outLength);

// Copy of a connection string fit for a log: the values of PASSWORD and SK
// replaced by "****" (by the client's NavixConnection::maskSecrets). The
// result is malloc'd (NULL when out of memory).
char* maskConnString(const char* connStr);

// The connect itself, after the entry point has checked the handle and
// turned the application's string into a NUL-terminated one. A user or
// password given here (non-empty) replaces what the string resolved to, so
// that values the string cannot carry whole (";" or "=" inside) arrive
// exactly; NULL keeps the string's.
SQLRETURN _DriverConnect(DbcHandle* dbc, const char* connStr, SQLCHAR* outConnStr,
                         SQLSMALLINT bufferLength, SQLSMALLINT* outLength, const char* user = NULL,
                         const char* password = NULL);

// Copies an application text given with an explicit length (or SQL_NTS) into
// a fresh NUL-terminated string (stopping at an earlier NUL). NULL for a NULL
// text, a negative length other than SQL_NTS, or no memory; *bad is set to 1
// for the invalid length.
char* vornDupText(const SQLCHAR* text, SQLINTEGER length, int* bad);

#endif
