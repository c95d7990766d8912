#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Not supported: reported in the statement's message log and its record.
extern "C" SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT StatementHandle,
                                              SQLUSMALLINT ParameterNumber,
                                              SQLSMALLINT* DataTypePtr, SQLULEN* ParameterSizePtr,
                                              SQLSMALLINT* DecimalDigitsPtr,
                                              SQLSMALLINT* NullablePtr) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    return VORN_STMT_NOT_SUPPORTED(stmt, "SQLDescribeParam");
}
