#include <sql.h>

// The driver has no descriptors.
extern "C" SQLRETURN SQL_API SQLGetDescField(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                             SQLSMALLINT FieldIdentifier, SQLPOINTER ValuePtr,
                                             SQLINTEGER BufferLength, SQLINTEGER* StringLengthPtr)
{
    return SQL_ERROR;
}
