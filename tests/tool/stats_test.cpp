// ulvex stats reads a file as one chunk, ended at once: on hostile inputs
// its counts are the stream reader's for any chunking of the same bytes.
// (The records per name are checked against `ulvex list` by stats_cli_test.)
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "capture_stats.h"
#include "progress.h"
#include "ulvex/ulvex.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Records of a few names among garbage, with damaged, cut and overlong ones.
Bytes Hostile(std::mt19937& rng, bool text) {
    std::unique_ptr<IUlvexEncoderBin> bin(IUlvexEncoderBin::CreateMe());
    std::unique_ptr<IUlvexEncoderTxt> txt(IUlvexEncoderTxt::CreateMe());
    const char* const names[] = {"TEMP", "A", "XY"};
    Bytes out, rec, payload;
    for (int i = 0; i < 60; ++i) {
        payload.resize(rng() % 40);
        for (unsigned char& b : payload) b = static_cast<unsigned char>(rng() % 4 == 0 ? '<' : rng());
        rec.clear();
        const char* name = names[rng() % 3];
        const auto version = static_cast<unsigned char>(rng() % 4);
        text ? txt->AddTagTxt(rec, name, payload, version) : bin->AddTagBin(rec, name, payload, version);
        switch (rng() % 6) {
            case 0:
                rec[rng() % rec.size()] ^= static_cast<unsigned char>(1 + rng() % 255);
                break;  // damaged
            case 1:
                rec.resize(rng() % rec.size());
                break;  // cut
            case 2:     // a length far beyond the input (binary) or a changed digit (text)
                rec[text ? 8 + rng() % 4 : 9] = text ? '9' : 0x7F;
                break;
            case 3:
                rec.insert(rec.begin(), {'<', 'h'});
                break;
            default:
                break;
        }
        out.insert(out.end(), rec.begin(), rec.end());
    }
    return out;
}

TEST(Stats, CountsAreTheStreamReadersForAnyChunkingOfHostileInputs) {
    std::mt19937 rng(2026);
    ulvex_cli::Progress quiet(false, "", 0);
    std::uint64_t rejected = 0;
    for (int round = 0; round < 200; ++round) {
        const bool text = round % 2 == 1;
        const Bytes in = Hostile(rng, text);
        const ulvex_cli::CaptureStats stats = ulvex_cli::CountCapture(
            in.data(), in.size(), text ? ulvex::RecordForm::Text : ulvex::RecordForm::Binary, quiet);

        // The stream reader fed the same bytes in random chunks, drained after each.
        ulvex::StreamReader reader(text ? ulvex::StreamReader::Text : ulvex::StreamReader::Binary,
                                   ulvex::StreamReader::kLargestMaxPayload);
        STag tag;
        std::uint64_t offset = 0;
        for (std::size_t at = 0; at < in.size();) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 64, in.size() - at);
            reader.Feed(in.data() + at, n);
            at += n;
            while (reader.Next(tag, offset)) {
            }
        }
        reader.Finish();
        while (reader.Next(tag, offset)) {
        }
        EXPECT_EQ(stats.rejected, reader.RejectedCandidates()) << "round " << round;
        rejected += stats.rejected;
        EXPECT_EQ(stats.inputBytes - stats.recordBytes, reader.GarbageBytes()) << "round " << round;
        EXPECT_EQ(stats.records, reader.RecordsDelivered()) << "round " << round;
    }
    EXPECT_GT(rejected, 1000u);  // the inputs do hold rejected candidates
}

}  // namespace
