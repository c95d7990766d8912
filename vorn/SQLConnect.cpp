#include <stdlib.h>
#include <string.h>

#include "NavixLogging.h"
#include "_Connect.h"
#include "_Diag.h"
#include "handles.h"

namespace {

// Whether a value must go in braces to come back whole from the
// connection-string grammar: a ";" would end it, and a "{" first (after
// blanks) would open a braced value.
bool needsBraces(const char* value) {
    size_t first = strspn(value, " \t");
    return strchr(value, ';') != NULL || value[first] == '{';
}

// Appends "<sep><key>=<value>" to a growing malloc'd text, the value in
// braces (with "}" doubled) where it needs them; false when out of memory.
// The value can never add entries (HOST, AUTHMODE, ...) of its own.
bool appendEntry(char** text, size_t* len, const char* key, const char* value) {
    bool braced = needsBraces(value);
    size_t k = strlen(key), v = strlen(value);
    size_t room = *len + k + 2 * v + 5;
    char* grown = (char*)realloc(*text, room);
    if (grown == NULL) return false;
    *text = grown;
    if (*len > 0) grown[(*len)++] = ';';
    memcpy(grown + *len, key, k);
    *len += k;
    grown[(*len)++] = '=';
    if (braced) grown[(*len)++] = '{';
    for (size_t i = 0; i < v; i++) {
        grown[(*len)++] = value[i];
        if (braced && value[i] == '}') grown[(*len)++] = '}';
    }
    if (braced) grown[(*len)++] = '}';
    grown[*len] = '\0';
    return true;
}

} // namespace

// A data-source connect is the driver connect with the string
// "DSN=<server>[;USER=<user>][;PASSWORD=<authentication>]"; values that
// hold ";" go in braces, so they reach the connection exactly as given.
static SQLRETURN _Connect(DbcHandle* dbc, SQLCHAR* serverName, SQLSMALLINT nameLength1,
                          SQLCHAR* userName, SQLSMALLINT nameLength2, SQLCHAR* authentication,
                          SQLSMALLINT nameLength3) {
    int bad1 = 0, bad2 = 0, bad3 = 0;
    char* server = serverName != NULL ? vornDupText(serverName, nameLength1, &bad1) : strdup("");
    char* user = userName != NULL ? vornDupText(userName, nameLength2, &bad2) : NULL;
    char* auth = authentication != NULL ? vornDupText(authentication, nameLength3, &bad3) : NULL;
    SQLRETURN rc = SQL_ERROR;
    char* connStr = NULL;
    size_t len = 0;
    const char* badArg = bad1 ? "ServerName" : bad2 ? "UserName" : bad3 ? "Authentication" : NULL;
    int bad = bad1 ? bad1 : bad2 ? bad2 : bad3;
    if (badArg != NULL) {
        rc = VORN_DBC_ERROR(dbc, "SQLConnect", SQLSTATE_BAD_LENGTH,
                            bad == VORN_TEXT_EMBEDDED_NUL
                                ? "%s holds a NUL character within its length"
                                : "Invalid string length of %s",
                            badArg);
    } else if (server == NULL || (userName != NULL && user == NULL) ||
               (authentication != NULL && auth == NULL)) {
        rc = VORN_DBC_ERROR(dbc, "SQLConnect", SQLSTATE_NO_MEMORY, "Memory allocation error");
    } else if (!appendEntry(&connStr, &len, "DSN", server) ||
               (user != NULL && user[0] != '\0' && !appendEntry(&connStr, &len, "USER", user)) ||
               (auth != NULL && auth[0] != '\0' &&
                !appendEntry(&connStr, &len, "PASSWORD", auth))) {
        rc = VORN_DBC_ERROR(dbc, "SQLConnect", SQLSTATE_NO_MEMORY, "Memory allocation error");
    } else {
        rc = _DriverConnect(dbc, connStr, NULL, 0, NULL);
    }
    free(connStr);
    free(server);
    free(user);
    free(auth);
    return rc;
}

extern "C" SQLRETURN SQL_API SQLConnect(SQLHDBC ConnectionHandle, SQLCHAR* ServerName,
                                        SQLSMALLINT NameLength1, SQLCHAR* UserName,
                                        SQLSMALLINT NameLength2, SQLCHAR* Authentication,
                                        SQLSMALLINT NameLength3) {
    if (ConnectionHandle == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLConnect", "hDbc is SQL_INVALID_HANDLEd");
    }
    VORN_ENTER(Dbc, dbc, ConnectionHandle);
    return _Connect(dbc, ServerName, NameLength1, UserName, NameLength2, Authentication,
                    NameLength3);
}
