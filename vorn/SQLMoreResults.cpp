#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// A statement never has a further result.
extern "C" SQLRETURN SQL_API SQLMoreResults(SQLHSTMT StatementHandle) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    NAVIX_LOG(NAVIX_WARN, "SQLMoreResults", "Not currently supported, hStmt = $%08lX",
              VORN_HVAL(stmt));
    return SQL_NO_DATA;
}
