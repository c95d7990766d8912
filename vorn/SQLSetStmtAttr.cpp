#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Only SQL_ATTR_ROWS_FETCHED_PTR is accepted: the fetches write the rows
// they fetched where it points; NULL stops that.
SQLRETURN _SetStmtAttr(StmtHandle* stmt, SQLINTEGER attribute, SQLPOINTER value) {
    if (stmt == NULL || stmt->extras == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_SetStmtAttr", "hStmt is SQL_INVALID_HANDLE");
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_DEBUG, "_SetStmtAttr", "hStmt = $%08lX, Attribute = %d, value = %d",
              VORN_HVAL(stmt), (int)attribute, (int)(intptr_t)value);
    if (attribute == SQL_ATTR_ROWS_FETCHED_PTR) {
        stmt->extras->rowsFetched = static_cast<SQLULEN*>(value);
        return SQL_SUCCESS;
    }
    bool known = attribute == SQL_ATTR_CURSOR_SENSITIVITY ||
                 attribute == SQL_ATTR_CURSOR_SCROLLABLE || (attribute >= 0 && attribute <= 8) ||
                 (attribute >= 10 && attribute <= 12) || (attribute >= 14 && attribute <= 25) ||
                 attribute == SQL_ATTR_ROW_ARRAY_SIZE ||
                 (attribute >= SQL_ATTR_APP_ROW_DESC && attribute <= SQL_ATTR_METADATA_ID);
    if (known) {
        return VORN_STMT_ERROR(stmt, "_SetStmtAttr", SQLSTATE_NOT_IMPLEMENTED,
                               "SQL_ERROR Statement attribute %d not currently supported",
                               (int)attribute);
    }
    return VORN_STMT_ERROR(stmt, "_SetStmtAttr", SQLSTATE_BAD_ATTR,
                           "Unrecognized input parameter %d", (int)attribute);
}

extern "C" SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute,
                                            SQLPOINTER ValuePtr, SQLINTEGER StringLength) {
    // The worker answers a missing handle itself.
    VornStmtCall call(StatementHandle);
    return _SetStmtAttr(call.h, Attribute, ValuePtr);
}
