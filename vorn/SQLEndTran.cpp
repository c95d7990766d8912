#include <sql.h>

// The service has no transactions to end.
extern "C" SQLRETURN SQL_API SQLEndTran(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT CompletionType)
{
    return SQL_ERROR;
}
