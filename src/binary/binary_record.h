// The binary record test and scan shared by every binary lookup.
#ifndef ULVEX_SRC_BINARY_BINARY_RECORD_H
#define ULVEX_SRC_BINARY_BINARY_RECORD_H

#include <cstddef>
#include <cstring>
#include <string>

#include "common/block_sums.h"
#include "common/byte_search.h"
#include "common/checksum.h"
#include "common/wire.h"
#include "ulvex/stag.h"

namespace ulvex {
namespace detail {

// Whether a valid binary record starts at offset `p` of the `len` bytes at
// `b`, where p < len - 20. The checks run in the lookups' order: header
// markers and name (`headerName`, given the header's four name bytes), the
// record fitting in the buffer, footer markers and name (`footerName`, given
// the header's and the footer's name bytes), the checksum. On success `L` is
// the payload length.
template <class HeaderName, class FooterName>
inline bool RecordAt(const unsigned char* b, unsigned int len, unsigned int p, HeaderName headerName,
                     FooterName footerName, LookupSums& sums, unsigned int& L) {
    const unsigned char* h = b + p;
    if (!HeaderMarkersOk(h) || !headerName(h + 2)) return false;
    const unsigned int l = LoadLe32(h + 6);
    // p < len - 20, so len - p - 20 cannot wrap; l is compared, never added.
    if (l > len - p - kFrameSize) return false;
    const unsigned char* f = h + kHeaderSize + l;
    if (!FooterMarkersOk(f) || !footerName(h + 2, f + 1)) return false;
    if (sums.Sum(p + kHeaderSize, l) != LoadLe16(f + 5)) return false;
    L = l;
    return true;
}

// The first valid record at or after `start`: returns the offset just past
// its footer and sets `pos` and `L`, or returns 0. Only positions whose
// first N bytes equal `pat` (a prefix every record of this lookup has) are
// tested; the result is the same as trying every byte.
template <int N, class HeaderName, class FooterName>
inline unsigned int ScanBinary(const unsigned char* b, unsigned int len, unsigned int start, const BytePattern<N>& pat,
                               HeaderName headerName, FooterName footerName, unsigned int& pos, unsigned int& L) {
    if (len <= kFrameSize) return 0;
    const unsigned int limit = len - kFrameSize;
    if (start >= limit) return 0;
    LookupSums sums(b, len);
    // A candidate below `limit` has its whole header inside the buffer, so
    // a pattern inside the header is readable.
    const unsigned char* const end = b + limit;
    for (const unsigned char* q = b + start;; ++q) {
        q = FindPattern<N>(q, end, pat);
        if (q == end) return 0;
        const unsigned int p = static_cast<unsigned int>(q - b);
        if (RecordAt(b, len, p, headerName, footerName, sums, L)) {
            pos = p;
            return p + kFrameSize + L;
        }
    }
}

inline void FillBinaryTag(STag& tag, const unsigned char* b, unsigned int p, unsigned int L) {
    const unsigned char* h = b + p;
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
