// Connect path shared by SQLDriverConnect and SQLConnect.
#ifndef VORN_CONNECT_H
#define VORN_CONNECT_H

#include <stddef.h>
#include <sql.h>
#include <sqlext.h>

#include "ConnProperty.h"

struct DbcHandle;

// Most connection-string entries read; a string with more is refused.
#define CONN_MAX_ENTRIES 32
// Longest value a data-source key may have (its ConnProperty field holds no
// more); a longer one is refused, never cut.
#define CONN_MAX_TEXT 256

// Results of buildConnConfs.
#define CONN_CONF_OK 0
#define CONN_CONF_REFUSED -1  // a required key has no value, or a braced value is not closed
#define CONN_CONF_TOO_LONG -2 // a value longer than CONN_MAX_TEXT, or too many entries
#define CONN_CONF_NO_MEMORY -3

// Resolves every data-source key from the connection string, then from the
// data source's "odbc.ini" section, then from the key's default, into prop.
// The string follows ODBC's grammar (clienttext::splitConnectionString): the
// first entry that names a key gives its value, DSN included. CONN_CONF_OK
// when every required key has a value; otherwise one of the refusals above,
// and the reason (the text it logged, such as "PROJECTID cannot be empty" or
// "Value of PROJECTID is longer than 256 characters") goes into reason, of
// reasonSize bytes, when one is given. connStr is not changed.
int buildConnConfs(const char* connStr, ConnProperty* prop, char* reason = NULL,
                   size_t reasonSize = 0);

// Writes "DRIVER=<driver>" (or "DSN=<dsn>" when DRIVER is empty) into out of
// bufferLength bytes (nothing when out is NULL or bufferLength <= 0) and its
// full length into *outLength when outLength is given. Returns 1 when the
// text did not fit (it was cut or not written), else 0.
int buildOutConnString(const ConnProperty* prop, SQLCHAR* out, SQLSMALLINT bufferLength,
                       SQLSMALLINT* outLength);

// Copy of a connection string fit for a log: the values of PASSWORD, PWD and
// SK replaced by "****" (by the client's NavixConnection::maskSecrets). The
// result is malloc'd (NULL when out of memory).
char* maskConnString(const char* connStr);

// The connect itself, after the entry point has checked the handle and
// turned the application's string into a NUL-terminated one.
SQLRETURN _DriverConnect(DbcHandle* dbc, const char* connStr, SQLCHAR* outConnStr,
                         SQLSMALLINT bufferLength, SQLSMALLINT* outLength);

// Why vornDupText gave no copy.
#define VORN_TEXT_OK 0
#define VORN_TEXT_BAD_LENGTH 1   // a negative length other than SQL_NTS
#define VORN_TEXT_EMBEDDED_NUL 2 // a NUL inside the length with text after it

// Copies an application text given with an explicit length (or SQL_NTS) into
// a fresh NUL-terminated string. NUL characters that end the text within its
// length are dropped. NULL for a NULL text, a refused text (*bad then says
// why) or no memory (*bad stays VORN_TEXT_OK).
char* vornDupText(const SQLCHAR* text, SQLINTEGER length, int* bad);

#endif
