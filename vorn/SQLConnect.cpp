#include <stdlib.h>
#include <string.h>

#include "NavixLogging.h"
#include "_Connect.h"
#include "_Diag.h"
#include "handles.h"

namespace {

// Appends "<sep><key>=<value>" to a growing malloc'd text; false when out of
// memory. The value ends before any ";" in it, so that it can never add
// entries (HOST, AUTHMODE, ...) of its own to the string.
bool appendEntry(char** text, size_t* len, const char* key, const char* value) {
    size_t k = strlen(key), v = strcspn(value, ";");
    char* grown = (char*)realloc(*text, *len + k + v + 3);
    if (grown == NULL) return false;
    *text = grown;
    if (*len > 0) grown[(*len)++] = ';';
    memcpy(grown + *len, key, k);
    *len += k;
    grown[(*len)++] = '=';
    memcpy(grown + *len, value, v);
    *len += v;
    grown[*len] = '\0';
    return true;
}

} // namespace

// A data-source connect is the driver connect with the string
// "DSN=<server>[;USER=<user>][;PASSWORD=<authentication>]"; the user and
// password then reach the connection exactly as given, also where the
// string's syntax would cut them.
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
    if (bad1 || bad2 || bad3) {
        rc = VORN_DBC_ERROR(dbc, "SQLConnect", SQLSTATE_BAD_LENGTH, "Invalid string length");
    } else if (server == NULL || (userName != NULL && user == NULL) ||
               (authentication != NULL && auth == NULL)) {
        rc = VORN_DBC_ERROR(dbc, "SQLConnect", SQLSTATE_NO_MEMORY, "Memory allocation error");
    } else if (!appendEntry(&connStr, &len, "DSN", server) ||
               (user != NULL && user[0] != '\0' && !appendEntry(&connStr, &len, "USER", user)) ||
               (auth != NULL && auth[0] != '\0' &&
                !appendEntry(&connStr, &len, "PASSWORD", auth))) {
        rc = VORN_DBC_ERROR(dbc, "SQLConnect", SQLSTATE_NO_MEMORY, "Memory allocation error");
    } else {
        rc = _DriverConnect(dbc, connStr, NULL, 0, NULL, user, auth);
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
