#include <pthread.h>

#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Not supported: reported in the statement's message log and its record.
// SQLCancel is the one call that ODBC lets another thread make while a call
// runs on the statement, and that call may wait minutes for the service:
// cancel answers at once. While the statement is busy the record belongs to
// the running call, so none is written then.
extern "C" SQLRETURN SQL_API SQLCancel(SQLHSTMT StatementHandle) {
    StmtHandle* stmt = static_cast<StmtHandle*>(StatementHandle);
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_INVALID_HANDLE;
    }
    if (pthread_mutex_trylock(&stmt->lock) != 0) {
        NAVIX_LOG(NAVIX_WARN, "SQLCancel",
                  "SQL_ERROR SQLCancel not currently supported; a call is running on the "
                  "statement, so its record is left to that call");
        return SQL_ERROR;
    }
    _DiagClear(&stmt->diag);
    SQLRETURN rc = VORN_STMT_NOT_SUPPORTED(stmt, "SQLCancel");
    pthread_mutex_unlock(&stmt->lock);
    return rc;
}
