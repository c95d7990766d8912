// Date and timestamp texts as the fetch path reads them.
#include <gtest/gtest.h>

#include <string.h>

#include "_Statement.h"

TEST(ParseDate, DashedAndCompactFormsGiveTheSameDate)
{
    char msg[256] = "";
    SQL_DATE_STRUCT d;
    memset(&d, 0x55, sizeof(d));
    ASSERT_EQ(parseDateText("2021-03-04", &d, msg, sizeof(msg)), 0);
    EXPECT_EQ(d.year, 2021);
    EXPECT_EQ(d.month, 3);
    EXPECT_EQ(d.day, 4);

    memset(&d, 0x55, sizeof(d));
    ASSERT_EQ(parseDateText("20210304", &d, msg, sizeof(msg)), 0);
    EXPECT_EQ(d.year, 2021);
    EXPECT_EQ(d.month, 3);
    EXPECT_EQ(d.day, 4);

    // Separators are not examined; parts are read like atoi.
    ASSERT_EQ(parseDateText("1999/12/31", &d, msg, sizeof(msg)), 0);
    EXPECT_EQ(d.year, 1999);
    EXPECT_EQ(d.month, 12);
    EXPECT_EQ(d.day, 31);
    ASSERT_EQ(parseDateText("abcd-ef-gh", &d, msg, sizeof(msg)), 0);
    EXPECT_EQ(d.year, 0);
    EXPECT_EQ(d.month, 0);
    EXPECT_EQ(d.day, 0);
}

TEST(ParseDate, OtherLengthsAreRefusedWithTheText)
{
    char msg[256] = "";
    SQL_DATE_STRUCT d;
    for (const char* bad : {"March 4", "", "2021-3-04", "2021-03-04 00:00:00", "202103041"}) {
        msg[0] = '\0';
        EXPECT_EQ(parseDateText(bad, &d, msg, sizeof(msg)), -1) << bad;
        EXPECT_EQ(std::string(msg), std::string("Invalid date string for conversion: ") + bad);
    }
    // A message buffer too small for the text is cut, not overrun.
    char tiny[8];
    memset(tiny, 0x7F, sizeof(tiny));
    EXPECT_EQ(parseDateText("March 4", &d, tiny, 5), -1);
    EXPECT_EQ(strlen(tiny), 4u);
    EXPECT_EQ(tiny[5], 0x7F);
}

TEST(ParseTimestamp, FieldsAndFractionAsWritten)
{
    char msg[256] = "";
    SQL_TIMESTAMP_STRUCT t;
    memset(&t, 0x55, sizeof(t));
    ASSERT_EQ(parseTimestampText("2021-03-04 05:06:07.25", &t, msg, sizeof(msg)), 0);
    EXPECT_EQ(t.year, 2021);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 4);
    EXPECT_EQ(t.hour, 5);
    EXPECT_EQ(t.minute, 6);
    EXPECT_EQ(t.second, 7);
    EXPECT_EQ(t.fraction, 25u);

    ASSERT_EQ(parseTimestampText("2000-12-31 23:59:58", &t, msg, sizeof(msg)), 0);
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 59);
    EXPECT_EQ(t.second, 58);
    EXPECT_EQ(t.fraction, 0u);

    // 20 characters: a lone separator and no fraction digits.
    ASSERT_EQ(parseTimestampText("2000-12-31 23:59:58.", &t, msg, sizeof(msg)), 0);
    EXPECT_EQ(t.fraction, 0u);
    ASSERT_EQ(parseTimestampText("2000-12-31 23:59:58.123", &t, msg, sizeof(msg)), 0);
    EXPECT_EQ(t.fraction, 123u);
}

TEST(ParseTimestamp, BlankMustBeEleventhAndTextLongEnough)
{
    char msg[256];
    SQL_TIMESTAMP_STRUCT t;
    for (const char* bad : {"2021-03-04T05:06:07.25", "2021-03-04 05:06:0", "2021-3-04 05:06:07",
                            " 2021-03-04 05:06:07", "2021-03-04", ""}) {
        msg[0] = '\0';
        EXPECT_EQ(parseTimestampText(bad, &t, msg, sizeof(msg)), -1) << bad;
        EXPECT_EQ(std::string(msg), std::string("Invalid timestamp string for conversion: ") + bad);
    }
}

TEST(ParseTimestamp, HugeFractionDigitsDoNotOverflow)
{
    char msg[256];
    SQL_TIMESTAMP_STRUCT t;
    // Runs clean under UBSan: the digits saturate instead of overflowing.
    ASSERT_EQ(parseTimestampText("2021-03-04 05:06:07.99999999999999999999", &t, msg, sizeof(msg)), 0);
    EXPECT_EQ(t.fraction, 2147483647u);
}
