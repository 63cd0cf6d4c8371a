// Entry values as numbers: the integers and floating-point texts that the
// typed writers produce, recognised on all of a value's bytes.
#ifndef ULVEX_SRC_COLUMNS_NUMBER_H
#define ULVEX_SRC_COLUMNS_NUMBER_H

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "common/byte_search.h"

namespace ulvex {
namespace detail {

// What a value is, from the narrowest type that holds it.
enum NumberKind : unsigned char {
    kNotNumber = 0,
    kNegative = 1,  // an integer in [-2^63, 0): `bits` is its two's complement
    kSmall = 2,     // an integer in [0, 2^63)
    kLarge = 3,     // an integer in [2^63, 2^64)
    kFloat = 4,     // any other number: `bits` holds its double
};

struct Number {
    NumberKind kind;
    std::uint64_t bits;
};

inline bool IsDigit(unsigned char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Whether the eight bytes at `p` are all digits, and their value.
inline bool EightDigits(const unsigned char* p) {
    const std::uint64_t w = LoadLe64(p);
    return ((w & 0xF0F0F0F0F0F0F0F0ull) | (((w + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) ==
           0x3333333333333333ull;
}
inline std::uint64_t EightDigitsValue(const unsigned char* p) {
    std::uint64_t w = LoadLe64(p) - 0x3030303030303030ull;
    w = w * 10 + (w >> 8);  // pairs of digits in every other byte
    return (((w & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
            (((w >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
           32;
}

inline int HexDigit(unsigned char c) {
    if (IsDigit(c)) return c - '0';
    const unsigned char l = static_cast<unsigned char>(c | 0x20);
    return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

inline Number FloatNumber(double d) {
    Number r{kFloat, 0};
    std::memcpy(&r.bits, &d, sizeof d);
    return r;
}

inline Number Integer(bool negative, std::uint64_t magnitude) {
    if (!negative) return Number{magnitude >> 63 ? kLarge : kSmall, magnitude};
    if (magnitude == 0) return Number{kSmall, 0};
    if (magnitude > (std::uint64_t(1) << 63)) return FloatNumber(-static_cast<double>(magnitude));
    return Number{kNegative, ~magnitude + 1};
}

// Floating-point text beyond double's range: an infinity or a zero of the
// sign. The decimal exponent of the leading digit decides which; the texts
// concerned are hundreds of orders of magnitude from 1.
inline double OutOfRange(const unsigned char* s, std::size_t n) {
    const bool neg = s[0] == '-';
    long lead = 0;  // digits before the point from the first non-zero one, or minus the zeros after it
    bool point = false, seen = false;
    std::size_t i = neg ? 1 : 0;
    for (; i < n && s[i] != 'e' && s[i] != 'E'; ++i) {
        if (s[i] == '.')
            point = true;
        else if (seen || s[i] != '0') {
            seen = true;
            if (!point) ++lead;
        } else if (point)
            --lead;
    }
    long exp = 0;
    if (i < n) {
        const char* e = reinterpret_cast<const char*>(s + i + 1);
        const bool expNeg = *e == '-';
        if (*e == '+' || *e == '-') ++e;
        if (std::from_chars(e, reinterpret_cast<const char*>(s + n), exp).ec != std::errc()) exp = 1L << 40;
        if (expNeg) exp = -exp;
    }
    const double big = lead + exp > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return neg ? -big : big;
}

// The number that all `n` bytes at `s` write, or kNotNumber.
inline Number ParseNumber(const unsigned char* s, std::size_t n) {
    const Number none{kNotNumber, 0};
    if (n == 0) return none;
    const bool neg = s[0] == '-';
    std::size_t i = neg ? 1 : 0;
    if (i == n) return none;
    // Decimal integers, the common case: after any leading zeros, 19 digits
    // always fit 64 bits, a 20th is checked.
    std::uint64_t v = 0;
    std::size_t z = i;
    while (z < n && s[z] == '0') ++z;
    std::size_t j = z;
    const std::size_t stop = n - z > 19 ? z + 19 : n;
    for (; j + 8 <= stop && EightDigits(s + j); j += 8) v = v * 100000000 + EightDigitsValue(s + j);
    for (; j < stop && IsDigit(s[j]); ++j) v = v * 10 + static_cast<unsigned>(s[j] - '0');
    if (j == n) return Integer(neg, v);
    if (j == z + 19 && j + 1 == n && IsDigit(s[j]) && !__builtin_mul_overflow(v, 10u, &v) &&
        !__builtin_add_overflow(v, static_cast<unsigned>(s[j] - '0'), &v))
        return Integer(neg, v);
    if (!neg && n > 2 && s[0] == '0' && s[1] == 'x') {
        std::uint64_t h = 0;
        std::size_t k = 2;
        for (; k < n && h >> 60 == 0; ++k) {
            const int d = HexDigit(s[k]);
            if (d < 0) return none;
            h = h << 4 | static_cast<unsigned>(d);
        }
        if (k == n) return Integer(false, h);
        for (std::size_t m = k; m < n; ++m)
            if (HexDigit(s[m]) < 0) return none;
        double d = 0;  // wider than 64 bits: the nearest double
        if (std::from_chars(reinterpret_cast<const char*>(s + 2), reinterpret_cast<const char*>(s + n), d,
                            std::chars_format::hex)
                .ec != std::errc())
            d = std::numeric_limits<double>::infinity();
        return FloatNumber(d);
    }
    // Floating point: check the form, gathering the digits. Up to 2^53 with a
    // power of ten to 22 both factors are exact doubles, so one multiplication
    // or division rounds correctly; other texts go to from_chars.
    std::size_t k = i;
    const std::size_t rest = n - i;
    std::uint64_t mant = 0;
    long scale = 0;
    bool exact = true;
    if ((rest == 3 && std::memcmp(s + i, "inf", 3) == 0) || (rest == 3 && std::memcmp(s + i, "nan", 3) == 0)) {
        exact = false;
    } else {
        std::size_t digits = 0;
        bool point = false;
        for (; k < n; ++k) {
            if (s[k] == '.' && !point) {
                point = true;
                continue;
            }
            if (!IsDigit(s[k])) break;
            ++digits;
            if (mant >= (std::uint64_t(1) << 53) / 10) {
                exact = false;
            } else {
                mant = mant * 10 + static_cast<unsigned>(s[k] - '0');
                scale -= point ? 1 : 0;
            }
        }
        if (digits == 0) return none;
        if (k < n && (s[k] == 'e' || s[k] == 'E')) {
            ++k;
            const bool expNeg = k < n && s[k] == '-';
            if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
            if (k == n || !IsDigit(s[k])) return none;
            long e = 0;
            for (; k < n && IsDigit(s[k]); ++k) e = e < 100000 ? e * 10 + (s[k] - '0') : e;
            scale += expNeg ? -e : e;
        }
        if (k != n) return none;
    }
    static const double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (exact && scale >= -22 && scale <= 22) {
        double d = static_cast<double>(mant);
        d = scale < 0 ? d / kPow10[-scale] : d * kPow10[scale];
        return FloatNumber(neg ? -d : d);
    }
    double d = 0;
    const std::from_chars_result r =
        std::from_chars(reinterpret_cast<const char*>(s), reinterpret_cast<const char*>(s + n), d);
    if (r.ec == std::errc::result_out_of_range) d = OutOfRange(s, n);
    return FloatNumber(d);
}

inline double AsDouble(Number x) {
    switch (x.kind) {
        case kNegative:
            return static_cast<double>(static_cast<std::int64_t>(x.bits));
        case kSmall:
        case kLarge:
            return static_cast<double>(x.bits);
        default: {
            double d;
            std::memcpy(&d, &x.bits, sizeof d);
            return d;
        }
    }
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_COLUMNS_NUMBER_H
