#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// Not supported: reported in the statement's message log and its record.
extern "C" SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT StatementHandle,
                                               SQLUSMALLINT IdentifierType, SQLCHAR* CatalogName,
                                               SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                                               SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                               SQLSMALLINT NameLength3, SQLUSMALLINT Scope,
                                               SQLUSMALLINT Nullable) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    return VORN_STMT_NOT_SUPPORTED(stmt, "SQLSpecialColumns");
}
