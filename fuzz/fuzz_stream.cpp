// ulvex::StreamReader against the reference listing of the whole stream with
// the maximum-payload rule: for every way of cutting the stream into chunks,
// the same records (name, version, record bytes, stream offset) in the same
// order, counters that add up, and a buffer within its bound.
//
// Input: 4 control bytes, the chunk sizes, then the stream.
//   [0]    bit 0: text form; bit 1: drain Next only after every other Feed
//   [1..2] maximum payload (little-endian; 0xFFFF: the default)
//   [3]    k - 1 (k = 1..8 chunk sizes follow, used in turn; a size of 0
//          feeds nothing, 255 feeds the rest)
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_util.h"
#include "ulvex/stream_reader.h"

namespace {

struct Got {
    STag tag;
    u64 offset;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size) {
    if (size < 4 || size > 0x100000) return 0;
    const bool text = in[0] & 1, lazy = (in[0] & 2) != 0;
    const unsigned m = in[1] | in[2] << 8;
    const std::size_t maxPayload = m == 0xFFFF ? StreamReader::kDefaultMaxPayload : m;
    const std::size_t k = 1 + in[3] % 8;
    if (size < 4 + k) return 0;
    const u8* cuts = in + 4;
    const u8* s = in + 4 + k;
    const std::size_t n = size - 4 - k;

    const std::vector<ref::Found> want = ref::ListAll(text, s, n, 0, maxPayload);
    StreamReader reader(text ? StreamReader::Text : StreamReader::Binary, maxPayload);

    // Each chunk is a heap copy of exactly its size, kept until Next has
    // returned false after it (or until the next Feed has returned), then
    // spoiled and freed: a record read from a released chunk is a mismatch.
    std::vector<std::vector<u8>> chunks;
    std::vector<Got> got;
    u64 recordBytes = 0;
    std::size_t largest = 0;
    auto drain = [&] {
        STag tag;
        u64 offset = 0;
        const std::size_t first = got.size();
        while (reader.Next(tag, offset)) got.push_back(Got{tag, offset});
        // Every record of this drain is still readable, the first one too.
        for (std::size_t i = first; i < got.size(); ++i) {
            const Got& g = got[i];
            CHECK(i < want.size());
            const ref::Found& w = want[i];
            CHECK(g.offset == w.offset);
            CHECK(g.tag.TagName == ref::NameString(w.name));
            CHECK(g.tag.Version == w.version);
            CHECK(g.tag.PayloadLen == w.payloadLen);
            CHECK(g.tag.TagLen == w.recordLen);
            CHECK(u64(g.tag.PtrPayload - g.tag.PtrTag) == w.payloadOffset - w.offset);
            CHECK(std::equal(g.tag.PtrTag, g.tag.PtrTag + g.tag.TagLen, s + w.offset));
            recordBytes += g.tag.TagLen;
        }
        for (std::vector<u8>& c : chunks) std::fill(c.begin(), c.end(), '<');
        chunks.clear();
    };
    // Sizes of 0 only would never end: then every chunk is one byte.
    const bool allZero = std::count(cuts, cuts + k, 0) == std::ptrdiff_t(k);
    for (std::size_t at = 0, turn = 0; at < n; ++turn) {
        std::size_t len = allZero ? 1 : cuts[turn % k];
        len = len == 255 ? n - at : std::min(len, n - at);
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
    CHECK(got.size() == want.size());
    CHECK(reader.RecordsDelivered() == got.size());
    CHECK(reader.GarbageBytes() + recordBytes == n);
    return 0;
}
