#include <sql.h>

// The driver has no descriptors. A descriptor handle is either the statement
// handle that SQLGetStmtAttr answers with or whatever SQLAllocHandle left in
// the caller's variable, and the two cannot be told apart: the refusal has no
// record to go into.
extern "C" SQLRETURN SQL_API SQLGetDescField(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                             SQLSMALLINT FieldIdentifier, SQLPOINTER ValuePtr,
                                             SQLINTEGER BufferLength, SQLINTEGER* StringLengthPtr) {
    return SQL_ERROR;
}
