// Cells of the current row to the application's C types, for SQLGetData and
// for the bound columns of SQLFetch. The conversion itself is the client's
// cell conversion (CellConvert.h); this file finds the cell, keeps
// SQLGetData's progress through a value, and reports each status with its
// SQLSTATE.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <string_view>

#include "CellConvert.h"
#include "ColumnHeader.h"
#include "NavixLogging.h"
#include "_Diag.h"
#include "_Statement.h"
#include "handles.h"
#include "navixclient.h"

namespace {

// A conversion status as the statement's diagnostic; SQL_SUCCESS for CELL_OK.
SQLRETURN report(StmtHandle* stmt, const char* func, CellStatus status, SQLUSMALLINT column,
                 SQLSMALLINT cType) {
    if (status == CELL_OK) {
        return SQL_SUCCESS;
    }
    const CellStatusInfo& info = cellStatusInfo(status);
    char text[256];
    snprintf(text, sizeof(text), info.message, info.typeArgument ? (int)cType : (int)column);
    return _StmtFail(stmt, __FILE__, __LINE__, func, info.rc, info.sqlstate, 0, "%s", text);
}

// The cell that a column number names in the current row. SQL_SUCCESS, or
// SQL_ERROR with the reason recorded.
SQLRETURN findCell(StmtHandle* stmt, const char* func, SQLUSMALLINT column, SQLPOINTER target,
                   const std::string** cell, int32_t* type, int32_t* ansi) {
    hStmtExtras* extras = stmt->extras;
    if (target == NULL) {
        return VORN_STMT_ERROR(stmt, func, SQLSTATE_NULL_POINTER, "%s",
                               "SQL_ERROR Target buffer pointer is NULL.");
    }
    if (extras->resultSet == NULL) {
        return VORN_STMT_ERROR(stmt, func, SQLSTATE_SEQUENCE, "%s",
                               "SQL_ERROR check for results failed.");
    }
    if (extras->columnHeaders == NULL || !extras->rowCurrent) {
        return VORN_STMT_ERROR(stmt, func, SQLSTATE_CURSOR_STATE, "%s",
                               "SQL_ERROR check for results failed: no current row.");
    }
    if (!VORN_COLUMN_IN_RANGE_AS(stmt, func, column, "Column out of bounds: ")) {
        return SQL_ERROR;
    }
    if (DBGetFieldCell(extras->resultSet, (uint32_t)(column - 1), cell, type, ansi) != 0) {
        return VORN_STMT_ERROR(stmt, func, SQLSTATE_GENERAL,
                               "SQL_ERROR the row holds no cell for column %u.", (unsigned)column);
    }
    return SQL_SUCCESS;
}

// The text a cell reads as through SQL_C_CHAR, without a copy where it is
// the cell itself.
SQLRETURN textOf(StmtHandle* stmt, const char* func, SQLUSMALLINT column, const std::string& cell,
                 int32_t type, int32_t ansi, char (&stamp)[CELL_STAMP_SIZE], std::string& scratch,
                 std::string_view* text) {
    bool ansiFailed = false;
    CellStatus s = cellText(cell, type, ansi != 0, stamp, scratch, text, &ansiFailed);
    if (ansiFailed) {
        NAVIX_LOG(NAVIX_ERROR, func, "get C string ConvertUTF82ANSI failed!");
    }
    return report(stmt, func, s, column, SQL_C_CHAR);
}

// What every conversion ends with: the indicator, which a NULL cell needs.
SQLRETURN storeLength(StmtHandle* stmt, const char* func, SQLUSMALLINT column, SQLLEN length,
                      SQLLEN* lenOrInd) {
    if (lenOrInd != NULL) {
        *lenOrInd = length;
    } else if (length == SQL_NULL_DATA) {
        return VORN_STMT_ERROR(
            stmt, func, SQLSTATE_NEED_INDICATOR,
            "SQL_ERROR column %i contained NULL but pnLengthOrIndicator was not provided.",
            (int)column);
    }
    return SQL_SUCCESS;
}

void clearPart(ColumnHeader* h) {
    free(h->partText);
    h->partText = NULL;
    h->partLength = 0;
    h->partOffset = 0;
    h->partState = PART_NONE;
}

} // namespace

void _EndPartRead(hStmtExtras* extras) {
    if (extras == NULL) {
        return;
    }
    if (extras->partColumn >= 1 && extras->partColumn <= extras->columnCount &&
        extras->columnHeaders != NULL) {
        clearPart(&extras->columnHeaders[extras->partColumn - 1]);
    }
    extras->partColumn = 0;
}

SQLRETURN _GetData(StmtHandle* stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                   SQLLEN bufferLength, SQLLEN* lenOrInd) {
    const char* func = "_GetData";
    hStmtExtras* extras = stmt->extras;
    const std::string* cell = NULL;
    int32_t type = 0, ansi = 0;
    SQLRETURN rc = findCell(stmt, func, column, target, &cell, &type, &ansi);
    if (rc != SQL_SUCCESS) {
        return rc;
    }
    // Reading another column drops the progress through the last one.
    if (extras->partColumn != column) {
        _EndPartRead(extras);
        extras->partColumn = column;
    }
    ColumnHeader* h = &extras->columnHeaders[column - 1];
    if (h->partState == PART_DONE) {
        NAVIX_LOG(NAVIX_WARN, func, "SQL_NO_DATA column %i has already been completely fetched.",
                  (int)column);
        return SQL_NO_DATA;
    }
    // The text is converted once per value: the rest of a value read in
    // parts comes from the copy kept on the column. A text read in parts and
    // then asked for as another type is read whole in that type. A call
    // that fails leaves the progress as it was.
    const bool resume = h->partState == PART_ACTIVE && cType == SQL_C_CHAR;
    char stamp[CELL_STAMP_SIZE];
    std::string scratch;
    std::string_view text;
    if (resume) {
        text =
            std::string_view(h->partText + h->partOffset, (size_t)(h->partLength - h->partOffset));
    } else if (cType == SQL_C_CHAR) {
        rc = textOf(stmt, func, column, *cell, type, ansi, stamp, scratch, &text);
        if (rc != SQL_SUCCESS) {
            return rc;
        }
    }

    SQLLEN length = 0;
    CellStatus status = convertCell(*cell, type, text, cType, target, bufferLength, &length);
    if (cellStatusInfo(status).rc == SQL_ERROR) {
        return report(stmt, func, status, column, cType);
    }
    rc = storeLength(stmt, func, column, length, lenOrInd);
    if (rc != SQL_SUCCESS) {
        return rc;
    }
    if (status != CELL_TRUNCATED) {
        clearPart(h);
        h->partState = PART_DONE;
    } else {
        if (!resume) {
            h->partText = (char*)malloc(text.size() + 1);
            if (h->partText == NULL) {
                return VORN_STMT_ERROR(stmt, func, SQLSTATE_NO_MEMORY,
                                       "SQL_ERROR failed to allocate memory for column %i.",
                                       (int)column);
            }
            memcpy(h->partText, text.data(), text.size());
            h->partText[text.size()] = '\0';
            h->partLength = (SQLLEN)text.size();
            h->partOffset = 0;
            h->partState = PART_ACTIVE;
        }
        // What went out: the buffer less its NUL; nothing for a length
        // asked with an empty buffer, so that the next call starts there.
        if (bufferLength > 0) {
            h->partOffset += bufferLength - 1;
        }
    }
    return report(stmt, func, status, column, cType);
}

SQLRETURN _GetBoundColumn(StmtHandle* stmt, SQLUSMALLINT column) {
    const char* func = "SQLFetch";
    const ColumnHeader* h = &stmt->extras->columnHeaders[column - 1];
    const std::string* cell = NULL;
    int32_t type = 0, ansi = 0;
    SQLRETURN rc = findCell(stmt, func, column, h->boundTarget, &cell, &type, &ansi);
    if (rc != SQL_SUCCESS) {
        return rc;
    }
    const SQLSMALLINT cType = (SQLSMALLINT)h->boundCType;
    char stamp[CELL_STAMP_SIZE];
    std::string scratch;
    std::string_view text;
    if (cType == SQL_C_CHAR) {
        rc = textOf(stmt, func, column, *cell, type, ansi, stamp, scratch, &text);
        if (rc != SQL_SUCCESS) {
            return rc;
        }
    }
    SQLLEN length = 0;
    CellStatus status =
        convertCell(*cell, type, text, cType, h->boundTarget, h->boundBufferLength, &length);
    if (cellStatusInfo(status).rc == SQL_ERROR) {
        return report(stmt, func, status, column, cType);
    }
    rc = storeLength(stmt, func, column, length, h->boundLenOrInd);
    if (rc != SQL_SUCCESS) {
        return rc;
    }
    return report(stmt, func, status, column, cType);
}

extern "C" SQLRETURN SQL_API SQLGetData(SQLHSTMT StatementHandle, SQLUSMALLINT Col_or_Param_Num,
                                        SQLSMALLINT TargetType, SQLPOINTER TargetValuePtr,
                                        SQLLEN BufferLength, SQLLEN* StrLen_or_IndPtr) {
    VORN_ENTER(Stmt, stmt, StatementHandle);
    NAVIX_LOG(NAVIX_DEBUG, "SQLGetData", "hDrvStmt = $%08lX",
              (unsigned long)(uintptr_t)StatementHandle);
    return _GetData(stmt, Col_or_Param_Num, TargetType, TargetValuePtr, BufferLength,
                    StrLen_or_IndPtr);
}
