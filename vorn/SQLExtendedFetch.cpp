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
    // Without a result the fetch says so itself, whatever the direction.
    if (FetchOrientation != SQL_FETCH_NEXT && stmt->extras->resultSet != NULL) {
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
        RowStatusArray[0] = rc == SQL_SUCCESS ? SQL_ROW_SUCCESS : SQL_ROW_SUCCESS_WITH_INFO;
    }
    return rc;
}
