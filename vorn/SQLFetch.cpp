#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "_Statement.h"
#include "handles.h"
#include "navixclient.h"

namespace {

void clearParts(hStmtExtras* extras)
{
    if (extras->columnHeaders == NULL) return;
    for (uint32_t i = 0; i < extras->columnCount; i++) {
        extras->columnHeaders[i].partState = PART_NONE;
        extras->columnHeaders[i].partOffset = 0;
    }
}

} // namespace

SQLRETURN _Fetch(StmtHandle* stmt)
{
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_INVALID_HANDLE;
    }
    hStmtExtras* extras = stmt->extras;
    clearParts(extras);
    // DBFetch reports a missing result set itself.
    int fr = DBFetch(extras->resultSet);
    if (fr == 2) {
        NAVIX_LOG(NAVIX_INFO, "SQLFetch", "SQL_NO_DATA Call DBFetch");
        return SQL_NO_DATA;
    }
    if (fr != 0) {
        NAVIX_LOG(NAVIX_ERROR, "SQLFetch", "SQL_ERROR Call DBFetch Fetch failed.");
        return SQL_ERROR;
    }
    bool cut = false;
    if (extras->columnHeaders != NULL) {
        for (uint32_t col = 1; col <= extras->columnCount; col++) {
            ColumnHeader* h = &extras->columnHeaders[col - 1];
            if (h->boundTarget == NULL) continue;
            SQLRETURN rc = _GetData(stmt, (SQLUSMALLINT)col, (SQLSMALLINT)h->boundCType,
                                    h->boundTarget, h->boundBufferLength, h->boundLenOrInd);
            if (rc == SQL_SUCCESS_WITH_INFO) {
                cut = true;
            } else if (rc != SQL_SUCCESS) {
                NAVIX_LOG(NAVIX_ERROR, "SQLFetch", "SQL_ERROR Failed to get data for column %zu",
                          (size_t)col);
                clearParts(extras);
                return rc;
            }
        }
    }
    // Bound columns are delivered whole per row; a later SQLGetData starts afresh.
    clearParts(extras);
    if (stmt->msgLog != NULL) {
        stmt->msgLog->on = 1;
    }
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLFetch(SQLHSTMT StatementHandle)
{
    return _Fetch((StmtHandle*)StatementHandle);
}
