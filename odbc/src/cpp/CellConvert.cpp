#include "CellConvert.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>
#include <type_traits>

#include "Charset.h"
#include "NavixResultSet.h"
#include "RestMessage.h"

namespace {

// What a NULL cell reads as through SQL_C_CHAR, beside its SQL_NULL_DATA.
const char kNullText[] = "null";

// Indexed by CellStatus.
const CellStatusInfo kStatusTable[] = {
    {"00000", SQL_SUCCESS, "", false},
    {"01004", SQL_SUCCESS_WITH_INFO, "SQL_SUCCESS_WITH_INFO column %i has more data to fetch.",
     false},
    {"01S07", SQL_SUCCESS_WITH_INFO, "SQL_SUCCESS_WITH_INFO column %i: fractional part truncated.",
     false},
    {"22003", SQL_ERROR, "SQL_ERROR column %i: value out of the range of the target type.", false},
    {"22018", SQL_ERROR, "SQL_ERROR column %i: value is not a number.", false},
    {"22007", SQL_ERROR, "SQL_ERROR column %i: value is not a valid date or time.", false},
    {"HYC00", SQL_ERROR, "SQL_ERROR Unknown target type %d", true},
    {"HY090", SQL_ERROR, "SQL_ERROR column %i: buffer length too small for the target type.",
     false},
};
static_assert(sizeof(kStatusTable) / sizeof(kStatusTable[0]) == CELL_BAD_LENGTH + 1,
              "one table row per status");

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Exponents beyond this move every digit out of (or far into) the integer
// part anyway; the cap keeps the arithmetic small.
const long kExponentCap = 100000;

// n digits at pos, as a number; false unless they are all digits.
bool readDigits(std::string_view s, size_t pos, size_t n, int* value) {
    if (pos + n > s.size()) {
        return false;
    }
    int v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (!isDigit(s[i])) {
            return false;
        }
        v = v * 10 + (s[i] - '0');
    }
    *value = v;
    return true;
}

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

bool isCalendarDay(int y, int m, int d) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || m < 1 || m > 12 || d < 1) {
        return false;
    }
    int last = days[m - 1] + ((m == 2 && isLeapYear(y)) ? 1 : 0);
    return d <= last;
}

// Milliseconds since 1970 as the local time of their whole second; a moment
// before 1970 with milliseconds lies in the second below (-500 ms is
// 23:59:59 of 1969).
bool localTimeOfCell(std::string_view cell, struct tm* lt) {
    CellNumber n;
    if (!cellParseNumber(cell, &n) || n.overflow) {
        return false;
    }
    int64_t secs = (int64_t)(n.magnitude / 1000);
    if (n.negative) {
        secs = -secs;
        if (n.magnitude % 1000 != 0 || n.fraction) {
            --secs;
        }
    }
    time_t t = (time_t)secs;
    return localtime_r(&t, lt) != NULL;
}

bool isTextType(int32_t type) {
    return type == CLIENT_TYPE_STRING || type == CLIENT_TYPE_VARCHAR || type == CLIENT_TYPE_CHAR;
}

// UTF-8 to the ANSI code page into out. A character needs at most four bytes
// in any code page, so a second try with that much room is the last.
bool toAnsi(const std::string& cell, std::string& out) {
    if (cell.size() > (size_t)(INT_MAX - 1) / 4) {
        return false;
    }
    for (size_t room : {cell.size() + 1, cell.size() * 4 + 1}) {
        out.resize(room);
        int n = ConvertUTF82ANSI(cell.c_str(), &out[0], (int)room);
        if (n > 0) {
            out.resize((size_t)n - 1);
            return true;
        }
    }
    out.clear();
    return false;
}

// The number a cell stands for when read as a number: a BOOLEAN column's
// "true" and "false" are 1 and 0.
bool cellNumber(std::string_view cell, int32_t type, CellNumber* n) {
    if (type == CLIENT_TYPE_BOOLEAN && (cell == "true" || cell == "false")) {
        *n = CellNumber{false, cell == "true" ? 1u : 0u, false, false};
        return true;
    }
    return cellParseNumber(cell, n);
}

template <typename T>
CellStatus writeInteger(bool isNull, const CellNumber& n, void* target, SQLLEN* length) {
    T value = 0;
    if (!isNull) {
        // The range is checked on the 64-bit magnitude before narrowing.
        if (n.overflow) {
            return CELL_OUT_OF_RANGE;
        }
        if (n.negative && n.magnitude > 0) {
            if constexpr (std::is_unsigned<T>::value) {
                return CELL_OUT_OF_RANGE;
            } else {
                const uint64_t lowest = (uint64_t)std::numeric_limits<T>::max() + 1;
                if (n.magnitude > lowest) {
                    return CELL_OUT_OF_RANGE;
                }
                value = (T)(-(int64_t)(n.magnitude - 1) - 1);
            }
        } else {
            if (n.magnitude > (uint64_t)std::numeric_limits<T>::max()) {
                return CELL_OUT_OF_RANGE;
            }
            value = (T)n.magnitude;
        }
    }
    memcpy(target, &value, sizeof(value));
    *length = isNull ? SQL_NULL_DATA : (SQLLEN)sizeof(value);
    return (!isNull && n.fraction) ? CELL_FRACTION_CUT : CELL_OK;
}

CellStatus toInteger(std::string_view cell, int32_t type, bool isNull, SQLSMALLINT cType,
                     void* target, SQLLEN* length) {
    CellNumber n = {false, 0, false, false};
    if (!isNull && !cellNumber(cell, type, &n)) {
        return CELL_NOT_A_NUMBER;
    }
    switch (cType) {
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
        return writeInteger<int8_t>(isNull, n, target, length);
    case SQL_C_UTINYINT:
        return writeInteger<uint8_t>(isNull, n, target, length);
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
        return writeInteger<int16_t>(isNull, n, target, length);
    case SQL_C_USHORT:
        return writeInteger<uint16_t>(isNull, n, target, length);
    case SQL_C_LONG:
    case SQL_C_SLONG:
        return writeInteger<int32_t>(isNull, n, target, length);
    case SQL_C_ULONG:
        return writeInteger<uint32_t>(isNull, n, target, length);
    case SQL_C_SBIGINT:
        return writeInteger<int64_t>(isNull, n, target, length);
    default:
        return writeInteger<uint64_t>(isNull, n, target, length);
    }
}

CellStatus toFloating(std::string_view cell, int32_t type, bool isNull, SQLSMALLINT cType,
                      void* target, SQLLEN* length) {
    double d = 0;
    if (!isNull) {
        if (type == CLIENT_TYPE_BOOLEAN && (cell == "true" || cell == "false")) {
            d = cell == "true" ? 1.0 : 0.0;
        } else {
            CellStatus s = cellParseDouble(cell, &d);
            if (s != CELL_OK) {
                return s;
            }
        }
    }
    if (cType == SQL_C_FLOAT) {
        float f = (float)d;
        if (std::isinf(f)) {
            return CELL_OUT_OF_RANGE;
        }
        memcpy(target, &f, sizeof(f));
        *length = isNull ? SQL_NULL_DATA : (SQLLEN)sizeof(f);
    } else {
        memcpy(target, &d, sizeof(d));
        *length = isNull ? SQL_NULL_DATA : (SQLLEN)sizeof(d);
    }
    return CELL_OK;
}

bool hasTimeOfDay(const SQL_TIMESTAMP_STRUCT& ts) {
    return ts.hour != 0 || ts.minute != 0 || ts.second != 0 || ts.fraction != 0;
}

CellStatus toDate(std::string_view cell, int32_t type, bool isNull, void* target,
                  SQLLEN bufferLength, SQLLEN* length) {
    if (bufferLength < (SQLLEN)sizeof(SQL_DATE_STRUCT)) {
        return CELL_BAD_LENGTH;
    }
    SQL_DATE_STRUCT date = {0, 0, 0};
    CellStatus status = CELL_OK;
    if (!isNull) {
        std::optional<SQL_TIMESTAMP_STRUCT> ts;
        std::optional<SQL_DATE_STRUCT> d;
        if (type == CLIENT_TYPE_TIMESTAMP) {
            ts = timestampCellLocal(cell);
        } else if (!(d = parseDateText(cell))) {
            ts = parseTimestampText(cell);
        }
        if (ts) {
            d = SQL_DATE_STRUCT{ts->year, ts->month, ts->day};
            // The time of day is dropped.
            status = hasTimeOfDay(*ts) ? CELL_FRACTION_CUT : CELL_OK;
        }
        if (!d) {
            return CELL_BAD_DATETIME;
        }
        date = *d;
    }
    memcpy(target, &date, sizeof(date));
    *length = isNull ? SQL_NULL_DATA : (SQLLEN)sizeof(date);
    return status;
}

CellStatus toTimestamp(std::string_view cell, int32_t type, bool isNull, void* target,
                       SQLLEN bufferLength, SQLLEN* length) {
    if (bufferLength < (SQLLEN)sizeof(SQL_TIMESTAMP_STRUCT)) {
        return CELL_BAD_LENGTH;
    }
    SQL_TIMESTAMP_STRUCT ts;
    memset(&ts, 0, sizeof(ts));
    bool cut = false;
    if (!isNull) {
        std::optional<SQL_TIMESTAMP_STRUCT> t;
        if (type == CLIENT_TYPE_TIMESTAMP) {
            t = timestampCellLocal(cell);
        } else if (!(t = parseTimestampText(cell, &cut))) {
            // A date alone is midnight of that day.
            if (std::optional<SQL_DATE_STRUCT> d = parseDateText(cell)) {
                t = ts;
                t->year = d->year;
                t->month = d->month;
                t->day = d->day;
            }
        }
        if (!t) {
            return CELL_BAD_DATETIME;
        }
        ts = *t;
    }
    memcpy(target, &ts, sizeof(ts));
    *length = isNull ? SQL_NULL_DATA : (SQLLEN)sizeof(ts);
    return cut ? CELL_FRACTION_CUT : CELL_OK;
}

CellStatus toText(std::string_view text, bool isNull, void* target, SQLLEN bufferLength,
                  SQLLEN* length) {
    if (bufferLength < 0) {
        return CELL_BAD_LENGTH;
    }
    if (bufferLength == 0) {
        // The usual "how long is it?" call: nothing is written, not even a
        // NUL, and the whole length goes back. Not even an empty text went
        // out whole, as its NUL did not, so the next call with a buffer
        // still delivers it.
        *length = isNull ? SQL_NULL_DATA : (SQLLEN)text.size();
        return isNull ? CELL_OK : CELL_TRUNCATED;
    }
    const size_t room = (size_t)bufferLength - 1;
    const size_t n = text.size() < room ? text.size() : room;
    char* out = static_cast<char*>(target);
    if (n > 0) {
        memcpy(out, text.data(), n);
    }
    out[n] = '\0';
    if (isNull) {
        *length = SQL_NULL_DATA;
        return CELL_OK;
    }
    *length = (SQLLEN)text.size();
    return text.size() > room ? CELL_TRUNCATED : CELL_OK;
}

} // namespace

const CellStatusInfo& cellStatusInfo(CellStatus status) {
    if (status < CELL_OK || status > CELL_BAD_LENGTH) {
        return kStatusTable[CELL_NO_CONVERSION];
    }
    return kStatusTable[status];
}

bool cellConvertsTo(SQLSMALLINT cType) {
    switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
        return true;
    default:
        return false;
    }
}

bool cellIsNull(std::string_view cell) {
    return cell == navixrest::kNullCell;
}

size_t cellScanNumber(std::string_view s, CellNumber* number) {
    *number = CellNumber{false, 0, false, false};
    const size_t n = s.size();
    size_t i = 0;
    while (i < n && isBlank(s[i]))
        ++i;
    bool minus = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        minus = s[i] == '-';
        ++i;
    }
    const size_t intBegin = i;
    while (i < n && isDigit(s[i]))
        ++i;
    const size_t intEnd = i;
    size_t fracBegin = i, fracEnd = i;
    if (i < n && s[i] == '.') {
        size_t j = i + 1;
        while (j < n && isDigit(s[j]))
            ++j;
        if (intEnd > intBegin || j > i + 1) {
            fracBegin = i + 1;
            fracEnd = j;
            i = j;
        }
    }
    if (intEnd == intBegin && fracEnd == fracBegin) {
        return 0;
    }
    long exponent = 0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        bool expMinus = false;
        if (j < n && (s[j] == '+' || s[j] == '-')) {
            expMinus = s[j] == '-';
            ++j;
        }
        if (j < n && isDigit(s[j])) {
            while (j < n && isDigit(s[j])) {
                if (exponent < kExponentCap) exponent = exponent * 10 + (s[j] - '0');
                ++j;
            }
            exponent = expMinus ? -exponent : exponent;
            i = j;
        }
    }

    // The digits as written, integer digits then fraction digits; the unit's
    // place is `point` digits in.
    const size_t intDigits = intEnd - intBegin;
    const size_t allDigits = intDigits + (fracEnd - fracBegin);
    const long point = (long)intDigits + exponent;
    uint64_t v = 0;
    bool overflow = false, fraction = false, nonZero = false;
    for (size_t k = 0; k < allDigits; ++k) {
        const int d = s[k < intDigits ? intBegin + k : fracBegin + (k - intDigits)] - '0';
        nonZero = nonZero || d != 0;
        if ((long)k < point) {
            if (!overflow) {
                if (v > (UINT64_MAX - (uint64_t)d) / 10) {
                    overflow = true;
                } else {
                    v = v * 10 + (uint64_t)d;
                }
            }
        } else if (d != 0) {
            fraction = true;
        }
    }
    // Trailing zeros that the exponent adds.
    for (long k = (long)allDigits; k < point && v != 0 && !overflow; ++k) {
        if (v > UINT64_MAX / 10) {
            overflow = true;
        } else {
            v *= 10;
        }
    }
    *number = CellNumber{minus && nonZero, overflow ? 0 : v, overflow, fraction};
    return i;
}

bool cellParseNumber(std::string_view text, CellNumber* number) {
    size_t i = cellScanNumber(text, number);
    if (i == 0) {
        return false;
    }
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i != text.size()) {
        *number = CellNumber{false, 0, false, false};
        return false;
    }
    return true;
}

CellStatus cellParseDouble(std::string_view text, double* value) {
    CellNumber n;
    if (!cellParseNumber(text, &n)) {
        return CELL_NOT_A_NUMBER;
    }
    // The number without its blanks and without a plus sign, which
    // from_chars (locale-independent, unlike strtod) does not take.
    size_t b = 0, e = text.size();
    while (isBlank(text[b]))
        ++b;
    while (isBlank(text[e - 1]))
        --e;
    const bool minus = text[b] == '-';
    if (text[b] == '+' || minus) ++b;
    double d = 0;
    std::from_chars_result r = std::from_chars(text.data() + b, text.data() + e, d);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large, or too small to be told from zero.
        if (n.overflow || n.magnitude > 0) {
            return CELL_OUT_OF_RANGE;
        }
        d = 0;
    } else if (r.ec != std::errc() || r.ptr != text.data() + e) {
        return CELL_NOT_A_NUMBER;
    }
    *value = minus ? -d : d;
    return CELL_OK;
}

std::optional<SQL_DATE_STRUCT> parseDateText(std::string_view text) {
    int y, m, d;
    bool ok;
    if (text.size() == 10) {
        ok = readDigits(text, 0, 4, &y) && text[4] == '-' && readDigits(text, 5, 2, &m) &&
             text[7] == '-' && readDigits(text, 8, 2, &d);
    } else if (text.size() == 8) {
        ok = readDigits(text, 0, 4, &y) && readDigits(text, 4, 2, &m) && readDigits(text, 6, 2, &d);
    } else {
        ok = false;
    }
    if (!ok || !isCalendarDay(y, m, d)) {
        return std::nullopt;
    }
    return SQL_DATE_STRUCT{(SQLSMALLINT)y, (SQLUSMALLINT)m, (SQLUSMALLINT)d};
}

std::optional<SQL_TIMESTAMP_STRUCT> parseTimestampText(std::string_view text, bool* subNanoCut) {
    if (subNanoCut != nullptr) {
        *subNanoCut = false;
    }
    if (text.size() < 19 || text[10] != ' ' || text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    std::optional<SQL_DATE_STRUCT> date = parseDateText(text.substr(0, 10));
    int hh, mi, ss;
    if (!date || !readDigits(text, 11, 2, &hh) || !readDigits(text, 14, 2, &mi) ||
        !readDigits(text, 17, 2, &ss) || hh > 23 || mi > 59 || ss > 59) {
        return std::nullopt;
    }
    uint32_t fraction = 0;
    if (text.size() > 19) {
        // "." and at least one digit, nothing after them.
        if (text[19] != '.' || text.size() == 20) {
            return std::nullopt;
        }
        uint32_t scale = 100000000;
        bool cut = false;
        for (size_t i = 20; i < text.size(); ++i) {
            if (!isDigit(text[i])) {
                return std::nullopt;
            }
            if (scale > 0) {
                fraction += (uint32_t)(text[i] - '0') * scale;
                scale /= 10;
            } else if (text[i] != '0') {
                cut = true;
            }
        }
        if (subNanoCut != nullptr) {
            *subNanoCut = cut;
        }
    }
    SQL_TIMESTAMP_STRUCT ts;
    ts.year = date->year;
    ts.month = date->month;
    ts.day = date->day;
    ts.hour = (SQLUSMALLINT)hh;
    ts.minute = (SQLUSMALLINT)mi;
    ts.second = (SQLUSMALLINT)ss;
    ts.fraction = fraction;
    return ts;
}

std::optional<SQL_TIMESTAMP_STRUCT> timestampCellLocal(std::string_view cell) {
    struct tm lt;
    if (!localTimeOfCell(cell, &lt)) {
        return std::nullopt;
    }
    const long year = (long)lt.tm_year + 1900;
    if (year < SHRT_MIN || year > SHRT_MAX) {
        return std::nullopt;
    }
    SQL_TIMESTAMP_STRUCT ts;
    ts.year = (SQLSMALLINT)year;
    ts.month = (SQLUSMALLINT)(lt.tm_mon + 1);
    ts.day = (SQLUSMALLINT)lt.tm_mday;
    ts.hour = (SQLUSMALLINT)lt.tm_hour;
    ts.minute = (SQLUSMALLINT)lt.tm_min;
    // A leap second shows as the last second of its minute.
    ts.second = (SQLUSMALLINT)(lt.tm_sec > 59 ? 59 : lt.tm_sec);
    ts.fraction = 0;
    return ts;
}

int formatTimestampCell(std::string_view cell, char (&stamp)[CELL_STAMP_SIZE]) {
    struct tm lt;
    if (!localTimeOfCell(cell, &lt)) {
        return -1;
    }
    // ODBC's text form pads the year to four digits (strftime's %Y does not);
    // a year before 1 keeps its four digits after the sign.
    const long long year = (long long)lt.tm_year + 1900;
    int n = snprintf(stamp, sizeof(stamp), "%s%04lld-%02d-%02d %02d:%02d:%02d", year < 0 ? "-" : "",
                     year < 0 ? -year : year, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min,
                     lt.tm_sec);
    if (n <= 0 || (size_t)n >= sizeof(stamp)) {
        return -1;
    }
    return n;
}

CellStatus cellText(const std::string& cell, int32_t type, bool ansi,
                    char (&stamp)[CELL_STAMP_SIZE], std::string& scratch, std::string_view* text,
                    bool* ansiFailed) {
    if (ansiFailed != nullptr) {
        *ansiFailed = false;
    }
    if (cellIsNull(cell)) {
        *text = kNullText;
        return CELL_OK;
    }
    *text = cell;
    if (type == CLIENT_TYPE_TIMESTAMP) {
        int n = formatTimestampCell(cell, stamp);
        if (n < 0) {
            return CELL_BAD_DATETIME;
        }
        *text = std::string_view(stamp, (size_t)n);
        return CELL_OK;
    }
    if (ansi && isTextType(type)) {
        if (toAnsi(cell, scratch)) {
            *text = scratch;
        } else if (ansiFailed != nullptr) {
            *ansiFailed = true;
        }
    }
    return CELL_OK;
}

CellStatus convertCell(std::string_view cell, int32_t type, std::string_view text,
                       SQLSMALLINT cType, void* target, SQLLEN bufferLength, SQLLEN* length) {
    if (!cellConvertsTo(cType)) {
        return CELL_NO_CONVERSION;
    }
    const bool isNull = cellIsNull(cell);
    switch (cType) {
    case SQL_C_CHAR:
        return toText(isNull ? std::string_view(kNullText) : text, isNull, target, bufferLength,
                      length);
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
        return toFloating(cell, type, isNull, cType, target, length);
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
        return toDate(cell, type, isNull, target, bufferLength, length);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
        return toTimestamp(cell, type, isNull, target, bufferLength, length);
    default:
        return toInteger(cell, type, isNull, cType, target, length);
    }
}
