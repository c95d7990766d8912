#include <stdlib.h>

#include "ColumnHeader.h"
#include "handles.h"
#include "NavixResultSet.h"

static void freeText(char** field) {
    if (*field != NULL) {
        free(*field);
        *field = NULL;
    }
}

int _ReleaseResults(hStmtExtras* extras) {
    if (extras == NULL) {
        return SQL_ERROR;
    }
    if (extras->columnHeaders != NULL) {
        for (uint32_t i = 0; i < extras->columnCount; i++) {
            ColumnHeader* h = &extras->columnHeaders[i];
            freeText(&h->baseColumnName);
            freeText(&h->baseTableName);
            freeText(&h->catalogName);
            freeText(&h->label);
            freeText(&h->literalPrefix);
            freeText(&h->literalSuffix);
            freeText(&h->localTypeName);
            freeText(&h->name);
            freeText(&h->schemaName);
            freeText(&h->tableName);
            freeText(&h->typeName);
            freeText(&h->partText);
        }
        free(extras->columnHeaders);
        extras->columnHeaders = NULL;
    }
    if (extras->resultSet != NULL) {
        // Virtual destructor: a catalog result set releases its own members.
        delete extras->resultSet;
        extras->resultSet = NULL;
    }
    extras->columnCount = 0;
    extras->rowCurrent = 0;
    extras->partColumn = 0;
    return 0;
}
