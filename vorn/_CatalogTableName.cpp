#include "_CatalogTableName.h"

#include <string.h>

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
    if (length > CATALOG_TABLE_NAME_MAX) {
        return _StmtFail(stmt, file, __LINE__, func, SQL_ERROR, SQLSTATE_BAD_LENGTH, 0,
                         "table name is too long");
    }
    // An explicit length may run past a NUL inside the name; stop there.
    // SQL_NTS and other negative lengths read up to the NUL, at most the
    // buffer's worth.
    size_t limit = length >= 0 ? (size_t)length : (size_t)CATALOG_TABLE_NAME_MAX;
    size_t n = strnlen(name, limit);
    vornCopyStringN(buf, CATALOG_TABLE_NAME_MAX + 1, name, (int64_t)n);
    return SQL_SUCCESS;
}
