// Bounded copy: never writes outside the buffer, always terminates, reports
// the full source length.
#include <gtest/gtest.h>

#include <string.h>
#include <string>

#include "_StringCopy.h"

namespace {

const unsigned char GUARD = 0xFF;
const int PAD = 8;

struct Guarded {
    unsigned char raw[64 + 2 * PAD];
    char* buf() { return (char*)raw + PAD; }
    explicit Guarded() { memset(raw, GUARD, sizeof(raw)); }
    // Bytes outside [PAD, PAD+size) must still be guards.
    void expectGuards(int64_t size) const {
        int64_t lo = PAD, hi = PAD + (size > 0 ? size : 0);
        for (int64_t i = 0; i < (int64_t)sizeof(raw); i++) {
            if (i < lo || i >= hi) {
                ASSERT_EQ(raw[i], GUARD) << "byte " << i - PAD << " outside a buffer of " << size;
            }
        }
    }
};

} // namespace

TEST(StringCopy, EveryBufferSizeAgainstEveryTextSize) {
    const std::string alphabet = "abcdefghijklmnopqrstuvwxyz";
    for (int textLen = 0; textLen <= 12; textLen++) {
        std::string src = alphabet.substr(0, (size_t)textLen);
        for (int size = -3; size <= 14; size++) {
            Guarded g;
            int64_t full = vornCopyString(g.buf(), size, src.c_str());
            EXPECT_EQ(full, textLen) << "size " << size;
            g.expectGuards(size);
            if (size <= 0) {
                // Nothing at all may be written, not even a NUL.
                EXPECT_EQ((unsigned char)g.buf()[0], GUARD);
                continue;
            }
            int expectCopied = textLen < size - 1 ? textLen : size - 1;
            EXPECT_EQ((int)strlen(g.buf()), expectCopied) << "size " << size << " len " << textLen;
            EXPECT_EQ(std::string(g.buf()), src.substr(0, (size_t)expectCopied));
        }
    }
}

TEST(StringCopy, ExplicitLengthReadsNoFurtherThanGiven) {
    // Source without a terminating NUL inside the given length.
    const char src[5] = {'h', 'e', 'l', 'l', 'o'};
    for (int size = 0; size <= 8; size++) {
        Guarded g;
        EXPECT_EQ(vornCopyStringN(g.buf(), size, src, 5), 5);
        g.expectGuards(size);
        if (size > 0) {
            EXPECT_EQ(std::string(g.buf()),
                      std::string("hello").substr(0, (size_t)(size - 1 < 5 ? size - 1 : 5)));
        }
    }
    Guarded g;
    EXPECT_EQ(vornCopyStringN(g.buf(), 10, "abc", 2), 2);
    EXPECT_STREQ(g.buf(), "ab");
    EXPECT_EQ(vornCopyStringN(g.buf(), 10, "abcdef", -1), 6);
    EXPECT_STREQ(g.buf(), "abcdef");
}

TEST(StringCopy, NullArguments) {
    Guarded g;
    EXPECT_EQ(vornCopyString(g.buf(), 4, NULL), 0);
    EXPECT_STREQ(g.buf(), "");
    g.expectGuards(4);
    EXPECT_EQ(vornCopyString(NULL, 10, "text"), 4);
}
