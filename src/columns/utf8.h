// Whether bytes are well-formed UTF-8: no overlong forms, no surrogates, no
// code points above U+10FFFF, no cut sequences.
#ifndef ULVEX_SRC_COLUMNS_UTF8_H
#define ULVEX_SRC_COLUMNS_UTF8_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ulvex {
namespace detail {

inline bool WellFormedUtf8(const unsigned char* p, std::size_t n) {
    // Short ASCII values, the common case, without a branch per byte.
    unsigned char any = 0;
    for (std::size_t k = 0; k < n && k < 16; ++k) any = static_cast<unsigned char>(any | p[k]);
    if (n <= 16 && any < 0x80) return true;
    std::size_t i = 0;
    while (i < n) {
        // ASCII, eight bytes at a time.
        if (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            if ((w & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        // The second byte's range depends on the first; the others are 80-BF.
        std::size_t len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (n - i < len || p[i + 1] < lo || p[i + 1] > hi) return false;
        for (std::size_t k = 2; k < len; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_COLUMNS_UTF8_H
