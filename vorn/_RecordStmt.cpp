#include <stdarg.h>
#include <stdio.h>

#include "_Statement.h"
#include "handles.h"

void _RecordStmt(StmtHandle* stmt, const char* file, int line, int severity, const char* fmt, ...) {
    if (stmt == NULL) {
        return;
    }
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(stmt->msg, sizeof(stmt->msg), fmt, ap);
    va_end(ap);
    msgLogPush(stmt->msgLog, file, file, line, severity, severity, stmt->msg);
}
