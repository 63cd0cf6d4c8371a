// Tag record framing: exact bytes, name forms, checksum, and the name rules of values and views.
#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "ulvex/records.h"

namespace {
using Bytes = std::vector<unsigned char>;
Bytes H(const CHeader& h) { return Bytes(h.GetBytes(), h.GetBytes() + 12); }
Bytes F(const CFooter& f) { return Bytes(f.GetBytes(), f.GetBytes() + 8); }
const unsigned char kAbc[] = {'a', 'b', 'c'};
}  // namespace

TEST(Records, HeaderAndFooterBytesAreExact) {
    EXPECT_EQ(H(CHeader("DATA", 1, 3)), (Bytes{'<', 'h', 'D', 'A', 'T', 'A', 3, 0, 0, 0, 1, '>'}));
    EXPECT_EQ(H(CHeader(0u, 0, 0x01020304)), (Bytes{'<', 'h', 0, 0, 0, 0, 4, 3, 2, 1, 0, '>'}));
    EXPECT_EQ(F(CFooter("DATA", kAbc, 3)), (Bytes{'<', 'D', 'A', 'T', 'A', 0x26, 0x01, '>'}));
}

TEST(Records, TextNameEqualsItsNumericFormUpToFourBytes) {
    const struct {
        const char* text;
        unsigned int num;
    } forms[] = {{"DATA", 0x41544144u}, {"AB", 0x4241u}, {"ABCDEF", 0x44434241u}, {"", 0u}};
    for (const auto& c : forms) {
        EXPECT_EQ(H(CHeader(c.text, 7, 3)), H(CHeader(c.num, 7, 3))) << c.text;
        EXPECT_EQ(F(CFooter(c.text, kAbc, 3)), F(CFooter(c.num, kAbc, 3))) << c.text;
    }
}

TEST(Records, GetTagNameStopsAtTheFirstNulOrFourBytes) {
    std::string s = "junk";
    std::vector<char> v(9, 'x');
    CHeader("ABCDEF", 0, 0).GetTagName(s);
    EXPECT_EQ(s, "ABCD");
    CHeader("AB", 0, 0).GetTagName(s);
    EXPECT_EQ(s, "AB");
    CHeader("AB", 0, 0).GetTagName(v);
    EXPECT_EQ(v, (std::vector<char>{'A', 'B', 0, 0}));
}

TEST(Records, ChecksumWrapsModulo65536) {
    const Bytes ff(300, 0xFF);  // 76500 = 0x12AD4
    const Bytes f = F(CFooter("X", ff.data(), 300));
    EXPECT_EQ(Bytes(f.begin() + 5, f.begin() + 7), (Bytes{0xD4, 0x2A}));
}

TEST(Records, ChecksumOfNoBytesIsZero) {
    EXPECT_EQ(CFooter().CalcolaChecksum(nullptr, 5), 0);
    EXPECT_TRUE(CFooter("X", nullptr, 0).VerifyChecksumOn(nullptr, 0));
}

TEST(Records, VerifyChecksumOnRejectsOtherBytes) {
    const CFooter f("X", kAbc, 3);
    EXPECT_TRUE(f.VerifyChecksumOn(kAbc, 3));
    EXPECT_FALSE(f.VerifyChecksumOn(kAbc, 2));
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

TEST(Records, DamagedMarkersFailEveryCoherenceTest) {
    CHeader h("AB", 0, 0);
    CFooter f("AB", nullptr, 0);
    h.GetBytes()[1] = 'H', f.GetBytes()[7] = 0;
    EXPECT_FALSE(h.IsCoerentAnyName());
    EXPECT_FALSE(h.IsCoerent("AB"));
    EXPECT_FALSE(h.IsCoerent(0x4241u));
    EXPECT_FALSE(f.IsCoerentAnyName());
    EXPECT_FALSE(f.IsCoerent("AB"));
}

TEST(Records, EmptyViewsAreNeverCoherentAndReadAsZero) {
    const CPtrHeader h;
    const CPtrFooter f;
    std::string s = "old";
    h.GetTagName(s);
    EXPECT_EQ(s, "");
    EXPECT_FALSE(h.IsCoerentAnyName());
    EXPECT_FALSE(h.IsCoerent(""));
    EXPECT_FALSE(h.IsCoerent(std::list<std::string>{""}));
    EXPECT_FALSE(h.IsCoerent(0u));
    EXPECT_FALSE(f.IsCoerent(""));
    EXPECT_FALSE(f.IsCoerent(std::list<std::string>{""}));
    EXPECT_FALSE(f.IsCoerent(0u));
    EXPECT_FALSE(f.VerifyChecksumOn(nullptr, 0));
    EXPECT_EQ(h.GetPtrTagName(), nullptr);
    EXPECT_EQ(h.GetPayloadLen(), 0u);
}

TEST(Records, ViewsReadTheFieldsInPlace) {
    unsigned char hb[12] = {'<', 'h', 'D', 'A', 'T', 'A', 3, 0, 0, 0, 9, '>'};
    const unsigned char fb[8] = {'<', 'D', 'A', 'T', 'A', 0x26, 1, '>'};
    CPtrHeader h(hb);
    const CPtrFooter f(fb);
    EXPECT_EQ(h.GetVersion(), 9);
    EXPECT_EQ(h.GetPayloadLen(), 3u);
    EXPECT_TRUE(h.IsCoerent(0x41544144u));
    EXPECT_FALSE(h.IsCoerent(0x41544145u));
    EXPECT_TRUE(f.IsCoerent(0x41544144u));
    EXPECT_FALSE(f.IsCoerent(0x41544145u));
    EXPECT_TRUE(f.VerifyChecksumOn(kAbc, 3));
    EXPECT_FALSE(f.VerifyChecksumOn(kAbc, 2));
    h.SetPayloadLen(0x01020304);
    EXPECT_EQ(Bytes(hb + 6, hb + 10), (Bytes{4, 3, 2, 1}));
}

// The views compare a text name up to and including its NUL, and a list
// entry padded with NULs against all four bytes.
TEST(Records, ViewsMatchTextNamesByPrefixAndListEntriesExactly) {
    unsigned char hb[12] = {'<', 'h', 0, 0, 0, 0, 0, 0, 0, 0, 0, '>'};
    unsigned char fb[8] = {'<', 0, 0, 0, 0, 0, 0, '>'};
    const CPtrHeader h(hb);
    const CPtrFooter f(fb);
    const struct {
        const char *bytes, *text;
        bool textOk;
        std::list<std::string> list;
        bool listOk;
    } cases[] = {{"AB\0\0", "AB", true, {"ABC", "AB"}, true}, {"AB\0Z", "AB", true, {"AB"}, false},
                 {"\0XYZ", "", true, {"", "X"}, false},       {"DATA", "DAT", false, {"X", "", "DATAX"}, true},
                 {"DATA", "DATAX", true, {"DAT"}, false},     {"ABCD", "ABCD", true, {}, false},
                 {"\0\0\0\0", "", true, {"Q", ""}, true}};
    for (const auto& c : cases) {
        std::memcpy(hb + 2, c.bytes, 4), std::memcpy(fb + 1, c.bytes, 4);
        EXPECT_EQ(h.IsCoerent(c.text), c.textOk) << c.text;
        EXPECT_EQ(f.IsCoerent(c.text), c.textOk) << c.text;
        EXPECT_EQ(h.IsCoerent(c.list), c.listOk) << c.text;
        EXPECT_EQ(f.IsCoerent(c.list), c.listOk) << c.text;
    }
}
