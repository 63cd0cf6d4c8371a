// ulvex::Scan, the any-size scan: on one thread beside the whole-buffer
// listing FindAllTagPtrAnyName of the same form (it should keep within 5% of
// it), and on two threads beside one over 1 GiB of small records (it should
// reach 1.7 times the throughput; these run on wall-clock time).
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "reference.h"
#include "ulvex/ulvex.h"
#include "workloads.h"

namespace {

namespace ref = ulvex::ref;

using ref::Bytes;
using ref::u8;
using ulvex::Record;
using ulvex::RecordForm;

const std::size_t KiB = 1024, MiB = 1024 * 1024, GiB = 1024 * MiB;

// About 32 MiB: records with 16 to 1024 payload bytes, each after 0 to 255
// random bytes.
Bytes Mixed(bool text, std::uint64_t seed) { return ref::RecordsAmongGarbage(text, 32 * MiB, 16, 1024, 255, seed); }
const Bytes& MixedData(bool text) {
    static const Bytes bin = Mixed(false, 21), txt = Mixed(true, 22);
    return text ? txt : bin;
}

// 1 GiB of binary records with 32-byte payloads, back to back.
const std::size_t kSmall = 52;
const Bytes& Records1G() {
    static const Bytes v = [] {
        const Bytes payload = ref::RandomBytes(32, 23);
        Bytes one;
        ref::AppendRecord(one, "SMAL", payload.data(), 32, 0);
        Bytes out(GiB / kSmall * kSmall + 1, 0);
        for (std::size_t at = 0, i = 0; at + kSmall < out.size(); at += kSmall, ++i) {
            std::memcpy(&out[at], one.data(), kSmall);
            out[at + 10] = static_cast<u8>(i);  // the version byte
        }
        return out;
    }();
    return v;
}

ulvex::ScanOptions Threads(unsigned threads) {
    ulvex::ScanOptions o;
    o.threads = threads;
    return o;
}

bool SameAsTags(const std::vector<Record>& records, const std::vector<STag>& tags, const u8* base) {
    if (records.size() != tags.size()) return false;
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const Record& r = records[i];
        const STag& t = tags[i];
        if (r.offset != static_cast<std::uint64_t>(t.PtrTag - base) ||
            r.payloadOffset != static_cast<std::uint64_t>(t.PtrPayload - base) || r.payloadLen != t.PayloadLen ||
            r.recordLen != t.TagLen || r.version != t.Version || std::memcmp(r.name, t.PtrTag + 2, 4) != 0)
            return false;
    }
    return true;
}

void List(bool text, const Bytes& buf, std::vector<STag>& tags) {
    const unsigned len = static_cast<unsigned>(buf.size());
    if (text)
        CUlvexDecoderTxt().FindAllTagPtrAnyName(buf.data(), len, tags);
    else
        CUlvexDecoder().FindAllTagPtrAnyName(buf.data(), len, tags);
}

void ScanOneThread(benchmark::State& state, bool text) {
    const Bytes& buf = MixedData(text);
    const RecordForm form = text ? RecordForm::Text : RecordForm::Binary;
    std::vector<Record> records;
    std::vector<STag> tags;
    ulvex::Scan(form, buf.data(), buf.size(), records, Threads(1));
    List(text, buf, tags);
    if (!bench::Agree(state, SameAsTags(records, tags, buf.data()))) return;
    for (auto _ : state) {
        records.clear();
        ulvex::Scan(form, buf.data(), buf.size(), records, Threads(1));
        benchmark::DoNotOptimize(records.data());
    }
    bench::SetBytes(state, buf.size());
    bench::SetItems(state, records.size());
}

void Listing(benchmark::State& state, bool text) {
    const Bytes& buf = MixedData(text);
    std::vector<STag> tags;
    for (auto _ : state) {
        tags.clear();
        List(text, buf, tags);
        benchmark::DoNotOptimize(tags.data());
    }
    bench::SetBytes(state, buf.size());
    bench::SetItems(state, tags.size());
}

// Counts the records handed over and folds their offsets and lengths into a
// digest, so that runs on different thread counts can be compared.
struct Tally {
    std::uint64_t count = 0, digest = 0;
    static std::size_t Take(void* self, const Record* records, std::size_t n) {
        Tally& t = *static_cast<Tally*>(self);
        for (std::size_t i = 0; i < n; ++i)
            t.digest = t.digest * 31 + records[i].offset + records[i].recordLen + records[i].version;
        t.count += n;
        return n;
    }
};

Tally ScanAll(const Bytes& buf, unsigned threads) {
    Tally t;
    std::uint64_t pos = 0;
    ulvex::Scan(RecordForm::Binary, buf.data(), buf.size(), pos, Threads(threads), Tally::Take, &t);
    return t;
}

void ScanSmallRecords(benchmark::State& state) {
    const unsigned threads = static_cast<unsigned>(state.range(0));
    const Bytes& buf = Records1G();
    Tally want;
    for (std::size_t at = 0; at + kSmall < buf.size(); at += kSmall) {
        const Record r = {at, at + 12, 32, 52, {'S', 'M', 'A', 'L'}, buf[at + 10]};
        Tally::Take(&want, &r, 1);
    }
    const Tally got = ScanAll(buf, threads);
    if (!bench::Agree(state, got.count == want.count && got.digest == want.digest)) return;
    for (auto _ : state) benchmark::DoNotOptimize(ScanAll(buf, threads).count);
    bench::SetBytes(state, buf.size());
    bench::SetItems(state, want.count);
}

// The machine's own ceiling for two threads: each scans one half of the
// buffer on its own, on one thread, with no join and nothing shared. On a
// machine whose cores share memory bandwidth or execution units this stays
// well below twice one thread, and no two-thread scan can beat it.
void ScanHalvesIndependently(benchmark::State& state) {
    const Bytes& buf = Records1G();
    const std::size_t half = buf.size() / 2 / kSmall * kSmall;  // a record boundary
    const Bytes* whole = &buf;
    Tally first, second;
    for (auto _ : state) {
        first = Tally();
        second = Tally();
        std::thread other([&] {
            std::uint64_t pos = 0;
            ulvex::Scan(RecordForm::Binary, whole->data(), half + 1, pos, Threads(1), Tally::Take, &first);
        });
        std::uint64_t pos = 0;
        ulvex::Scan(RecordForm::Binary, whole->data() + half, whole->size() - half, pos, Threads(1), Tally::Take,
                    &second);
        other.join();
        benchmark::DoNotOptimize(first.count + second.count);
    }
    bench::SetBytes(state, buf.size());
    bench::SetItems(state, first.count + second.count);
}

const int registered = [] {
    using benchmark::kMicrosecond;
    using benchmark::kMillisecond;
    const char* forms[] = {"bin", "txt"};
    for (int text = 0; text < 2; ++text) {
        const std::string name = std::string("scan_") + forms[text] + "_mixed_32M";
        const bool t = text != 0;
        bench::Add(name + "/Scan_1_thread", [t](benchmark::State& s) { ScanOneThread(s, t); })->Unit(kMicrosecond);
        bench::Add(name + "/FindAllTagPtrAnyName", [t](benchmark::State& s) { Listing(s, t); })->Unit(kMicrosecond);
    }
    bench::Add("scan_bin_records32_1G/threads", ScanSmallRecords)->Arg(1)->Arg(2)->UseRealTime()->Unit(kMillisecond);
    bench::Add("scan_bin_records32_1G/two_independent_halves", ScanHalvesIndependently)
        ->UseRealTime()
        ->Unit(kMillisecond);
    return 0;
}();

}  // namespace
