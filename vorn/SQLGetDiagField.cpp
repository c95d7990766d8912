#include <sql.h>

// Diagnostics are read with SQLGetDiagRec only.
extern "C" SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                             SQLSMALLINT DiagIdentifier, SQLPOINTER DiagInfoPtr,
                                             SQLSMALLINT BufferLength, SQLSMALLINT* StringLengthPtr)
{
    return SQL_ERROR;
}
