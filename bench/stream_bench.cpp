// ulvex::StreamReader fed 64-KiB chunks beside the whole-buffer listing of
// the same bytes, for both record forms. The reader is expected to keep at
// least 0.8 of the listing's throughput on streams whose records are shorter
// than the chunks. Records as long as the chunks (records64K) nearly all
// arrive split between two chunks and are copied to be contiguous, so that
// workload runs at copying speed: it shows the cost, it has no target.
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "bench_util.h"
#include "ulvex/ulvex.h"
#include "workloads.h"

namespace {

typedef std::vector<unsigned char> Bytes;
using ulvex::StreamReader;

const std::size_t KiB = 1024, MiB = 1024 * 1024;

Bytes Random(std::size_t n, std::mt19937_64& rng) {
    Bytes v(n);
    for (auto& b : v) b = static_cast<unsigned char>(rng());
    return v;
}

// About 8 MiB: records with payloads of `minPayload` to `maxPayload` bytes,
// each after 0 to `maxGap` random bytes; or only random bytes (maxPayload 0).
Bytes Workload(bool text, std::size_t minPayload, std::size_t maxPayload, std::size_t maxGap, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    if (maxPayload == 0) return Random(8 * MiB, rng);
    return ulvex::ref::RecordsAmongGarbage(text, 8 * MiB, minPayload, maxPayload, maxGap, seed);
}

const int kKinds = 4;
const char* const kKindNames[kKinds] = {"mixed_8M", "records4K_8M", "records64K_8M", "random_8M"};

const Bytes& Data(bool text, int kind) {
    static const Bytes w[2][kKinds] = {{Workload(false, 16, 1024, 255, 1), Workload(false, 4 * KiB, 4 * KiB, 0, 2),
                                        Workload(false, 64 * KiB, 64 * KiB, 0, 3), Workload(false, 0, 0, 0, 4)},
                                       {Workload(true, 16, 1024, 255, 5), Workload(true, 4 * KiB, 4 * KiB, 0, 6),
                                        Workload(true, 64 * KiB, 64 * KiB, 0, 7), Workload(true, 0, 0, 0, 8)}};
    return w[text][kind];
}

std::vector<STag> List(bool text, const Bytes& buf) {
    std::vector<STag> tags;
    const unsigned len = static_cast<unsigned>(buf.size());
    if (text)
        CUlvexDecoderTxt().FindAllTagPtrAnyName(buf.data(), len, tags);
    else
        CUlvexDecoder().FindAllTagPtrAnyName(buf.data(), len, tags);
    return tags;
}

// Feeds `buf` in `chunk`-byte pieces and returns the number of records
// delivered. With `expected`, also sets `same` to whether every record
// matches it (name, version, stream offset, payload bytes).
std::size_t Stream(bool text, const Bytes& buf, std::size_t chunk, const std::vector<STag>* expected = nullptr,
                   bool* same = nullptr) {
    StreamReader r(text ? ulvex::RecordForm::Text : ulvex::RecordForm::Binary);
    STag tag;
    std::uint64_t off = 0;
    std::size_t n = 0;
    auto drain = [&] {
        for (; r.Next(tag, off); ++n) {
            if (!expected) continue;
            const bool known = n < expected->size();
            const STag& e = known ? (*expected)[n] : tag;
            *same = *same && known && e.TagName == tag.TagName && e.Version == tag.Version &&
                    e.PayloadLen == tag.PayloadLen && off == static_cast<std::uint64_t>(e.PtrTag - buf.data()) &&
                    std::equal(tag.PtrPayload, tag.PtrPayload + tag.PayloadLen, e.PtrPayload);
        }
    };
    for (std::size_t at = 0; at < buf.size(); at += chunk) {
        r.Feed(buf.data() + at, std::min(chunk, buf.size() - at));
        drain();
    }
    r.Finish();
    drain();
    return n;
}

void Reader64K(benchmark::State& state, bool text, int kind) {
    const Bytes& buf = Data(text, kind);
    const std::vector<STag> expected = List(text, buf);
    bool same = true;
    const std::size_t n = Stream(text, buf, 64 * KiB, &expected, &same);
    if (!bench::Agree(state, same && n == expected.size())) return;
    for (auto _ : state) benchmark::DoNotOptimize(Stream(text, buf, 64 * KiB));
    bench::SetBytes(state, buf.size());
    state.counters["records"] = static_cast<double>(n);
}

void Listing(benchmark::State& state, bool text, int kind) {
    const Bytes& buf = Data(text, kind);
    const unsigned len = static_cast<unsigned>(buf.size());
    std::vector<STag> tags;
    for (auto _ : state) {
        tags.clear();
        if (text)
            CUlvexDecoderTxt().FindAllTagPtrAnyName(buf.data(), len, tags);
        else
            CUlvexDecoder().FindAllTagPtrAnyName(buf.data(), len, tags);
        benchmark::DoNotOptimize(tags.data());
    }
    bench::SetBytes(state, buf.size());
    state.counters["records"] = static_cast<double>(tags.size());
}

const int registered = [] {
    const char* forms[] = {"bin", "txt"};
    for (int text = 0; text < 2; ++text)
        for (int kind = 0; kind < kKinds; ++kind) {
            const std::string name = std::string("stream_") + forms[text] + "_" + kKindNames[kind];
            const bool t = text != 0;
            bench::Add(name + "/reader_64K", [t, kind](benchmark::State& s) {
                Reader64K(s, t, kind);
            })->Unit(benchmark::kMicrosecond);
            bench::Add(name + "/listing", [t, kind](benchmark::State& s) {
                Listing(s, t, kind);
            })->Unit(benchmark::kMicrosecond);
        }
    return 0;
}();

}  // namespace
