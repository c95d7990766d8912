// UTF-8 <-> ANSI code page conversion and the choice of the code page.
#include <locale.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "Charset.h"
#include "ClientTestSupport.h"

using clienttest::EnvGuard;

namespace {

std::string fromUtf8(const std::string& src, const char* cp, int cap = 64, int* ret = nullptr) {
    char buf[64];
    memset(buf, 'X', sizeof(buf));
    int r = charsetConvertFromUTF8(src.c_str(), buf, cap, cp);
    if (ret) *ret = r;
    return r > 0 ? std::string(buf, r - 1) : std::string("<none>");
}

std::string toUtf8(const std::string& src, const char* cp, int cap = 64, int* ret = nullptr) {
    char buf[64];
    memset(buf, 'X', sizeof(buf));
    int r = charsetConvertToUTF8(src.c_str(), buf, cap, cp);
    if (ret) *ret = r;
    return r > 0 ? std::string(buf, r - 1) : std::string("<none>");
}

// Selects the ANSI code page through the environment for one test.
struct LocaleEnv {
    EnvGuard all, ctype, lang;
    LocaleEnv(const char* lcAll, const char* lcCtype, const char* langV)
        : all("LC_ALL", lcAll), ctype("LC_CTYPE", lcCtype), lang("LANG", langV) {}
};

} // namespace

TEST(Charset, EuroSignOfCp1252BecomesThreeUtf8Bytes) {
    int r = 0;
    EXPECT_EQ("\xE2\x82\xAC", toUtf8("\x80", "CP1252", 64, &r));
    EXPECT_EQ(4, r);
    EXPECT_EQ("\x80", fromUtf8("\xE2\x82\xAC", "CP1252", 64, &r));
    EXPECT_EQ(2, r);
}

TEST(Charset, AccentedLettersRoundTrip) {
    EXPECT_EQ("caf\xE9", fromUtf8("caf\xC3\xA9", "CP1252"));
    EXPECT_EQ("caf\xC3\xA9", toUtf8("caf\xE9", "ISO-8859-1"));
    EXPECT_EQ("\xD6", fromUtf8("\xD0\xB6", "KOI8-R")); // Cyrillic zhe
}

TEST(Charset, CharacterMissingFromCodePageBecomesQuestionMark) {
    int r = 0;
    EXPECT_EQ("a?b", fromUtf8("a\xD0\xB6"
                              "b",
                              "CP1252", 64, &r));
    EXPECT_EQ(4, r);
    EXPECT_EQ("??", fromUtf8("\xE4\xB8\xAD\xF0\x9F\x98\x80", "ISO-8859-1"));
}

TEST(Charset, IllFormedUtf8BecomesReplacementCharacter) {
    // U+FFFD where the target has it, "?" where it does not.
    EXPECT_EQ("a\xEF\xBF\xBD"
              "b",
              fromUtf8("a\xFF"
                       "b",
                       "UTF-8"));
    EXPECT_EQ("a?b", fromUtf8("a\xFF"
                              "b",
                              "CP1252"));
    // A truncated sequence, an overlong form and an encoded surrogate.
    EXPECT_EQ("\xEF\xBF\xBDx", fromUtf8("\xE2\x82x", "UTF-8"));
    EXPECT_EQ("??", fromUtf8("\xC0\xAF", "CP1252"));
    EXPECT_EQ("???", fromUtf8("\xED\xA0\x80", "CP1252"));
    EXPECT_EQ("a\xEF\xBF\xBD", fromUtf8("a\xC3", "UTF-8"));
    // Ill-formed UTF-8 given as "ANSI" text when the code page is UTF-8.
    EXPECT_EQ("\xEF\xBF\xBD", toUtf8("\xFE", "UTF-8"));
}

TEST(Charset, UndefinedCodePageByteBecomesReplacementCharacter) {
    EXPECT_EQ("a\xEF\xBF\xBD"
              "b",
              toUtf8("a\x81"
                     "b",
                     "CP1252"));
}

TEST(Charset, EmptySourceNeedsOneByte) {
    char buf[4] = {'X', 'X', 'X', 'X'};
    EXPECT_EQ(0, charsetConvertFromUTF8("", buf, 0, "CP1252"));
    EXPECT_EQ('X', buf[0]);
    EXPECT_EQ(1, charsetConvertFromUTF8("", buf, 1, "CP1252"));
    EXPECT_EQ('\0', buf[0]);
    buf[0] = 'X';
    EXPECT_EQ(1, charsetConvertToUTF8("", buf, 1, "CP1252"));
    EXPECT_EQ('\0', buf[0]);
}

TEST(Charset, DestinationMustHoldTextAndTerminator) {
    char buf[8];
    memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(0, charsetConvertFromUTF8("abcde", buf, 5, "CP1252"));
    EXPECT_EQ(0, memcmp(buf, "XXXXXXXX", 8)); // untouched
    EXPECT_EQ(0, charsetConvertToUTF8("abcde", buf, 5, "CP1252"));
    EXPECT_EQ(0, memcmp(buf, "XXXXXXXX", 8));
    EXPECT_EQ(6, charsetConvertFromUTF8("abcde", buf, 6, "CP1252"));
    EXPECT_STREQ("abcde", buf);
    // The euro sign needs three bytes in UTF-8: four with the NUL.
    memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(0, charsetConvertToUTF8("\x80", buf, 3, "CP1252"));
    EXPECT_EQ('X', buf[0]);
    EXPECT_EQ(4, charsetConvertToUTF8("\x80", buf, 4, "CP1252"));
}

TEST(Charset, NullArgumentsAndUnknownCodePageGiveZero) {
    char buf[8];
    EXPECT_EQ(0, ConvertUTF82ANSI(nullptr, buf, 8));
    EXPECT_EQ(0, ConvertUTF82ANSI("a", nullptr, 8));
    EXPECT_EQ(0, ConvertANSI2UTF8(nullptr, buf, 8));
    EXPECT_EQ(0, ConvertANSI2UTF8("a", nullptr, 8));
    EXPECT_EQ(0, charsetConvertFromUTF8("a", buf, 8, "NO-SUCH-CHARSET"));
    EXPECT_EQ(0, charsetConvertToUTF8("a", buf, 8, "NO-SUCH-CHARSET"));
    EXPECT_EQ(0, ConvertUTF82ANSI("a", buf, -1));
}

TEST(Charset, ActiveCodePageFollowsLocaleVariablesInOrder) {
    {
        LocaleEnv env("de_DE.ISO-8859-1", "ru_RU.KOI8-R", "C.UTF-8");
        EXPECT_EQ("ISO-8859-1", charsetActiveAnsiName());
    }
    {
        LocaleEnv env(nullptr, "ru_RU.KOI8-R", "de_DE.ISO-8859-1");
        EXPECT_EQ("KOI8-R", charsetActiveAnsiName());
    }
    {
        LocaleEnv env("", "", "en_US.CP1252"); // empty values do not count
        EXPECT_EQ("CP1252", charsetActiveAnsiName());
    }
    {
        LocaleEnv env(nullptr, nullptr, "de_DE.ISO-8859-15@euro");
        EXPECT_EQ("ISO-8859-15", charsetActiveAnsiName());
    }
}

TEST(Charset, CAndPosixAndMissingLocaleMeanUtf8) {
    for (const char* name : {"C", "POSIX", "C.UTF-8", "en_US.utf8"}) {
        LocaleEnv env(name, nullptr, nullptr);
        EXPECT_EQ("UTF-8", charsetActiveAnsiName()) << name;
    }
    LocaleEnv none(nullptr, nullptr, nullptr);
    EXPECT_EQ("UTF-8", charsetActiveAnsiName());
}

TEST(Charset, UnsupportedLocaleNameFallsBackToUtf8) {
    LocaleEnv env("xx_XX.NO-SUCH-SET", nullptr, nullptr);
    EXPECT_EQ("UTF-8", charsetActiveAnsiName());
    char buf[8];
    EXPECT_EQ(4, ConvertUTF82ANSI("\xC3\xA9x", buf, 8));
    EXPECT_STREQ("\xC3\xA9x", buf);
}

TEST(Charset, PublicConversionsUseTheEnvironmentsCodePage) {
    char buf[16];
    {
        LocaleEnv env("ru_RU.KOI8-R", nullptr, nullptr);
        ASSERT_EQ(2, ConvertUTF82ANSI("\xD0\xB6", buf, sizeof(buf)));
        EXPECT_EQ('\xD6', buf[0]);
        ASSERT_EQ(3, ConvertANSI2UTF8("\xD6", buf, sizeof(buf)));
        EXPECT_STREQ("\xD0\xB6", buf);
    }
    {
        LocaleEnv env("en_US.CP1252", nullptr, nullptr);
        ASSERT_EQ(4, ConvertANSI2UTF8("\x80", buf, sizeof(buf)));
        EXPECT_STREQ("\xE2\x82\xAC", buf);
    }
}

TEST(Charset, ProcessLocaleIsLeftAlone) {
    std::string before = setlocale(LC_CTYPE, nullptr);
    LocaleEnv env("de_DE.ISO-8859-1", nullptr, nullptr);
    char buf[8];
    ConvertUTF82ANSI("a", buf, 8);
    ConvertANSI2UTF8("a", buf, 8);
    EXPECT_EQ(before, setlocale(LC_CTYPE, nullptr));
}

TEST(Charset, LongTextIsConvertedWhole) {
    std::string src;
    for (int i = 0; i < 5000; ++i) {
        src += "\xE9";
    }
    std::vector<char> buf(src.size() * 2 + 1);
    ASSERT_EQ((int)buf.size(),
              charsetConvertToUTF8(src.c_str(), buf.data(), (int)buf.size(), "CP1252"));
    std::vector<char> back(src.size() + 1);
    ASSERT_EQ((int)back.size(),
              charsetConvertFromUTF8(buf.data(), back.data(), (int)back.size(), "CP1252"));
    EXPECT_EQ(src, std::string(back.data()));
}
