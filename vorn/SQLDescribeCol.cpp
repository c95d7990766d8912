#include "ColumnHeader.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "_StringCopy.h"
#include "_Statement.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                            SQLCHAR* ColumnName, SQLSMALLINT BufferLength,
                                            SQLSMALLINT* NameLengthPtr, SQLSMALLINT* DataTypePtr,
                                            SQLULEN* ColumnSizePtr, SQLSMALLINT* DecimalDigitsPtr,
                                            SQLSMALLINT* NullablePtr) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    hStmtExtras* extras = stmt->extras;
    if (extras->columnHeaders == NULL) {
        return VORN_STMT_ERROR(stmt, "SQLDescribeCol", SQLSTATE_SEQUENCE, "%s",
                               "SQL_ERROR Uninitialized column headers.");
    }
    if (!VORN_COLUMN_IN_RANGE(stmt, "SQLDescribeCol", ColumnNumber)) {
        return SQL_ERROR;
    }
    if (ColumnName != NULL && BufferLength < 0) {
        return VORN_STMT_ERROR(stmt, "SQLDescribeCol", SQLSTATE_BAD_LENGTH,
                               "SQL_ERROR Invalid BufferLength %d", (int)BufferLength);
    }
    const ColumnHeader* h = &extras->columnHeaders[ColumnNumber - 1];
    int64_t full =
        vornCopyString((char*)ColumnName, ColumnName != NULL ? BufferLength : 0, h->name);
    if (NameLengthPtr != NULL) {
        *NameLengthPtr = (SQLSMALLINT)(full > 32767 ? 32767 : full);
    }
    if (DataTypePtr != NULL) {
        *DataTypePtr = (SQLSMALLINT)h->type;
    }
    if (ColumnSizePtr != NULL) {
        *ColumnSizePtr = (SQLULEN)(h->length < 0 ? 0 : h->length);
    }
    if (DecimalDigitsPtr != NULL) {
        *DecimalDigitsPtr = (SQLSMALLINT)h->scale;
    }
    if (NullablePtr != NULL) {
        *NullablePtr = (SQLSMALLINT)h->nullable;
    }
    if (ColumnName != NULL && full >= BufferLength) {
        return VORN_STMT_INFO(stmt, "SQLDescribeCol", SQLSTATE_TRUNCATED,
                              "SQL_SUCCESS_WITH_INFO Column name of column %d was truncated",
                              (int)ColumnNumber);
    }
    VORN_RECORD(stmt, 0, "SQL_SUCCESS");
    return SQL_SUCCESS;
}
