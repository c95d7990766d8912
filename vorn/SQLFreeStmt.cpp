#include <stdint.h>
#include <stdlib.h>

#include "NavixLogging.h"
#include "_ListLinks.h"
#include "handles.h"

SQLRETURN _ReleaseStmt(StmtHandle* stmt)
{
    if (stmt == NULL) {
        return SQL_ERROR;
    }
    DbcHandle* dbc = stmt->dbc;
    _ListUnlink(stmt, dbc != NULL ? &dbc->firstStmt : NULL, dbc != NULL ? &dbc->lastStmt : NULL);

    free(stmt->sqlText);
    stmt->sqlText = NULL;
    if (stmt->extras != NULL) {
        if (stmt->extras->resultSet != NULL || stmt->extras->columnHeaders != NULL) {
            _ReleaseResults(stmt->extras);
        }
        free(stmt->extras);
    }
    msgLogClose(stmt->msgLog);
    free(stmt);
    return SQL_SUCCESS;
}

int _ReleaseAllStmts(DbcHandle* dbc)
{
    if (dbc == NULL) {
        return 0;
    }
    while (dbc->firstStmt != NULL) {
        _ReleaseStmt(dbc->firstStmt);
    }
    return 0;
}

extern "C" SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT statementHandle, SQLUSMALLINT option)
{
    StmtHandle* stmt = static_cast<StmtHandle*>(statementHandle);
    if (stmt == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_INFO, "SQLFreeStmt", "hStmt = $%08lX, Option = %d",
              (unsigned long)(uintptr_t)stmt, (int)option);
    switch (option) {
    case SQL_CLOSE:
        // Only the text goes; the result set and its bindings stay readable.
        free(stmt->sqlText);
        stmt->sqlText = NULL;
        return SQL_SUCCESS;
    case SQL_DROP:
        return _ReleaseStmt(stmt);
    case SQL_UNBIND:
    case SQL_RESET_PARAMS:
        return SQL_SUCCESS;
    default:
        NAVIX_LOG(NAVIX_ERROR, "SQLFreeStmt", "SQL_ERROR Invalid nOption=%d", (int)option);
        return SQL_ERROR;
    }
}
