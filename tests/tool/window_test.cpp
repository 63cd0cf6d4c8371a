// The windowed scan lists exactly what one scan over the whole buffer lists,
// for every window size, so records straddle, touch and start at every
// possible window boundary.
#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "scan.h"
#include "ulvex/ulvex.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Found = std::vector<std::pair<std::size_t, unsigned>>;  // offset, record length
CUlvexEncoder bin;
CUlvexEncoderTxt txt;

// A valid record that starts inside the last bytes of another and runs past
// its end; hidden inside the outer record, it is never listed. Binary: its
// header ends with the outer footer '<' 'A' 0x10 0 0 0 (length 16). Text: its
// header ends the outer data, and its data begins with the outer footer.
void AppendOverlapping(bool text, Bytes& out) {
    if (text) {
        const char head[] = "<hXY<A00000000200>", *foot = "<XY<A%06u>";  // data length 20
        txt.AddTagTxt(out, "OUT", Bytes(head, head + 18), 1);
        out.insert(out.end(), 6, 'j');
        char f[13];
        std::snprintf(f, sizeof f, foot, std::accumulate(out.end() - 20, out.end(), 0u) % 65536);
        out.insert(out.end(), f, f + 12);
        return;
    }
    Bytes payload{'<', 'h', 'X', 'Y'}, inner;
    payload.insert(payload.begin(), static_cast<unsigned char>(-std::accumulate(payload.begin(), payload.end(), 0)));
    bin.AddTagBin(out, "A\x10", payload, 1);
    bin.AddTagBin(inner, "XY<A", Bytes(16, 'i'), 0);
    out.insert(out.end(), inner.begin() + 12, inner.end());
}

// Records back to back (text ones also without their closing CR LF) and among
// garbage rich in marker bytes; some damaged, some holding another record in
// their payload; last an empty-payload record that ends the buffer (never
// listed: its start is past the lookup limit).
Bytes MakeInput(bool text, unsigned seed) {
    std::mt19937 rng(seed);
    auto frame = [&](Bytes& out, const Bytes& p) {
        text ? txt.AddTagTxt(out, "AB", p, 1) : bin.AddTagBin(out, "AB", p, 1);
    };
    Bytes buf;
    while (buf.size() < 2500) {
        Bytes payload(rng() % 24), rec;
        for (unsigned char& b : payload) b = static_cast<unsigned char>("<h01>xAB"[rng() % 8]);
        if (rng() % 4 == 0) frame(payload, Bytes(3, 'v'));
        frame(rec, payload);
        if (rng() % 4 == 0) rec[rng() % rec.size()] ^= 1;
        if (text && rng() % 3 == 0) rec.resize(rec.size() - 2);
        if (rng() % 6 == 0) AppendOverlapping(text, rec);
        buf.insert(buf.end(), rec.begin(), rec.end());
        for (unsigned g = rng() % 3 == 0 ? rng() % 6 : 0; g > 0; --g) buf.push_back("<h>0A"[rng() % 5]);
    }
    frame(buf, Bytes());
    return buf;
}

Found Windowed(const Bytes& buf, bool text, std::uint64_t window) {
    Found found;
    ulvex_cli::ScanRecords(buf.data(), buf.size(), text ? ulvex_cli::Form::Text : ulvex_cli::Form::Binary, window,
                           [&](const STag& t, std::uint64_t at) { return found.emplace_back(at, t.TagLen), true; });
    return found;
}

TEST(WindowedScan, MatchesWholeBufferScanForEveryWindowSize) {
    for (const bool text : {false, true}) {
        for (const unsigned seed : {1u, 2u}) {
            const Bytes buf = MakeInput(text, seed);
            std::vector<STag> tags;
            if (text)
                CUlvexDecoderTxt().FindAllTagPtrAnyName(buf.data(), static_cast<unsigned>(buf.size()), tags);
            else
                CUlvexDecoder().FindAllTagPtrAnyName(buf.data(), static_cast<unsigned>(buf.size()), tags);
            Found whole;
            std::size_t longest = ulvex_cli::kMinWindow;
            for (const STag& t : tags) {
                whole.emplace_back(t.PtrTag - buf.data(), t.TagLen);
                longest = std::max<std::size_t>(longest, t.TagLen);
            }
            ASSERT_GT(whole.size(), 30u);
            for (std::size_t w = longest; w <= buf.size() + 1; ++w)
                ASSERT_EQ(Windowed(buf, text, w), whole) << (text ? "text" : "binary") << " window " << w;
        }
    }
}

}  // namespace
