#include <sql.h>

// The driver has no descriptors.
extern "C" SQLRETURN SQL_API SQLGetDescRec(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber, SQLCHAR* Name,
                                           SQLSMALLINT BufferLength, SQLSMALLINT* StringLengthPtr,
                                           SQLSMALLINT* TypePtr, SQLSMALLINT* SubTypePtr, SQLLEN* LengthPtr,
                                           SQLSMALLINT* PrecisionPtr, SQLSMALLINT* ScalePtr,
                                           SQLSMALLINT* NullablePtr)
{
    return SQL_ERROR;
}
