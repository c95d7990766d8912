#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "NavixLogging.h"
#include "ColumnHeader.h"
#include "_StringCopy.h"
#include "_Statement.h"
#include "handles.h"
#include "navixclient.h"

namespace {

// atoi over at most n characters of s (leading blanks, sign, digits), without
// atoi's undefined behaviour on overflow: the value saturates.
int atoiN(const char* s, size_t n)
{
    size_t i = 0;
    while (i < n && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) i++;
    bool neg = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        neg = s[i] == '-';
        i++;
    }
    long long v = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') {
        if (v <= INT_MAX) v = v * 10 + (s[i] - '0');
        i++;
    }
    if (v > INT_MAX) v = neg ? (long long)INT_MAX + 1 : INT_MAX;
    return (int)(neg ? -v : v);
}

void formatMsg(char* msg, size_t msgSize, const char* fmt, const char* text)
{
    if (msg != NULL && msgSize > 0) {
        snprintf(msg, msgSize, fmt, text);
    }
}

// Drops the part-retrieval state of every column except `keep` (-1: all).
void resetParts(hStmtExtras* extras, int64_t keep)
{
    if (extras->columnHeaders == NULL) return;
    for (uint32_t i = 0; i < extras->columnCount; i++) {
        if ((int64_t)i != keep) {
            extras->columnHeaders[i].partState = PART_NONE;
            extras->columnHeaders[i].partOffset = 0;
        }
    }
}

// The whole converted text of a cell. The text getter writes only what fits
// and reports the length written, so the buffer grows until the text leaves
// room to spare. *text is malloc'd. 0, or 1 when the getter fails.
#define TEXT_START_SIZE 256u
#define TEXT_MAX_SIZE (1u << 30)
int readWholeText(NavixQueryResultSet* rs, uint32_t idx, char** text, int64_t* len, int32_t* isNull)
{
    uint32_t size = TEXT_START_SIZE;
    for (;;) {
        char* buf = (char*)malloc(size);
        if (buf == NULL) return 1;
        int32_t outLen = 0;
        *isNull = 0;
        if (DBGetFieldAsCString(rs, idx, buf, size, &outLen, isNull) != 0) {
            free(buf);
            return 1;
        }
        buf[size - 1] = '\0';
        int64_t n = (int64_t)strlen(buf);
        if (n + 1 < (int64_t)size || size >= TEXT_MAX_SIZE) {
            *text = buf;
            *len = n;
            return 0;
        }
        free(buf);
        size *= 2;
    }
}

} // namespace

int parseDateText(const char* text, SQL_DATE_STRUCT* date, char* msg, size_t msgSize)
{
    if (text == NULL || date == NULL) {
        formatMsg(msg, msgSize, "Invalid date string for conversion: %s", text ? text : "");
        return -1;
    }
    size_t len = strlen(text);
    int year, month, day;
    if (len == 8) {
        year = atoiN(text, 4);
        month = atoiN(text + 4, 2);
        day = atoiN(text + 6, len - 6);
    } else if (len == 10) {
        year = atoiN(text, 4);
        month = atoiN(text + 5, 2);
        day = atoiN(text + 8, len - 8);
    } else {
        formatMsg(msg, msgSize, "Invalid date string for conversion: %s", text);
        return -1;
    }
    date->year = (SQLSMALLINT)year;
    date->month = (SQLUSMALLINT)month;
    date->day = (SQLUSMALLINT)day;
    return 0;
}

int parseTimestampText(const char* text, SQL_TIMESTAMP_STRUCT* ts, char* msg, size_t msgSize)
{
    if (text == NULL || ts == NULL) {
        formatMsg(msg, msgSize, "Invalid timestamp string for conversion: %s", text ? text : "");
        return -1;
    }
    size_t len = strlen(text);
    const char* blank = strchr(text, ' ');
    if (blank == NULL || blank - text != 10 || len < 19) {
        formatMsg(msg, msgSize, "Invalid timestamp string for conversion: %s", text);
        return -1;
    }
    ts->year = (SQLSMALLINT)atoiN(text, 4);
    ts->month = (SQLUSMALLINT)atoiN(text + 5, 2);
    ts->day = (SQLUSMALLINT)atoiN(text + 8, 2);
    ts->hour = (SQLUSMALLINT)atoiN(text + 11, 2);
    ts->minute = (SQLUSMALLINT)atoiN(text + 14, 2);
    ts->second = (SQLUSMALLINT)atoiN(text + 17, 2);
    ts->fraction = len >= 21 ? (SQLUINTEGER)atoiN(text + 20, len - 20) : 0;
    return 0;
}

SQLRETURN _GetData(StmtHandle* stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                   SQLLEN bufferLength, SQLLEN* lenOrInd)
{
    if (stmt == NULL || stmt->extras == NULL) {
        return SQL_INVALID_HANDLE;
    }
    if (target == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_ERROR Target buffer pointer is NULL.");
        return SQL_ERROR;
    }
    hStmtExtras* extras = stmt->extras;
    NavixQueryResultSet* rs = extras->resultSet;
    int32_t hasRows = 0;
    if (DBHasResults(rs, &hasRows) != 0 || hasRows == 0) {
        NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_ERROR check for results failed.");
        return SQL_ERROR;
    }

    // Column numbers come straight from the application; an index the
    // result does not have must fail like a refused getter.
    const bool inRange =
        column >= 1 && column <= extras->columnCount && extras->columnHeaders != NULL;
    ColumnHeader* header = inRange ? &extras->columnHeaders[column - 1] : NULL;
    const uint32_t idx = inRange ? (uint32_t)(column - 1) : 0;
    const int col = (int)column;
    resetParts(extras, (header != NULL && cType == SQL_C_CHAR) ? (int64_t)(column - 1) : -1);

    int32_t isNull = 0;
    SQLLEN byteCount = 0;
    SQLRETURN rc = SQL_SUCCESS;

    switch (cType) {
    case SQL_C_CHAR: {
        // Most cells fit the application's buffer: read them straight into it,
        // and build the whole text only when it may have been cut or a read
        // in parts is under way.
        if (inRange && bufferLength > 0 && header->partState == PART_NONE) {
            const uint32_t size =
                bufferLength > (SQLLEN)TEXT_MAX_SIZE ? TEXT_MAX_SIZE : (uint32_t)bufferLength;
            int32_t outLen = 0;
            if (DBGetFieldAsCString(rs, idx, (char*)target, size, &outLen, &isNull) != 0) {
                NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_ERROR get C string data failed for column %i.",
                          col);
                return SQL_ERROR;
            }
            const size_t n = strnlen((const char*)target, size);
            if (isNull || n + 1 < size) {
                byteCount = (SQLLEN)n;
                break;
            }
        }
        char* text = NULL;
        int64_t len = 0;
        if (!inRange || bufferLength <= 0 || readWholeText(rs, idx, &text, &len, &isNull) != 0) {
            NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_ERROR get C string data failed for column %i.",
                      col);
            return SQL_ERROR;
        }
        if (isNull) {
            vornCopyString((char*)target, bufferLength, text);
            free(text);
            header->partState = PART_NONE;
            break;
        }
        if (header->partState == PART_DONE) {
            free(text);
            NAVIX_LOG(NAVIX_WARN, "_GetData",
                      "SQL_NO_DATA column %i has already been completely fetched.", col);
            return SQL_NO_DATA;
        }
        int64_t offset = header->partState == PART_ACTIVE ? (int64_t)header->partOffset : 0;
        if (offset > len) offset = len;
        int64_t remaining = len - offset;
        vornCopyStringN((char*)target, bufferLength, text + offset, remaining);
        free(text);
        byteCount = (SQLLEN)remaining;
        if (remaining >= (int64_t)bufferLength) {
            NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_SUCCESS_WITH_INFO column %i has more data to fetch.",
                      col);
            header->partState = PART_ACTIVE;
            header->partOffset = (SQLLEN)(offset + bufferLength - 1);
            rc = SQL_SUCCESS_WITH_INFO;
        } else if (header->partState == PART_ACTIVE) {
            header->partState = PART_DONE;
            header->partOffset = (SQLLEN)len;
        }
        break;
    }
    case SQL_C_LONG:
    case SQL_C_SLONG: {
        int32_t v = 0;
        if (!inRange || DBGetFieldAsLong(rs, idx, &v, &isNull) != 0) {
            NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_ERROR get signed long int data failed for column %i",
                      col);
            return SQL_ERROR;
        }
        memcpy(target, &v, sizeof(v));
        byteCount = 4;
        break;
    }
    case SQL_C_ULONG: {
        uint32_t v = 0;
        if (!inRange || DBGetFieldAsULong(rs, idx, &v, &isNull) != 0) {
            NAVIX_LOG(NAVIX_ERROR, "_GetData",
                      "SQL_ERROR get unsigned long int data failed for column %i. %s", col, "");
            return SQL_ERROR;
        }
        memcpy(target, &v, sizeof(v));
        byteCount = 4;
        break;
    }
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT: {
        int32_t v = 0;
        if (!inRange || DBGetFieldAsInt(rs, idx, &v, &isNull) != 0) {
            if (cType == SQL_C_USHORT) {
                NAVIX_LOG(NAVIX_ERROR, "_GetData",
                          "SQL_ERROR get unsigned short int data failed for column %i", col);
            } else {
                NAVIX_LOG(NAVIX_ERROR, "_GetData",
                          "SQL_ERROR get signed short int data failed for column %i", col);
            }
            return SQL_ERROR;
        }
        uint16_t low = (uint16_t)(uint32_t)v;
        memcpy(target, &low, sizeof(low));
        byteCount = 2;
        break;
    }
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT: {
        int8_t v = 0;
        if (!inRange || DBGetFieldAsI8(rs, idx, &v, &isNull) != 0) {
            if (cType == SQL_C_UTINYINT) {
                NAVIX_LOG(NAVIX_ERROR, "_GetData",
                          "SQL_ERROR get unsigned tiny int data failed for column %i.", col);
            } else {
                NAVIX_LOG(NAVIX_ERROR, "_GetData",
                          "SQL_ERROR get signed tiny int data failed for column %i.", col);
            }
            return SQL_ERROR;
        }
        memcpy(target, &v, sizeof(v));
        byteCount = 1;
        break;
    }
    case SQL_C_SBIGINT: {
        int64_t v = 0;
        if (!inRange || DBGetFieldAsI64(rs, idx, &v, &isNull) != 0) {
            NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_ERROR get signed big int data failed for column %i.",
                      col);
            return SQL_ERROR;
        }
        memcpy(target, &v, sizeof(v));
        byteCount = 8;
        break;
    }
    case SQL_C_UBIGINT: {
        uint64_t v = 0;
        if (!inRange || DBGetFieldAsI64U(rs, idx, &v, &isNull) != 0) {
            NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_ERROR get unsigned big int data failed for column %i",
                      col);
            return SQL_ERROR;
        }
        memcpy(target, &v, sizeof(v));
        byteCount = 8;
        break;
    }
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE: {
        double v = 0;
        if (!inRange || DBGetFieldAsDouble(rs, idx, &v, &isNull) != 0) {
            if (cType == SQL_C_FLOAT) {
                NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_ERROR get float data failed for column %i",
                          col);
            } else {
                NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_ERROR get double data failed for column %i.",
                          col);
            }
            return SQL_ERROR;
        }
        if (cType == SQL_C_FLOAT) {
            float f = (float)v;
            memcpy(target, &f, sizeof(f));
            byteCount = 4;
        } else {
            memcpy(target, &v, sizeof(v));
            byteCount = 8;
        }
        break;
    }
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: {
        // The date is the first 10 characters of the cell's text. A TIMESTAMP
        // cell gives no text at all in fewer than 20 bytes, so it is read
        // whole and cut here.
        const uint32_t workSize =
            (header != NULL && header->conciseType == SQL_TYPE_TIMESTAMP) ? 26 : 11;
        char* work = (char*)calloc(workSize, 1);
        if (work == NULL) {
            NAVIX_LOG(NAVIX_ERROR, "_GetData",
                      "SQL_ERROR failed to allocate memory for SQL_C_TYPE_DATE, column %i.", col);
            return SQL_ERROR;
        }
        int32_t outLen = 0;
        if (!inRange || DBGetFieldAsCString(rs, idx, work, workSize, &outLen, &isNull) != 0) {
            free(work);
            NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_ERROR get date string data failed for column %i",
                      col);
            return SQL_ERROR;
        }
        if (bufferLength < (SQLLEN)sizeof(SQL_DATE_STRUCT)) {
            free(work);
            NAVIX_LOG(NAVIX_ERROR, "_GetData",
                      "SQL_ERROR size of target string is less than date struct,targetLength = %i.",
                      (int)bufferLength);
            return SQL_ERROR;
        }
        work[10] = '\0';
        // Only the structure is ours to write, whatever length the application claims.
        SQL_DATE_STRUCT date;
        memset(&date, 0, sizeof(date));
        if (!isNull && parseDateText(work, &date, stmt->msg, sizeof(stmt->msg)) != 0) {
            free(work);
            memcpy(target, &date, sizeof(date));
            NAVIX_LOG(NAVIX_ERROR, "_GetData", "%s", stmt->msg);
            return SQL_ERROR;
        }
        free(work);
        memcpy(target, &date, sizeof(date));
        byteCount = (SQLLEN)sizeof(SQL_DATE_STRUCT);
        break;
    }
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: {
        char* work = (char*)calloc(26, 1);
        if (work == NULL) {
            NAVIX_LOG(NAVIX_ERROR, "_GetData",
                      "SQL_ERROR failed to allocate memory for SQL_C_TYPE_TIMESTAMP,column %i.", col);
            return SQL_ERROR;
        }
        int32_t outLen = 0;
        if (!inRange || DBGetFieldAsCString(rs, idx, work, 26, &outLen, &isNull) != 0) {
            free(work);
            NAVIX_LOG(NAVIX_ERROR, "_GetData",
                      "SQL_ERROR get timestamp string data failed for column %i.", col);
            return SQL_ERROR;
        }
        if (bufferLength < (SQLLEN)sizeof(SQL_TIMESTAMP_STRUCT)) {
            free(work);
            NAVIX_LOG(NAVIX_ERROR, "_GetData",
                      "SQL_ERROR size of target string is less than timestamp struct,targetLength = "
                      "%i.",
                      (int)bufferLength);
            return SQL_ERROR;
        }
        SQL_TIMESTAMP_STRUCT ts;
        memset(&ts, 0, sizeof(ts));
        int parsed = 0;
        if (!isNull) {
            SQL_DATE_STRUCT date;
            // A DATE cell carries no time of day: it is midnight of that date.
            if (header->conciseType == SQL_TYPE_DATE &&
                parseDateText(work, &date, stmt->msg, sizeof(stmt->msg)) == 0) {
                ts.year = date.year;
                ts.month = date.month;
                ts.day = date.day;
            } else {
                parsed = parseTimestampText(work, &ts, stmt->msg, sizeof(stmt->msg));
            }
        }
        free(work);
        memcpy(target, &ts, sizeof(ts));
        if (parsed != 0) {
            NAVIX_LOG(NAVIX_ERROR, "_GetData", "%s", stmt->msg);
            return SQL_ERROR;
        }
        byteCount = (SQLLEN)sizeof(SQL_TIMESTAMP_STRUCT);
        break;
    }
    default:
        NAVIX_LOG(NAVIX_ERROR, "_GetData", "SQL_ERROR Unknown target type %d", (int)cType);
        return SQL_ERROR;
    }

    if (lenOrInd != NULL) {
        *lenOrInd = isNull ? SQL_NULL_DATA : byteCount;
    } else if (isNull) {
        NAVIX_LOG(NAVIX_ERROR, "_GetData",
                  "SQL_ERROR column %i contained NULL but pnLengthOrIndicator was not provided.", col);
        return SQL_ERROR;
    }
    return rc;
}

extern "C" SQLRETURN SQL_API SQLGetData(SQLHSTMT StatementHandle, SQLUSMALLINT Col_or_Param_Num,
                                        SQLSMALLINT TargetType, SQLPOINTER TargetValuePtr,
                                        SQLLEN BufferLength, SQLLEN* StrLen_or_IndPtr)
{
    NAVIX_LOG(NAVIX_DEBUG, "SQLGetData", "hDrvStmt = $%08lX", (unsigned long)StatementHandle);
    return _GetData((StmtHandle*)StatementHandle, Col_or_Param_Num, TargetType, TargetValuePtr,
                    BufferLength, StrLen_or_IndPtr);
}
