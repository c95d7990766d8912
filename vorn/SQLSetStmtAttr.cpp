#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "handles.h"

// Only SQL_ATTR_ROWS_FETCHED_PTR is accepted, without effect; nothing is
// stored.
SQLRETURN _SetStmtAttr(StmtHandle* stmt, SQLINTEGER attribute, SQLPOINTER value)
{
    if (stmt == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_SetStmtAttr", "hStmt is SQL_INVALID_HANDLE");
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_DEBUG, "_SetStmtAttr", "hStmt = $%08lX, Attribute = %d, value = %d", VORN_HVAL(stmt),
              (int)attribute, (int)(intptr_t)value);
    switch (attribute) {
    case SQL_ATTR_ROWS_FETCHED_PTR:
        return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SENSITIVITY:
    case SQL_ATTR_CURSOR_SCROLLABLE:
        return SQL_ERROR;
    default:
        if ((attribute >= 0 && attribute <= 8) || (attribute >= 10 && attribute <= 12) ||
            (attribute >= 14 && attribute <= 25) || attribute == SQL_ATTR_ROW_ARRAY_SIZE ||
            (attribute >= SQL_ATTR_APP_ROW_DESC && attribute <= SQL_ATTR_METADATA_ID)) {
            return SQL_ERROR;
        }
        NAVIX_LOG(NAVIX_WARN, "_SetStmtAttr", "Unrecognized input parameter %d", (int)attribute);
        return SQL_ERROR;
    }
}

extern "C" SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute,
                                            SQLPOINTER ValuePtr, SQLINTEGER StringLength)
{
    return _SetStmtAttr((StmtHandle*)StatementHandle, Attribute, ValuePtr);
}
