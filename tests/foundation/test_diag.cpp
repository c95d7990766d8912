// The client's diagnostic and its copy into a handle's record.
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "DiagInfo.h"

static const char kPrefix[] = "VKL Service response: ";

// A record as a handle might hold it after earlier use: every byte dirty.
static DiagRecord dirtyRecord() {
    DiagRecord r;
    memset(&r, 'Q', sizeof(r));
    return r;
}

static bool tailIsNul(const char* field, size_t from, size_t size) {
    for (size_t i = from; i < size; i++) {
        if (field[i] != '\0') {
            return false;
        }
    }
    return true;
}

TEST(DiagInfo, DefaultIsSuccess) {
    DiagInfo d;
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.sqlstate, "00000");
    EXPECT_EQ(d.message, "VKL ODBC Success.");
}

TEST(DiagInfo, SetWithNullMessageKeepsTheEarlierMessage) {
    DiagInfo d;
    d.set(3, "HY000", "VKL Service Response Time Out.");
    d.set(1, "01000", NULL);
    EXPECT_EQ(d.code, 1);
    EXPECT_EQ(d.sqlstate, "01000");
    EXPECT_EQ(d.message, "VKL Service Response Time Out.");

    d.set(-7, "HY000", "VKL ODBC System ERROR.");
    EXPECT_EQ(d.code, -7);
    EXPECT_EQ(d.message, "VKL ODBC System ERROR.");
}

TEST(DiagInfo, ServiceErrorPrefixesTheServiceText) {
    DiagInfo d;
    d.setServiceError("table not found");
    EXPECT_EQ(d.code, 4);
    EXPECT_EQ(d.sqlstate, "01000");
    EXPECT_EQ(d.message, std::string(kPrefix) + "table not found");

    d.setServiceError("");
    EXPECT_EQ(d.message, kPrefix);

    d.set(3, "HY000", "kept");
    d.setServiceError(NULL);
    EXPECT_EQ(d.code, 4);
    EXPECT_EQ(d.sqlstate, "01000");
    EXPECT_EQ(d.message, "kept");
}

TEST(FillDiagRecord, CopiesAndPadsWithNul) {
    DiagInfo d;
    DiagRecord r = dirtyRecord();
    fillDiagRecordFrom(d, &r);
    EXPECT_EQ(r.nativeCode, 0);
    EXPECT_STREQ(r.sqlState, "00000");
    EXPECT_STREQ(r.message, "VKL ODBC Success.");
    EXPECT_TRUE(tailIsNul(r.message, strlen("VKL ODBC Success."), sizeof(r.message)));
    EXPECT_EQ(r.sqlState[5], '\0');
}

TEST(FillDiagRecord, LongServiceErrorIsCutTo1024Characters) {
    std::string service;
    for (int i = 0; i < 1100; i++) {
        service.push_back(static_cast<char>('a' + i % 26));
    }
    DiagInfo d;
    d.setServiceError(service.c_str());
    ASSERT_EQ(d.message.size(), strlen(kPrefix) + 1100) << "DiagInfo itself keeps it whole";

    DiagRecord r = dirtyRecord();
    fillDiagRecordFrom(d, &r);
    EXPECT_EQ(r.nativeCode, 4);
    EXPECT_STREQ(r.sqlState, "01000");
    ASSERT_EQ(strlen(r.message), 1024u);
    EXPECT_EQ(std::string(r.message), std::string(kPrefix) + service.substr(0, 1002));
    EXPECT_EQ(r.message[1024], '\0');
}

TEST(FillDiagRecord, SqlstateIsCutToFiveCharacters) {
    DiagInfo d;
    d.set(1, "HY0001234", "m");
    DiagRecord r = dirtyRecord();
    fillDiagRecordFrom(d, &r);
    EXPECT_STREQ(r.sqlState, "HY000");

    d.set(1, "42", "m");
    r = dirtyRecord();
    fillDiagRecordFrom(d, &r);
    EXPECT_STREQ(r.sqlState, "42");
    EXPECT_TRUE(tailIsNul(r.sqlState, 2, sizeof(r.sqlState)));
}

TEST(FillDiagRecord, MessageOfExactly1024CharactersFitsWhole) {
    DiagInfo d;
    d.set(2, "HY000", std::string(1024, 'm').c_str());
    DiagRecord r = dirtyRecord();
    fillDiagRecordFrom(d, &r);
    EXPECT_EQ(std::string(r.message), std::string(1024, 'm'));

    // A shorter message after a longer one leaves nothing of the old text.
    d.set(2, "HY000", "short");
    fillDiagRecordFrom(d, &r);
    EXPECT_STREQ(r.message, "short");
    EXPECT_TRUE(tailIsNul(r.message, 5, sizeof(r.message)));
}
