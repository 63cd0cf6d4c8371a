// The payload entry reader, as spans over the payload: the one walk behind
// CUlvexDataFormatter::FindInDataAllEntry and the C API's entry readers.
// Everything here is inline and hidden; nothing is exported.
#ifndef ULVEX_SRC_FORMATTER_ENTRY_READER_H
#define ULVEX_SRC_FORMATTER_ENTRY_READER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/byte_search.h"

namespace ulvex {
namespace detail {

// Where a value that starts at `s` ends: the first position p >= s where
// fewer than three bytes remain, or d[p] is '|', or d[p+1] is CR, or d[p+2]
// is LF. The conditions are tried in that order, so nothing at or past `n`
// is read.
inline std::size_t ValueEnd(const unsigned char* d, std::size_t n, std::size_t s) {
    for (std::size_t p = s;; ++p) {
        if (p + 2 >= n) return p;
        if (d[p] == '|' || d[p + 1] == '\r' || d[p + 2] == '\n') return p;
    }
}

// Word-at-a-time searches: eight positions per step while all the bytes
// they look at lie inside the data, then one at a time.
constexpr std::uint64_t kOnes = 0x0101010101010101ull;

inline std::size_t LowestByte(std::uint64_t mask) { return static_cast<std::size_t>(__builtin_ctzll(mask)) / 8; }

// The first position from `s` on holding `c`, or `n`.
inline std::size_t FindByte(const unsigned char* d, std::size_t n, std::size_t s, unsigned char c) {
    for (; s + 8 <= n; s += 8) {
        const std::uint64_t m = ZeroBytes(LoadLe64(d + s) ^ (kOnes * c));
        if (m != 0) return s + LowestByte(m);
    }
    for (; s < n; ++s)
        if (d[s] == c) return s;
    return n;
}

// ValueEnd, and in `nul` the first zero byte in [s, end), or end.
inline std::size_t ValueEndAndNul(const unsigned char* d, std::size_t n, std::size_t s, std::size_t& nul) {
    const std::size_t none = ~std::size_t(0);
    nul = none;
    std::size_t p = s;
    // Positions p to p + 7 read bytes up to p + 9 and all leave three bytes.
    for (; p + 10 <= n; p += 8) {
        const std::uint64_t w = LoadLe64(d + p);
        const std::uint64_t stop = ZeroBytes(w ^ (kOnes * '|')) | ZeroBytes(LoadLe64(d + p + 1) ^ (kOnes * '\r')) |
                                   ZeroBytes(LoadLe64(d + p + 2) ^ (kOnes * '\n'));
        const std::uint64_t zero = ZeroBytes(w);
        if (zero != 0 && nul == none) nul = p + LowestByte(zero);
        if (stop != 0) {
            p += LowestByte(stop);
            if (nul > p) nul = p;
            return p;
        }
    }
    const std::size_t tail = p;
    p = ValueEnd(d, n, p);
    if (nul == none) {
        const void* z = std::memchr(d + tail, 0, p - tail);
        nul = z != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(z) - d) : p;
    }
    return p;
}

// Calls fn(key, keyLen, value, valueLen) for every entry of the `n` bytes at
// `d`, in payload order (a key may come more than once; the last one counts).
// Keys are never empty: the byte at an entry's start always belongs to the
// key, even when it is '='. An entry without '=' takes the rest of the bytes
// as its key, with an empty value, and ends the walk. A value is cut at its
// first NUL. After a value the three bytes that follow it are skipped,
// whatever they are.
template <class Fn>
void ForEachEntry(const unsigned char* d, std::size_t n, Fn&& fn) {
    std::size_t start = 0;
    while (start < n) {
        const std::size_t eq = FindByte(d, n, start + 1, '=');
        if (eq >= n) {
            fn(d + start, n - start, d + n, std::size_t(0));
            return;
        }
        std::size_t nul;
        const std::size_t end = ValueEndAndNul(d, n, eq + 1, nul);
        fn(d + start, eq - start, d + eq + 1, nul - eq - 1);
        start = end + 3;
    }
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_FORMATTER_ENTRY_READER_H
