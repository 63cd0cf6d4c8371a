// The vector paths of the checksum and of the candidate search against their
// plain forms. Each path is called directly, so the ones this CPU would not
// choose (SSE2 where AVX2 exists) are tested too.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "common/byte_search.h"
#include "common/checksum.h"
#include "common/wire.h"
#include "reference.h"

namespace {

TEST(ChecksumPaths, AgreeOnEveryLengthAndAlignment) {
    std::mt19937 rng(7);
    std::vector<unsigned char> buf(300 + 16);
    for (int round = 0; round < 3; ++round) {
        // Random bytes, then all 0xFF, where the 16-bit sum wraps soonest.
        for (unsigned char& c : buf) c = round == 1 ? 0xFF : static_cast<unsigned char>(rng());
        for (std::size_t off = 0; off < 16; ++off)
            for (std::size_t n = 0; n <= 300; ++n) {
                const unsigned char* p = buf.data() + off;
                const std::uint16_t want = ulvex::ref::ByteSum(p, n);
                ASSERT_EQ(ulvex::detail::ChecksumPortable(p, n), want) << off << " " << n;
#if defined(__SSE2__)
                ASSERT_EQ(ulvex::detail::ChecksumSse2(p, n), want) << off << " " << n;
#endif
                ASSERT_EQ(ulvex::detail::Checksum(p, n), want) << off << " " << n;
            }
    }
}

// "<h" at offsets 0 and 1 plus a third byte at 11, as a header's search
// uses it, over bytes drawn from the pattern's own values so that partial
// matches are everywhere; every path must give the first match.
TEST(SearchPaths, FindTheFirstMatchAtEveryLengthAndAlignment) {
    using namespace ulvex::detail;
    const BytePattern<3> pat = {{'<', 'h', '>'}, {0, 1, 11}};
    std::mt19937 rng(11);
    std::vector<unsigned char> buf(400 + 11);
    for (int round = 0; round < 40; ++round) {
        // Dense rounds match every few bytes; sparse ones (1 in 512) run the vector loops.
        for (unsigned char& c : buf) c = round % 2 ? "<h>xxxxx"[rng() % 8] : "<h>"[rng() % 3];
        for (std::size_t off = 0; off < 8; ++off)
            for (std::size_t n = 0; n + off <= 400; n += 1 + rng() % 7) {
                const unsigned char *p = buf.data() + off, *end = p + n;
                const unsigned char* want = FindPatternScalar<3>(p, end, pat);
                ASSERT_EQ(FindPattern<3>(p, end, pat), want) << off << " " << n;
#if defined(__SSE2__)
                ASSERT_EQ(FindPatternSse2<3>(p, end, pat), want) << off << " " << n;
#endif
#if defined(ULVEX_HAVE_AVX2_PATH)
                if (CpuHasAvx2()) {
                    ASSERT_EQ(FindPatternAvx2<3>(p, end, pat), want) << off << " " << n;
                }
#endif
            }
    }
}

}  // namespace
