// Binary encoder: a name cut to four bytes, payloads taken from the output itself, oversized records. The round-trip
// fuzz target holds every encoder to the bytes it must write.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "ulvex/encoder_bin.h"

namespace {
using Bytes = std::vector<unsigned char>;
char kAbc[] = "abc", kData[] = "DATA";
// A pointer that faults when read: the size checks must refuse before reading.
void* const kPoison = reinterpret_cast<void*>(std::uintptr_t{16});
}  // namespace

// (The round-trip fuzz target pins the bytes of names up to four bytes long.)
TEST(EncoderBin, NameIsCutToFourBytes) {
    Bytes cut;
    CUlvexEncoder().AddTagBin(cut, "XYZWV", kAbc + 2, 1, 255);
    EXPECT_EQ(cut,
              (Bytes{'<', 'h', 'X', 'Y', 'Z', 'W', 1, 0, 0, 0, 255, '>', 'c', '<', 'X', 'Y', 'Z', 'W', 'c', 0, '>'}));
}

// A payload inside the output vector: with no spare capacity the storage moves, with plenty the header lands on
// payload bytes. Either way the result is that of a separate copy (the sanitizer reports reads of moved storage).
TEST(EncoderBin, PayloadFromTheOutputItselfGivesWhatACopyGives) {
    CUlvexEncoder enc;
    for (size_t spare : {0, 4096})
        for (auto part : {std::make_pair(0, 40), {5, 30}}) {
            const auto fresh = [spare] {
                Bytes v;
                v.reserve(40 + spare);
                for (int i = 0; i < 40; ++i) v.push_back(static_cast<unsigned char>(i * 7 + 1));
                return v;
            };
            Bytes out = fresh(), want = fresh(), enc2 = fresh(), want2;
            Bytes copy(out.begin() + part.first, out.begin() + part.first + part.second);
            const unsigned n = static_cast<unsigned>(part.second);
            enc.AddTagBin(want, "SELF", copy, 3), enc.AddTagBin(out, "SELF", out.data() + part.first, n, 3);
            enc.EncodeTagBin(want2, 0x4C4C4946u, copy.data(), n, 1);
            enc.EncodeTagBin(enc2, 0x4C4C4946u, enc2.data() + part.first, n, 1);
            EXPECT_EQ(out, want) << spare << " " << part.first;
            EXPECT_EQ(enc2, want2) << spare << " " << part.first;
        }
}

TEST(EncoderBin, RecordsBeyond4GiBAreRefusedBeforeThePayloadIsRead) {
    CUlvexEncoder enc;
    const Bytes ten(10, 0xAB);
    Bytes one(1, 0xAB), big = ten;
    // Old size + payload + 20 just over 0xFFFFFFFF, or far over.
    EXPECT_THROW(enc.AddTagBin(one, "BIG", kPoison, 0xFFFFFFEBu, 1), std::length_error);
    EXPECT_THROW(enc.AddTagBin(big, "BIG", kPoison, 0xFFFFFFF0u, 1), std::length_error);
    EXPECT_THROW(enc.EncodeTagBin(big, 1u, kPoison, 0xFFFFFFECu, 1), std::length_error);
    EXPECT_THROW(enc.EncodeTagBin(big, kData, kPoison, 0xFFFFFFFFu, 1), std::length_error);
    EXPECT_THROW(enc.AddTagBin(one, "BIG", one.data(), 0xFFFFFFF0u, 1), std::length_error);  // from the output
    EXPECT_EQ(big, ten);
    EXPECT_EQ(one, Bytes(1, 0xAB));
}
