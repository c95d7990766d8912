#include <stdlib.h>
#include <string.h>

#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "_Diag.h"
#include "handles.h"
#include "navixclient.h"

int32_t clientTypeToSqlType(int32_t clientTypeCode) {
    switch (clientTypeCode) {
    case 1: // BOOLEAN
    case 3: // SMALLINT
        return SQL_SMALLINT;
    case 2:
        return SQL_TINYINT;
    case 4:
        return SQL_INTEGER;
    case 5:
        return SQL_BIGINT;
    case 6:
        return SQL_FLOAT;
    case 7:
        return SQL_DOUBLE;
    case 8:  // STRING
    case 15: // VARCHAR
    case 16: // CHAR
        return SQL_VARCHAR;
    case 9:
        return SQL_TYPE_DATE;
    case 10:
    case 11:
        return SQL_TYPE_TIMESTAMP;
    case 17:
        return SQL_DECIMAL;
    default:
        return SQL_UNKNOWN_TYPE;
    }
}

int _FillColumnHeader(ColumnHeader* header, NavixQueryResultSet* rs, int index) {
    if (rs == NULL || header == NULL) {
        return -1;
    }
    uint32_t i = (uint32_t)index;
    const char* name = rs->getColumnName(i).c_str();
    int32_t code = rs->getColumnType(i);

    header->autoUniqueValue = 0;
    header->baseColumnName = strdup(name);
    header->baseTableName = strdup("");
    header->caseSensitive = 0;
    header->catalogName = strdup("");
    header->conciseType = clientTypeToSqlType(code);
    header->displaySize = DBGetTypeDisplaySize(code);
    header->fixedPrecScale = 0;
    header->label = strdup(name);
    header->length = DBGetTypeOctetLength(code);
    header->literalPrefix = strdup("");
    header->literalSuffix = strdup("");
    header->localTypeName = strdup("");
    header->name = strdup(name);
    header->nullable = SQL_NULLABLE;
    header->numPrecRadix = 0;
    header->octetLength = DBGetTypeOctetLength(code);
    header->precision = 4;
    header->scale = 4;
    header->schemaName = strdup("");
    header->searchable = SQL_SEARCHABLE;
    header->tableName = strdup("");
    header->type = clientTypeToSqlType(code);
    header->typeName = strdup(rs->getColumnTypeName(i).c_str());
    header->unnamed = name[0] == '\0' ? SQL_UNNAMED : SQL_NAMED;
    header->isUnsigned = 0;
    header->updatable = SQL_ATTR_READONLY;

    // Whatever was allocated is freed by _ReleaseResults with the array.
    if (header->baseColumnName == NULL || header->baseTableName == NULL ||
        header->catalogName == NULL || header->label == NULL || header->literalPrefix == NULL ||
        header->literalSuffix == NULL || header->localTypeName == NULL || header->name == NULL ||
        header->schemaName == NULL || header->tableName == NULL || header->typeName == NULL) {
        return -1;
    }
    return 0;
}

namespace {

SQLRETURN buildHeaders(StmtHandle* stmt) {
    hStmtExtras* extras = stmt->extras;
    int32_t count = 0;
    // DBGetColumnCount reports a missing result set itself.
    if (DBGetColumnCount(extras->resultSet, &count) != 0 || count < 0) {
        return VORN_STMT_ERROR(stmt, "_PrepareResults", SQLSTATE_GENERAL, "Column count failed.");
    }
    if (count == 0) {
        NAVIX_LOG(NAVIX_INFO, "_PrepareResults", "SQL_INFO Zero columns found in result set.");
        return SQL_SUCCESS;
    }
    ColumnHeader* headers = (ColumnHeader*)calloc((size_t)count, sizeof(ColumnHeader));
    if (headers == NULL) {
        return VORN_STMT_ERROR(stmt, "_PrepareResults", SQLSTATE_NO_MEMORY,
                               "Not enough memory. (malloc failed)");
    }
    // Count and array are set together so that the two never disagree.
    extras->columnHeaders = headers;
    extras->columnCount = (uint32_t)count;

    for (int idx = 0; idx < count; idx++) {
        // It fails only when a copy of a name cannot be made.
        if (_FillColumnHeader(&headers[idx], extras->resultSet, idx) != 0) {
            return VORN_STMT_ERROR(stmt, "_PrepareResults", SQLSTATE_NO_MEMORY,
                                   "Get column descriptor for column %d failed.", idx);
        }
        NAVIX_LOG(NAVIX_DEBUG, "_PrepareResults",
                  "get column header, idx = %d, name = %s, type = %d", idx,
                  headers[idx].baseColumnName, headers[idx].conciseType);
    }
    _RestoreBindings(extras);
    return SQL_SUCCESS;
}

} // namespace

SQLRETURN _PrepareResults(StmtHandle* stmt) {
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_ERROR;
    }
    SQLRETURN rc = buildHeaders(stmt);
    if (rc != SQL_SUCCESS) {
        // Half-built headers and the result set go together.
        _ReleaseResults(stmt->extras);
    }
    return rc;
}
