#include "_CatalogTableName.h"

#include <string.h>

#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "_StringCopy.h"
#include "handles.h"

SQLRETURN _CatalogTableName(StmtHandle* stmt, const char* file, const char* func,
                            const SQLCHAR* tableName, SQLSMALLINT length, char* buf) {
    const char* name = (const char*)tableName;
    if (name == NULL || name[0] == '\0') {
        return _StmtFail(stmt, file, __LINE__, func, SQL_ERROR,
                         name == NULL ? SQLSTATE_NULL_POINTER : SQLSTATE_BAD_LENGTH, 0,
                         "SQL_ERROR Must supply a valid table name");
    }
    // SQL_NTS and other negative lengths read up to the NUL.
    size_t n = length >= 0 ? strnlen(name, (size_t)length) : strlen(name);
    if (length >= 0 && _NameArgHasEmbeddedNul(name, n, (size_t)length)) {
        return _StmtFail(stmt, file, __LINE__, func, SQL_ERROR, SQLSTATE_BAD_LENGTH, 0,
                         "table name holds a NUL character within its length %d", (int)length);
    }
    // Cut to the buffer, the name would describe a different table.
    if (n > CATALOG_TABLE_NAME_MAX || length > CATALOG_TABLE_NAME_MAX) {
        return _StmtFail(stmt, file, __LINE__, func, SQL_ERROR, SQLSTATE_BAD_LENGTH, 0,
                         "table name is too long");
    }
    vornCopyStringN(buf, CATALOG_TABLE_NAME_MAX + 1, name, (int64_t)n);
    return SQL_SUCCESS;
}
