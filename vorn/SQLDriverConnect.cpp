#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "AsciiText.h"
#include "ClientText.h"
#include "NavixLogging.h"
#include "Profile.h"
#include "SQLOdbcApi.h"
#include "_Connect.h"
#include "_Diag.h"
#include "_StringCopy.h"
#include "handles.h"
#include "navixclient.h"

namespace {

// Logs the reason of a refusal and hands it to the caller of buildConnConfs.
int refuse(int code, char* reason, size_t reasonSize, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
int refuse(int code, char* reason, size_t reasonSize, const char* fmt, ...) {
    char text[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof(text), fmt, ap);
    va_end(ap);
    NAVIX_LOG(NAVIX_ERROR, "buildConnConfs", "%s", text);
    if (reason != NULL && reasonSize > 0) {
        snprintf(reason, reasonSize, "%s", text);
    }
    return code;
}

// The value of the first entry that names the key: the first occurrence wins.
const clienttext::ConnStringEntry*
findEntry(const std::vector<const clienttext::ConnStringEntry*>& entries, const char* key) {
    for (const clienttext::ConnStringEntry* e : entries) {
        if (strcasecmpAscii(e->key.c_str(), key) == 0) {
            return e;
        }
    }
    return NULL;
}

int resolveKeys(const char* connStr, ConnProperty* prop, char* reason, size_t reasonSize) {
    // The client reads the same string with the same grammar (its server
    // settings, the masking of secrets in its log).
    std::vector<clienttext::ConnStringEntry> all = clienttext::splitConnectionString(connStr);
    std::vector<const clienttext::ConnStringEntry*> entries;
    for (const clienttext::ConnStringEntry& e : all) {
        if (e.text.empty()) {
            continue;
        }
        if (e.malformed) {
            // A brace left open swallows the entries after it; text after
            // a closing brace would be dropped. Neither is guessed at.
            return refuse(CONN_CONF_REFUSED, reason, reasonSize,
                          "Value of %s: a braced value must end with } before the next ;",
                          e.key.c_str());
        }
        // A server setting goes to the service with every job: it may be
        // as long as a data-source value, and is refused, never cut, beyond.
        if (clienttext::isServerSetting(e) && e.value.size() > CONN_MAX_TEXT) {
            return refuse(CONN_CONF_TOO_LONG, reason, reasonSize,
                          "Value of %s is longer than %d characters", e.key.c_str(), CONN_MAX_TEXT);
        }
        entries.push_back(&e);
    }
    if (entries.size() > CONN_MAX_ENTRIES) {
        return refuse(CONN_CONF_TOO_LONG, reason, reasonSize,
                      "Connection string has more than %d entries", CONN_MAX_ENTRIES);
    }

    const clienttext::ConnStringEntry* dsnEntry = findEntry(entries, "DSN");
    std::string dsn = dsnEntry != NULL ? dsnEntry->value : std::string();

    // AUTHMODE, CHARSET and JOBTIMEOUT become integers; keep their text here.
    std::string numeric[DSKEY_COUNT];
    for (int k = 0; k < DSKEY_COUNT; k++) {
        const DataSourceKey& key = dataSourceKeys[k];
        std::string value;
        bool found = false;
        const char* where = "";
        const clienttext::ConnStringEntry* e = findEntry(entries, key.name);
        if (e != NULL) {
            value = e->value;
            found = true;
        } else if (!dsn.empty()) {
            // Without a data-source name there is no section to read: the
            // installer answers a look-up in the section "" from the first
            // section of odbc.ini, that is from some other data source.
            // One byte more than a value may have: a look-up that fills the
            // buffer was cut by the installer, and is refused below.
            char buf[CONN_MAX_TEXT + 2];
            int n = vornGetPrivateProfileString(dsn.c_str(), key.name, "", buf, (int)sizeof(buf),
                                                "odbc.ini");
            if (n > 0 && buf[0] != '\0') {
                value.assign(buf, strnlen(buf, sizeof(buf)));
                found = true;
                where = " in odbc.ini";
            }
        }
        if (!found) {
            if (key.required) {
                return refuse(CONN_CONF_REFUSED, reason, reasonSize, "%s cannot be empty",
                              key.name);
            }
            value = key.defaultValue;
        }
        if (value.size() > CONN_MAX_TEXT) {
            return refuse(CONN_CONF_TOO_LONG, reason, reasonSize,
                          "Value of %s%s is longer than %d characters", key.name, where,
                          CONN_MAX_TEXT);
        }
        char* field = connPropertyTextField(prop, k);
        if (field != NULL) {
            vornCopyString(field, CONN_PROPERTY_TEXT_SIZE, value.c_str());
        }
        numeric[k] = value;
    }

    prop->authMode = connPropertyDecimal(numeric[DSKEY_AUTHMODE].c_str());
    prop->jobTimeout = connPropertyDecimal(numeric[DSKEY_JOBTIMEOUT].c_str());
    prop->charsetFlag = connPropertyCharsetFlag(numeric[DSKEY_CHARSET].c_str());
    return CONN_CONF_OK;
}

} // namespace

int buildConnConfs(const char* connStr, ConnProperty* prop, char* reason, size_t reasonSize) {
    if (connStr == NULL || prop == NULL) {
        return refuse(CONN_CONF_REFUSED, reason, reasonSize, "%s", "Connect string is NULL");
    }
    memset(prop, 0, sizeof(*prop));
    int rc;
    try {
        rc = resolveKeys(connStr, prop, reason, reasonSize);
    } catch (const std::bad_alloc&) {
        return refuse(CONN_CONF_NO_MEMORY, reason, reasonSize, "%s", "Memory allocation error");
    }
    if (rc != CONN_CONF_OK) {
        return rc;
    }
    NAVIX_LOG(NAVIX_INFO, "buildConnConfs",
              "Connection info: DATABASE=%s, HOST=%s, QUEUENAME=%s, REGION=%s, AUTHMODE=%d, "
              "JOBTIMEOUT=%d",
              prop->DATABASE, prop->HOST, prop->QUEUENAME, prop->REGION, prop->authMode,
              prop->jobTimeout);
    return CONN_CONF_OK;
}

int buildOutConnString(const ConnProperty* prop, SQLCHAR* out, SQLSMALLINT bufferLength,
                       SQLSMALLINT* outLength) {
    char text[16 + CONN_PROPERTY_TEXT_SIZE];
    const char* key = prop->DRIVER[0] != '\0' ? "DRIVER=" : "DSN=";
    const char* value = prop->DRIVER[0] != '\0' ? prop->DRIVER : prop->DSN;
    int64_t full = vornCopyString(text, sizeof(text), key);
    full += vornCopyString(text + full, (int64_t)sizeof(text) - full, value);

    vornCopyString((char*)out, out != NULL ? bufferLength : 0, text);
    if (outLength != NULL) {
        *outLength = (SQLSMALLINT)full;
    }
    return full >= bufferLength ? 1 : 0;
}

char* maskConnString(const char* connStr) {
    if (connStr == NULL) {
        return NULL;
    }
    // The client masks its own log entry the same way; one routine for both.
    try {
        std::string masked = NavixConnection::maskSecrets(connStr);
        char* out = (char*)malloc(masked.size() + 1);
        if (out == NULL) {
            return NULL;
        }
        memcpy(out, masked.c_str(), masked.size() + 1);
        return out;
    } catch (const std::exception&) {
        return NULL;
    }
}

char* vornDupText(const SQLCHAR* text, SQLINTEGER length, int* bad) {
    if (bad != NULL) *bad = VORN_TEXT_OK;
    if (text == NULL) {
        return NULL;
    }
    if (length < 0 && length != SQL_NTS) {
        if (bad != NULL) *bad = VORN_TEXT_BAD_LENGTH;
        return NULL;
    }
    const char* src = (const char*)text;
    size_t n = length == SQL_NTS ? strlen(src) : strnlen(src, (size_t)length);
    // A NUL inside the length with more text behind it: reading up to the
    // NUL would run a different text than the application gave (a DELETE
    // without its WHERE clause). NULs that only pad the end lose nothing.
    if (length != SQL_NTS && _NameArgHasEmbeddedNul(src, n, (size_t)length)) {
        if (bad != NULL) *bad = VORN_TEXT_EMBEDDED_NUL;
        return NULL;
    }
    char* copy = (char*)malloc(n + 1);
    if (copy == NULL) {
        return NULL;
    }
    memcpy(copy, src, n);
    copy[n] = '\0';
    return copy;
}

// Checked both before the connection string is copied and again by the worker,
// which SQLConnect calls directly.
static SQLRETURN checkConnectable(DbcHandle* dbc, const void* connStr) {
    if (dbc->connected == 1) {
        return VORN_DBC_ERROR(dbc, "SQLDriverConnect", SQLSTATE_CONNECTED, "Already connected");
    }
    if (connStr == NULL) {
        return VORN_DBC_ERROR(dbc, "SQLDriverConnect", SQLSTATE_NULL_POINTER,
                              "Connect string is NULL");
    }
    return SQL_SUCCESS;
}

SQLRETURN _DriverConnect(DbcHandle* dbc, const char* connStr, SQLCHAR* outConnStr,
                         SQLSMALLINT bufferLength, SQLSMALLINT* outLength) {
    SQLRETURN rc = checkConnectable(dbc, connStr);
    if (rc != SQL_SUCCESS) {
        return rc;
    }
    NAVIX_LOG(NAVIX_INFO, "SQLDriverConnect", "hDbc = $%08lX", (unsigned long)dbc);
    char* masked = maskConnString(connStr);
    NAVIX_LOG(NAVIX_DEBUG, "SQLDriverConnect", "Connection string: %s",
              masked != NULL ? masked : "");
    free(masked);

    ConnProperty* prop = (ConnProperty*)calloc(1, sizeof(ConnProperty));
    if (prop == NULL) {
        return VORN_DBC_ERROR(dbc, "SQLDriverConnect", SQLSTATE_NO_MEMORY,
                              "Malloc Conn Property Failed");
    }
    // No request has been made yet: the reason is the connection's only
    // record of why it failed.
    char reason[256];
    int built = buildConnConfs(connStr, prop, reason, sizeof(reason));
    if (built != CONN_CONF_OK) {
        NAVIX_LOG(NAVIX_ERROR, "SQLDriverConnect", "bulid conn confs error");
        free(prop);
        const char* state = built == CONN_CONF_TOO_LONG    ? SQLSTATE_BAD_LENGTH
                            : built == CONN_CONF_NO_MEMORY ? SQLSTATE_NO_MEMORY
                                                           : SQLSTATE_CONNECT_FAILED;
        return VORN_DBC_ERROR(dbc, "SQLDriverConnect", state, "%s", reason);
    }

    int cut = 0;
    if (outConnStr != NULL) {
        cut = buildOutConnString(prop, outConnStr, bufferLength, outLength);
    }

    // The client fills the record itself when it can say why it failed.
    NavixConnection* conn = NavixOpenConnection(prop, connStr, &dbc->diag);
    if (conn == NULL) {
        free(prop);
        return VORN_DBC_CLIENT_ERROR(dbc, "SQLDriverConnect", "Call NavixOpenConnection Failed");
    }

    if (dbc->extras->connInfo == NULL) {
        ConnInfo* info = (ConnInfo*)calloc(1, sizeof(ConnInfo));
        if (info == NULL) {
            // Without it SQLGetInfo could not answer; do not keep a half-open handle.
            NavixCloseConnection(conn);
            free(prop);
            return VORN_DBC_ERROR(dbc, "SQLDriverConnect", SQLSTATE_NO_MEMORY,
                                  "Malloc Conn Info Failed");
        }
        vornCopyString(info->DSN, sizeof(info->DSN), prop->DSN);
        vornCopyString(info->DRIVER, sizeof(info->DRIVER), prop->DRIVER);
        vornCopyString(info->HOST, sizeof(info->HOST), prop->HOST);
        dbc->extras->connInfo = info;
    }
    dbc->extras->conn = conn;
    dbc->connected = 1;
    free(prop);
    NAVIX_LOG(NAVIX_INFO, "SQLDriverConnect", "SQL_SUCCESS Driver create connection success");
    if (cut) {
        return VORN_DBC_INFO(dbc, "SQLDriverConnect", SQLSTATE_TRUNCATED,
                             "SQL_SUCCESS_WITH_INFO Out connection string was truncated");
    }
    return SQL_SUCCESS;
}

static SQLRETURN _DriverConnectArgs(DbcHandle* dbc, SQLCHAR* inConnStr, SQLSMALLINT inLength,
                                    SQLCHAR* outConnStr, SQLSMALLINT bufferLength,
                                    SQLSMALLINT* outLength) {
    SQLRETURN rc = checkConnectable(dbc, inConnStr);
    if (rc != SQL_SUCCESS) {
        return rc;
    }
    int bad = 0;
    char* connStr = vornDupText(inConnStr, inLength, &bad);
    if (connStr == NULL) {
        if (bad == VORN_TEXT_BAD_LENGTH) {
            return VORN_DBC_ERROR(dbc, "SQLDriverConnect", SQLSTATE_BAD_LENGTH,
                                  "Invalid connect string length %d", (int)inLength);
        }
        if (bad == VORN_TEXT_EMBEDDED_NUL) {
            return VORN_DBC_ERROR(dbc, "SQLDriverConnect", SQLSTATE_BAD_LENGTH,
                                  "Connect string holds a NUL character within its length %d",
                                  (int)inLength);
        }
        return VORN_DBC_ERROR(dbc, "SQLDriverConnect", SQLSTATE_NO_MEMORY,
                              "Memory allocation error");
    }
    rc = _DriverConnect(dbc, connStr, outConnStr, bufferLength, outLength);
    free(connStr);
    return rc;
}

extern "C" SQLRETURN SQL_API
SQLDriverConnect(SQLHDBC ConnectionHandle, SQLHWND WindowHandle, SQLCHAR* InConnectionString,
                 SQLSMALLINT StringLength1, SQLCHAR* OutConnectionString, SQLSMALLINT BufferLength,
                 SQLSMALLINT* StringLength2Ptr, SQLUSMALLINT DriverCompletion) {
    if (ConnectionHandle == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLDriverConnect", "hDbc is SQL_INVALID_HANDLEd");
    }
    VORN_ENTER(Dbc, dbc, ConnectionHandle);
    return _DriverConnectArgs(dbc, InConnectionString, StringLength1, OutConnectionString,
                              BufferLength, StringLength2Ptr);
}
