#include "_Diag.h"
#include "_Statement.h"

// The cursor is forward-only and one row wide: SQL_FETCH_NEXT fetches the
// next row; every other direction is refused and leaves the cursor where it
// is.
extern "C" SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT StatementHandle,
                                              SQLUSMALLINT FetchOrientation, SQLLEN FetchOffset,
                                              SQLULEN* RowCountPtr, SQLUSMALLINT* RowStatusArray) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    SQLRETURN rc;
    if (FetchOrientation != SQL_FETCH_NEXT) {
        rc = _FetchedRows(stmt, VORN_STMT_ERROR(stmt, "SQLExtendedFetch", SQLSTATE_FETCH_TYPE,
                                                "SQL_ERROR Fetch type out of range: %u",
                                                (unsigned)FetchOrientation));
    } else {
        rc = _Fetch(stmt);
    }
    if (RowCountPtr != NULL) {
        *RowCountPtr = SQL_SUCCEEDED(rc) ? 1 : 0;
    }
    if (RowStatusArray != NULL && SQL_SUCCEEDED(rc)) {
        RowStatusArray[0] = SQL_ROW_SUCCESS;
    }
    return rc;
}
