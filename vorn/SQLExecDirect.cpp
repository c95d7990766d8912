#include "NavixLogging.h"
#include "_Diag.h"
#include "_Statement.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLExecDirect(SQLHSTMT StatementHandle, SQLCHAR* StatementText,
                                           SQLINTEGER TextLength) {
    NAVIX_LOG(NAVIX_INFO, "SQLExecDirect", "hStmt = $%08lX", (unsigned long)StatementHandle);
    // The workers answer a missing handle themselves.
    VornStmtCall call(StatementHandle);
    SQLRETURN rc = _Prepare(call.h, StatementText, TextLength);
    if (rc != SQL_SUCCESS) {
        return rc;
    }
    return _Execute(call.h);
}
