// Description and binding of one result column, and the workers that build
// and drop a statement's column headers.
#ifndef VORN_COLUMNHEADER_H
#define VORN_COLUMNHEADER_H

#include <stdint.h>
#include <sql.h>
#include <sqlext.h>

struct hStmtExtras;
struct StmtHandle;
class NavixQueryResultSet;

// One per result column, in column order. Text fields are malloc'd copies
// owned by the header and freed by _ReleaseResults. The four bound* fields
// are zero until SQLBindCol and die with the header array, so a new
// execution or catalog call drops every binding, unless SQL_CLOSE ended the
// result first (_KeepBindings).
struct ColumnHeader {
    int32_t autoUniqueValue;  // SQL_DESC_AUTO_UNIQUE_VALUE
    char* baseColumnName;     // SQL_DESC_BASE_COLUMN_NAME
    char* baseTableName;      // SQL_DESC_BASE_TABLE_NAME
    int32_t caseSensitive;    // SQL_DESC_CASE_SENSITIVE
    char* catalogName;        // SQL_DESC_CATALOG_NAME
    int32_t conciseType;      // SQL_DESC_CONCISE_TYPE
    int32_t displaySize;      // SQL_DESC_DISPLAY_SIZE
    int32_t fixedPrecScale;   // SQL_DESC_FIXED_PREC_SCALE
    char* label;              // SQL_DESC_LABEL
    int32_t length;           // SQL_DESC_LENGTH
    char* literalPrefix;      // SQL_DESC_LITERAL_PREFIX
    char* literalSuffix;      // SQL_DESC_LITERAL_SUFFIX
    char* localTypeName;      // SQL_DESC_LOCAL_TYPE_NAME
    char* name;               // SQL_DESC_NAME
    int32_t nullable;         // SQL_DESC_NULLABLE
    int32_t numPrecRadix;     // SQL_DESC_NUM_PREC_RADIX
    int32_t octetLength;      // SQL_DESC_OCTET_LENGTH
    int32_t precision;        // SQL_DESC_PRECISION
    int32_t scale;            // SQL_DESC_SCALE
    char* schemaName;         // SQL_DESC_SCHEMA_NAME
    int32_t searchable;       // SQL_DESC_SEARCHABLE
    char* tableName;          // SQL_DESC_TABLE_NAME
    int32_t type;             // SQL_DESC_TYPE
    char* typeName;           // SQL_DESC_TYPE_NAME
    int32_t unnamed;          // SQL_DESC_UNNAMED
    int32_t isUnsigned;       // SQL_DESC_UNSIGNED
    int32_t updatable;        // SQL_DESC_UPDATABLE
    int32_t boundCType;       // SQLSMALLINT C type held in 32 bits; 0 = unbound
    SQLPOINTER boundTarget;   // NULL = column not bound
    SQLLEN boundBufferLength; // bytes
    SQLLEN* boundLenOrInd;    // may be NULL

    // SQLGetData's progress through this column's value in the current row.
    // Only the column that the extras' partColumn names is in another state
    // than PART_NONE; reading another column, or the next row, resets it.
    int32_t partState;
    char* partText;    // the converted text while it goes out in parts; malloc'd
    SQLLEN partLength; // bytes in partText
    SQLLEN partOffset; // bytes of partText already handed out
};

// PART_ACTIVE: a text is being handed out in parts; PART_DONE: the value has
// gone out whole, and a further SQLGetData on the column answers SQL_NO_DATA.
enum { PART_NONE = 0, PART_ACTIVE = 1, PART_DONE = 2 };

// Forgets SQLGetData's progress (the current row changes).
void _EndPartRead(hStmtExtras* extras);

// One column's binding while the statement has no result to hold it.
struct ColumnBinding {
    int32_t cType;
    SQLPOINTER target; // NULL = column not bound
    SQLLEN bufferLength;
    SQLLEN* lenOrInd;
};

// Releases every column binding (SQLFreeStmt with SQL_UNBIND), also those
// that SQL_CLOSE kept.
void _UnbindColumns(hStmtExtras* extras);

// SQLFreeStmt with SQL_CLOSE ends the result but, as ODBC has it, not the
// column bindings: an application binds once and runs its prepared
// statement again and again. _KeepBindings saves the bindings of the current
// column headers before they are released (nothing when no column is bound;
// 0, or -1 when out of memory, nothing changed then). _RestoreBindings hands
// them to the headers of the next result with columns, column by column, and
// forgets them. A new text (SQLPrepare, SQLExecDirect, a catalog call) makes
// a result of other columns: it forgets them (_ForgetKeptBindings), so that a
// new execution drops every binding as before.
int _KeepBindings(hStmtExtras* extras);
void _RestoreBindings(hStmtExtras* extras);
// Frees the kept bindings.
void _ForgetKeptBindings(hStmtExtras* extras);

// Client type code -> SQL type (SQL_UNKNOWN_TYPE for codes it does not know).
int32_t clientTypeToSqlType(int32_t clientTypeCode);

// Fills one header from column `index` (zero-based) of the result set.
// Returns 0, or -1 when rs is NULL.
int _FillColumnHeader(ColumnHeader* header, NavixQueryResultSet* rs, int index);

// Builds the statement's header array from its result set.
// SQL_SUCCESS, or SQL_ERROR with the reason in the statement's record and
// the result released (_ReleaseResults).
SQLRETURN _PrepareResults(StmtHandle* stmt);

// Frees the headers and destroys the result set of a statement's extras.
// 0, or SQL_ERROR when extras is NULL.
int _ReleaseResults(hStmtExtras* extras);

#endif
