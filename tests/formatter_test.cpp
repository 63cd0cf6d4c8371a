// Payload entries: exact bytes of every writer, which virtual slot each one goes through, the global
// locale, and the readers' lookup and stop rules.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>
#include <utility>

#include "ulvex/ulvex.h"

namespace {
using Bytes = std::vector<unsigned char>;
using Map = std::map<std::string, std::string>;
std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }
// Sees which int slot a writer went through and the text it handed to the string writer.
struct Recorder : CUlvexDataFormatter {
    using Base = CUlvexDataFormatter;
    using Base::FormatData;
    using K = const std::string&;
    std::string seen, via;
    bool FormatData(Bytes& d, K k, K v) override { return seen = v, Base::FormatData(d, k, v); }
    bool FormatData(Bytes& d, K k, int v) override { return via += 'i', Base::FormatData(d, k, v); }
    bool FormatData(Bytes& d, K k, unsigned v) override { return via += 'u', Base::FormatData(d, k, v); }
};
// What a fresh stream writes (precision 9; hex: "0x", width 8, fill 0).
template <class T>
std::string Streamed(T v, bool hex) {
    std::ostringstream os;
    if (hex)
        os << "0x" << std::setw(8) << std::setfill('0') << std::hex << v;
    else
        os << std::setprecision(9) << +v;
    return os.str();
}
// Each typed writer's entry (hex: of unsigned values) carries what a fresh stream writes, handed to the string
// writer's slot; the 8-, 16- and 32-bit integers pass through the int or unsigned int slot.
template <class T>
void Check(std::initializer_list<T> values, bool hex = false) {
    for (T v : values) {
        Recorder r;
        const std::string want = Streamed(v, hex);
        Bytes d(3, 'q');  // too small: the entry goes to new storage
        IUlvexDataFormatter& f = r;
        bool ok;
        if constexpr (std::is_same<T, unsigned>::value)
            ok = hex ? f.FormatDataHex(d, "k", v) : f.FormatData(d, "k", v);
        else
            ok = f.FormatData(d, "k", v);
        EXPECT_TRUE(ok);
        EXPECT_EQ(S(d), "k=" + want + "|\r\n");
        EXPECT_EQ(r.seen, want);
        const bool narrow = !hex && std::is_integral<T>::value && sizeof(T) <= sizeof(int);
        EXPECT_EQ(r.via, !narrow ? "" : std::is_signed<T>::value ? "i" : "u") << want;
    }
}
void CheckAll() {
    Check<signed char>({0, -1, 65, SCHAR_MIN, SCHAR_MAX});
    Check<unsigned char>({0, 65, 255});
    Check<short>({-32768, 32767, 1000});
    Check<unsigned short>({65535, 1234});
    Check<int>({-5, 0, INT_MIN, INT_MAX, 1234567});
    Check<unsigned>({UINT_MAX, 0, 1000});
    Check<long long>({LLONG_MIN, LLONG_MAX, -1000});
    Check<unsigned long long>({ULLONG_MAX, 0, 999});
    Check<unsigned>({0, 255, 0xabcdef12u, 0x0000ab00u, UINT_MAX, 1234567}, true);
    Check<float>({0.1f, 3.14159265f, -0.0f, 1e-5f, 3.4e38f, 1e-45f, HUGE_VALF, NAN, 1234.5f});
    Check<double>({21.5, 100.0, 1.0 / 3, 123456789.0, 1234567890.0, 0.0001, 0.00001, -0.0, HUGE_VAL, -HUGE_VAL, NAN,
                   -NAN, 1.7976931348623157e308, 5e-324, -2.5e-300, 1234.5});
}
struct Punct : std::numpunct<char> {
    char do_thousands_sep() const override { return '.'; }
    char do_decimal_point() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};
}  // namespace

TEST(FormatterWriters, EntryReplacesTheVectorWithKeyAndValueCopiedByteForByte) {
    CUlvexDataFormatter f;
    Bytes d(100, 0xaa), e;
    const std::string odd("=|\r\n\0x", 6);
    f.FormatData(d, "", std::string()), f.FormatData(e, std::string("k\0", 2), odd);
    EXPECT_EQ(S(d), "=|\r\n");
    EXPECT_EQ(S(e), std::string("k\0=", 3) + odd + "|\r\n");
}

TEST(FormatterWriters, TypedWritersFollowTheStreamThroughTheirVirtualSlots) { CheckAll(); }

TEST(FormatterWriters, TypedWritersFollowANonClassicGlobalLocale) {
    const std::locale old = std::locale::global(std::locale(std::locale::classic(), new Punct));
    CUlvexDataFormatter f;
    Bytes d;
    f.FormatData(d, "t", 1234567ll);
    EXPECT_EQ(S(d), "t=1.234.567|\r\n");
    f.FormatData(d, "t", 21.5);
    EXPECT_EQ(S(d), "t=21,5|\r\n");
    CheckAll();
    std::locale::global(old);
}

// FindInData's text runs from the key to where the stop rule, applied from the key on, ends it; FindInDataAllEntry
// reads every entry, the last of a repeated key winning. A value ends at '|', or before CR or LF at one and two bytes
// from it, or where fewer than three bytes remain; the three bytes after it are skipped whatever they are.
TEST(FormatterReaders, LookupAndListingFollowTheStopRule) {
    const std::string P = "a=1|\r\nname=xy|\r\n", nul("k=a\0b|\r\n", 8), nulKey("k\0x=1|\r\n", 8);
    const Map pm{{"a", "1"}, {"name", "xy"}};
    const struct {
        std::string data;
        const char* key;
        bool found;
        std::string text;
        Map all;
    } cases[] = {{"k=abc\nd|\r\n", "k", true, "k=a", {{"k", "a"}, {"d|\r\n", ""}}},
                 {nul, "k", true, nul.substr(0, 5), {{"k", "a"}}},
                 {"k=ab\rc|\r\n", "k", true, "k=a", {{"k", "a"}, {"|\r\n", ""}}},
                 {"k=a\nbc|\r\n", "k", true, "k", {{"k", "a\nbc"}}},
                 {"k=1|\r\nk=2|\r\n", "k", true, "k=1", {{"k", "2"}}},
                 {"abc|\r\nk=v|\r\n", "k", true, "k=v", {{"abc|\r\nk", "v"}}},
                 {"x=1|\r\ny=", "y", true, "", {{"x", "1"}, {"y", ""}}},
                 {"k=a|b|\r\n", "k", true, "k=a", {{"k", "a"}, {"\r\n", ""}}},
                 {"k=a|xyz=b", "k", true, "k=a", {{"k", "a"}, {"z", ""}}},
                 {"abc|\r\n", "c", false, "", {{"abc|\r\n", ""}}},
                 {"x=1|\r\ny=2", "y", true, "y", {{"x", "1"}, {"y", ""}}},
                 {nulKey, "x", true, "x=1", {{nulKey.substr(0, 3), "1"}}},
                 {"=a=b|\r\n", "a", true, "a=b", {{"=a", "b"}}},
                 {"k=1|\r\nk", "k", true, "k=1", {{"k", ""}}},
                 {P, "a", true, "a=1", pm},
                 {"k=|\r\n", "k", true, "k=", {{"k", ""}}},
                 {"k=vwx", "k", true, "k=v", {{"k", "v"}}},
                 {"k=vwxy", "k", true, "k=vw", {{"k", "vw"}}},
                 {P, "name", true, "name=xy", pm},
                 {"k=vw", "k", true, "k=", {{"k", ""}}},
                 {P, "ame", true, "ame=xy", pm},
                 {P, "", true, "=1", pm},
                 {"", "k", false, "", {}},
                 {P, "b", false, "", pm}};
    CUlvexDataFormatter f;
    for (const auto& c : cases) {
        const Bytes v(c.data.begin(), c.data.end());  // an exact-size heap copy (null when empty)
        std::string text = "stale";
        Map all{{"stale", "x"}};
        EXPECT_EQ(f.FindInData(v, c.key, text), c.found) << c.data;
        EXPECT_EQ(text, c.text) << c.data;
        EXPECT_TRUE(f.FindInDataAllEntry(v.data(), static_cast<unsigned>(v.size()), all));
        EXPECT_EQ(all, c.all) << c.data;
    }
}

// The key search checks candidates by their first two bytes, last byte and '='; the bytes between are
// compared too, and a key at the very end of the data is found.
TEST(FormatterReaders, LookupComparesEveryKeyByte) {
    CUlvexDataFormatter f;
    const std::string data = "abXde=1|\r\nabcXe=2|\r\nabcde=3|\r\nq\x80=4|\r\nz=";
    const Bytes v(data.begin(), data.end());
    std::string text;
    EXPECT_TRUE(f.FindInData(v, "abcde", text));
    EXPECT_EQ(text, "abcde=3");
    EXPECT_TRUE(f.FindInData(v, "z", text));
    EXPECT_EQ(text, "");  // fewer than three bytes left: the text ends at once
    EXPECT_FALSE(f.FindInData(v, "q", text));
    EXPECT_TRUE(f.FindInData(v, "q\x80", text));
    EXPECT_EQ(text, "q\x80=4");
    const std::string high = "xyz\xFA=1|\r\nz=2|\r\n";  // 0xFA differs from 'z' in its top bit only
    EXPECT_TRUE(f.FindInData(Bytes(high.begin(), high.end()), "z", text));
    EXPECT_EQ(text, "z=2");
}

// Keys of every search form (one byte, two, longer) at every offset, after bytes that match the key's first
// byte, in data short and long enough for each vector path of the search.
TEST(FormatterReaders, LookupFindsAKeyAtEveryOffset) {
    CUlvexDataFormatter f;
    for (const std::string key : {"k", "ke", "key12"})
        for (size_t tail : {3, 60, 300})
            for (size_t at = 0; at < 150; ++at) {
                const std::string data = std::string(at, key[0]) + key + "=v|\r\n" + std::string(tail, '=');
                std::string text;
                EXPECT_TRUE(f.FindInData(Bytes(data.begin(), data.end()), key.c_str(), text)) << key << " " << at;
                EXPECT_EQ(text, key + "=v") << key << " " << at << " " << tail;
            }
}

TEST(FormatterReaders, LookupOfKeyHeldByTheOutputStringUsesTheKeyFirst) {
    CUlvexDataFormatter f;
    const std::string data = "name|\r\nname=xy|\r\n";
    const Bytes v(data.begin(), data.end());
    std::string text = "name";
    EXPECT_TRUE(f.FindInData(v, text.c_str(), text));
    EXPECT_EQ(text, "name=xy");
}
