#include <sql.h>

// Diagnostics are read with SQLGetDiagRec only. As a reader of diagnostics
// it leaves the handle's record as it is, also when it refuses.
extern "C" SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                             SQLSMALLINT RecNumber, SQLSMALLINT DiagIdentifier,
                                             SQLPOINTER DiagInfoPtr, SQLSMALLINT BufferLength,
                                             SQLSMALLINT* StringLengthPtr) {
    return SQL_ERROR;
}
