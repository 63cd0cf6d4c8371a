// Vector search for positions where a few bytes at fixed offsets have fixed
// values: the candidate search of the scans ("<h" and a name byte at the
// start of a header) and of the entry reader (bytes of the key and the '=').
// Everything here is inline and hidden; nothing is exported.
#ifndef ULVEX_SRC_COMMON_BYTE_SEARCH_H
#define ULVEX_SRC_COMMON_BYTE_SEARCH_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define ULVEX_HAVE_AVX2_PATH 1
#endif

namespace ulvex {
namespace detail {

// N bytes that must stand at N offsets from a position.
template <int N>
struct BytePattern {
    unsigned char value[N];
    std::size_t offset[N];
};

// One comparison result for the whole pattern, so that a position costs one
// branch whatever the bytes.
template <int N>
inline bool MatchesAt(const unsigned char* q, const BytePattern<N>& pat) {
    unsigned diff = 0;
    for (int k = 0; k < N; ++k) diff |= static_cast<unsigned>(q[pat.offset[k]] ^ pat.value[k]);
    return diff == 0;
}

template <int N>
inline const unsigned char* FindPatternScalar(const unsigned char* p, const unsigned char* end,
                                              const BytePattern<N>& pat) {
    for (; p < end; ++p)
        if (MatchesAt<N>(p, pat)) return p;
    return end;
}

// The eight bytes at `p` as a little-endian word: byte k is p[k].
inline std::uint64_t LoadLe64(const unsigned char* p) {
    std::uint64_t x;
    std::memcpy(&x, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    x = __builtin_bswap64(x);
#endif
    return x;
}

// Bit 7 of each byte of the result is set exactly where that byte of `x` is
// zero (no carry crosses a byte, so every byte is exact).
inline std::uint64_t ZeroBytes(std::uint64_t x) {
    const std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    return ~(((x & low7) + low7) | x) & ~low7;
}

// The first of the eight positions p .. p + 7 that matches, or null: the
// nearest positions are tried with a single branch before a vector round.
template <int N>
inline const unsigned char* FirstOfEight(const unsigned char* p, const BytePattern<N>& pat) {
    std::uint64_t hits = ~0ull;
    for (int k = 0; k < N; ++k) hits &= ZeroBytes(LoadLe64(p + pat.offset[k]) ^ (0x0101010101010101ull * pat.value[k]));
    return hits != 0 ? p + __builtin_ctzll(hits) / 8 : nullptr;
}

#if defined(__SSE2__)
template <int N>
inline __m128i MatchMask16(const unsigned char* q, const BytePattern<N>& pat, const __m128i* v) {
    __m128i m = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + pat.offset[0])), v[0]);
    for (int k = 1; k < N; ++k)
        m = _mm_and_si128(m,
                          _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + pat.offset[k])), v[k]));
    return m;
}

template <int N>
__attribute__((noinline)) const unsigned char* FindPatternSse2(const unsigned char* p, const unsigned char* end,
                                                               const BytePattern<N>& pat) {
    __m128i v[N];
    for (int k = 0; k < N; ++k) v[k] = _mm_set1_epi8(static_cast<char>(pat.value[k]));
    // Four vectors per round; their masks are combined before the one branch.
    for (; end - p >= 64; p += 64) {
        const __m128i m0 = MatchMask16<N>(p, pat, v), m1 = MatchMask16<N>(p + 16, pat, v);
        const __m128i m2 = MatchMask16<N>(p + 32, pat, v), m3 = MatchMask16<N>(p + 48, pat, v);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3))) == 0) continue;
        const unsigned long long bits =
            static_cast<unsigned long long>(static_cast<unsigned>(_mm_movemask_epi8(m0))) |
            static_cast<unsigned long long>(static_cast<unsigned>(_mm_movemask_epi8(m1))) << 16 |
            static_cast<unsigned long long>(static_cast<unsigned>(_mm_movemask_epi8(m2))) << 32 |
            static_cast<unsigned long long>(static_cast<unsigned>(_mm_movemask_epi8(m3))) << 48;
        return p + __builtin_ctzll(bits);
    }
    for (; end - p >= 16; p += 16) {
        const int bits = _mm_movemask_epi8(MatchMask16<N>(p, pat, v));
        if (bits != 0) return p + __builtin_ctz(static_cast<unsigned>(bits));
    }
    return FindPatternScalar<N>(p, end, pat);
}
#endif

#if defined(ULVEX_HAVE_AVX2_PATH)
template <int N>
__attribute__((target("avx2"))) inline __m256i MatchMask32(const unsigned char* q, const BytePattern<N>& pat,
                                                           const __m256i* v) {
    __m256i m = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + pat.offset[0])), v[0]);
    for (int k = 1; k < N; ++k)
        m = _mm256_and_si256(
            m, _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + pat.offset[k])), v[k]));
    return m;
}

template <int N>
__attribute__((target("avx2"), noinline)) const unsigned char* FindPatternAvx2(const unsigned char* p,
                                                                               const unsigned char* end,
                                                                               const BytePattern<N>& pat) {
    __m256i v[N];
    for (int k = 0; k < N; ++k) v[k] = _mm256_set1_epi8(static_cast<char>(pat.value[k]));
    for (; end - p >= 128; p += 128) {
        const __m256i m0 = MatchMask32<N>(p, pat, v), m1 = MatchMask32<N>(p + 32, pat, v);
        const __m256i m2 = MatchMask32<N>(p + 64, pat, v), m3 = MatchMask32<N>(p + 96, pat, v);
        const __m256i any = _mm256_or_si256(_mm256_or_si256(m0, m1), _mm256_or_si256(m2, m3));
        if (_mm256_testz_si256(any, any)) continue;
        const unsigned long long lo = static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(m0))) |
                                      static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(m1)))
                                          << 32;
        if (lo != 0) return p + __builtin_ctzll(lo);
        const unsigned long long hi = static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(m2))) |
                                      static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(m3)))
                                          << 32;
        return p + 64 + __builtin_ctzll(hi);
    }
    for (; end - p >= 32; p += 32) {
        const unsigned bits = static_cast<unsigned>(_mm256_movemask_epi8(MatchMask32<N>(p, pat, v)));
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

// The first position q in [p, end) where q[offset[k]] == value[k] for every
// k, or `end`. Reads q[offset[k]] for q < end only, so the caller guarantees
// that the bytes up to end - 1 + the largest offset are readable. Positions
// are tried in order: the result is the one a byte-by-byte walk finds.
template <int N>
inline const unsigned char* FindPattern(const unsigned char* p, const unsigned char* end, const BytePattern<N>& pat) {
    // Records laid back to back put the next candidate at `p`, text records
    // (which end with a line end) two bytes further: those positions are
    // tried one by one, so the processor runs ahead on a predicted position
    // instead of waiting for a computed one. The next eight follow at once.
    if (end - p >= 11) {
        if (MatchesAt<N>(p, pat)) return p;
        if (MatchesAt<N>(p + 1, pat)) return p + 1;
        if (MatchesAt<N>(p + 2, pat)) return p + 2;
        if (const unsigned char* q = FirstOfEight<N>(p + 3, pat)) return q;
        p += 11;
    }
#if defined(ULVEX_HAVE_AVX2_PATH)
    if (end - p >= 128 && CpuHasAvx2()) return FindPatternAvx2<N>(p, end, pat);
#endif
#if defined(__SSE2__)
    return FindPatternSse2<N>(p, end, pat);
#else
    return FindPatternScalar<N>(p, end, pat);
#endif
}

// The two bytes every header of either form starts with.
constexpr BytePattern<2> kHeaderStart = {{'<', 'h'}, {0, 1}};

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_COMMON_BYTE_SEARCH_H
