// Cells as the service sends them, converted to the application's C types:
// the date and timestamp parsers, the TIMESTAMP cell's local time, cellText
// and convertCell over every client type code (and codes no column has) ×
// every C type the driver converts to (and some it does not) × buffer sizes
// 0 to 40, with guard bytes around each buffer.
// Input: a byte choosing the client type, a byte of flags (ANSI code page,
// part size), then the cell.
//
// Beyond "no crash":
// - nothing is written outside the buffer (a fixed-size C type: its size);
// - a failed conversion writes nothing, not even the length;
// - text: terminated inside the buffer, the text's start, its whole length
//   reported, "truncated" exactly when it did not fit (a zero-length buffer:
//   nothing written, the whole length, "truncated" unless NULL); read in
//   parts as SQLGetData reads it, the parts give back the whole text;
// - a NULL cell (a JSON null) gives SQL_NULL_DATA, any other cell never;
// - integers: a cell that is a plain decimal integer gives its value, or
//   "out of range" exactly when the C type cannot hold it; doubles and floats:
//   the correctly rounded value of a plain decimal number;
// - dates and timestamps: a parsed value has the digits of the text and is a
//   real calendar moment; a TIMESTAMP cell's text and structure agree.
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "CellConvert.h"
#include "FuzzSupport.h"
#include "NavixResultSet.h"
#include "RestMessage.h"

namespace {

const int32_t kTypes[] = {CLIENT_TYPE_UNKNOWN,
                          CLIENT_TYPE_BOOLEAN,
                          CLIENT_TYPE_TINYINT,
                          CLIENT_TYPE_SMALLINT,
                          CLIENT_TYPE_INT,
                          CLIENT_TYPE_BIGINT,
                          CLIENT_TYPE_FLOAT,
                          CLIENT_TYPE_DOUBLE,
                          CLIENT_TYPE_STRING,
                          CLIENT_TYPE_DATE,
                          CLIENT_TYPE_TIMESTAMP,
                          CLIENT_TYPE_VARCHAR,
                          CLIENT_TYPE_CHAR,
                          CLIENT_TYPE_DECIMAL,
                          10,
                          12,
                          99,
                          -1};

struct CType {
    SQLSMALLINT code;
    size_t fixedSize; // 0: the buffer length counts
    bool converted;
};
const CType kCTypes[] = {
    {SQL_C_CHAR, 0, true},      {SQL_C_LONG, 4, true},
    {SQL_C_SLONG, 4, true},     {SQL_C_ULONG, 4, true},
    {SQL_C_SHORT, 2, true},     {SQL_C_SSHORT, 2, true},
    {SQL_C_USHORT, 2, true},    {SQL_C_TINYINT, 1, true},
    {SQL_C_STINYINT, 1, true},  {SQL_C_UTINYINT, 1, true},
    {SQL_C_SBIGINT, 8, true},   {SQL_C_UBIGINT, 8, true},
    {SQL_C_FLOAT, 4, true},     {SQL_C_DOUBLE, 8, true},
    {SQL_C_DATE, 0, true},      {SQL_C_TYPE_DATE, 0, true},
    {SQL_C_TIMESTAMP, 0, true}, {SQL_C_TYPE_TIMESTAMP, 0, true},
    {SQL_C_WCHAR, 0, false},    {SQL_C_BINARY, 0, false},
    {SQL_C_BIT, 0, false},      {SQL_C_NUMERIC, 0, false},
    {SQL_C_GUID, 0, false},     {SQL_C_TYPE_TIME, 0, false},
    {SQL_C_DEFAULT, 0, false},  {0, 0, false},
    {32767, 0, false},
};

const SQLLEN kUnset = -12345;

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view withoutBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// [sign]digits, blanks around it allowed.
bool plainInteger(std::string_view s) {
    s = withoutBlanks(s);
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
    if (s.empty()) return false;
    for (char c : s) {
        if (!isDigit(c)) return false;
    }
    return true;
}

// [sign](digits[.digits] | .digits)[(e|E)[sign]digits], blanks around it allowed.
bool plainDecimal(std::string_view s) {
    s = withoutBlanks(s);
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = 0;
    while (i < s.size() && isDigit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < s.size() && isDigit(s[i]))
            ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    return i == s.size();
}

// The value a plain integer cell stands for, as the C library reads it.
// false when it does not fit 64 bits either way.
bool integerValue(const std::string& cell, bool* negative, unsigned long long* magnitude) {
    std::string_view s = withoutBlanks(cell);
    *negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
    errno = 0;
    *magnitude = strtoull(std::string(s).c_str(), NULL, 10);
    if (*magnitude == 0) *negative = false;
    return errno == 0;
}

template <typename T> void checkInteger(const std::string& cell, CellStatus s, const void* target) {
    bool negative;
    unsigned long long magnitude;
    if (!integerValue(cell, &negative, &magnitude)) {
        FUZZ_CHECK(s == CELL_OUT_OF_RANGE, "beyond 64 bits, yet " + std::to_string(s));
        return;
    }
    const bool fits = negative
                          ? (std::is_signed<T>::value &&
                             magnitude <= (unsigned long long)std::numeric_limits<T>::max() + 1)
                          : magnitude <= (unsigned long long)std::numeric_limits<T>::max();
    if (!fits) {
        FUZZ_CHECK(s == CELL_OUT_OF_RANGE, cell + " fits nowhere, yet " + std::to_string(s));
        return;
    }
    FUZZ_CHECK(s == CELL_OK, cell + " gave status " + std::to_string(s));
    T value;
    memcpy(&value, target, sizeof(value));
    const bool same = negative ? (value < 0 && (unsigned long long)(-(value + 1)) + 1 == magnitude)
                               : (value >= 0 && (unsigned long long)value == magnitude);
    FUZZ_CHECK(same, cell + " read as " + std::to_string(value));
}

void checkValue(const std::string& cell, int32_t type, SQLSMALLINT cType, CellStatus s,
                const void* target) {
    if (cellIsNull(cell) || type == CLIENT_TYPE_BOOLEAN) return;
    if (plainInteger(cell)) {
        switch (cType) {
        case SQL_C_LONG:
        case SQL_C_SLONG:
            checkInteger<int32_t>(cell, s, target);
            break;
        case SQL_C_ULONG:
            checkInteger<uint32_t>(cell, s, target);
            break;
        case SQL_C_SHORT:
        case SQL_C_SSHORT:
            checkInteger<int16_t>(cell, s, target);
            break;
        case SQL_C_USHORT:
            checkInteger<uint16_t>(cell, s, target);
            break;
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
            checkInteger<int8_t>(cell, s, target);
            break;
        case SQL_C_UTINYINT:
            checkInteger<uint8_t>(cell, s, target);
            break;
        case SQL_C_SBIGINT:
            checkInteger<int64_t>(cell, s, target);
            break;
        case SQL_C_UBIGINT:
            checkInteger<uint64_t>(cell, s, target);
            break;
        default:
            break;
        }
    }
    if ((cType == SQL_C_DOUBLE || cType == SQL_C_FLOAT) && plainDecimal(cell)) {
        errno = 0;
        const double expected = strtod(cell.c_str(), NULL);
        if (errno != 0 || !std::isnormal(expected)) return; // overflow, underflow, zero: below
        if (cType == SQL_C_DOUBLE) {
            double d;
            FUZZ_CHECK(s == CELL_OK, cell + " is a double, yet " + std::to_string(s));
            memcpy(&d, target, sizeof(d));
            FUZZ_CHECK(d == expected, cell + " read as " + std::to_string(d));
        } else if (!std::isinf((float)expected)) {
            float f;
            FUZZ_CHECK(s == CELL_OK, cell + " is a float, yet " + std::to_string(s));
            memcpy(&f, target, sizeof(f));
            FUZZ_CHECK(f == (float)expected, cell + " read as " + std::to_string(f));
        }
    }
}

void checkText(std::string_view text, bool isNull, SQLLEN bufferLength, CellStatus s,
               const char* out, SQLLEN length) {
    if (bufferLength == 0) {
        // Only the length is asked for; the guard bytes show nothing was written.
        FUZZ_CHECK(length == (isNull ? SQL_NULL_DATA : (SQLLEN)text.size()),
                   "length " + std::to_string(length));
        FUZZ_CHECK(s == (isNull ? CELL_OK : CELL_TRUNCATED), "status " + std::to_string(s));
        return;
    }
    const std::string_view shown = isNull ? std::string_view("null") : text;
    const size_t room = (size_t)bufferLength - 1;
    const size_t n = std::min(shown.size(), room);
    FUZZ_CHECK(out[n] == '\0' && memcmp(out, shown.data(), n) == 0, "text not the cell's start");
    FUZZ_CHECK(length == (isNull ? SQL_NULL_DATA : (SQLLEN)shown.size()),
               "length " + std::to_string(length));
    FUZZ_CHECK(s == ((!isNull && shown.size() > room) ? CELL_TRUNCATED : CELL_OK),
               "status " + std::to_string(s));
}

// Every C type × buffer sizes 0..40.
void convertEverywhere(const std::string& cell, int32_t type, std::string_view text, bool textOk) {
    const bool isNull = cellIsNull(cell);
    FUZZ_CHECK(isNull == (cell == navixrest::kNullCell), "NULL is not the JSON null's cell");
    for (const CType& c : kCTypes) {
        for (SQLLEN bufferLength = 0; bufferLength <= 40; ++bufferLength) {
            if (c.code == SQL_C_CHAR && !textOk) break;
            // A fixed-size type writes its size whatever the length says;
            // three lengths show that the length is not consulted.
            if (c.fixedSize != 0 && bufferLength != 0 && bufferLength != 3 && bufferLength != 40)
                continue;
            GuardedBuffer buf(c.fixedSize != 0 ? c.fixedSize : (size_t)bufferLength);
            SQLLEN length = kUnset;
            const CellStatus s =
                convertCell(cell, type, text, c.code, buf.data(), bufferLength, &length);
            FUZZ_CHECK(buf.intact(), "wrote outside the buffer: C type " + std::to_string(c.code) +
                                         ", length " + std::to_string(bufferLength));
            FUZZ_CHECK(s >= CELL_OK && s <= CELL_BAD_LENGTH, "status " + std::to_string(s));
            if (!c.converted) {
                FUZZ_CHECK(s == CELL_NO_CONVERSION,
                           "converted to C type " + std::to_string(c.code));
            }
            if (cellStatusInfo(s).rc == SQL_ERROR) {
                FUZZ_CHECK(buf.untouched() && length == kUnset, "a failed conversion wrote");
                continue;
            }
            // NULL is a JSON null's cell and nothing else: the text "null" is a text.
            FUZZ_CHECK(isNull == (length == SQL_NULL_DATA),
                       isNull ? "NULL cell without SQL_NULL_DATA" : "text read as NULL");
            if (c.code == SQL_C_CHAR) {
                checkText(text, isNull, bufferLength, s, buf.data(), length);
            } else if (bufferLength == 40) {
                checkValue(cell, type, c.code, s, buf.data());
            }
        }
    }
}

// Reads the text in parts of partSize - 1 characters as SQLGetData does.
void readInParts(const std::string& cell, int32_t type, std::string_view text, SQLLEN partSize) {
    std::string joined;
    size_t offset = 0;
    for (size_t calls = 0;; ++calls) {
        FUZZ_CHECK(calls <= text.size() + 1, "parts never end");
        GuardedBuffer buf((size_t)partSize);
        SQLLEN length = kUnset;
        const CellStatus s =
            convertCell(cell, type, text.substr(offset), SQL_C_CHAR, buf.data(), partSize, &length);
        FUZZ_CHECK(buf.intact(), "part written outside the buffer");
        joined += buf.data();
        if (s != CELL_TRUNCATED) break;
        offset += (size_t)partSize - 1;
    }
    if (!cellIsNull(cell) && memchr(text.data(), '\0', text.size()) == NULL) {
        FUZZ_CHECK(joined == text, "parts do not give back the text");
    }
}

bool calendarDay(int y, int m, int d) {
    struct tm t = {};
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = d;
    t.tm_hour = 12;
    const time_t when = timegm(&t);
    struct tm back;
    gmtime_r(&when, &back);
    return back.tm_year == y - 1900 && back.tm_mon == m - 1 && back.tm_mday == d;
}

int digitsAt(std::string_view s, size_t pos, size_t n) {
    int v = 0;
    for (size_t i = pos; i < pos + n; ++i)
        v = v * 10 + (s[i] - '0');
    return v;
}

void checkParsers(const std::string& cell) {
    if (std::optional<SQL_DATE_STRUCT> d = parseDateText(cell)) {
        const bool dashed = cell.size() == 10;
        FUZZ_CHECK(dashed || cell.size() == 8, "date of length " + std::to_string(cell.size()));
        FUZZ_CHECK(!dashed || (cell[4] == '-' && cell[7] == '-'), "date separators of " + cell);
        FUZZ_CHECK(d->year == digitsAt(cell, 0, 4) &&
                       d->month == digitsAt(cell, dashed ? 5 : 4, 2) &&
                       d->day == digitsAt(cell, dashed ? 8 : 6, 2),
                   "date fields differ from " + cell);
        FUZZ_CHECK(d->year >= 1 && calendarDay(d->year, d->month, d->day), "no such day: " + cell);
    }
    bool cut = false;
    if (std::optional<SQL_TIMESTAMP_STRUCT> t = parseTimestampText(cell, &cut)) {
        FUZZ_CHECK(cell.size() >= 19 && cell[4] == '-' && cell[7] == '-' && cell[10] == ' ' &&
                       cell[13] == ':' && cell[16] == ':',
                   "timestamp separators of " + cell);
        FUZZ_CHECK(t->hour == digitsAt(cell, 11, 2) && t->minute == digitsAt(cell, 14, 2) &&
                       t->second == digitsAt(cell, 17, 2) && t->hour < 24 && t->minute < 60 &&
                       t->second < 60,
                   "time fields differ from " + cell);
        FUZZ_CHECK(calendarDay(t->year, t->month, t->day), "no such day: " + cell);
        // The fraction: the first nine digits, scaled to nanoseconds.
        std::string nine = cell.size() > 20 ? cell.substr(20, 9) : std::string();
        nine.resize(9, '0');
        FUZZ_CHECK(t->fraction == (SQLUINTEGER)atol(nine.c_str()), "fraction of " + cell);
        FUZZ_CHECK(cut ==
                       (cell.size() > 29 && cell.find_first_not_of('0', 29) != std::string::npos),
                   "sub-nanosecond digits of " + cell);
    }
    char stamp[CELL_STAMP_SIZE];
    const int n = formatTimestampCell(cell, stamp);
    std::optional<SQL_TIMESTAMP_STRUCT> local = timestampCellLocal(cell);
    if (n >= 0 && local) {
        int y, mo, d, h, mi, sec;
        FUZZ_CHECK(sscanf(stamp, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &sec) == 6, stamp);
        FUZZ_CHECK(y == local->year && mo == local->month && d == local->day && h == local->hour &&
                       mi == local->minute && std::min(sec, 59) == local->second &&
                       local->fraction == 0,
                   std::string(stamp) + " and the structure differ");
        // Four digits of the year at least, after the sign.
        FUZZ_CHECK(strchr(stamp + 1, '-') - stamp >= (stamp[0] == '-' ? 5 : 4), stamp);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t type = kTypes[data[0] % (sizeof(kTypes) / sizeof(kTypes[0]))];
    const bool ansi = (data[1] & 1) != 0;
    const SQLLEN partSize = 2 + (data[1] >> 1) % 24;
    const std::string cell(reinterpret_cast<const char*>(data) + 2, size - 2);

    checkParsers(cell);
    char stamp[CELL_STAMP_SIZE];
    std::string scratch;
    std::string_view text;
    bool ansiFailed = false;
    const CellStatus ts = cellText(cell, type, ansi, stamp, scratch, &text, &ansiFailed);
    FUZZ_CHECK(ts == CELL_OK || (ts == CELL_BAD_DATETIME && type == CLIENT_TYPE_TIMESTAMP),
               "cellText status " + std::to_string(ts));
    if (ts == CELL_OK && type == CLIENT_TYPE_TIMESTAMP && !cellIsNull(cell)) {
        FUZZ_CHECK(text.size() == (size_t)formatTimestampCell(cell, stamp), "stamp text");
    }
    if (ts == CELL_OK &&
        !(ansi && (type == CLIENT_TYPE_STRING || type == CLIENT_TYPE_VARCHAR ||
                   type == CLIENT_TYPE_CHAR)) &&
        type != CLIENT_TYPE_TIMESTAMP) {
        FUZZ_CHECK(text == (cellIsNull(cell) ? std::string("null") : cell),
                   "text of a cell that needs no conversion changed");
    }
    convertEverywhere(cell, type, text, ts == CELL_OK);
    if (ts == CELL_OK) readInParts(cell, type, text, partSize);
    return 0;
}
