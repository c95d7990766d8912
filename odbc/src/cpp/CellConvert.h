// Conversion of result cells to the application's C types: the one place
// where a cell's text becomes a number, a date, a timestamp or handed-out
// text.
//
// A cell is the text the service sent for a value (a number's literal, a
// string's content, "true"/"false", milliseconds since 1970 for a
// TIMESTAMP); navixrest::kNullCell, what a JSON null reads as, is SQL NULL
// (cellIsNull is the one test for it: the text "null" is just a text).
// Conversion never looks at a handle: it takes the cell, its column's
// client type code, the C type and the application's buffer, and says what
// happened in a CellStatus. One table (cellStatusInfo) turns a status into
// its SQLSTATE, ODBC result and message.
#ifndef NAVIX_CELL_CONVERT_H
#define NAVIX_CELL_CONVERT_H

#include <stddef.h>
#include <stdint.h>
#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <string_view>

enum CellStatus : int32_t {
    CELL_OK = 0,
    CELL_TRUNCATED,     // text cut to the buffer                      01004, with info
    CELL_FRACTION_CUT,  // a fractional part was dropped               01S07, with info
    CELL_OUT_OF_RANGE,  // the value does not fit the C type           22003
    CELL_NOT_A_NUMBER,  // the text is not a number                    22018
    CELL_BAD_DATETIME,  // the text is not a valid date or time        22007
    CELL_NO_CONVERSION, // a C type the driver does not convert to     HYC00
    CELL_BAD_LENGTH,    // a buffer length the C type cannot work with HY090
};

struct CellStatusInfo {
    const char* sqlstate;
    SQLRETURN rc;
    // printf format with one argument: the C type when typeArgument is set,
    // else the column number (both int).
    const char* message;
    bool typeArgument;
};
const CellStatusInfo& cellStatusInfo(CellStatus status);

// True for the C types that convertCell converts to.
bool cellConvertsTo(SQLSMALLINT cType);

// True for the NULL cell (navixrest::kNullCell), and only for it.
bool cellIsNull(std::string_view cell);

// The decimal number a text holds: [blanks][sign](digits[.digits] | .digits)
// [(e|E)[sign]digits]. Only the integer part of the value is kept.
struct CellNumber {
    bool negative;      // a minus sign, and a value that is not zero
    uint64_t magnitude; // integer part of the absolute value (when !overflow)
    bool overflow;      // integer part above 2^64-1
    bool fraction;      // non-zero digits below the unit were dropped
};
// The whole text, blanks around it allowed. False when it is not a number.
bool cellParseNumber(std::string_view text, CellNumber* number);
// The number at the start of the text, as the C library reads it: returns the
// count of characters read, 0 (and a zero number) when none lead.
size_t cellScanNumber(std::string_view text, CellNumber* number);
// A text that is wholly a number, as a double (nearest value; a value too
// small for a double is 0). CELL_OK, CELL_NOT_A_NUMBER or CELL_OUT_OF_RANGE.
CellStatus cellParseDouble(std::string_view text, double* value);

// "yyyy-mm-dd" or "yyyymmdd", each field digits, a real calendar day
// (years 1 to 9999).
std::optional<SQL_DATE_STRUCT> parseDateText(std::string_view text);
// "yyyy-mm-dd hh:mm:ss" (these separators, one blank) with an optional
// fraction "." and 1 or more digits,
// scaled to nanoseconds (".5" is 500000000). Fields as for dates, hour 0-23,
// minute and second 0-59. Digits below the nanosecond are dropped, and
// *subNanoCut (when given) says whether one of them was not zero.
std::optional<SQL_TIMESTAMP_STRUCT> parseTimestampText(std::string_view text,
                                                       bool* subNanoCut = nullptr);
// A TIMESTAMP cell (milliseconds since 1970-01-01 UTC, a whole number) as the
// local time of its whole second (the process's time zone); the fraction is 0.
// No value for a cell that is not such a number or a moment that local time
// cannot show.
std::optional<SQL_TIMESTAMP_STRUCT> timestampCellLocal(std::string_view cell);

// Room for a TIMESTAMP cell as text, whatever its year.
enum { CELL_STAMP_SIZE = 64 };
// A TIMESTAMP cell as "yyyy-mm-dd hh:mm:ss" (the year padded to four digits)
// in local time; returns the length of the text in stamp, or -1 when the cell
// is no moment (see above).
int formatTimestampCell(std::string_view cell, char (&stamp)[CELL_STAMP_SIZE]);

// The text a cell reads as through SQL_C_CHAR: a TIMESTAMP cell as the local
// time of its whole second, a STRING, VARCHAR or CHAR cell converted to the
// ANSI code page when `ansi` is set, NULL as "null", any other cell as sent. *text
// then points into cell, stamp or scratch. CELL_OK, or CELL_BAD_DATETIME for
// a TIMESTAMP cell that is no moment. When the code page conversion cannot be
// done the UTF-8 text is handed out and *ansiFailed is set.
CellStatus cellText(const std::string& cell, int32_t type, bool ansi,
                    char (&stamp)[CELL_STAMP_SIZE], std::string& scratch, std::string_view* text,
                    bool* ansiFailed);

// Converts one cell to C type cType in target.
//   cell:  as the service sent it; type: its column's client type code.
//   text:  for SQL_C_CHAR, the text to hand out (cellText's, or the part of
//          it not yet handed out); not used for other C types.
//   bufferLength: bytes at target; consulted for SQL_C_CHAR (text and NUL,
//          cut to fit; 0 writes nothing and only reports the length, as
//          CELL_TRUNCATED unless the cell is NULL), dates and timestamps (at
//          least their structure); the other C types write their fixed size.
// On CELL_OK, CELL_TRUNCATED and CELL_FRACTION_CUT the value is written and
// *length holds the length/indicator: SQL_NULL_DATA for a NULL cell (numbers
// and structures are then written as zero, text as "null" cut to the
// buffer), the size of a fixed-size value, or the whole length of the text.
// On every other status nothing is written.
CellStatus convertCell(std::string_view cell, int32_t type, std::string_view text,
                       SQLSMALLINT cType, void* target, SQLLEN bufferLength, SQLLEN* length);

#endif
