#include <sql.h>

// The driver has no descriptors.
extern "C" SQLRETURN SQL_API SQLSetDescRec(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber, SQLSMALLINT Type,
                                           SQLSMALLINT SubType, SQLLEN Length, SQLSMALLINT Precision,
                                           SQLSMALLINT Scale, SQLPOINTER DataPtr, SQLLEN* StringLengthPtr,
                                           SQLLEN* IndicatorPtr)
{
    return SQL_ERROR;
}
