// The checksum's vector and portable paths against a plain byte sum, on
// every length up to 300 and every start alignment.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "record/record_detail.h"

namespace {

std::uint16_t PlainSum(const unsigned char* p, std::size_t n) {
    unsigned s = 0;
    for (std::size_t i = 0; i < n; ++i) s = (s + p[i]) & 0xFFFFu;
    return static_cast<std::uint16_t>(s);
}

TEST(ChecksumPaths, AgreeOnEveryLengthAndAlignment) {
    std::mt19937 rng(7);
    std::vector<unsigned char> buf(300 + 16);
    for (int round = 0; round < 3; ++round) {
        // Random bytes, then all 0xFF, where the 16-bit sum wraps soonest.
        for (unsigned char& c : buf) c = round == 1 ? 0xFF : static_cast<unsigned char>(rng());
        for (std::size_t off = 0; off < 16; ++off)
            for (std::size_t n = 0; n <= 300; ++n) {
                const unsigned char* p = buf.data() + off;
                const std::uint16_t want = PlainSum(p, n);
                ASSERT_EQ(ulvex::detail::ChecksumPortable(p, n), want) << off << " " << n;
#if defined(__SSE2__)
                ASSERT_EQ(ulvex::detail::ChecksumSse2(p, n), want) << off << " " << n;
#endif
                ASSERT_EQ(ulvex::detail::Checksum(p, n), want) << off << " " << n;
            }
    }
}

}  // namespace
