#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "handles.h"

// A statement never has a further result.
extern "C" SQLRETURN SQL_API SQLMoreResults(SQLHSTMT StatementHandle)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_INVALID_HANDLE;
    }
    NAVIX_LOG(NAVIX_WARN, "SQLMoreResults", "Not currently supported, hStmt = $%08lX", VORN_HVAL(stmt));
    return SQL_NO_DATA;
}
