// The payload checksum: the byte sum modulo 65536, with an SSE2 path.
// Everything here is inline and hidden; nothing is exported.
#ifndef ULVEX_SRC_COMMON_CHECKSUM_H
#define ULVEX_SRC_COMMON_CHECKSUM_H

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(ULVEX_COUNT_SUM_WORK)
#include <atomic>
#endif

namespace ulvex {
namespace detail {

#if defined(ULVEX_COUNT_SUM_WORK)
// Bytes summed by every thread so far: only in the build that the work-count
// tests link, never in the shared object.
std::atomic<std::uint64_t>& SumWork();
#endif

// Byte sum modulo 65536, one byte at a time: the reference form, also the
// path used where SSE2 is not available.
inline std::uint16_t ChecksumPortable(const unsigned char* p, std::size_t n) {
    std::uint32_t s = 0;
    // Eight bytes per round keeps the 32-bit accumulator far from overflow
    // only if we fold it now and then; 2^24 bytes of 0xFF stay below 2^32.
    while (n > 0) {
        std::size_t chunk = n < (std::size_t(1) << 24) ? n : (std::size_t(1) << 24);
        n -= chunk;
        for (; chunk >= 8; chunk -= 8, p += 8)
            s += static_cast<std::uint32_t>(p[0]) + p[1] + p[2] + p[3] + p[4] + p[5] + p[6] + p[7];
        for (; chunk > 0; --chunk) s += *p++;
        s &= 0xFFFFu;
    }
    return static_cast<std::uint16_t>(s);
}

#if defined(__SSE2__)
// psadbw sums 8 bytes into a 64-bit lane per instruction; long runs use four
// independent accumulators to keep the pipeline busy. A tail shorter than 16
// bytes is summed with one more load that ends at the last byte, its bytes
// already counted masked off, so short payloads need no byte loop.
inline std::uint16_t ChecksumSse2(const unsigned char* p, std::size_t n) {
    if (n < 16) return ChecksumPortable(p, n);
    const __m128i zero = _mm_setzero_si128();
    __m128i acc = zero;
    if (n >= 64) {
        __m128i a1 = zero, a2 = zero, a3 = zero;
        for (; n >= 64; n -= 64, p += 64) {
            acc = _mm_add_epi64(acc, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), zero));
            a1 = _mm_add_epi64(a1, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), zero));
            a2 = _mm_add_epi64(a2, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), zero));
            a3 = _mm_add_epi64(a3, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), zero));
        }
        acc = _mm_add_epi64(_mm_add_epi64(acc, a1), _mm_add_epi64(a2, a3));
    }
    for (; n >= 16; n -= 16, p += 16)
        acc = _mm_add_epi64(acc, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), zero));
    if (n != 0) {
        // 16 zero bytes then 16 0xFF bytes: from offset n, the last n lanes are kept.
        static const unsigned char kKeepLast[32] = {0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
                                                    0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 16));
        const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepLast + n));
        acc = _mm_add_epi64(acc, _mm_sad_epu8(_mm_and_si128(last, keep), zero));
    }
    acc = _mm_add_epi64(acc, _mm_unpackhi_epi64(acc, acc));
    return static_cast<std::uint16_t>(_mm_cvtsi128_si32(acc));
}
#endif

inline std::uint16_t Checksum(const unsigned char* p, std::size_t n) {
    if (p == nullptr || n == 0) return 0;
#if defined(ULVEX_COUNT_SUM_WORK)
    SumWork().fetch_add(n, std::memory_order_relaxed);
#endif
#if defined(__SSE2__)
    if (n >= 16) return ChecksumSse2(p, n);
#endif
    return ChecksumPortable(p, n);
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_COMMON_CHECKSUM_H
