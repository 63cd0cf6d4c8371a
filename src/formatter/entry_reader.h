// The payload entry reader, as spans over the payload: the one walk behind
// CUlvexDataFormatter::FindInDataAllEntry, the C API's entry readers and the
// column reader. Where the bytes after a payload may be read too (the column
// reader's payloads inside a buffer), it walks on byte masks; otherwise a
// word at a time. Everything here is inline and hidden; nothing is exported.
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

// Word-at-a-time searches: eight positions per step while eight bytes can be
// read, then one at a time.
constexpr std::uint64_t kOnes = 0x0101010101010101ull;

inline std::size_t LowestByte(std::uint64_t mask) { return static_cast<std::size_t>(__builtin_ctzll(mask)) / 8; }

// Below, `readable` (at least `n`) is how many bytes from `d` may be read:
// the searches go eight positions at a time while they can read eight bytes,
// and never use a byte at or past `n`.

// The first position from `s` on holding `c`, or `n`.
inline std::size_t FindByte(const unsigned char* d, std::size_t n, std::size_t readable, std::size_t s,
                            unsigned char c) {
    for (; s < n && s + 8 <= readable; s += 8) {
        const std::uint64_t m = ZeroBytes(LoadLe64(d + s) ^ (kOnes * c));
        if (m != 0) return s + LowestByte(m) < n ? s + LowestByte(m) : n;
    }
    for (; s < n; ++s)
        if (d[s] == c) return s;
    return n;
}

// ValueEnd, and in `nul` the first zero byte in [s, end), or end.
inline std::size_t ValueEndAndNul(const unsigned char* d, std::size_t n, std::size_t readable, std::size_t s,
                                  std::size_t& nul) {
    const std::size_t none = ~std::size_t(0);
    const std::size_t last = n >= 2 ? n - 2 : 0;  // every position from here on ends the value
    nul = none;
    std::size_t p = s;
    // Positions p to p + 7 read the bytes up to p + 9.
    for (; p < last && p + 10 <= readable; p += 8) {
        const std::uint64_t w = LoadLe64(d + p);
        std::uint64_t stop = ZeroBytes(w ^ (kOnes * '|')) | ZeroBytes(LoadLe64(d + p + 1) ^ (kOnes * '\r')) |
                             ZeroBytes(LoadLe64(d + p + 2) ^ (kOnes * '\n'));
        if (last - p < 8) stop |= 0x8080808080808080ull << (8 * (last - p));
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
    if (nul == none)  // a few bytes at most: a loop beats a call
        for (nul = tail; nul < p && d[nul] != 0; ++nul) {
        }
    return p;
}

#if defined(__SSE2__)
// The walk below on bit masks: for 64 positions from a multiple of 64, which
// hold '=', which end a value (the ValueEnd conditions, apart from the
// payload's end) and which hold a zero byte. The masks are built sixteen
// positions at a time with no branch, so finding an entry's parts costs a
// few bit operations instead of a chain of dependent searches.
struct EntryMasks {
    std::uint64_t eq, stop, zero;
};

// Reads the 66 bytes at `p`.
inline EntryMasks MasksAt(const unsigned char* p) {
    const __m128i eq = _mm_set1_epi8('='), bar = _mm_set1_epi8('|'), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'),
                  zero = _mm_setzero_si128();
    EntryMasks m{0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k + 1));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k + 2));
        const __m128i stop =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, bar), _mm_cmpeq_epi8(b, cr)), _mm_cmpeq_epi8(c, lf));
        const int shift = 16 * k;
        m.eq |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, eq)))) << shift;
        m.stop |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(stop))) << shift;
        m.zero |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, zero))))
                  << shift;
    }
    return m;
}

// ForEachEntry on masks; false, having called nothing, when the windows
// would read past `readable`.
template <class Fn>
bool ForEachEntryMasked(const unsigned char* d, std::size_t n, std::size_t readable, Fn& fn) {
    if (n == 0 || ((n - 1) | 63) + 3 > readable) return n == 0;
    const std::size_t last = n >= 2 ? n - 2 : 0;  // every position from here on ends a value
    std::size_t base = 0;
    EntryMasks m = MasksAt(d);
    auto window = [&](std::size_t p) {  // p < n
        if (p - base >= 64) {
            base = p & ~std::size_t(63);
            m = MasksAt(d + base);
        }
        return p - base;
    };
    std::size_t start = 0;
    while (start < n) {
        std::size_t eq = n;
        for (std::size_t p = start + 1; p < n; p = base + 64) {
            const std::size_t off = window(p);  // before m is read: it may load another window
            const std::uint64_t hit = m.eq >> off;
            if (hit != 0) {
                eq = p + static_cast<std::size_t>(__builtin_ctzll(hit));
                break;
            }
        }
        if (eq >= n) {
            fn(d + start, n - start, d + n, std::size_t(0));
            return true;
        }
        std::size_t end = eq + 1 > last ? eq + 1 : last;
        std::size_t nul = ~std::size_t(0);
        for (std::size_t p = eq + 1; p < last; p = base + 64) {
            const std::size_t off = window(p);
            const std::uint64_t stop = m.stop >> off, zero = m.zero >> off;
            if (zero != 0 && nul == ~std::size_t(0)) nul = p + static_cast<std::size_t>(__builtin_ctzll(zero));
            if (stop != 0) {
                const std::size_t e = p + static_cast<std::size_t>(__builtin_ctzll(stop));
                end = e < last ? e : last;
                break;
            }
        }
        if (nul > end) nul = end;
        fn(d + start, eq - start, d + eq + 1, nul - eq - 1);
        start = end + 3;
    }
    return true;
}
#endif

// Calls fn(key, keyLen, value, valueLen) for every entry of the `n` bytes at
// `d`, in payload order (a key may come more than once; the last one counts).
// Keys are never empty: the byte at an entry's start always belongs to the
// key, even when it is '='. An entry without '=' takes the rest of the bytes
// as its key, with an empty value, and ends the walk. A value is cut at its
// first NUL. After a value the three bytes that follow it are skipped,
// whatever they are.
template <class Fn>
void ForEachEntry(const unsigned char* d, std::size_t n, std::size_t readable, Fn&& fn) {
#if defined(__SSE2__)
    if (ForEachEntryMasked(d, n, readable, fn)) return;
#endif
    std::size_t start = 0;
    while (start < n) {
        const std::size_t eq = FindByte(d, n, readable, start + 1, '=');
        if (eq >= n) {
            fn(d + start, n - start, d + n, std::size_t(0));
            return;
        }
        std::size_t nul;
        const std::size_t end = ValueEndAndNul(d, n, readable, eq + 1, nul);
        fn(d + start, eq - start, d + eq + 1, nul - eq - 1);
        start = end + 3;
    }
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_FORMATTER_ENTRY_READER_H
