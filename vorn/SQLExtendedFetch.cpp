#include "_Diag.h"
#include "_Statement.h"

// One row per call: the fetch orientation and offset are not used.
extern "C" SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT StatementHandle,
                                              SQLUSMALLINT FetchOrientation, SQLLEN FetchOffset,
                                              SQLULEN* RowCountPtr, SQLUSMALLINT* RowStatusArray) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    SQLRETURN rc = _Fetch(stmt);
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        if (RowCountPtr != NULL) *RowCountPtr = 1;
        if (RowStatusArray != NULL) RowStatusArray[0] = SQL_ROW_SUCCESS;
    } else if (rc == SQL_NO_DATA) {
        if (RowCountPtr != NULL) *RowCountPtr = 0;
    }
    return rc;
}
