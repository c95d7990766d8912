#include <stdlib.h>
#include <string.h>

#include "NavixLogging.h"
#include "_Connect.h"
#include "handles.h"

namespace {

// Appends "<sep><key>=<value>" to a growing malloc'd text; false when out of
// memory. The value ends before any ";" in it, so that it can never add
// entries (HOST, AUTHMODE, ...) of its own to the string.
bool appendEntry(char** text, size_t* len, const char* key, const char* value)
{
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
extern "C" SQLRETURN SQL_API SQLConnect(SQLHDBC ConnectionHandle, SQLCHAR* ServerName,
                                        SQLSMALLINT NameLength1, SQLCHAR* UserName,
                                        SQLSMALLINT NameLength2, SQLCHAR* Authentication,
                                        SQLSMALLINT NameLength3)
{
    DbcHandle* dbc = (DbcHandle*)ConnectionHandle;
    if (dbc == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLConnect", "hDbc is SQL_INVALID_HANDLEd");
        return SQL_INVALID_HANDLE;
    }
    int bad1 = 0, bad2 = 0, bad3 = 0;
    char* server = ServerName != NULL ? vornDupText(ServerName, NameLength1, &bad1) : strdup("");
    char* user = UserName != NULL ? vornDupText(UserName, NameLength2, &bad2) : NULL;
    char* auth = Authentication != NULL ? vornDupText(Authentication, NameLength3, &bad3) : NULL;
    SQLRETURN rc = SQL_ERROR;
    char* connStr = NULL;
    size_t len = 0;
    if (bad1 || bad2 || bad3) {
        NAVIX_LOG(NAVIX_ERROR, "SQLConnect", "Invalid string length");
    } else if (server == NULL || (UserName != NULL && user == NULL) ||
               (Authentication != NULL && auth == NULL)) {
        NAVIX_LOG(NAVIX_ERROR, "SQLConnect", "Memory allocation error");
    } else if (!appendEntry(&connStr, &len, "DSN", server) ||
               (user != NULL && user[0] != '\0' && !appendEntry(&connStr, &len, "USER", user)) ||
               (auth != NULL && auth[0] != '\0' &&
                !appendEntry(&connStr, &len, "PASSWORD", auth))) {
        NAVIX_LOG(NAVIX_ERROR, "SQLConnect", "Memory allocation error");
    } else {
        rc = _DriverConnect(dbc, connStr, NULL, 0, NULL, user, auth);
    }
    free(connStr);
    free(server);
    free(user);
    free(auth);
    return rc;
}
