// Records formatted on several threads come out in input order, whatever
// the thread count, batch size and the time each batch takes.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ordered_writer.h"

namespace {

std::vector<ulvex::Record> Numbered(std::size_t n) {
    std::vector<ulvex::Record> records(n);
    for (std::size_t i = 0; i < n; ++i) records[i].offset = i;
    return records;
}

// Formats each record as its offset; batches whose first offset is a
// multiple of 3 take longer, so later batches finish first.
void Format(unsigned, const ulvex::Record* r, std::size_t n, std::string& text) {
    if (n != 0 && r[0].offset % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    for (std::size_t i = 0; i < n; ++i) text += std::to_string(r[i].offset) + "\n";
}

std::string Expected(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += std::to_string(i) + "\n";
    return s;
}

// The sink also notes whether it was ever called off the caller's thread.
TEST(OrderedWriter, WritesInInputOrderOnTheCallerThreadForEveryThreadCountAndBatchSize) {
    const std::vector<ulvex::Record> records = Numbered(2000);
    const std::thread::id caller = std::this_thread::get_id();
    for (const unsigned threads : {1u, 2u, 3u, 8u}) {
        for (const std::size_t batch : {std::size_t{1}, std::size_t{7}, std::size_t{1024}}) {
            std::string out;
            bool elsewhere = false;
            ulvex_cli::OrderedWriter writer(
                threads, Format,
                [&](const std::string& t) {
                    out += t;
                    elsewhere |= std::this_thread::get_id() != caller;
                },
                batch);
            // Added in pieces that do not line up with the batches.
            for (std::size_t at = 0; at < records.size(); at += 13)
                writer.Add(records.data() + at, std::min<std::size_t>(13, records.size() - at));
            writer.Finish();
            EXPECT_EQ(out, Expected(records.size())) << threads << " threads, batches of " << batch;
            EXPECT_FALSE(elsewhere) << threads << " threads, batches of " << batch;
        }
    }
}

TEST(OrderedWriter, FormatterFailureStopsOutputBeforeTheFailedBatch) {
    const std::vector<ulvex::Record> records = Numbered(1000);
    for (const unsigned threads : {1u, 3u}) {
        std::string out;
        ulvex_cli::OrderedWriter writer(
            threads,
            [](unsigned w, const ulvex::Record* r, std::size_t n, std::string& text) {
                if (r[0].offset == 500) throw std::runtime_error("format failed");
                Format(w, r, n, text);
            },
            [&](const std::string& t) { out += t; }, 10);
        EXPECT_THROW(
            {
                writer.Add(records.data(), records.size());
                writer.Finish();
            },
            std::runtime_error)
            << threads << " threads";
        EXPECT_EQ(out, Expected(500).substr(0, out.size())) << threads << " threads";  // a prefix, no longer
    }
}

}  // namespace
