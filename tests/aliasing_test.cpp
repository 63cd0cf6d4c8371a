// Writers whose input lies in their own output: the binary encoder with a
// payload taken from its output vector, and FindInData with a key held by
// the string it fills. Each must give what a separate copy of the input
// gives (the sanitizer build reports any read of freed or moved storage).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ulvex/data_formatter.h"
#include "ulvex/encoder_bin.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A vector of `n` bytes 0, 1, 2, ... with exactly `capacity` bytes of storage.
Bytes Filled(std::size_t n, std::size_t capacity) {
    Bytes v;
    v.reserve(capacity);
    for (std::size_t i = 0; i < n; ++i) v.push_back(static_cast<unsigned char>(i * 7 + 1));
    return v;
}

class EncoderAliasing : public ::testing::TestWithParam<std::size_t> {
protected:
    std::unique_ptr<IUlvexEncoderBin> enc{IUlvexEncoderBin::CreateMe()};
};

// The parameter is the spare capacity: 0 makes the resize move the storage,
// a large one keeps it in place (the header then lands on payload bytes).
TEST_P(EncoderAliasing, AppendOfTheWholeOutputAsVector) {
    Bytes out = Filled(40, 40 + GetParam()), expected = out;
    enc->AddTagBin(expected, "SELF", Bytes(out), 3);
    enc->AddTagBin(out, "SELF", out, 3);
    EXPECT_EQ(out, expected);
}

TEST_P(EncoderAliasing, AppendOfAPartOfTheOutputAsPointer) {
    Bytes out = Filled(40, 40 + GetParam()), expected = out;
    Bytes part(out.begin() + 5, out.begin() + 35);
    enc->AddTagBin(expected, "PART", part.data(), 30, 9);
    enc->AddTagBin(out, "PART", out.data() + 5, 30, 9);
    EXPECT_EQ(out, expected);
}

TEST_P(EncoderAliasing, ReplaceWithAPartOfTheOutput) {
    Bytes out = Filled(40, 40 + GetParam()), expected;
    Bytes part(out.begin() + 2, out.begin() + 38);
    enc->EncodeTagBin(expected, 0x4C4C4946u, part.data(), 36, 1);
    enc->EncodeTagBin(out, 0x4C4C4946u, out.data() + 2, 36, 1);
    EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(SpareCapacity, EncoderAliasing, ::testing::Values(std::size_t{0}, std::size_t{4096}));

TEST(EncoderAliasingLimits, OversizedPayloadFromTheOutputIsRefusedUnread) {
    std::unique_ptr<IUlvexEncoderBin> enc(IUlvexEncoderBin::CreateMe());
    Bytes out = Filled(40, 40);
    const Bytes before = out;
    EXPECT_THROW(enc->AddTagBin(out, "BIG", out.data(), 0xFFFFFFF0u, 1), std::length_error);
    EXPECT_EQ(out, before);
}

TEST(FormatterAliasing, FindInDataWithTheKeyHeldByTheResultString) {
    std::unique_ptr<IUlvexDataFormatter> fmt(IUlvexDataFormatter::CreateMe());
    const std::string payload = "first=1|\r\nsecond=2|\r\n";
    const Bytes data(payload.begin(), payload.end());
    std::string text = "second";
    EXPECT_TRUE(fmt->FindInData(data, text.c_str(), text));
    EXPECT_EQ(text, "second=2");
}

}  // namespace
