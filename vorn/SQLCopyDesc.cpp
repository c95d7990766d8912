#include <sql.h>

// The driver has no descriptors.
extern "C" SQLRETURN SQL_API SQLCopyDesc(SQLHDESC SourceDescHandle, SQLHDESC TargetDescHandle)
{
    return SQL_ERROR;
}
