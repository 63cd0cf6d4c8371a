// The payload entry reader, as spans over the payload: the one walk behind
// CUlvexDataFormatter::FindInDataAllEntry and the C API's entry readers.
// Everything here is inline and hidden; nothing is exported.
#ifndef ULVEX_SRC_FORMATTER_ENTRY_READER_H
#define ULVEX_SRC_FORMATTER_ENTRY_READER_H

#include <cstddef>
#include <cstring>

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
        const void* sep = start + 1 < n ? std::memchr(d + start + 1, '=', n - start - 1) : nullptr;
        if (sep == nullptr) {
            fn(d + start, n - start, d + n, std::size_t(0));
            return;
        }
        const std::size_t eq = static_cast<std::size_t>(static_cast<const unsigned char*>(sep) - d);
        const std::size_t end = ValueEnd(d, n, eq + 1);
        const unsigned char* v = d + eq + 1;
        const void* nul = std::memchr(v, 0, end - eq - 1);
        const std::size_t vlen =
            nul != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - v) : end - eq - 1;
        fn(d + start, eq - start, v, vlen);
        start = end + 3;
    }
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_FORMATTER_ENTRY_READER_H
