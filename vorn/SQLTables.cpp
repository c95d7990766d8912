#include <stdlib.h>
#include <new>
#include <string.h>

#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"
#include "navixclient.h"

// The table listing knows only tables, so a type list that does not name
// TABLE (say, VIEW alone) gets the table columns with no rows.
static int typeListHasTable(const char* typeList) {
    return typeList == NULL || typeList[0] == '\0' || strstr(typeList, "TABLE") != NULL;
}

static SQLRETURN _Tables(StmtHandle* stmt, const SQLCHAR* tableNameArg, SQLSMALLINT nameLength,
                         const SQLCHAR* typeListArg, SQLSMALLINT typeLength) {
    hStmtExtras* extras = stmt->extras;
    NAVIX_LOG(NAVIX_INFO, "SQLTables", "hStmt = $%08lX", VORN_HVAL(stmt));
    // The arguments are read before the previous result is dropped, so a
    // refused call leaves it in place.
    char* tableName = NULL;
    char* typeList = NULL;
    SQLRETURN argRc =
        _CopyNameArg(stmt, "SQLTables", "TableName", tableNameArg, nameLength, &tableName);
    if (argRc == SQL_SUCCESS) {
        argRc = _CopyNameArg(stmt, "SQLTables", "TableType", typeListArg, typeLength, &typeList);
    }
    if (argRc != SQL_SUCCESS) {
        free(tableName);
        return argRc;
    }
    _DropStmtResults(stmt);

    int onlyOtherTypes = !typeListHasTable(typeList);
    const char* pattern = (tableName != NULL && tableName[0] != '\0') ? tableName : "*";

    int rc = 0;
    if (onlyOtherTypes) {
        // No listing job: an empty table-list set describes the columns.
        NavixTableResultSet* empty = new (std::nothrow) NavixTableResultSet();
        extras->resultSet = empty;
        if (empty == NULL) {
            free(tableName);
            free(typeList);
            return VORN_STMT_ERROR(stmt, "SQLTables", SQLSTATE_NO_MEMORY,
                                   "SQL_ERROR SQLTables failed.");
        }
        empty->fillDiagRecord(&stmt->diag);
    } else {
        rc = DBTables(_StmtConnection(stmt), pattern, &extras->resultSet, &stmt->diag);
    }
    free(tableName);
    free(typeList);
    if (rc != 0) {
        _ReleaseResults(extras);
        return VORN_STMT_CLIENT_ERROR(stmt, "SQLTables", "SQL_ERROR SQLTables failed.");
    }

    SQLRETURN ret = _PrepareResults(stmt);
    if (ret != SQL_SUCCESS) {
        NAVIX_LOG(NAVIX_ERROR, "SQLTables", "Problem preparing SQLTables results");
        return ret;
    }
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLTables(SQLHSTMT StatementHandle, SQLCHAR* CatalogName,
                                       SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                                       SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                       SQLSMALLINT NameLength3, SQLCHAR* TableType,
                                       SQLSMALLINT NameLength4) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    return _Tables(stmt, TableName, NameLength3, TableType, NameLength4);
}
