#include "_CatalogTableName.h"

#include <string.h>

#include "NavixLogging.h"
#include "_StringCopy.h"

SQLRETURN _CatalogTableName(const char* file, const char* func, const SQLCHAR* tableName, SQLSMALLINT length, char* buf)
{
    const char* name = (const char*)tableName;
    if (name == NULL || name[0] == '\0') {
        NavixLogging(NAVIX_ERROR, file, func, __LINE__, "SQL_ERROR Must supply a valid table name");
        return SQL_ERROR;
    }
    if (length > CATALOG_TABLE_NAME_MAX) {
        NavixLogging(NAVIX_ERROR, file, func, __LINE__, "table name is too long");
        return SQL_ERROR;
    }
    // An explicit length may run past a NUL inside the name; stop there.
    // SQL_NTS and other negative lengths read up to the NUL, at most the
    // buffer's worth.
    size_t limit = length >= 0 ? (size_t)length : (size_t)CATALOG_TABLE_NAME_MAX;
    size_t n = strnlen(name, limit);
    vornCopyStringN(buf, CATALOG_TABLE_NAME_MAX + 1, name, (int64_t)n);
    return SQL_SUCCESS;
}
