// The candidate search and the binary record test shared by every lookup.
#ifndef ULVEX_SRC_DECODER_SCAN_DETAIL_H
#define ULVEX_SRC_DECODER_SCAN_DETAIL_H

#include <cstddef>
#include <cstring>
#include <string>

#include "decoder/payload_sums.h"
#include "record/record_detail.h"
#include "ulvex/stag.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define ULVEX_HAVE_AVX2_PATH 1
#endif

namespace ulvex {
namespace detail {

// --- candidate search -----------------------------------------------------
//
// A record can only start where its first bytes are known: "<h" for any
// header, "<h" and the first name byte for a lookup of one name. The search
// returns the first position q in [p, end) whose N bytes equal `pat`, or
// `end`; it reads q[0 .. N-1] for q < end only, so the caller guarantees
// that the N - 1 bytes after `end` are readable. Positions are tried in
// order, so the first candidate is the same as a byte-by-byte walk finds.

template <int N>
inline bool MatchesAt(const unsigned char* q, const unsigned char* pat) {
    for (int k = 0; k < N; ++k)
        if (q[k] != pat[k]) return false;
    return true;
}

template <int N>
inline const unsigned char* FindPatternScalar(const unsigned char* p, const unsigned char* end,
                                              const unsigned char* pat) {
    for (; p < end; ++p)
        if (MatchesAt<N>(p, pat)) return p;
    return end;
}

#if defined(__SSE2__)
template <int N>
inline __m128i MatchMask16(const unsigned char* q, const __m128i* v) {
    __m128i m = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), v[0]);
    for (int k = 1; k < N; ++k)
        m = _mm_and_si128(m, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + k)), v[k]));
    return m;
}

template <int N>
inline const unsigned char* FindPatternSse2(const unsigned char* p, const unsigned char* end,
                                            const unsigned char* pat) {
    __m128i v[N];
    for (int k = 0; k < N; ++k) v[k] = _mm_set1_epi8(static_cast<char>(pat[k]));
    // Four vectors per round; their masks are combined before the one branch.
    for (; end - p >= 64; p += 64) {
        const __m128i m0 = MatchMask16<N>(p, v), m1 = MatchMask16<N>(p + 16, v);
        const __m128i m2 = MatchMask16<N>(p + 32, v), m3 = MatchMask16<N>(p + 48, v);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3))) == 0) continue;
        const unsigned long long bits =
            static_cast<unsigned long long>(static_cast<unsigned>(_mm_movemask_epi8(m0))) |
            static_cast<unsigned long long>(static_cast<unsigned>(_mm_movemask_epi8(m1))) << 16 |
            static_cast<unsigned long long>(static_cast<unsigned>(_mm_movemask_epi8(m2))) << 32 |
            static_cast<unsigned long long>(static_cast<unsigned>(_mm_movemask_epi8(m3))) << 48;
        return p + __builtin_ctzll(bits);
    }
    for (; end - p >= 16; p += 16) {
        const int bits = _mm_movemask_epi8(MatchMask16<N>(p, v));
        if (bits != 0) return p + __builtin_ctz(static_cast<unsigned>(bits));
    }
    return FindPatternScalar<N>(p, end, pat);
}
#endif

#if defined(ULVEX_HAVE_AVX2_PATH)
template <int N>
__attribute__((target("avx2"))) inline __m256i MatchMask32(const unsigned char* q, const __m256i* v) {
    __m256i m = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q)), v[0]);
    for (int k = 1; k < N; ++k)
        m = _mm256_and_si256(m,
                             _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + k)), v[k]));
    return m;
}

template <int N>
__attribute__((target("avx2"), noinline)) const unsigned char* FindPatternAvx2(const unsigned char* p,
                                                                              const unsigned char* end,
                                                                              const unsigned char* pat) {
    __m256i v[N];
    for (int k = 0; k < N; ++k) v[k] = _mm256_set1_epi8(static_cast<char>(pat[k]));
    for (; end - p >= 128; p += 128) {
        const __m256i m0 = MatchMask32<N>(p, v), m1 = MatchMask32<N>(p + 32, v);
        const __m256i m2 = MatchMask32<N>(p + 64, v), m3 = MatchMask32<N>(p + 96, v);
        const __m256i any = _mm256_or_si256(_mm256_or_si256(m0, m1), _mm256_or_si256(m2, m3));
        if (_mm256_testz_si256(any, any)) continue;
        const unsigned long long lo =
            static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(m0))) |
            static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(m1))) << 32;
        if (lo != 0) return p + __builtin_ctzll(lo);
        const unsigned long long hi =
            static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(m2))) |
            static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(m3))) << 32;
        return p + 64 + __builtin_ctzll(hi);
    }
    for (; end - p >= 32; p += 32) {
        const unsigned bits = static_cast<unsigned>(_mm256_movemask_epi8(MatchMask32<N>(p, v)));
        if (bits != 0) return p + __builtin_ctz(bits);
    }
    return FindPatternScalar<N>(p, end, pat);
}

inline bool CpuHasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
#endif

template <int N>
inline const unsigned char* FindPattern(const unsigned char* p, const unsigned char* end,
                                        const unsigned char* pat) {
    // Records laid back to back put the next candidate right at `p`, or a
    // line end away from it: the first positions are tried one by one, which
    // lets the processor run ahead on a predicted position instead of waiting
    // for a vector compare. Dense bytes put one within a few positions.
    if (end - p >= 4) {
        if (MatchesAt<N>(p, pat)) return p;
        if (MatchesAt<N>(p + 1, pat)) return p + 1;
        if (MatchesAt<N>(p + 2, pat)) return p + 2;
        if (MatchesAt<N>(p + 3, pat)) return p + 3;
        p += 4;
    }
#if defined(__SSE2__)
    if (end - p >= 16) {
        __m128i v[N];
        for (int k = 0; k < N; ++k) v[k] = _mm_set1_epi8(static_cast<char>(pat[k]));
        const int bits = _mm_movemask_epi8(MatchMask16<N>(p, v));
        if (bits != 0) return p + __builtin_ctz(static_cast<unsigned>(bits));
        p += 16;
    }
#endif
#if defined(ULVEX_HAVE_AVX2_PATH)
    if (end - p >= 128 && CpuHasAvx2()) return FindPatternAvx2<N>(p, end, pat);
#endif
#if defined(__SSE2__)
    return FindPatternSse2<N>(p, end, pat);
#else
    return FindPatternScalar<N>(p, end, pat);
#endif
}

// --- binary records ---------------------------------------------------------

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
inline unsigned int ScanBinary(const unsigned char* b, unsigned int len, unsigned int start,
                               const unsigned char* pat, HeaderName headerName, FooterName footerName,
                               unsigned int& pos, unsigned int& L) {
    static_assert(N <= kHeaderSize, "the pattern lies inside the header");
    if (len <= kFrameSize) return 0;
    const unsigned int limit = len - kFrameSize;
    if (start >= limit) return 0;
    LookupSums sums(b, len);
    // A candidate below `limit` has its whole header inside the buffer.
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

// The prefix every header has.
constexpr unsigned char kHeaderStart[2] = {'<', 'h'};

// Sets `out` to the four name bytes up to the first NUL. Names are at most
// four bytes, so once `out` has room this never allocates.
inline void SetTagName(std::string& out, const unsigned char* nb) {
    out.clear();
    for (int i = 0; i < 4 && nb[i] != 0; ++i) out.push_back(static_cast<char>(nb[i]));
}

inline void FillBinaryTag(STag& tag, const unsigned char* b, unsigned int p, unsigned int L) {
    const unsigned char* h = b + p;
    SetTagName(tag.TagName, h + 2);
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

#endif  // ULVEX_SRC_DECODER_SCAN_DETAIL_H
