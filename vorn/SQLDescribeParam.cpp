#include "SQLOdbcApi.h"
#include "handles.h"

// Not supported: reported in the statement's message log.
extern "C" SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT StatementHandle, SQLUSMALLINT ParameterNumber, SQLSMALLINT* DataTypePtr,
    SQLULEN* ParameterSizePtr, SQLSMALLINT* DecimalDigitsPtr, SQLSMALLINT* NullablePtr)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL) {
        return SQL_INVALID_HANDLE;
    }
    VORN_RECORDF(stmt, 1, "hStmt = $%08lX", VORN_HVAL(stmt));
    VORN_RECORDF(stmt, 1, "SQL_ERROR %s not currently supported", "SQLDescribeParam");
    return SQL_ERROR;
}
