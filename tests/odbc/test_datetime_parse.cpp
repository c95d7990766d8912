// Date and timestamp texts as the fetch path reads them: a value, or none.
#include <gtest/gtest.h>

#include <string>

#include "CellConvert.h"

namespace {

struct DateRow {
    const char* text;
    bool valid;
    int year = 0, month = 0, day = 0;
};

const DateRow kDates[] = {
    {"2021-03-04", true, 2021, 3, 4},
    {"20210304", true, 2021, 3, 4},
    {"1999/12/31", false}, // the separators are '-'
    {"2024x01y15", false},
    {"2024-01/15", false},
    {"2024 01-15", false},
    {"2024-01-15", true, 2024, 1, 15},
    {"2024-02-29", true, 2024, 2, 29}, // leap year
    {"2000-02-29", true, 2000, 2, 29}, // divisible by 400
    {"1900-02-29", false},             // divisible by 100 only
    {"2023-02-29", false},
    {"2024-04-31", false},
    {"2024-12-31", true, 2024, 12, 31},
    {"2024-13-45", false},
    {"2024-00-10", false},
    {"2024-01-00", false},
    {"0000-01-01", false},
    {"9999-12-31", true, 9999, 12, 31},
    {"abcd-ef-gh", false},
    {"2024-1a-01", false},
    {"March 4", false},
    {"", false},
    {"2021-3-04", false},
    {"2021-03-04 00:00:00", false},
    {"202103041", false},
    {" 2021-03-04", false},
};

struct StampRow {
    const char* text;
    bool valid;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    unsigned fraction = 0;
    bool subNanoCut = false;
};

const StampRow kStamps[] = {
    {"2021-03-04 05:06:07", true, 2021, 3, 4, 5, 6, 7, 0, false},
    {"2021-03-04 05:06:07.5", true, 2021, 3, 4, 5, 6, 7, 500000000, false},
    {"2021-03-04 05:06:07.25", true, 2021, 3, 4, 5, 6, 7, 250000000, false},
    {"2021-03-04 05:06:07.123", true, 2021, 3, 4, 5, 6, 7, 123000000, false},
    {"2021-03-04 05:06:07.000000001", true, 2021, 3, 4, 5, 6, 7, 1, false},
    {"2021-03-04 05:06:07.9999999990", true, 2021, 3, 4, 5, 6, 7, 999999999, false},
    {"2021-03-04 05:06:07.99999999999999999999", true, 2021, 3, 4, 5, 6, 7, 999999999, true},
    {"2024-02-29 23:59:59", true, 2024, 2, 29, 23, 59, 59, 0, false},
    {"2000-12-31 00:00:00.", false},
    {"2023-02-29 00:00:00", false},
    {"2024-13-45 00:00:00", false},
    {"2024-01-01 24:00:00", false},
    {"2024-01-01 23:60:00", false},
    {"2024-01-01 23:00:60", false},
    {"2024-01-01 ab:00:00", false},
    {"2021-03-04 05:06:07.2x", false},
    {"2021-03-04 05:06:07 +01:00", false},
    {"2021-03-04T05:06:07.25", false},
    {"2021-03-04 05x06y07", false},
    {"2021-03-04 05:06.07", false},
    {"2021-03-04 05.06:07", false},
    {"2021/03/04 05:06:07", false},
    {"2021-03-04\t05:06:07", false},
    {"2021-03-04 05:06:0", false},
    {"2021-3-04 05:06:07", false},
    {" 2021-03-04 05:06:07", false},
    {"2021-03-04", false},
    {"", false},
};

} // namespace

TEST(ParseDate, Table) {
    for (const DateRow& r : kDates) {
        SCOPED_TRACE(r.text);
        std::optional<SQL_DATE_STRUCT> d = parseDateText(r.text);
        ASSERT_EQ(r.valid, d.has_value());
        if (d) {
            EXPECT_EQ(r.year, d->year);
            EXPECT_EQ(r.month, d->month);
            EXPECT_EQ(r.day, d->day);
        }
    }
}

TEST(ParseTimestamp, Table) {
    for (const StampRow& r : kStamps) {
        SCOPED_TRACE(r.text);
        bool cut = !r.subNanoCut;
        std::optional<SQL_TIMESTAMP_STRUCT> t = parseTimestampText(r.text, &cut);
        ASSERT_EQ(r.valid, t.has_value());
        if (t) {
            EXPECT_EQ(r.year, t->year);
            EXPECT_EQ(r.month, t->month);
            EXPECT_EQ(r.day, t->day);
            EXPECT_EQ(r.hour, t->hour);
            EXPECT_EQ(r.minute, t->minute);
            EXPECT_EQ(r.second, t->second);
            EXPECT_EQ(r.fraction, t->fraction);
            EXPECT_EQ(r.subNanoCut, cut);
        }
    }
}
