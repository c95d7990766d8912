#include "NavixLogging.h"
#include "_Statement.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLExecDirect(SQLHSTMT StatementHandle, SQLCHAR* StatementText,
                                           SQLINTEGER TextLength)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    NAVIX_LOG(NAVIX_INFO, "SQLExecDirect", "hStmt = $%08lX", (unsigned long)stmt);
    SQLRETURN rc = _Prepare(stmt, StatementText, TextLength);
    if (rc != SQL_SUCCESS) {
        return rc;
    }
    return _Execute(stmt);
}
