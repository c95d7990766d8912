#include <stdio.h>

#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Parameters are not supported; the call is traced and refused in the
// statement's message log and its record.
extern "C" SQLRETURN SQL_API SQLBindParameter(
    SQLHSTMT StatementHandle, SQLUSMALLINT ParameterNumber, SQLSMALLINT InputOutputType,
    SQLSMALLINT ValueType, SQLSMALLINT ParameterType, SQLULEN ColumnSize, SQLSMALLINT DecimalDigits,
    SQLPOINTER ParameterValuePtr, SQLLEN BufferLength, SQLLEN* StrLen_or_IndPtr) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    // A NULL length/indicator pointer is legal and must not be read.
    char indicator[32];
    if (StrLen_or_IndPtr != NULL) {
        snprintf(indicator, sizeof(indicator), "$%08lX", (unsigned long)*StrLen_or_IndPtr);
    } else {
        snprintf(indicator, sizeof(indicator), "NULL");
    }
    VORN_RECORDF(stmt, 1,
                 "hStmt=$%08lX nParameterNumber=%d nIOType=%d nBufferType=%d nParamType=%d "
                 "nParamLength=%lu nScale=%d pData=$%08lX nBufferLength=%ld "
                 "*pnLengthOrIndicator=%s",
                 VORN_HVAL(stmt), (int)ParameterNumber, (int)InputOutputType, (int)ValueType,
                 (int)ParameterType, (unsigned long)ColumnSize, (int)DecimalDigits,
                 VORN_HVAL(ParameterValuePtr), (long)BufferLength, indicator);
    return VORN_STMT_ERROR(stmt, "SQLBindParameter", SQLSTATE_NOT_IMPLEMENTED,
                           "SQL_ERROR %s not currently supported", "SQLBindParameter");
}
