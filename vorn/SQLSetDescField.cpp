#include <sql.h>

// The driver has no descriptors.
extern "C" SQLRETURN SQL_API SQLSetDescField(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                             SQLSMALLINT FieldIdentifier, SQLPOINTER ValuePtr,
                                             SQLINTEGER BufferLength)
{
    return SQL_ERROR;
}
