#include <string.h>

#include "ConnProperty.h"
#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "_StringCopy.h"
#include "handles.h"

namespace {

enum InfoKind {
    INFO_UNRECOGNISED = 0, // zero, so that every type not listed below is unknown
    INFO_UNSUPPORTED,
    INFO_STRING,
    INFO_USHORT,
    INFO_UINT,
    INFO_DSN, // the three answers of the open connection
    INFO_DRIVER,
    INFO_HOST
};

struct InfoAnswer {
    uint16_t type;
    uint8_t kind;
    const char* text;
    uint32_t value;
};

// Every answer the driver gives, with the types it knows but does not
// support. Types 0-167 are listed here; 10005 is handled on its own.
const InfoAnswer infoAnswers[] = {
    {SQL_DATA_SOURCE_NAME, INFO_DSN, NULL, 0},
    {SQL_DRIVER_NAME, INFO_DRIVER, NULL, 0},
    {SQL_DRIVER_VER, INFO_STRING, "1.1.0", 0},
    {SQL_SERVER_NAME, INFO_HOST, NULL, 0},
    {SQL_DBMS_NAME, INFO_STRING, "VKL", 0},
    {SQL_DBMS_VER, INFO_STRING, "1.1.0", 0},
    // Double quotes are turned into backticks before the text is sent.
    {SQL_IDENTIFIER_QUOTE_CHAR, INFO_STRING, "\"", 0},
    {SQL_SCHEMA_TERM, INFO_STRING, "schema", 0},
    {SQL_CATALOG_NAME_SEPARATOR, INFO_STRING, ".", 0},
    {SQL_CATALOG_TERM, INFO_STRING, "catalog", 0},
    {SQL_TABLE_TERM, INFO_STRING, "table", 0},
    {SQL_DRIVER_ODBC_VER, INFO_STRING, "03.51", 0},
    {SQL_COLUMN_ALIAS, INFO_STRING, "Y", 0},

    {SQL_MAX_CONCURRENT_ACTIVITIES, INFO_USHORT, NULL, 0},
    {SQL_CURSOR_COMMIT_BEHAVIOR, INFO_USHORT, NULL, SQL_CB_CLOSE},
    {SQL_CURSOR_ROLLBACK_BEHAVIOR, INFO_USHORT, NULL, SQL_CB_CLOSE},
    {SQL_TXN_CAPABLE, INFO_USHORT, NULL, SQL_TC_NONE},
    {SQL_QUOTED_IDENTIFIER_CASE, INFO_USHORT, NULL, SQL_IC_LOWER},

    {SQL_DEFAULT_TXN_ISOLATION, INFO_UINT, NULL, 0},
    {SQL_CONVERT_FUNCTIONS, INFO_UINT, NULL, SQL_FN_CVT_CAST},
    {SQL_NUMERIC_FUNCTIONS, INFO_UINT, NULL, 0x7FF76F},
    {SQL_STRING_FUNCTIONS, INFO_UINT, NULL, 0x43CF9},
    {SQL_SYSTEM_FUNCTIONS, INFO_UINT, NULL, 0},
    {SQL_TIMEDATE_FUNCTIONS, INFO_UINT, NULL, 0},
    {SQL_CONVERT_BIGINT, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_BINARY, INFO_UINT, NULL, 0},
    {SQL_CONVERT_BIT, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_CHAR, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_DATE, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_DECIMAL, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_DOUBLE, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_FLOAT, INFO_UINT, NULL, 0},
    {SQL_CONVERT_INTEGER, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_LONGVARCHAR, INFO_UINT, NULL, 0},
    {SQL_CONVERT_NUMERIC, INFO_UINT, NULL, 0},
    {SQL_CONVERT_REAL, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_SMALLINT, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_TIME, INFO_UINT, NULL, 0},
    {SQL_CONVERT_TIMESTAMP, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_TINYINT, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_VARBINARY, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_VARCHAR, INFO_UINT, NULL, 0x2F9DF},
    {SQL_CONVERT_LONGVARBINARY, INFO_UINT, NULL, 0},
    {SQL_GETDATA_EXTENSIONS, INFO_UINT, NULL, SQL_GD_ANY_COLUMN},
    {SQL_SCHEMA_USAGE, INFO_UINT, NULL, SQL_SU_DML_STATEMENTS | SQL_SU_TABLE_DEFINITION},
    {SQL_CATALOG_USAGE, INFO_UINT, NULL, SQL_CU_DML_STATEMENTS},
    {SQL_TIMEDATE_ADD_INTERVALS, INFO_UINT, NULL, 0},
    {SQL_TIMEDATE_DIFF_INTERVALS, INFO_UINT, NULL, 0},
    {SQL_OJ_CAPABILITIES, INFO_UINT, NULL, SQL_OJ_LEFT | SQL_OJ_RIGHT | SQL_OJ_FULL},
    {SQL_SQL_CONFORMANCE, INFO_UINT, NULL, SQL_SC_SQL92_ENTRY},
    {SQL_DATETIME_LITERALS, INFO_UINT, NULL, 0},
    {SQL_CONVERT_INTERVAL_DAY_TIME, INFO_UINT, NULL, 0},
    {SQL_ODBC_INTERFACE_CONFORMANCE, INFO_UINT, NULL, SQL_OIC_CORE},
    {SQL_SQL92_DATETIME_FUNCTIONS, INFO_UINT, NULL, 0},
    {SQL_SQL92_NUMERIC_VALUE_FUNCTIONS, INFO_UINT, NULL, 0},
    {SQL_SQL92_PREDICATES, INFO_UINT, NULL, 0x1606},
    {SQL_SQL92_RELATIONAL_JOIN_OPERATORS, INFO_UINT, NULL, 0x15A},
    {SQL_SQL92_STRING_FUNCTIONS, INFO_UINT, NULL, 0xCF},
    {SQL_SQL92_VALUE_EXPRESSIONS, INFO_UINT, NULL, SQL_SVE_CAST},
};

// Known types without an answer.
const uint16_t unsupportedTypes[] = {
    0,  8,   9,   11,  12,  14,  15,  16,  19,  20,  21,  22,  25,  27,  28,  30,
    31, 32,  33,  34,  35,  36,  37,  38,  40,  43,  44,  47,  72,  73,  74,  75,
    78, 79,  80,  82,  83,  84,  85,  86,  88,  89,  90,  94,  95,  96,  97,  98,
    99, 100, 101, 102, 103, 104, 105, 106, 107, 108, 111, 112, 113, 114, 134, 167,
};

#define INFO_TABLE_TYPES 168

struct InfoTable {
    const InfoAnswer* byType[INFO_TABLE_TYPES];
    uint8_t kind[INFO_TABLE_TYPES];

    InfoTable() {
        memset(byType, 0, sizeof(byType));
        memset(kind, INFO_UNRECOGNISED, sizeof(kind));
        for (size_t i = 0; i < sizeof(unsupportedTypes) / sizeof(unsupportedTypes[0]); i++) {
            kind[unsupportedTypes[i]] = INFO_UNSUPPORTED;
        }
        for (size_t i = 0; i < sizeof(infoAnswers) / sizeof(infoAnswers[0]); i++) {
            byType[infoAnswers[i].type] = &infoAnswers[i];
            kind[infoAnswers[i].type] = infoAnswers[i].kind;
        }
    }
};

const InfoAnswer maxIdentifierLen = {SQL_MAX_IDENTIFIER_LEN, INFO_USHORT, NULL, 128};

const InfoTable& infoTable() {
    static const InfoTable table;
    return table;
}

} // namespace

void copyInfoString(SQLPOINTER dest, const char* text, SQLSMALLINT bufferLength) {
    if (dest == NULL) {
        return;
    }
    char* out = (char*)dest;
    if (bufferLength == -1) {
        out[0] = '\0';
        return;
    }
    // Sizes of 0 and below write nothing.
    vornCopyString(out, bufferLength, text);
}

// Answers one information type. A type without an answer fails and writes
// nothing: the application would otherwise read whatever its buffer held.
static SQLRETURN _GetInfo(DbcHandle* dbc, SQLUSMALLINT infoType, SQLPOINTER infoValuePtr,
                          SQLSMALLINT bufferLength, SQLSMALLINT* stringLengthPtr) {
    NAVIX_LOG(NAVIX_INFO, "SQLGetInfo", "InfoType = %d", (int)infoType);
    const ConnInfo* info = dbc->extras->connInfo;
    if (info == NULL) {
        NAVIX_LOG(NAVIX_WARN, "SQLGetInfo", "SQL connection has not been setup.");
    }

    const InfoAnswer* answer = NULL;
    int kind = INFO_UNRECOGNISED;
    if (infoType == SQL_MAX_IDENTIFIER_LEN) {
        answer = &maxIdentifierLen;
        kind = INFO_USHORT;
    } else if (infoType < INFO_TABLE_TYPES) {
        answer = infoTable().byType[infoType];
        kind = infoTable().kind[infoType];
    }

    const char* text = NULL;
    switch (kind) {
    case INFO_UNRECOGNISED:
        return VORN_DBC_ERROR(dbc, "SQLGetInfo", SQLSTATE_BAD_INFO_TYPE,
                              "Unrecognized input parameter InfoType %d", (int)infoType);
    case INFO_UNSUPPORTED:
        return VORN_DBC_ERROR(dbc, "SQLGetInfo", SQLSTATE_NOT_IMPLEMENTED,
                              "Input InfoType %d not currently supported", (int)infoType);
    case INFO_USHORT:
    case INFO_UINT: {
        if (infoValuePtr == NULL) {
            return VORN_DBC_ERROR(dbc, "SQLGetInfo", SQLSTATE_NULL_POINTER,
                                  "SQL_ERROR InfoValuePtr is NULL");
        }
        if (kind == INFO_USHORT) {
            SQLUSMALLINT v = (SQLUSMALLINT)answer->value;
            memcpy(infoValuePtr, &v, sizeof(v));
        } else {
            SQLUINTEGER v = (SQLUINTEGER)answer->value;
            memcpy(infoValuePtr, &v, sizeof(v));
        }
        return SQL_SUCCESS;
    }
    case INFO_DSN:
        text = info != NULL ? info->DSN : "";
        break;
    case INFO_DRIVER:
        text = info != NULL ? info->DRIVER : "";
        break;
    case INFO_HOST:
        text = info != NULL ? info->HOST : "";
        break;
    default:
        text = answer->text;
        break;
    }

    if (bufferLength < 0) {
        return VORN_DBC_ERROR(dbc, "SQLGetInfo", SQLSTATE_BAD_LENGTH,
                              "SQL_ERROR Invalid BufferLength %d", (int)bufferLength);
    }
    // The connection texts are fixed fields; never read past them.
    size_t len = strnlen(text, CONN_INFO_TEXT_SIZE - 1);
    if (stringLengthPtr != NULL) {
        *stringLengthPtr = (SQLSMALLINT)len;
    }
    // Without a buffer the call only asks for the length.
    if (infoValuePtr == NULL) {
        return SQL_SUCCESS;
    }
    char bounded[CONN_INFO_TEXT_SIZE];
    vornCopyStringN(bounded, sizeof(bounded), text, (int64_t)len);
    copyInfoString(infoValuePtr, bounded, bufferLength);
    if ((SQLLEN)len >= bufferLength) {
        return VORN_DBC_INFO(dbc, "SQLGetInfo", SQLSTATE_TRUNCATED,
                             "SQL_SUCCESS_WITH_INFO InfoType %d answer was truncated",
                             (int)infoType);
    }
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLGetInfo(SQLHDBC ConnectionHandle, SQLUSMALLINT InfoType,
                                        SQLPOINTER InfoValuePtr, SQLSMALLINT BufferLength,
                                        SQLSMALLINT* StringLengthPtr) {
    if (ConnectionHandle == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "SQLGetInfo", "SQL_INVALID_HANDLE hDbc is NULL");
        return SQL_INVALID_HANDLE;
    }
    // A connection without its extras is refused with SQL_ERROR, not as an
    // invalid handle, so the guard's own check is not used.
    VornDbcCall call(ConnectionHandle);
    if (call.h->extras == NULL) {
        return VORN_DBC_ERROR(call.h, "SQLGetInfo", SQLSTATE_GENERAL,
                              "SQL_ERROR hDbcExtras is NULL");
    }
    return _GetInfo(call.h, InfoType, InfoValuePtr, BufferLength, StringLengthPtr);
}
