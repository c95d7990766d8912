#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "_Diag.h"
#include "_Statement.h"
#include "handles.h"
#include "navixclient.h"

static SQLRETURN fetchRow(StmtHandle* stmt) {
    hStmtExtras* extras = stmt->extras;
    // The row changes (or ends): nothing of the last one is current any more.
    _EndPartRead(extras);
    extras->rowCurrent = 0;
    // DBFetch reports a missing result set itself.
    int fr = DBFetch(extras->resultSet);
    if (extras->resultSet == NULL) {
        return VORN_STMT_ERROR(stmt, "SQLFetch", SQLSTATE_SEQUENCE, "%s",
                               "SQL_ERROR Call DBFetch Fetch failed.");
    }
    if (fr == 2) {
        NAVIX_LOG(NAVIX_INFO, "SQLFetch", "SQL_NO_DATA Call DBFetch");
        return SQL_NO_DATA;
    }
    if (fr != 0) {
        // The next page was refused or unreadable: the result set says why.
        DBFillDiagRecord(extras->resultSet, &stmt->diag);
        return VORN_STMT_CLIENT_ERROR(stmt, "SQLFetch", "%s",
                                      "SQL_ERROR Call DBFetch Fetch failed.");
    }
    extras->rowCurrent = 1;
    bool cut = false;
    if (extras->columnHeaders != NULL) {
        for (uint32_t col = 1; col <= extras->columnCount; col++) {
            if (extras->columnHeaders[col - 1].boundTarget == NULL) continue;
            SQLRETURN rc = _GetBoundColumn(stmt, (SQLUSMALLINT)col);
            if (rc == SQL_SUCCESS_WITH_INFO) {
                cut = true;
            } else if (rc != SQL_SUCCESS) {
                // The column's own diagnostic stays in the record.
                NAVIX_LOG(NAVIX_ERROR, "SQLFetch", "SQL_ERROR Failed to get data for column %zu",
                          (size_t)col);
                return rc;
            }
        }
    }
    if (stmt->msgLog != NULL) {
        stmt->msgLog->on = 1;
    }
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN _FetchedRows(StmtHandle* stmt, SQLRETURN rc) {
    SQLULEN* fetched = stmt->extras->rowsFetched;
    if (fetched != NULL) {
        *fetched = SQL_SUCCEEDED(rc) ? 1 : 0;
    }
    return rc;
}

SQLRETURN _Fetch(StmtHandle* stmt) {
    return _FetchedRows(stmt, fetchRow(stmt));
}

extern "C" SQLRETURN SQL_API SQLFetch(SQLHSTMT StatementHandle) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    return _Fetch(stmt);
}
