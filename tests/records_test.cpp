// Tag record framing: the checksum, and the name rules of header and footer values and views (the encoder
// tests pin their exact bytes).
#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "ulvex/records.h"

namespace {
using Bytes = std::vector<unsigned char>;
Bytes F(const CFooter& f) { return Bytes(f.GetBytes(), f.GetBytes() + 8); }
const unsigned char kAbc[] = {'a', 'b', 'c'};
}  // namespace

// The sum of 300 bytes 0xFF is 76500 = 0x12AD4; the sum of no bytes is 0.
TEST(Records, ChecksumWrapsModulo65536AndVerifiesOnlyItsBytes) {
    const Bytes ff(300, 0xFF), f = F(CFooter("X", ff.data(), 300));
    const CFooter abc("X", kAbc, 3);
    EXPECT_EQ(Bytes(f.begin() + 5, f.begin() + 7), (Bytes{0xD4, 0x2A}));
    EXPECT_EQ(CFooter().CalcolaChecksum(nullptr, 5), 0);
    EXPECT_TRUE(CFooter("X", nullptr, 0).VerifyChecksumOn(nullptr, 0));
    EXPECT_TRUE(abc.VerifyChecksumOn(kAbc, 3));
    EXPECT_FALSE(abc.VerifyChecksumOn(kAbc, 2));
}

TEST(Records, ValuesCompareAllFourNameBytes) {
    CHeader h("AB", 0, 0);
    CFooter f("AB", nullptr, 0);
    h.GetBytes()[5] = f.GetBytes()[4] = 'Z';  // a stray byte after the NUL
    EXPECT_FALSE(h.IsCoerent("AB\0\0"));
    EXPECT_FALSE(f.IsCoerent("AB\0\0"));
    EXPECT_FALSE(h.IsCoerent("ABC"));
    EXPECT_TRUE(h.IsCoerent("AB\0Z"));
    EXPECT_TRUE(f.IsCoerent("AB\0Z"));
    EXPECT_TRUE(h.IsCoerent(0x5A004241u));
    EXPECT_TRUE(f.IsCoerent(0x5A004241u));
    EXPECT_FALSE(f.IsCoerent(0x5A004242u));
}

// The views read their fields in place; a text name matches up to and including its NUL, a list entry padded
// with NULs on all four bytes, a number on all four.
TEST(Records, ViewsReadFieldsInPlaceAndMatchNames) {
    unsigned char hb[12] = {'<', 'h', 'D', 'A', 'T', 'A', 3, 0, 0, 0, 9, '>'};
    unsigned char fb[8] = {'<', 'D', 'A', 'T', 'A', 0x26, 1, '>'};
    CPtrHeader h(hb);
    const CPtrFooter f(fb);
    EXPECT_EQ(h.GetVersion(), 9);
    EXPECT_EQ(h.GetPayloadLen(), 3u);
    EXPECT_TRUE(f.VerifyChecksumOn(kAbc, 3));
    EXPECT_FALSE(f.VerifyChecksumOn(kAbc, 2));
    h.SetPayloadLen(0x01020304);
    EXPECT_EQ(Bytes(hb + 6, hb + 10), (Bytes{4, 3, 2, 1}));
    const struct {
        const char *bytes, *text;
        bool textOk;
        std::list<std::string> list;
        bool listOk;
        unsigned num;
        bool numOk;
    } cases[] = {{"AB\0\0", "AB", true, {"ABC", "AB"}, true, 0x4241u, true},
                 {"AB\0Z", "AB", true, {"AB"}, false, 0x5A004241u, true},
                 {"\0XYZ", "", true, {"", "X"}, false, 0x5A5958u, false},
                 {"DATA", "DAT", false, {"X", "", "DATAX"}, true, 0x41544144u, true},
                 {"DATA", "DATAX", true, {"DAT"}, false, 0x41544145u, false},
                 {"ABCD", "ABCD", true, {}, false, 0x44434241u, true},
                 {"\0\0\0\0", "", true, {"Q", ""}, true, 0u, true}};
    for (const auto& c : cases) {
        std::memcpy(hb + 2, c.bytes, 4), std::memcpy(fb + 1, c.bytes, 4);
        EXPECT_EQ(h.IsCoerent(c.text), c.textOk) << c.text;
        EXPECT_EQ(f.IsCoerent(c.text), c.textOk) << c.text;
        EXPECT_EQ(h.IsCoerent(c.list), c.listOk) << c.text;
        EXPECT_EQ(f.IsCoerent(c.list), c.listOk) << c.text;
        EXPECT_EQ(h.IsCoerent(c.num), c.numOk) << c.text;
        EXPECT_EQ(f.IsCoerent(c.num), c.numOk) << c.text;
    }
}
