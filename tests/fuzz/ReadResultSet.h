// Reads a result set to its end as an application does: every row through
// DBFetch, every cell through DBGetFieldAsCString (several buffer sizes), each
// typed getter, and the cell conversion to every C type the driver converts
// to. Shared by the targets whose answers become result sets.
#ifndef VORN_FUZZ_READ_RESULT_SET_H
#define VORN_FUZZ_READ_RESULT_SET_H

#include <string.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "CellConvert.h"
#include "DiagInfo.h"
#include "FuzzSupport.h"
#include "NavixResultSet.h"
#include "navixclient.h"

namespace fuzzread {

// A diagnostic that an application would read after a failure: a real
// SQLSTATE and a message, both terminated inside their fields.
inline void checkFailureRecord(NavixQueryResultSet* rs) {
    DiagRecord record;
    memset(&record, 0x5A, sizeof(record));
    FUZZ_CHECK(DBFillDiagRecord(rs, &record) == 0, "DBFillDiagRecord");
    FUZZ_CHECK(memchr(record.sqlState, '\0', sizeof(record.sqlState)) != NULL, "SQLSTATE");
    FUZZ_CHECK(memchr(record.message, '\0', sizeof(record.message)) != NULL, "message");
    FUZZ_CHECK(strlen(record.sqlState) == 5 && strcmp(record.sqlState, "00000") != 0,
               std::string("failure recorded as ") + record.sqlState);
    FUZZ_CHECK(record.message[0] != '\0', "failure without a message");
}

inline void readCell(NavixQueryResultSet* rs, uint32_t col, uint32_t columns) {
    // Text through the client's getter: cut to the buffer, terminated inside it.
    for (uint32_t size : {1u, 2u, 7u, 20u, 64u}) {
        GuardedBuffer buf(size);
        int32_t len = -1, isNull = -1;
        int r = DBGetFieldAsCString(rs, col, buf.data(), size, &len, &isNull);
        FUZZ_CHECK(buf.intact(), "DBGetFieldAsCString wrote outside its buffer");
        if (r == 0) {
            FUZZ_CHECK(len >= 0 && (uint32_t)len < size && buf.data()[len] == '\0',
                       "length " + std::to_string(len) + " for a buffer of " +
                           std::to_string(size));
        }
    }
    int32_t isNull;
    int8_t i8;
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    double d;
    const bool inRange = col < columns;
    int r = DBGetFieldAsI8(rs, col, &i8, &isNull);
    r |= DBGetFieldAsInt(rs, col, &i32, &isNull);
    r |= DBGetFieldAsLong(rs, col, &i32, &isNull);
    r |= DBGetFieldAsULong(rs, col, &u32, &isNull);
    r |= DBGetFieldAsI64(rs, col, &i64, &isNull);
    r |= DBGetFieldAsI64U(rs, col, &u64, &isNull);
    r |= DBGetFieldAsDouble(rs, col, &d, &isNull);
    if (!inRange) FUZZ_CHECK(r != 0, "typed getter answered for a column beyond the result");

    // The ODBC layer's route: the cell, its text, then each C type.
    const std::string* cell = NULL;
    int32_t type = 0, ansi = 0;
    if (DBGetFieldCell(rs, col, &cell, &type, &ansi) != 0) return;
    char stamp[CELL_STAMP_SIZE];
    std::string scratch;
    std::string_view text;
    bool ansiFailed = false;
    CellStatus ts = cellText(*cell, type, ansi != 0, stamp, scratch, &text, &ansiFailed);
    static const SQLSMALLINT cTypes[] = {
        SQL_C_CHAR,     SQL_C_SLONG,     SQL_C_ULONG,         SQL_C_SSHORT,  SQL_C_USHORT,
        SQL_C_STINYINT, SQL_C_UTINYINT,  SQL_C_SBIGINT,       SQL_C_UBIGINT, SQL_C_FLOAT,
        SQL_C_DOUBLE,   SQL_C_TYPE_DATE, SQL_C_TYPE_TIMESTAMP};
    for (SQLSMALLINT cType : cTypes) {
        if (cType == SQL_C_CHAR && ts != CELL_OK) continue;
        GuardedBuffer buf(32);
        SQLLEN length = 0;
        CellStatus s = convertCell(*cell, type, text, cType, buf.data(), 32, &length);
        FUZZ_CHECK(buf.intact(), "convertCell wrote outside its buffer");
        if (cellStatusInfo(s).rc == SQL_ERROR)
            FUZZ_CHECK(buf.untouched(), "failed conversion wrote");
    }
}

struct Outcome {
    size_t rows;                                 // rows delivered
    int last;                                    // DBFetch's last result: 1 failure, 2 no row left
    std::vector<std::vector<std::string>> cells; // the delivered rows, as sent
};

// Fetches up to maxRows rows, reading each as an application would.
inline Outcome readAll(NavixQueryResultSet* rs, size_t maxRows) {
    Outcome out = {0, 2, {}};
    int32_t columns = -1;
    FUZZ_CHECK(DBGetColumnCount(rs, &columns) == 0 && columns >= 0, "column count");
    for (;;) {
        if (out.rows >= maxRows) break;
        const int r = DBFetch(rs);
        FUZZ_CHECK(r == 0 || r == 1 || r == 2, "DBFetch gave " + std::to_string(r));
        if (r != 0) {
            out.last = r;
            if (r == 1) checkFailureRecord(rs);
            break;
        }
        ++out.rows;
        std::vector<std::string> row;
        for (uint32_t col = 0;; ++col) {
            const std::string* cell = NULL;
            int32_t type, ansi;
            if (DBGetFieldCell(rs, col, &cell, &type, &ansi) != 0) break;
            row.push_back(*cell);
        }
        // Every cell, and one beyond both the row and the columns; a few
        // dozen columns show every path.
        uint32_t last = (uint32_t)std::max<size_t>(row.size(), (size_t)columns);
        for (uint32_t col = 0; col <= last && col < 40; ++col) {
            readCell(rs, col, (uint32_t)columns);
        }
        out.cells.push_back(row);
    }
    return out;
}

} // namespace fuzzread

#endif
