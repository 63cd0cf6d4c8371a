// ulvex stats reads a file as one chunk, ended at once: on generated captures
// its counts are the stream reader's for any chunking of the same bytes.
// (The records per name are checked against `ulvex list` by stats_cli_test.)
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "capture_stats.h"
#include "captures.h"
#include "progress.h"
#include "ulvex/ulvex.h"

namespace {

TEST(Stats, CountsAreTheStreamReadersForAnyChunkingOfHostileInputs) {
    ulvex::test::Maker maker{false, std::mt19937(2026)};
    ulvex_cli::Progress quiet(false, "", 0);
    std::uint64_t rejected = 0;
    for (int round = 0; round < 200; ++round) {
        const bool text = round % 2 == 1;
        maker.text = text;
        const auto in = maker.Input(60);
        const ulvex_cli::CaptureStats stats = ulvex_cli::CountCapture(
            in.data(), in.size(), text ? ulvex::RecordForm::Text : ulvex::RecordForm::Binary, quiet);

        // The stream reader fed the same bytes in random chunks, drained after each.
        ulvex::StreamReader reader(text ? ulvex::RecordForm::Text : ulvex::RecordForm::Binary,
                                   ulvex::StreamReader::kLargestMaxPayload);
        STag tag;
        std::uint64_t offset = 0;
        for (std::size_t at = 0; at < in.size();) {
            const std::size_t n = std::min<std::size_t>(1 + maker.rng() % 64, in.size() - at);
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
