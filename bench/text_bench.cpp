// Text records: scans, listings, the text encoder and the hostile input,
// each beside its baseline.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "reference.h"
#include "ulvex/ulvex.h"
#include "workloads.h"

namespace {

namespace ref = ulvex::ref;

using ref::Bytes;
using ref::u8;

const std::size_t KiB = 1024, MiB = 1024 * 1024;

// A derived decoder that overrides one size with the same value: it takes
// the general path, where every position goes through the virtual slots.
class DerivedTxt : public CUlvexDecoderTxt {
public:
    unsigned int GetTagDataSeparator() override { return 2; }
};

const Bytes& Printable4M() {
    static const Bytes v = [] {
        std::string printable;
        for (int c = 0x20; c < 0x7F; ++c) printable += static_cast<char>(c);
        return ref::DrawnBytes(4 * MiB, printable, 11);
    }();
    return v;
}

// Text records with 64 data bytes, back to back (about 1 MiB).
const Bytes& TextRecords() {
    static const Bytes v = [] {
        const Bytes data = ref::DrawnBytes(64, "abcdefghijklmnopqrstuvwxyz0123456789=|", 12);
        Bytes out;
        const char* names[] = {"DATA", "AB", "TXT1"};
        for (std::size_t i = 0; out.size() < MiB; ++i)
            ref::AppendTextRecord(out, names[i % 3], data.data(), 64, static_cast<u8>(i % 10));
        return out;
    }();
    return v;
}

template <class Decoder>
void Scan(benchmark::State& state, const Bytes& buf) {
    Decoder dec;
    const unsigned len = static_cast<unsigned>(buf.size());
    STag a, b;
    const unsigned ra = dec.FindTagPtrAnyName(buf.data(), len, a, 0);
    const unsigned rb = ref::FindTxt(buf.data(), len, b, 0);
    if (!bench::Agree(state, ra == rb && bench::SameTag(a, b))) return;
    IUlvexDecoderTxt& d = dec;  // called through the interface, as users do
    for (auto _ : state) benchmark::DoNotOptimize(d.FindTagPtrAnyName(buf.data(), len, a, 0));
    bench::SetBytes(state, buf.size());
}

void ScanBytewise(benchmark::State& state, const Bytes& buf) {
    const unsigned len = static_cast<unsigned>(buf.size());
    STag tag;
    for (auto _ : state) benchmark::DoNotOptimize(ref::FindTxt(buf.data(), len, tag, 0));
    bench::SetBytes(state, buf.size());
}

void MemchrNoHit(benchmark::State& state, std::size_t n) {
    const Bytes buf(n, 'A');
    for (auto _ : state) benchmark::DoNotOptimize(std::memchr(buf.data(), '<', buf.size()));
    bench::SetBytes(state, n);
}

template <class Decoder>
void List(benchmark::State& state, const Bytes& buf) {
    Decoder dec;
    const unsigned len = static_cast<unsigned>(buf.size());
    std::vector<STag> a, b;
    dec.FindAllTagPtrAnyName(buf.data(), len, a);
    ref::ListTxt(buf.data(), len, b);
    if (!bench::Agree(state, !a.empty() && bench::SameTags(a, b))) return;
    const std::size_t records = a.size();
    std::size_t allocs = 0;
    IUlvexDecoderTxt& d = dec;
    for (auto _ : state) {
        a.clear();
        allocs += bench::CountAllocations([&] { d.FindAllTagPtrAnyName(buf.data(), len, a); });
    }
    bench::SetBytes(state, buf.size());
    bench::SetItems(state, records);
    state.counters["allocs_per_record"] =
        static_cast<double>(allocs) / static_cast<double>(records * state.iterations());
}

void ListBytewise(benchmark::State& state, const Bytes& buf) {
    const unsigned len = static_cast<unsigned>(buf.size());
    std::vector<STag> tags;
    std::size_t records = 0;
    for (auto _ : state) {
        tags.clear();
        ref::ListTxt(buf.data(), len, tags);
        records = tags.size();
    }
    bench::SetBytes(state, buf.size());
    bench::SetItems(state, records);
}

void AddTagTxt(benchmark::State& state) {
    std::unique_ptr<IUlvexEncoderTxt> enc(IUlvexEncoderTxt::CreateMe());
    const Bytes payload = ref::RandomBytes(64, 13);
    Bytes out, expect;
    enc->AddTagTxt(out, "DATA", payload, 3);
    ref::AppendTextRecord(expect, "DATA", payload.data(), 64, 3);
    if (!bench::Agree(state, out == expect)) return;
    for (auto _ : state) {
        out.clear();
        enc->AddTagTxt(out, "DATA", payload, 3);
        benchmark::DoNotOptimize(out.data());
    }
    bench::SetItems(state, 1);
    bench::SetBytes(state, 64 + 34);
}

void AddTagTxtBytewise(benchmark::State& state) {
    const Bytes payload = ref::RandomBytes(64, 13);
    Bytes out;
    for (auto _ : state) {
        out.clear();
        ref::AppendTextRecord(out, "DATA", payload.data(), 64, 3);
        benchmark::DoNotOptimize(out.data());
    }
    bench::SetItems(state, 1);
    bench::SetBytes(state, 64 + 34);
}

void AddTagTxtMemcpy(benchmark::State& state) {
    Bytes record;
    ref::AppendTextRecord(record, "DATA", ref::RandomBytes(64, 13).data(), 64, 3);
    Bytes out;
    for (auto _ : state) {
        out.clear();
        out.insert(out.end(), record.begin(), record.end());
        benchmark::DoNotOptimize(out.data());
    }
    bench::SetItems(state, 1);
    bench::SetBytes(state, 64 + 34);
}

void HostileList(benchmark::State& state) {
    const Bytes buf = ref::HostileText(static_cast<std::size_t>(state.range(0)));
    CUlvexDecoderTxt dec;
    const unsigned len = static_cast<unsigned>(buf.size());
    std::vector<STag> a, b;
    dec.FindAllTagPtrAnyName(buf.data(), len, a);
    if (state.range(0) <= static_cast<std::int64_t>(256 * KiB)) {
        ref::ListTxt(buf.data(), len, b);
        if (!bench::Agree(state, bench::SameTags(a, b))) return;
    }
    IUlvexDecoderTxt& d = dec;
    for (auto _ : state) {
        a.clear();
        d.FindAllTagPtrAnyName(buf.data(), len, a);
    }
    bench::SetBytes(state, buf.size());
}

void HostileListBytewise(benchmark::State& state) {
    const Bytes buf = ref::HostileText(static_cast<std::size_t>(state.range(0)));
    const unsigned len = static_cast<unsigned>(buf.size());
    std::vector<STag> tags;
    for (auto _ : state) {
        tags.clear();
        ref::ListTxt(buf.data(), len, tags);
    }
    bench::SetBytes(state, buf.size());
}

const int registered = [] {
    using benchmark::kMicrosecond;
    bench::Add("txt_scan_random_4M/ulvex", [](benchmark::State& s) {
        Scan<CUlvexDecoderTxt>(s, Printable4M());
    })->Unit(kMicrosecond);
    bench::Add("txt_scan_random_4M/derived", [](benchmark::State& s) {
        Scan<DerivedTxt>(s, Printable4M());
    })->Unit(kMicrosecond);
    bench::Add("txt_scan_random_4M/bytewise", [](benchmark::State& s) {
        ScanBytewise(s, Printable4M());
    })->Unit(kMicrosecond);
    bench::Add("txt_scan_random_4M/memchr_nohit", [](benchmark::State& s) {
        MemchrNoHit(s, 4 * MiB);
    })->Unit(kMicrosecond);

    bench::Add("txt_list_1M/ulvex", [](benchmark::State& s) {
        List<CUlvexDecoderTxt>(s, TextRecords());
    })->Unit(kMicrosecond);
    bench::Add("txt_list_1M/derived", [](benchmark::State& s) {
        List<DerivedTxt>(s, TextRecords());
    })->Unit(kMicrosecond);
    bench::Add("txt_list_1M/bytewise", [](benchmark::State& s) { ListBytewise(s, TextRecords()); })->Unit(kMicrosecond);

    bench::Add("encode_txt_64B/AddTagTxt", AddTagTxt);
    bench::Add("encode_txt_64B/bytewise", AddTagTxtBytewise);
    bench::Add("encode_txt_64B/memcpy", AddTagTxtMemcpy);

    bench::Add("hostile_txt/ulvex", HostileList)->RangeMultiplier(4)->Range(64 * KiB, MiB)->Unit(kMicrosecond);
    bench::Add("hostile_txt/bytewise", HostileListBytewise)
        ->RangeMultiplier(2)
        ->Range(64 * KiB, 256 * KiB)
        ->Unit(kMicrosecond);
    return 0;
}();

}  // namespace
