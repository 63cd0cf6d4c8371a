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

// The value of eight digit bytes loaded into `w`, the first in the low byte.
inline std::uint64_t EightDigitsValue(std::uint64_t w) {
    w -= 0x3030303030303030ull;
    w = w * 10 + (w >> 8);  // pairs of digits in every other byte
    return (((w & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
            (((w >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
           32;
}

constexpr std::uint64_t kPow10Int[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// How many of the eight bytes in `w` (the first in the low byte) are digits
// before the first that is not.
inline std::size_t DigitCount(std::uint64_t w) {
    // Zero in exactly the digit bytes, up to the first other byte.
    const std::uint64_t other =
        ((w & 0xF0F0F0F0F0F0F0F0ull) | (((w + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) ^
        0x3333333333333333ull;
    return other == 0 ? 8 : static_cast<std::size_t>(__builtin_ctzll(~ZeroBytes(other) & 0x8080808080808080ull)) / 8;
}

// The first `run` (1 to 8) bytes of `w` as the last digits of eight, the
// bytes before them '0'.
inline std::uint64_t AlignDigits(std::uint64_t w, std::size_t run) {
    return run == 8 ? w : w << (64 - 8 * run) | 0x3030303030303030ull >> (8 * run);
}

// Reads the run of digits at `p`, at most `max` of them, into `v` (v * 10^k
// + their value) and returns how many there were. Eight bytes at a time when
// `p` has eight readable bytes before `readEnd`: the run's length comes from
// a mask of the bytes that are not digits, and its value from the word with
// the bytes past the run shifted out and zeros shifted in before it, so no
// branch depends on a digit. Bytes past the run are read, never used.
inline std::size_t DigitRun(const unsigned char* p, std::size_t max, const unsigned char* readEnd, std::uint64_t& v) {
    std::size_t k = 0;
    while (k < max && readEnd - (p + k) >= 8) {
        const std::uint64_t w = LoadLe64(p + k);
        std::size_t run = DigitCount(w);
        if (run > max - k) run = max - k;
        if (run == 0) return k;
        v = v * kPow10Int[run] + EightDigitsValue(AlignDigits(w, run));
        k += run;
        if (run < 8) return k;
    }
    for (; k < max && IsDigit(p[k]); ++k) v = v * 10 + static_cast<unsigned>(p[k] - '0');
    return k;
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

constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                               1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The float writers' common form, digits '.' digits with no exponent and at
// most 15 digits in all: `v` holds the digits before the point (from `i`,
// up to the point at `point`). Fifteen digits fit a double exactly, and so
// does a power of ten up to 22, so one division gives the correctly rounded
// value. False for any other text, which the general path then reads.
inline bool ShortFraction(const unsigned char* s, std::size_t n, std::size_t i, std::size_t point, std::uint64_t v,
                          const unsigned char* readEnd, double& d) {
    const std::size_t f = point + 1;
    if (point - i > 15 || n - f > 15 - (point - i) || (point == i && f == n)) return false;
    if (DigitRun(s + f, n - f, readEnd, v) != n - f) return false;
    d = static_cast<double>(v) / kPow10[n - f];
    return true;
}

// The number that all `n` bytes at `s` write, or kNotNumber. The bytes up to
// `readEnd` (at least `s + n`) may be read, not used, for speed.
inline Number ParseNumber(const unsigned char* s, std::size_t n, const unsigned char* readEnd) {
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
    const std::size_t j = z + DigitRun(s + z, n - z > 19 ? 19 : n - z, readEnd, v);
    if (j == n) return Integer(neg, v);
    if (j == z + 19 && j + 1 == n && IsDigit(s[j]) && !__builtin_mul_overflow(v, 10u, &v) &&
        !__builtin_add_overflow(v, static_cast<unsigned>(s[j] - '0'), &v))
        return Integer(neg, v);
    double fraction;
    if (s[j] == '.' && ShortFraction(s, n, i, j, v, readEnd, fraction)) return FloatNumber(neg ? -fraction : fraction);
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
