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

TEST(Records, ExactBytesNameFormsChecksumAndNameRules) {
    EXPECT_EQ(H(CHeader("DATA", 1, 3)), (Bytes{0x3C, 0x68, 0x44, 0x41, 0x54, 0x41, 3, 0, 0, 0, 1, 0x3E}));
    EXPECT_EQ(F(CFooter("DATA", kAbc, 3)), (Bytes{0x3C, 0x44, 0x41, 0x54, 0x41, 0x26, 0x01, 0x3E}));
    EXPECT_EQ(H(CHeader(0u, 0, 0x01020304)), (Bytes{'<', 'h', 0, 0, 0, 0, 4, 3, 2, 1, 0, '>'}));
    const struct {
        const char* text;
        unsigned int num;
        std::string read;
    } forms[] = {{"DATA", 0x41544144u, "DATA"}, {"AB", 0x4241u, "AB"}, {"ABCDEF", 0x44434241u, "ABCD"}, {"", 0u, ""}};
    for (const auto& c : forms) {
        const CHeader h(c.text, 7, 3);
        std::string s = "junk";
        std::vector<char> v(9, 'x');
        h.GetTagName(s), h.GetTagName(v);
        EXPECT_EQ(H(h), H(CHeader(c.num, 7, 3))) << c.text;
        EXPECT_EQ(F(CFooter(c.text, kAbc, 3)), F(CFooter(c.num, kAbc, 3))) << c.text;
        EXPECT_EQ(s + "|" + std::string(v.begin(), v.end()), c.read + "|" + (c.read + std::string(4, 0)).substr(0, 4));
    }
    const Bytes ff(300, 0xFF), wrapped = F(CFooter("X", ff.data(), 300));
    EXPECT_EQ(Bytes(wrapped.begin() + 5, wrapped.begin() + 7), (Bytes{0xD4, 0x2A}));
    EXPECT_EQ(CFooter().CalcolaChecksum(nullptr, 5) + CFooter().CalcolaChecksum(ff.data(), 0), 0);
    EXPECT_TRUE(CFooter("X", 0, 0).VerifyChecksumOn(0, 0) && !CFooter("X", kAbc, 3).VerifyChecksumOn(kAbc, 0));
    // The value classes compare all four name bytes; the views compare a text name up to its NUL.
    CHeader h("AB", 0, 0);
    CFooter f("AB", nullptr, 0);
    h.GetBytes()[5] = f.GetBytes()[4] = 'Z';  // a stray byte after the NUL
    EXPECT_FALSE(h.IsCoerent("AB\0\0") || f.IsCoerent("AB\0\0") || h.IsCoerent("ABC") || f.IsCoerent("ABC"));
    EXPECT_TRUE(h.IsCoerent("AB\0Z") && f.IsCoerent("AB\0Z") && h.IsCoerent(0x5A004241u) && f.IsCoerent(0x5A004241u));
    h.GetBytes()[1] = 'H', f.GetBytes()[7] = 0;
    EXPECT_FALSE(h.IsCoerentAnyName() || h.IsCoerent("AB\0Z") || h.IsCoerent(0x5A004241u) || f.IsCoerent("AB\0Z"));
    unsigned char hb[12] = {0x3C, 0x68, 'D', 'A', 'T', 'A', 3, 0, 0, 0, 1, 0x3E};
    unsigned char fb[8] = {0x3C, 0, 0, 0, 0, 0x26, 1, 0x3E};
    const std::list<std::string> any{"", "DATA"};
    CPtrHeader ph(hb), e;
    const CPtrFooter pf(fb), ef;
    std::string s = "old";
    e.GetTagName(s), e.SetPayloadLen(9);
    EXPECT_FALSE(e.IsCoerentAnyName() || e.IsCoerent("") || e.IsCoerent(any) || e.IsCoerent(0u) || ef.IsCoerent("") ||
                 ef.IsCoerent(any) || ef.IsCoerent(0u) || ef.VerifyChecksumOn(nullptr, 0));
    EXPECT_TRUE(s.empty() && !e.GetPtrTagName() && e.GetPayloadLen() == 0 && e.GetVersion() == 0);
    EXPECT_TRUE(ph.IsCoerent("DATAX") && ph.IsCoerent(0x41544144u) && ph.GetVersion() + ph.GetPayloadLen() == 4);
    EXPECT_TRUE(pf.VerifyChecksumOn(kAbc, 3) && !pf.VerifyChecksumOn(kAbc, 2));
    const struct {
        const char *bytes, *text;
        bool textOk;
        std::list<std::string> list;
        bool listOk;
    } cases[] = {{"AB\0\0", "AB", true, {"ABC", "AB"}, true}, {"AB\0Z", "AB", true, {"AB"}, false},
                 {"\0XYZ", "", true, {"", "X"}, false},       {"DATA", "DAT", false, {"X", "", "DATAX"}, true},
                 {"ABCD", "ABCD", true, {}, false},           {"\0\0\0\0", "", true, {"Q", ""}, true}};
    for (const auto& c : cases) {
        std::memcpy(hb + 2, c.bytes, 4), std::memcpy(fb + 1, c.bytes, 4);
        EXPECT_EQ(
            (std::vector<bool>{ph.IsCoerent(c.text), pf.IsCoerent(c.text), ph.IsCoerent(c.list), pf.IsCoerent(c.list)}),
            (std::vector<bool>{c.textOk, c.textOk, c.listOk, c.listOk}))
            << c.text;
    }
}
