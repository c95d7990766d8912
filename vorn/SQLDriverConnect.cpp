#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <exception>
#include <string>

#include "NavixLogging.h"
#include "Profile.h"
#include "_Connect.h"
#include "_Diag.h"
#include "_StringCopy.h"
#include "handles.h"
#include "navixclient.h"

namespace {

struct ConnEntry {
    char key[CONN_MAX_TEXT + 1];
    char value[CONN_MAX_TEXT + 1];
};

// Key names are ASCII; the C library's strcasecmp would follow the locale.
bool keyEquals(const char* a, const char* b) {
    for (;; a++, b++) {
        unsigned char ca = (unsigned char)*a, cb = (unsigned char)*b;
        if (ca >= 'a' && ca <= 'z') ca = (unsigned char)(ca - 'a' + 'A');
        if (cb >= 'a' && cb <= 'z') cb = (unsigned char)(cb - 'a' + 'A');
        if (ca != cb) return false;
        if (ca == '\0') return true;
    }
}

// Splits [p, p+len) into key (before the first '=') and value (after it, up
// to the next '='), each cut to CONN_MAX_TEXT characters.
void parseEntry(const char* p, size_t len, ConnEntry* e) {
    const char* eq = (const char*)memchr(p, '=', len);
    if (eq == NULL) {
        vornCopyStringN(e->key, sizeof(e->key), p, (int64_t)len);
        e->value[0] = '\0';
        return;
    }
    vornCopyStringN(e->key, sizeof(e->key), p, (int64_t)(eq - p));
    const char* v = eq + 1;
    size_t vlen = len - (size_t)(v - p);
    const char* eq2 = (const char*)memchr(v, '=', vlen);
    if (eq2 != NULL) vlen = (size_t)(eq2 - v);
    vornCopyStringN(e->value, sizeof(e->value), v, (int64_t)vlen);
}

int splitConnString(const char* connStr, ConnEntry* entries) {
    int n = 0;
    const char* p = connStr;
    while (n < CONN_MAX_ENTRIES) {
        const char* end = strchr(p, ';');
        size_t len = end != NULL ? (size_t)(end - p) : strlen(p);
        if (len > 0) {
            parseEntry(p, len, &entries[n]);
            n++;
        }
        if (end == NULL) break;
        p = end + 1;
    }
    return n;
}

} // namespace

// Hands the reason of a refusal to the caller of buildConnConfs.
static void giveReason(char* reason, size_t reasonSize, const char* fmt, const char* arg) {
    if (reason != NULL && reasonSize > 0) {
        snprintf(reason, reasonSize, fmt, arg);
    }
}

int buildConnConfs(const char* connStr, ConnProperty* prop, char* reason, size_t reasonSize) {
    if (connStr == NULL || prop == NULL) {
        giveReason(reason, reasonSize, "%s", "Connect string is NULL");
        return -1;
    }
    memset(prop, 0, sizeof(*prop));

    ConnEntry* entries = (ConnEntry*)calloc(CONN_MAX_ENTRIES, sizeof(ConnEntry));
    if (entries == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "buildConnConfs", "Memory allocation error");
        giveReason(reason, reasonSize, "%s", "Memory allocation error");
        return -1;
    }
    int count = splitConnString(connStr, entries);

    char dsn[CONN_MAX_DSN + 1] = "";
    for (int i = 0; i < count; i++) {
        if (keyEquals(entries[i].key, "DSN")) {
            vornCopyString(dsn, sizeof(dsn), entries[i].value);
        }
    }

    // AUTHMODE, CHARSET and JOBTIMEOUT become integers; keep their text here.
    char numeric[DSKEY_COUNT][CONN_MAX_TEXT + 1];
    for (int k = 0; k < DSKEY_COUNT; k++) {
        const DataSourceKey& key = dataSourceKeys[k];
        char value[CONN_MAX_TEXT + 1];
        value[0] = '\0';
        bool found = false;
        for (int i = 0; i < count && !found; i++) {
            if (keyEquals(entries[i].key, key.name)) {
                vornCopyString(value, sizeof(value), entries[i].value);
                found = true;
            }
        }
        if (!found) {
            char buf[CONN_MAX_TEXT];
            int n =
                vornGetPrivateProfileString(dsn, key.name, "", buf, (int)sizeof(buf), "odbc.ini");
            if (n > 0 && buf[0] != '\0') {
                vornCopyString(value, sizeof(value), buf);
                found = true;
            }
        }
        if (!found) {
            if (key.required) {
                NAVIX_LOG(NAVIX_ERROR, "buildConnConfs", "%s cannot be empty", key.name);
                giveReason(reason, reasonSize, "%s cannot be empty", key.name);
                free(entries);
                return -1;
            }
            vornCopyString(value, sizeof(value), key.defaultValue);
        }
        char* field = connPropertyTextField(prop, k);
        if (field != NULL) {
            vornCopyString(field, CONN_PROPERTY_TEXT_SIZE, value);
        }
        vornCopyString(numeric[k], sizeof(numeric[k]), value);
    }
    free(entries);

    prop->authMode = connPropertyDecimal(numeric[DSKEY_AUTHMODE]);
    prop->jobTimeout = connPropertyDecimal(numeric[DSKEY_JOBTIMEOUT]);
    prop->charsetFlag = connPropertyCharsetFlag(numeric[DSKEY_CHARSET]);

    NAVIX_LOG(NAVIX_INFO, "buildConnConfs",
              "Connection info: DATABASE=%s, HOST=%s, QUEUENAME=%s, REGION=%s, AUTHMODE=%d, "
              "JOBTIMEOUT=%d",
              prop->DATABASE, prop->HOST, prop->QUEUENAME, prop->REGION, prop->authMode,
              prop->jobTimeout);
    return 0;
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
    if (bad != NULL) *bad = 0;
    if (text == NULL) {
        return NULL;
    }
    if (length < 0 && length != SQL_NTS) {
        if (bad != NULL) *bad = 1;
        return NULL;
    }
    const char* src = (const char*)text;
    size_t n = length == SQL_NTS ? strlen(src) : strnlen(src, (size_t)length);
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
                         SQLSMALLINT bufferLength, SQLSMALLINT* outLength, const char* user,
                         const char* password) {
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
    char reason[128];
    if (buildConnConfs(connStr, prop, reason, sizeof(reason)) != 0) {
        NAVIX_LOG(NAVIX_ERROR, "SQLDriverConnect", "bulid conn confs error");
        free(prop);
        return VORN_DBC_ERROR(dbc, "SQLDriverConnect", SQLSTATE_CONNECT_FAILED, "%s", reason);
    }
    if (user != NULL && user[0] != '\0') {
        vornCopyString(prop->USER, sizeof(prop->USER), user);
    }
    if (password != NULL && password[0] != '\0') {
        vornCopyString(prop->PASSWORD, sizeof(prop->PASSWORD), password);
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
        if (bad) {
            return VORN_DBC_ERROR(dbc, "SQLDriverConnect", SQLSTATE_BAD_LENGTH,
                                  "Invalid connect string length %d", (int)inLength);
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
