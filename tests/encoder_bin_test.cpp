// Binary encoder: exact record bytes, append versus replace, empty payloads, oversized records.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "ulvex/encoder_bin.h"

namespace {
using Bytes = std::vector<unsigned char>;
char kAbc[] = "abc", kData[] = "DATA", kE[] = "E";
const Bytes kDataAbc{0x3C, 0x68, 0x44, 0x41, 0x54, 0x41, 0x03, 0x00, 0x00, 0x00, 0x01, 0x3E,
                     0x61, 0x62, 0x63, 0x3C, 0x44, 0x41, 0x54, 0x41, 0x26, 0x01, 0x3E};
}  // namespace

TEST(EncoderBin, AddAppendsEncodeReplacesOversizeIsRefused) {
    IUlvexEncoderBin* enc = IUlvexEncoderBin::CreateMe();
    Bytes out, a(100, 0xEE), b{1, 2}, e1, e2, e3(5, 1), e4(30, 1);
    EXPECT_TRUE(enc->AddTagBin(out, "DATA", Bytes{'a', 'b', 'c'}, 1));
    EXPECT_EQ(out, kDataAbc);
    EXPECT_TRUE(enc->EncodeTagBin(a, 0x41544144u, kAbc, 3, 1) && enc->EncodeTagBin(b, kData, kAbc, 3, 1));
    EXPECT_TRUE(a == kDataAbc && b == kDataAbc);
    EXPECT_TRUE(enc->AddTagBin(b, "XYZWV", kAbc + 2, 1, 255));  // a long name is cut to four characters
    EXPECT_EQ(Bytes(b.begin() + 23, b.end()),
              (Bytes{'<', 'h', 'X', 'Y', 'Z', 'W', 1, 0, 0, 0, 255, '>', 'c', '<', 'X', 'Y', 'Z', 'W', 'c', 0, '>'}));
    // An empty payload, whatever its form, gives a 20-byte record with checksum 0.
    enc->AddTagBin(e1, "E", nullptr, 0, 0), enc->AddTagBin(e2, "E", Bytes(), 0);
    enc->EncodeTagBin(e3, 0x45u, nullptr, 0, 0), enc->EncodeTagBin(e4, kE, kAbc, 0, 0);
    const Bytes empty{'<', 'h', 'E', 0, 0, 0, 0, 0, 0, 0, 0, '>', '<', 'E', 0, 0, 0, 0, 0, '>'};
    EXPECT_TRUE(e1 == empty && e2 == empty && e3 == empty && e4 == empty);
    // Old size + payload + 20 just over 0xFFFFFFFF, or far over: refused before the payload is read.
    void* const poison = reinterpret_cast<void*>(std::uintptr_t{16});
    const Bytes ten(10, 0xAB);
    Bytes one(1, 0xAB), big = ten;
    EXPECT_THROW(enc->AddTagBin(one, "BIG", poison, 0xFFFFFFEBu, 1), std::length_error);
    EXPECT_THROW(enc->AddTagBin(big, "BIG", poison, 0xFFFFFFF0u, 1), std::length_error);
    EXPECT_THROW(enc->EncodeTagBin(big, 1u, poison, 0xFFFFFFECu, 1), std::length_error);
    EXPECT_THROW(enc->EncodeTagBin(big, kData, poison, 0xFFFFFFFFu, 1), std::length_error);
    EXPECT_TRUE(big == ten && one == Bytes(1, 0xAB));  // nothing was written
    delete enc;
}
