// Payload entries: exact bytes of every writer, which virtual slot each one goes through, the global
// locale, and the key search. The fuzz target holds the readers to the reference reading of the stop rule.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <locale>
#include <utility>

#include "ulvex/ulvex.h"

namespace {
using Bytes = std::vector<unsigned char>;
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
// Each typed writer's entry (hex: of unsigned values) carries the value as a fresh stream writes it (precision
// 9; hex: "0x", width 8, fill 0), handed to the string writer's slot; the 8-, 16- and 32-bit integers pass
// through the int or unsigned int slot.
template <class T>
void Check(std::initializer_list<std::pair<T, const char*>> cases, bool hex = false) {
    for (const auto& c : cases) {
        Recorder r;
        Bytes d(3, 'q');  // too small: the entry goes to new storage
        IUlvexDataFormatter& f = r;
        bool ok;
        if constexpr (std::is_same<T, unsigned>::value)
            ok = hex ? f.FormatDataHex(d, "k", c.first) : f.FormatData(d, "k", c.first);
        else
            ok = f.FormatData(d, "k", c.first);
        EXPECT_TRUE(ok);
        EXPECT_EQ(S(d), std::string("k=") + c.second + "|\r\n");
        EXPECT_EQ(r.seen, c.second);
        const bool narrow = !hex && std::is_integral<T>::value && sizeof(T) <= sizeof(int);
        EXPECT_EQ(r.via, !narrow ? "" : std::is_signed<T>::value ? "i" : "u") << c.second;
    }
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

TEST(FormatterWriters, TypedWritersWriteWhatAStreamWritesThroughTheirVirtualSlots) {
    Check<signed char>({{-1, "-1"}, {SCHAR_MIN, "-128"}, {SCHAR_MAX, "127"}});
    Check<unsigned char>({{0, "0"}, {255, "255"}});
    Check<short>({{-32768, "-32768"}, {32767, "32767"}});
    Check<unsigned short>({{65535, "65535"}});
    Check<int>({{INT_MIN, "-2147483648"}, {INT_MAX, "2147483647"}});
    Check<unsigned>({{UINT_MAX, "4294967295"}, {0, "0"}});
    Check<long long>({{LLONG_MIN, "-9223372036854775808"}, {LLONG_MAX, "9223372036854775807"}});
    Check<unsigned long long>({{ULLONG_MAX, "18446744073709551615"}});
    Check<unsigned>({{0, "0x00000000"}, {0xabcdef12u, "0xabcdef12"}, {0xab00u, "0x0000ab00"}}, true);
    Check<float>({{0.1f, "0.100000001"}, {1e-45f, "1.40129846e-45"}, {HUGE_VALF, "inf"}, {-0.0f, "-0"}});
    Check<double>({{1.0 / 3, "0.333333333"},
                   {1234567890.0, "1.23456789e+09"},
                   {0.0001, "0.0001"},
                   {0.00001, "1e-05"},
                   {-NAN, "-nan"},
                   {5e-324, "4.94065646e-324"}});
}

TEST(FormatterWriters, TypedWritersFollowANonClassicGlobalLocale) {
    const std::locale old = std::locale::global(std::locale(std::locale::classic(), new Punct));
    CUlvexDataFormatter f;
    Bytes d;
    f.FormatData(d, "t", 1234567ll);
    EXPECT_EQ(S(d), "t=1.234.567|\r\n");
    f.FormatData(d, "t", 21.5);
    EXPECT_EQ(S(d), "t=21,5|\r\n");
    std::locale::global(old);
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
