#include <string.h>

#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "_Statement.h"
#include "handles.h"
#include "navixclient.h"

// True for a text that holds no statement: nothing but blanks and at most
// one ";", which is all the client would strip before sending it.
static bool isBlankStatement(const char* text) {
    const char* blanks = " \t\r\n\f\v";
    const char* p = text + strspn(text, blanks);
    if (*p == ';') {
        p++;
    }
    return p[strspn(p, blanks)] == '\0';
}

SQLRETURN _Execute(StmtHandle* stmt) {
    if (stmt == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_Execute", "hStmt is SQL_INVALID_HANDLE");
        return SQL_INVALID_HANDLE;
    }
    hStmtExtras* extras = stmt->extras;
    if (extras == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_Execute", "hStmtExtras is NULL");
        return SQL_INVALID_HANDLE;
    }
    if (stmt->sqlText == NULL) {
        // Never prepared, or the text went with a refused SQLPrepare or a
        // catalog call (SQL_CLOSE keeps it).
        return VORN_STMT_ERROR(stmt, "_Execute", SQLSTATE_SEQUENCE, "Query sql is NULL");
    }
    if (isBlankStatement(stmt->sqlText)) {
        return VORN_STMT_ERROR(stmt, "_Execute", SQLSTATE_SEQUENCE, "No SQL to process");
    }
    NAVIX_LOG(NAVIX_INFO, "_Execute", "hStmt = $%08lX", (unsigned long)stmt);

    if (extras->resultSet != NULL || extras->columnHeaders != NULL) {
        _ReleaseResults(extras);
    }

    NavixConnection* conn = _StmtConnection(stmt);
    if (NavixExecute(conn, stmt->sqlText, &extras->resultSet, &stmt->diag) == 1) {
        _ReleaseResults(extras);
        return VORN_STMT_CLIENT_ERROR(stmt, "_Execute", "Call NavixExecute execute sql failed");
    }
    if (extras->resultSet == NULL) {
        _ReleaseResults(extras);
        return VORN_STMT_ERROR(stmt, "_Execute", SQLSTATE_GENERAL, "Query resultset is NULL");
    }
    SQLRETURN rc = _PrepareResults(stmt);
    if (rc != SQL_SUCCESS) {
        // _PrepareResults has put its reason into the record.
        VORN_RECORD(stmt, 1, "Problem preparing SQLExecute results");
        return rc;
    }
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLExecute(SQLHSTMT StatementHandle) {
    // The worker answers a missing handle itself.
    VornStmtCall call(StatementHandle);
    return _Execute(call.h);
}
