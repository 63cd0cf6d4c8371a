// The streaming reader against the reference listing of the whole stream
// with the maximum-payload rule, shared by the stream fuzz target and the
// stream tests: for a given way of cutting the stream into chunks, the same
// records (name, version, record bytes, stream offset) in the same order,
// counters that add up, and a buffer within its bound. A difference aborts
// with "mismatch: ...".
#ifndef ULVEX_TESTS_STREAM_ORACLE_H
#define ULVEX_TESTS_STREAM_ORACLE_H

#include <algorithm>
#include <vector>

#include "mismatch.h"
#include "reference.h"
#include "ulvex/stream_reader.h"

namespace ulvex {
namespace ref {

const std::size_t kRest = ~std::size_t(0);  // a chunk size that feeds the rest of the stream

// Feeds the `n` bytes at `s` in chunks of the `sizes` in turn (0 feeds
// nothing; when all are 0, every chunk is one byte), draining Next after each
// Feed, or only after every other one when `lazy`. Each chunk is a heap copy
// of exactly its size, kept until Next has returned false after it (or until
// the next Feed has returned), then spoiled and freed: a record read from a
// released chunk is a mismatch.
inline void CheckStream(bool text, std::size_t maxPayload, const std::vector<std::size_t>& sizes, bool lazy,
                        const u8* s, std::size_t n) {
    const std::vector<Found> want = ListAll(text, s, n, 0, maxPayload);
    StreamReader reader(text ? RecordForm::Text : RecordForm::Binary, maxPayload);
    std::vector<std::vector<u8>> chunks;
    std::size_t got = 0, largest = 0;
    u64 recordBytes = 0;
    auto drain = [&] {
        STag tag;
        u64 offset = 0;
        std::vector<std::pair<STag, u64>> now;  // every record of this drain is still readable, the first one too
        while (reader.Next(tag, offset)) now.emplace_back(tag, offset);
        for (const auto& g : now) {
            CHECK(got < want.size());
            const Found& w = want[got++];
            CHECK(g.second == w.offset);
            CHECK(g.first.TagName == NameString(w.name));
            CHECK(g.first.Version == w.version);
            CHECK(g.first.PayloadLen == w.payloadLen);
            CHECK(g.first.TagLen == w.recordLen);
            CHECK(u64(g.first.PtrPayload - g.first.PtrTag) == w.payloadOffset - w.offset);
            CHECK(std::equal(g.first.PtrTag, g.first.PtrTag + g.first.TagLen, s + w.offset));
            recordBytes += g.first.TagLen;
        }
        for (std::vector<u8>& c : chunks) std::fill(c.begin(), c.end(), '<');
        chunks.clear();
    };
    const bool allZero = std::count(sizes.begin(), sizes.end(), 0) == std::ptrdiff_t(sizes.size());
    for (std::size_t at = 0, turn = 0; at < n; ++turn) {
        const std::size_t len = allZero ? 1 : std::min(sizes[turn % sizes.size()], n - at);
        chunks.emplace_back(s + at, s + at + len);
        reader.Feed(len ? chunks.back().data() : nullptr, len);
        largest = std::max(largest, len);
        at += len;
        if (lazy && turn % 2 == 0) continue;
        drain();
        // With Next drained after every Feed the buffer stays bounded.
        if (!lazy) CHECK(reader.Capacity() <= (maxPayload + 32) * 3 / 2 + largest + 4096);
    }
    reader.Finish();
    drain();
    CHECK(got == want.size());
    CHECK(reader.RecordsDelivered() == got);
    CHECK(reader.GarbageBytes() + recordBytes == n);
}

}  // namespace ref
}  // namespace ulvex

#endif  // ULVEX_TESTS_STREAM_ORACLE_H
