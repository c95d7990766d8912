#include <string.h>

#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "handles.h"

// The driver has no descriptors of its own: the four descriptor handles of a
// statement are answered with the statement handle itself. Nothing else can
// be read.
SQLRETURN _GetStmtAttr(StmtHandle* stmt, SQLINTEGER attribute, SQLPOINTER valuePtr)
{
    if (stmt == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_GetStmtAttr", "hStmt is SQL_INVALID_HANDLEd");
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_DEBUG, "_GetStmtAttr", "hStmt = $%08lX, Attribute = %d", VORN_HVAL(stmt), (int)attribute);
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
    case SQL_ATTR_CURSOR_SENSITIVITY:
    case SQL_ATTR_CURSOR_SCROLLABLE:
    case SQL_ATTR_METADATA_ID:
        return SQL_ERROR;
    default:
        if ((attribute >= 0 && attribute <= 8) || (attribute >= 10 && attribute <= 12) ||
            (attribute >= 14 && attribute <= 27)) {
            return SQL_ERROR;
        }
        NAVIX_LOG(NAVIX_WARN, "_GetStmtAttr", "Unrecognized input parameter %d", (int)attribute);
        return SQL_ERROR;
    }
}

extern "C" SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute,
                                            SQLPOINTER ValuePtr, SQLINTEGER BufferLength,
                                            SQLINTEGER* StringLengthPtr)
{
    return _GetStmtAttr((StmtHandle*)StatementHandle, Attribute, ValuePtr);
}
