#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Not supported: reported in the statement's message log and its record.
extern "C" SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT StatementHandle) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    return VORN_STMT_NOT_SUPPORTED(stmt, "SQLCloseCursor");
}
