#include <string.h>

#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// The driver has no descriptors of its own: the four descriptor handles of a
// statement are answered with the statement handle itself; besides them only
// SQL_ATTR_ROWS_FETCHED_PTR can be read.
SQLRETURN _GetStmtAttr(StmtHandle* stmt, SQLINTEGER attribute, SQLPOINTER valuePtr) {
    if (stmt == NULL || stmt->extras == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_GetStmtAttr", "hStmt is SQL_INVALID_HANDLEd");
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_DEBUG, "_GetStmtAttr", "hStmt = $%08lX, Attribute = %d", VORN_HVAL(stmt),
              (int)attribute);
    switch (attribute) {
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
    case SQL_ATTR_IMP_ROW_DESC:
    case SQL_ATTR_IMP_PARAM_DESC:
        if (valuePtr != NULL) {
            SQLHDESC desc = (SQLHDESC)stmt;
            memcpy(valuePtr, &desc, sizeof(desc));
        }
        return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR:
        if (valuePtr != NULL) {
            memcpy(valuePtr, &stmt->extras->rowsFetched, sizeof(stmt->extras->rowsFetched));
        }
        return SQL_SUCCESS;
    default:
        break;
    }
    bool known = attribute == SQL_ATTR_CURSOR_SENSITIVITY ||
                 attribute == SQL_ATTR_CURSOR_SCROLLABLE || attribute == SQL_ATTR_METADATA_ID ||
                 (attribute >= 0 && attribute <= 8) || (attribute >= 10 && attribute <= 12) ||
                 (attribute >= 14 && attribute <= 27);
    if (known) {
        return VORN_STMT_ERROR(stmt, "_GetStmtAttr", SQLSTATE_NOT_IMPLEMENTED,
                               "SQL_ERROR Statement attribute %d not currently supported",
                               (int)attribute);
    }
    return VORN_STMT_ERROR(stmt, "_GetStmtAttr", SQLSTATE_BAD_ATTR,
                           "Unrecognized input parameter %d", (int)attribute);
}

extern "C" SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute,
                                            SQLPOINTER ValuePtr, SQLINTEGER BufferLength,
                                            SQLINTEGER* StringLengthPtr) {
    // The worker answers a missing handle itself.
    VornStmtCall call(StatementHandle);
    return _GetStmtAttr(call.h, Attribute, ValuePtr);
}
