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
// Each typed writer's entry carries what a fresh stream writes (precision 9; hex: "0x", width 8, fill 0).
template <class T>
void Check(Recorder& r, std::initializer_list<T> values, bool hex = false) {
    for (T v : values) {
        std::ostringstream os;
        if (hex)
            os << "0x" << std::setw(8) << std::setfill('0') << std::hex << v;
        else
            os << std::setprecision(9) << +v;
        Bytes d(3, 'q');  // too small: the entry goes to new storage
        EXPECT_TRUE(hex ? r.FormatDataHex(d, "k", v) : static_cast<IUlvexDataFormatter&>(r).FormatData(d, "k", v));
        EXPECT_TRUE(S(d) == "k=" + os.str() + "|\r\n" && r.seen == os.str()) << S(d) << " vs " << os.str();
        const bool narrow = std::is_integral<T>::value && sizeof(T) <= sizeof(int) && !hex;  // int slots only
        EXPECT_EQ(std::exchange(r.via, ""), !narrow ? "" : std::is_signed<T>::value ? "i" : "u");
    }
}
void CheckAll(Recorder& r) {  // the recorder's slot log must start empty
    Check<signed char>(r, {0, -1, 65, SCHAR_MIN, SCHAR_MAX});
    Check<unsigned char>(r, {0, 65, 255});
    Check<short>(r, {-32768, 32767, 1000});
    Check<unsigned short>(r, {65535, 1234});
    Check<int>(r, {-5, 0, INT_MIN, INT_MAX, 1234567});
    Check<unsigned>(r, {UINT_MAX, 0, 1000});
    Check<long long>(r, {LLONG_MIN, LLONG_MAX, -1000});
    Check<unsigned long long>(r, {ULLONG_MAX, 0, 999});
    Check<unsigned>(r, {0, 255, 0xabcdef12u, UINT_MAX, 1234567}, true);
    Check<float>(r, {0.1f, 3.14159265f, -0.0f, 1e-5f, 3.4e38f, 1e-45f, HUGE_VALF, NAN, 1234.5f});
    Check<double>(r, {21.5, 100.0, 1.0 / 3, 123456789.0, 1234567890.0, 0.0001, 0.00001, -0.0, HUGE_VAL, -HUGE_VAL, NAN,
                      -NAN, 1.7976931348623157e308, 5e-324, -2.5e-300, 1234.5});
}
struct Punct : std::numpunct<char> {
    char do_thousands_sep() const override { return '.'; }
    char do_decimal_point() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};
}  // namespace

TEST(FormatterWriters, ExactEntriesReplaceTheVectorAndFollowTheStream) {
    Recorder f;
    Bytes d(100, 0xaa);
    const auto text = [&](auto v) { return f.FormatData(d, "t", v), S(d); };
    EXPECT_EQ((f.FormatData(d, "temp", std::string("21.5")), S(d)), "temp=21.5|\r\n");  // 100 old bytes gone
    EXPECT_EQ((f.FormatData(d, "", std::string()), S(d)), "=|\r\n");
    const std::string odd("=|\r\n\0x", 6);
    EXPECT_EQ((f.FormatData(d, std::string("k\0", 2), odd), S(d)), std::string("k\0=", 3) + odd + "|\r\n");
    EXPECT_EQ((f.FormatDataHex(d, "t", 0xabcdef12u), S(d)), "t=0xabcdef12|\r\n");
    CheckAll(f);
    const std::locale old = std::locale::global(std::locale(std::locale::classic(), new Punct));
    EXPECT_EQ(text(1234567ll) + text(21.5), "t=1.234.567|\r\nt=21,5|\r\n");
    CheckAll(f);
    std::locale::global(old);
}

TEST(FormatterReaders, StopRuleAndLookupOddities) {
    const std::string P = "a=1|\r\nname=xy|\r\n", nul("k=a\0b|\r\n", 8), nulKey("k\0x=1|\r\n", 8);
    const Map pm{{"a", "1"}, {"name", "xy"}};
    const struct {
        std::string data;
        const char* key;
        int found;
        std::string text;
        Map all;
    } cases[] = {{"k=abc\nd|\r\n", "k", 1, "k=a", {{"k", "a"}, {"d|\r\n", ""}}},
                 {nul, "k", 1, nul.substr(0, 5), {{"k", "a"}}},
                 {"k=ab\rc|\r\n", "k", 1, "k=a", {{"k", "a"}, {"|\r\n", ""}}},
                 {"k=1|\r\nk=2|\r\n", "k", 1, "k=1", {{"k", "2"}}},
                 {"abc|\r\nk=v|\r\n", "k", 1, "k=v", {{"abc|\r\nk", "v"}}},
                 {"x=1|\r\ny=", "y", 1, "", {{"x", "1"}, {"y", ""}}},
                 {"k=a|b|\r\n", "k", 1, "k=a", {{"k", "a"}, {"\r\n", ""}}},
                 {"abc|\r\n", "c", 0, "", {{"abc|\r\n", ""}}},
                 {"x=1|\r\ny=2", "y", 1, "y", {{"x", "1"}, {"y", ""}}},
                 {nulKey, "x", 1, "x=1", {{nulKey.substr(0, 3), "1"}}},
                 {"=a=b|\r\n", "a", 1, "a=b", {{"=a", "b"}}},
                 {"k=1|\r\nk", "k", 1, "k=1", {{"k", ""}}},
                 {P, "a", 1, "a=1", pm},
                 {"k=|\r\n", "k", 1, "k=", {{"k", ""}}},
                 {"k=vwx", "k", 1, "k=v", {{"k", "v"}}},
                 {P, "name", 1, "name=xy", pm},
                 {"k=vw", "k", 1, "k=", {{"k", ""}}},
                 {P, "ame", 1, "ame=xy", pm},
                 {P, "", 1, "=1", pm},
                 {"", "k", 0, "", {}},
                 {P, "b", 0, "", pm}};
    CUlvexDataFormatter f;
    for (const auto& c : cases) {
        const Bytes v(c.data.begin(), c.data.end());  // an exact-size heap copy (null when empty)
        std::string text = "stale";
        Map all{{"stale", "x"}};
        EXPECT_TRUE(f.FindInData(v, c.key, text) == (c.found == 1) && text == c.text) << c.key << ": " << text;
        EXPECT_TRUE(f.FindInDataAllEntry(v.data(), v.size(), all) && all == c.all) << c.data;
    }
}
