#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "_Diag.h"
#include "_StringCopy.h"
#include "_Statement.h"
#include "handles.h"

SQLRETURN _ColAttribute(StmtHandle* stmt, SQLUSMALLINT columnNumber, SQLUSMALLINT fieldIdentifier,
                        SQLPOINTER characterAttribute, SQLSMALLINT bufferLength,
                        SQLSMALLINT* stringLength, SQLLEN* numericAttribute) {
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_INVALID_HANDLE;
    }
    hStmtExtras* extras = stmt->extras;
    if (extras->columnHeaders == NULL) {
        return VORN_STMT_ERROR(stmt, "_ColAttribute", SQLSTATE_SEQUENCE, "%s",
                               "SQL_ERROR Uninitialized column headers.");
    }
    if (!VORN_COLUMN_IN_RANGE_AS(stmt, "_ColAttribute", columnNumber, "Column out of bounds: ")) {
        return SQL_ERROR;
    }
    const ColumnHeader* h = &extras->columnHeaders[columnNumber - 1];
    const char* text = NULL;
    int64_t number = 0;
    bool isText = false;
    switch (fieldIdentifier) {
    case SQL_DESC_CONCISE_TYPE:
        number = h->conciseType;
        break;
    case SQL_DESC_DISPLAY_SIZE:
        number = h->displaySize;
        break;
    case SQL_DESC_UNSIGNED:
        number = h->isUnsigned;
        break;
    case SQL_DESC_FIXED_PREC_SCALE:
        number = h->fixedPrecScale;
        break;
    case SQL_DESC_UPDATABLE:
        number = h->updatable;
        break;
    case SQL_DESC_AUTO_UNIQUE_VALUE:
        number = h->autoUniqueValue;
        break;
    case SQL_DESC_CASE_SENSITIVE:
        number = h->caseSensitive;
        break;
    case SQL_DESC_SEARCHABLE:
        number = h->searchable;
        break;
    case SQL_DESC_TYPE_NAME:
        text = h->typeName;
        isText = true;
        break;
    case SQL_DESC_TABLE_NAME:
        text = h->tableName;
        isText = true;
        break;
    case SQL_DESC_SCHEMA_NAME:
        text = h->schemaName;
        isText = true;
        break;
    case SQL_DESC_CATALOG_NAME:
        text = h->catalogName;
        isText = true;
        break;
    case SQL_DESC_LABEL:
        text = h->label;
        isText = true;
        break;
    case SQL_DESC_BASE_COLUMN_NAME:
        text = h->baseColumnName;
        isText = true;
        break;
    case SQL_DESC_BASE_TABLE_NAME:
        text = h->baseTableName;
        isText = true;
        break;
    case SQL_DESC_LITERAL_PREFIX:
        text = h->literalPrefix;
        isText = true;
        break;
    case SQL_DESC_LITERAL_SUFFIX:
        text = h->literalSuffix;
        isText = true;
        break;
    case SQL_DESC_LOCAL_TYPE_NAME:
        text = h->localTypeName;
        isText = true;
        break;
    case SQL_DESC_NUM_PREC_RADIX:
        number = h->numPrecRadix;
        break;
    case SQL_DESC_COUNT:
        number = (int64_t)extras->columnCount;
        break;
    case SQL_DESC_TYPE:
        number = h->type;
        break;
    case SQL_DESC_LENGTH:
        number = h->length;
        break;
    case SQL_DESC_PRECISION:
        number = h->precision;
        break;
    case SQL_DESC_SCALE:
        number = h->scale;
        break;
    case SQL_DESC_NULLABLE:
        number = h->nullable;
        break;
    case SQL_DESC_NAME:
        text = h->name;
        isText = true;
        break;
    case SQL_DESC_UNNAMED:
        number = h->unnamed;
        break;
    case SQL_DESC_OCTET_LENGTH:
        number = h->octetLength;
        break;
    default:
        return VORN_STMT_ERROR(stmt, "_ColAttribute", SQLSTATE_BAD_ATTR,
                               "Invalid nFieldIdentifier value of %d", (int)fieldIdentifier);
    }
    bool cut = false;
    if (isText) {
        if (characterAttribute != NULL && bufferLength < 0) {
            return VORN_STMT_ERROR(stmt, "_ColAttribute", SQLSTATE_BAD_LENGTH,
                                   "SQL_ERROR Invalid BufferLength %d", (int)bufferLength);
        }
        int64_t full = vornCopyString((char*)characterAttribute,
                                      characterAttribute != NULL ? bufferLength : 0, text);
        if (stringLength != NULL) {
            *stringLength = (SQLSMALLINT)(full > 32767 ? 32767 : full);
        }
        if (numericAttribute != NULL) {
            *numericAttribute = 0;
        }
        cut = characterAttribute != NULL && full >= bufferLength;
    } else if (numericAttribute != NULL) {
        *numericAttribute = (SQLLEN)number;
    }
    if (cut) {
        return VORN_STMT_INFO(stmt, "_ColAttribute", SQLSTATE_TRUNCATED,
                              "SQL_SUCCESS_WITH_INFO Attribute %d of column %u was truncated",
                              (int)fieldIdentifier, (unsigned)columnNumber);
    }
    NAVIX_LOG(NAVIX_DEBUG, "_ColAttribute", "SQL_SUCCESS, column = %d, field = %d",
              (int)columnNumber, (int)fieldIdentifier);
    return SQL_SUCCESS;
}

extern "C" SQLRETURN SQL_API SQLColAttribute(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                             SQLUSMALLINT FieldIdentifier,
                                             SQLPOINTER CharacterAttributePtr,
                                             SQLSMALLINT BufferLength, SQLSMALLINT* StringLengthPtr,
                                             SQLLEN* NumericAttributePtr) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    return _ColAttribute(stmt, ColumnNumber, FieldIdentifier, CharacterAttributePtr, BufferLength,
                         StringLengthPtr, NumericAttributePtr);
}
