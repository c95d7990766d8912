// Table-name argument of SQLColumns and SQLPrimaryKeys.
#ifndef VORN_CATALOG_TABLE_NAME_H
#define VORN_CATALOG_TABLE_NAME_H

#include <sql.h>

#define CATALOG_TABLE_NAME_MAX 512

struct StmtHandle;

// Checks and copies the table name into buf (CATALOG_TABLE_NAME_MAX + 1
// bytes). A refusal goes into the statement's record, message log and log
// under the caller's file and function. SQL_SUCCESS or SQL_ERROR.
SQLRETURN _CatalogTableName(StmtHandle* stmt, const char* file, const char* func,
                            const SQLCHAR* tableName, SQLSMALLINT length, char* buf);

#endif
