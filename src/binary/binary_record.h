// The binary record test, written once: what stands at a position of an
// input given the bytes available there. Every binary reader decides through
// ExamineBinary: the lookups, DecodeTag, the bulk and helper-driven scans, the
// streaming reader and the any-size scan.
#ifndef ULVEX_SRC_BINARY_BINARY_RECORD_H
#define ULVEX_SRC_BINARY_BINARY_RECORD_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/block_sums.h"
#include "common/byte_search.h"
#include "common/checksum.h"
#include "common/wire.h"
#include "ulvex/format.h"
#include "ulvex/stag.h"

namespace ulvex {
namespace detail {

// The binary record at `h`, given the `avail` bytes from `h` on (at least 1),
// which hold the input from offset `off` on. The checks run in the lookups'
// order: header markers and name (`headerName`, given the header's four name
// bytes), the record fitting, footer markers and name (`footerName`, given the
// header's and the footer's name bytes), the checksum. A header announcing
// more than `maxPayload` bytes is rejected at once.
//
// A record is decided on its own bytes: the header's, the payload's and the
// footer's. The one thing the end of the input adds is that a lookup tries
// only positions with more than a header and footer behind them, so a record
// without payload needs one more byte after it: `need` is at least 21.
// On Record, `L` is the payload length.
template <class HeaderName, class FooterName, class Sums>
inline Verdict ExamineBinary(const unsigned char* h, std::uint64_t avail, std::uint64_t maxPayload,
                             HeaderName headerName, FooterName footerName, Sums& sums, std::uint64_t off,
                             std::uint32_t& L, std::uint64_t& need) {
    need = kFrameSize + 1;
    if (h[0] != '<') return Verdict::NotRecord;
    if (avail < 2) return Verdict::NeedMore;
    if (h[1] != 'h') return Verdict::NotRecord;
    if (avail < kHeaderSize) return Verdict::NeedMore;
    if (h[11] != '>' || !headerName(h + 2)) return Verdict::NotRecord;
    const std::uint32_t l = LoadLe32(h + 6);
    if (l > maxPayload) return Verdict::Rejected;
    if (l != 0) need = std::uint64_t{kFrameSize} + l;
    if (avail < need) return Verdict::NeedMore;
    const unsigned char* f = h + kHeaderSize + l;
    if (!FooterMarkersOk(f) || !footerName(h + 2, f + 1)) return Verdict::Rejected;
    if (sums.Sum(h + kHeaderSize, off + kHeaderSize, l) != LoadLe16(f + 5)) return Verdict::Rejected;
    L = l;
    return Verdict::Record;
}

// The first valid record at or after `start` among positions below `stop`
// of the `len` bytes at `b` (records may run past `stop`, not past `len`),
// with a payload of at most `maxPayload` bytes:
// returns true and sets `pos` and `L`, or returns false. Only positions whose
// first N bytes equal `pat` (a prefix every record of this search has) are
// examined; the result is the same as trying every byte.
template <int N, class HeaderName, class FooterName, class Sums>
inline bool FindBinary(const unsigned char* b, std::uint64_t len, std::uint64_t start, std::uint64_t stop,
                       std::uint64_t maxPayload, const BytePattern<N>& pat, HeaderName headerName,
                       FooterName footerName, Sums& sums, std::uint64_t& pos, std::uint32_t& L) {
    // A position has more than a header and footer behind it, so a pattern
    // inside the header is readable.
    if (len <= kFrameSize) return false;
    if (stop > len - kFrameSize) stop = len - kFrameSize;
    if (start >= stop) return false;
    const unsigned char* const end = b + stop;
    for (const unsigned char* q = b + start;; ++q) {
        q = FindPattern<N>(q, end, pat);
        if (q == end) return false;
        const std::uint64_t p = static_cast<std::uint64_t>(q - b);
        std::uint64_t need = 0;
        if (ExamineBinary(q, len - p, maxPayload, headerName, footerName, sums, p, L, need) == Verdict::Record) {
            pos = p;
            return true;
        }
    }
}

// Fills `r` for the binary record at position `pos`, whose header is at `h`.
inline void FillBinaryRecord(Record& r, std::uint64_t pos, const unsigned char* h, std::uint32_t L) {
    r.offset = pos;
    r.payloadOffset = pos + kHeaderSize;
    r.payloadLen = L;
    r.recordLen = L + kFrameSize;
    std::memcpy(r.name, h + 2, 4);
    r.version = h[10];
}

inline void FillBinaryTag(STag& tag, const unsigned char* h, std::uint32_t L) {
    NameToString(h + 2, tag.TagName);
    tag.PtrTag = h;
    tag.PtrPayload = h + kHeaderSize;
    tag.PayloadLen = L;
    tag.TagLen = L + kFrameSize;
    tag.Version = h[10];
}

// Header name checks.
struct AnyName {
    bool operator()(const unsigned char*) const { return true; }
};
// Footer name check of the any-name scans: the footer repeats the header's
// name up to the header name's first NUL.
struct SameNameAsHeader {
    bool operator()(const unsigned char* headerName, const unsigned char* footerName) const {
        // Four equal bytes match whatever the NULs; otherwise the prefix rule decides.
        return std::memcmp(headerName, footerName, 4) == 0 ||
               NameMatchesPrefix(footerName, reinterpret_cast<const char*>(headerName));
    }
};

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_BINARY_BINARY_RECORD_H
