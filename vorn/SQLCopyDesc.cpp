#include <sql.h>

// The driver has no descriptors. A descriptor handle is either the statement
// handle that SQLGetStmtAttr answers with or whatever SQLAllocHandle left in
// the caller's variable, and the two cannot be told apart: the refusal has no
// record to go into.
extern "C" SQLRETURN SQL_API SQLCopyDesc(SQLHDESC SourceDescHandle, SQLHDESC TargetDescHandle) {
    return SQL_ERROR;
}
