#include <stdlib.h>
#include <new>
#include <string.h>

#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "handles.h"
#include "navixclient.h"

// The table listing knows only tables, so a type list that does not name
// TABLE (say, VIEW alone) gets the table columns with no rows.
static int typeListHasTable(const char* typeList)
{
    return typeList == NULL || typeList[0] == '\0' || strstr(typeList, "TABLE") != NULL;
}

extern "C" SQLRETURN SQL_API SQLTables(SQLHSTMT StatementHandle, SQLCHAR* CatalogName,
                                       SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                                       SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                       SQLSMALLINT NameLength3, SQLCHAR* TableType,
                                       SQLSMALLINT NameLength4)
{
    StmtHandle* stmt = (StmtHandle*)StatementHandle;
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_INVALID_HANDLE;
    }
    hStmtExtras* extras = stmt->extras;
    NAVIX_LOG(NAVIX_INFO, "SQLTables", "hStmt = $%08lX", VORN_HVAL(stmt));
    _DropStmtResults(stmt);

    char* tableName = _CopyNameArg(TableName, NameLength3);
    char* typeList = _CopyNameArg(TableType, NameLength4);
    if ((TableName != NULL && tableName == NULL) || (TableType != NULL && typeList == NULL)) {
        free(tableName);
        free(typeList);
        NAVIX_LOG(NAVIX_ERROR, "SQLTables", "SQL_ERROR SQLTables failed.");
        return SQL_ERROR;
    }
    int onlyOtherTypes = !typeListHasTable(typeList);
    const char* pattern = (tableName != NULL && tableName[0] != '\0') ? tableName : "*";

    NavixConnection* conn = _StmtConnection(stmt);
    int rc;
    if (onlyOtherTypes) {
        // No listing job: an empty table-list set describes the columns.
        NavixTableResultSet* empty = new (std::nothrow) NavixTableResultSet();
        extras->resultSet = empty;
        rc = 1;
        if (empty != NULL) {
            empty->fillDiagRecord(&stmt->diag);
            rc = 0;
        }
    } else {
        rc = DBTables(conn, pattern, &extras->resultSet, &stmt->diag);
    }
    free(tableName);
    free(typeList);
    if (rc != 0) {
        NAVIX_LOG(NAVIX_ERROR, "SQLTables", "SQL_ERROR SQLTables failed.");
        _ReleaseResults(extras);
        return SQL_ERROR;
    }

    SQLRETURN ret = _PrepareResults(stmt);
    if (ret != SQL_SUCCESS) {
        NAVIX_LOG(NAVIX_ERROR, "SQLTables", "Problem preparing SQLTables results");
        _ReleaseResults(extras);
        return ret;
    }
    return SQL_SUCCESS;
}
