#include "ColumnHeader.h"
#include "_StringCopy.h"
#include "_Statement.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                            SQLCHAR* ColumnName, SQLSMALLINT BufferLength,
                                            SQLSMALLINT* NameLengthPtr, SQLSMALLINT* DataTypePtr,
                                            SQLULEN* ColumnSizePtr, SQLSMALLINT* DecimalDigitsPtr,
                                            SQLSMALLINT* NullablePtr)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_INVALID_HANDLE;
    }
    hStmtExtras* extras = stmt->extras;
    if (extras->columnHeaders == NULL) {
        STMT_RECORD_ERROR(stmt, "%s", "SQL_ERROR Uninitialized column headers.");
        return SQL_ERROR;
    }
    if (ColumnNumber == 0 || ColumnNumber > extras->columnCount) {
        STMT_RECORD_ERROR(stmt, "SQL_ERROR Column %d is out of range. Range is 1 - %zu",
                          (int)ColumnNumber, (size_t)extras->columnCount);
        return SQL_ERROR;
    }
    const ColumnHeader* h = &extras->columnHeaders[ColumnNumber - 1];
    int64_t full = 0;
    if (ColumnName != NULL) {
        full = vornCopyString((char*)ColumnName, BufferLength, h->name);
    } else {
        full = vornCopyString(NULL, 0, h->name);
    }
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
    STMT_RECORD_SUCCESS(stmt);
    return SQL_SUCCESS;
}
