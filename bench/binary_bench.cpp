// Binary records: scans, listings, FindTag, the checksum, the encoders and
// the hostile input, each beside its baseline.
#include <cstring>
#include <list>
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

// Kept out of line so that the baseline loop is compiled as a loop over an
// unknown buffer.
__attribute__((noinline)) std::uint16_t ByteSumLoop(const u8* p, std::size_t n) { return ref::ByteSum(p, n); }

std::unique_ptr<IUlvexDecoderBin> Decoder() { return std::unique_ptr<IUlvexDecoderBin>(IUlvexDecoderBin::CreateMe()); }

// --- workloads ----------------------------------------------------------------

const Bytes& Random8M() {
    static const Bytes v = ref::RandomBytes(8 * MiB, 1);
    return v;
}
const Bytes& Dense1M() {
    static const Bytes v = ref::DrawnBytes(1 * MiB, std::string("<h>A\0", 5), 2);
    return v;
}
// `count` records with `payload`-byte random payloads, back to back.
Bytes BackToBack(std::size_t count, std::size_t payload, std::uint64_t seed) {
    const Bytes data = ref::RandomBytes(payload, seed);
    Bytes v;
    const char* names[] = {"DATA", "AB", "XYZW", "Q"};
    for (std::size_t i = 0; i < count; ++i)
        ref::AppendRecord(v, names[i % 4], data.data(), static_cast<unsigned>(payload), static_cast<u8>(i));
    v.push_back(0);  // a record must be followed by a byte to be found
    return v;
}
const Bytes& Records32() {
    static const Bytes v = BackToBack(MiB / 52, 32, 3);
    return v;
}
const Bytes& Records64K() {
    static const Bytes v = BackToBack(64, 64 * KiB, 4);
    return v;
}
// Records of 16 to 256 payload bytes separated by 0 to 255 random bytes.
const Bytes& AmongGarbage() {
    static const Bytes v = [] {
        std::mt19937_64 rng(5);
        Bytes out;
        while (out.size() < 4 * MiB) {
            const Bytes junk = ref::RandomBytes(rng() % 256, rng());
            out.insert(out.end(), junk.begin(), junk.end());
            const Bytes payload = ref::RandomBytes(16 + rng() % 241, rng());
            ref::AppendRecord(out, "GARB", payload.data(), static_cast<unsigned>(payload.size()), 7);
        }
        out.push_back(0);
        return out;
    }();
    return v;
}
// 4 MiB of DATA records with 64-byte payloads; only the last one is LAST.
const Bytes& LastOf4M() {
    static const Bytes v = [] {
        const Bytes payload = ref::RandomBytes(64, 6);
        Bytes out;
        while (out.size() < 4 * MiB - 84) ref::AppendRecord(out, "DATA", payload.data(), 64, 1);
        ref::AppendRecord(out, "LAST", payload.data(), 64, 2);
        out.push_back(0);
        return out;
    }();
    return v;
}

// --- scans and listings ----------------------------------------------------

void ScanAnyName(benchmark::State& state, const Bytes& buf) {
    auto dec = Decoder();
    const unsigned len = static_cast<unsigned>(buf.size());
    STag a, b;
    const unsigned ra = dec->FindTagPtrAnyName(buf.data(), len, a, 0);
    const unsigned rb = ref::FindBin(buf.data(), len, ref::AnyName(), b, 0);
    if (!bench::Agree(state, ra == rb && bench::SameTag(a, b))) return;
    for (auto _ : state) benchmark::DoNotOptimize(dec->FindTagPtrAnyName(buf.data(), len, a, 0));
    bench::SetBytes(state, buf.size());
}

void ScanAnyNameBytewise(benchmark::State& state, const Bytes& buf) {
    const unsigned len = static_cast<unsigned>(buf.size());
    STag tag;
    for (auto _ : state) benchmark::DoNotOptimize(ref::FindBin(buf.data(), len, ref::AnyName(), tag, 0));
    bench::SetBytes(state, buf.size());
}

// memchr for '<' over the buffer, one call per occurrence.
void MemchrEvery(benchmark::State& state, const Bytes& buf) {
    for (auto _ : state) {
        std::size_t hits = 0;
        const u8* p = buf.data();
        const u8* end = p + buf.size();
        while (const void* q = std::memchr(p, '<', static_cast<std::size_t>(end - p))) {
            ++hits;
            p = static_cast<const u8*>(q) + 1;
        }
        benchmark::DoNotOptimize(hits);
    }
    bench::SetBytes(state, buf.size());
}

// One memchr pass that finds nothing: the speed of reading the bytes.
void MemchrNoHit(benchmark::State& state, std::size_t n) {
    const Bytes buf(n, 'A');
    for (auto _ : state) {
        const void* q = std::memchr(buf.data(), '<', buf.size());
        benchmark::DoNotOptimize(q);
    }
    bench::SetBytes(state, n);
}

void ByteSumOver(benchmark::State& state, const Bytes& buf) {
    for (auto _ : state) benchmark::DoNotOptimize(ByteSumLoop(buf.data(), buf.size()));
    bench::SetBytes(state, buf.size());
}

template <class Out>
void ListAnyName(benchmark::State& state, const Bytes& buf) {
    auto dec = Decoder();
    const unsigned len = static_cast<unsigned>(buf.size());
    Out a, b;
    dec->FindAllTagPtrAnyName(buf.data(), len, a);
    ref::ListBin(buf.data(), len, ref::AnyName(), b);
    if (!bench::Agree(state, bench::SameTags(a, b))) return;
    const std::size_t records = a.size();
    std::size_t allocs = 0;
    for (auto _ : state) {
        a.clear();
        allocs += bench::CountAllocations([&] { dec->FindAllTagPtrAnyName(buf.data(), len, a); });
    }
    bench::SetBytes(state, buf.size());
    bench::SetItems(state, records);
    state.counters["allocs_per_record"] =
        static_cast<double>(allocs) / static_cast<double>(records * state.iterations());
}

template <class Out>
void ListAnyNameBytewise(benchmark::State& state, const Bytes& buf) {
    const unsigned len = static_cast<unsigned>(buf.size());
    Out tags;
    std::size_t records = 0;
    for (auto _ : state) {
        tags.clear();
        ref::ListBin(buf.data(), len, ref::AnyName(), tags);
        records = tags.size();
    }
    bench::SetBytes(state, buf.size());
    bench::SetItems(state, records);
}

void ListNamed(benchmark::State& state, const Bytes& buf) {
    auto dec = Decoder();
    const unsigned len = static_cast<unsigned>(buf.size());
    const std::list<std::string> names = {"XYZW", "DATA", "GARB"};
    std::vector<STag> a, b;
    dec->FindAllTagPtr(buf.data(), len, names, a);
    ref::ListBin(buf.data(), len, ref::ListNames{&names}, b);
    if (!bench::Agree(state, bench::SameTags(a, b))) return;
    for (auto _ : state) {
        a.clear();
        dec->FindAllTagPtr(buf.data(), len, names, a);
    }
    bench::SetBytes(state, buf.size());
    bench::SetItems(state, a.size());
}

void ListNamedBytewise(benchmark::State& state, const Bytes& buf) {
    const unsigned len = static_cast<unsigned>(buf.size());
    const std::list<std::string> names = {"XYZW", "DATA", "GARB"};
    std::vector<STag> tags;
    for (auto _ : state) {
        tags.clear();
        ref::ListBin(buf.data(), len, ref::ListNames{&names}, tags);
    }
    bench::SetBytes(state, buf.size());
    bench::SetItems(state, tags.size());
}

void FindLast(benchmark::State& state) {
    const Bytes& buf = LastOf4M();
    auto dec = Decoder();
    const unsigned len = static_cast<unsigned>(buf.size());
    Bytes pa, pb;
    unsigned char va = 0, vb = 0;
    const unsigned ra = dec->FindTag(buf.data(), len, "LAST", pa, va, 0);
    const unsigned rb = ref::FindTag(buf.data(), len, "LAST", pb, vb, 0);
    if (!bench::Agree(state, ra != 0 && ra == rb && pa == pb && va == vb)) return;
    for (auto _ : state) benchmark::DoNotOptimize(dec->FindTag(buf.data(), len, "LAST", pa, va, 0));
    bench::SetBytes(state, buf.size());
}

void FindLastBytewise(benchmark::State& state) {
    const Bytes& buf = LastOf4M();
    const unsigned len = static_cast<unsigned>(buf.size());
    Bytes payload;
    unsigned char version = 0;
    for (auto _ : state) benchmark::DoNotOptimize(ref::FindTag(buf.data(), len, "LAST", payload, version, 0));
    bench::SetBytes(state, buf.size());
}

// --- checksum --------------------------------------------------------------------

// The exported checksum entry points of libulvex.so, as a caller reaches
// them: a footer value and a footer view over a caller's buffer.
std::uint16_t FooterChecksum(const u8* p, std::size_t n) {
    static const CFooter footer;
    return footer.CalcolaChecksum(p, static_cast<unsigned>(n));
}
std::uint16_t PtrFooterChecksum(const u8* p, std::size_t n) {
    static const u8 bytes[8] = {'<', 'A', 'B', 'C', 'D', 0, 0, '>'};
    static const CPtrFooter view(bytes);
    return view.CalcolaChecksum(p, static_cast<unsigned>(n));
}

template <std::uint16_t (*Sum)(const u8*, std::size_t)>
void ChecksumPath(benchmark::State& state) {
    const Bytes buf = ref::RandomBytes(MiB, 7);
    if (!bench::Agree(state, Sum(buf.data(), buf.size()) == ref::ByteSum(buf.data(), buf.size()))) return;
    for (auto _ : state) {
        const u8* p = buf.data();
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(Sum(p, buf.size()));
    }
    bench::SetBytes(state, buf.size());
}

// --- encoders ----------------------------------------------------------------------

const Bytes& Payload64() {
    static const Bytes v = ref::RandomBytes(64, 8);
    return v;
}

void AddTagBin(benchmark::State& state) {
    std::unique_ptr<IUlvexEncoderBin> enc(IUlvexEncoderBin::CreateMe());
    const Bytes& payload = Payload64();
    Bytes out, expect;
    enc->AddTagBin(out, "DATA", payload, 3);
    ref::AppendRecord(expect, "DATA", payload.data(), 64, 3);
    if (!bench::Agree(state, out == expect)) return;
    for (auto _ : state) {
        out.clear();
        enc->AddTagBin(out, "DATA", payload, 3);
        benchmark::DoNotOptimize(out.data());
    }
    bench::SetItems(state, 1);
    bench::SetBytes(state, 84);
}

void EncodeTagBin(benchmark::State& state) {
    std::unique_ptr<IUlvexEncoderBin> enc(IUlvexEncoderBin::CreateMe());
    Bytes payload = Payload64();
    Bytes out;
    char name[] = "DATA";
    for (auto _ : state) {
        enc->EncodeTagBin(out, name, payload.data(), 64, 3);
        benchmark::DoNotOptimize(out.data());
    }
    bench::SetItems(state, 1);
    bench::SetBytes(state, 84);
}

void EncodeBytewise(benchmark::State& state) {
    const Bytes& payload = Payload64();
    Bytes out;
    for (auto _ : state) {
        out.clear();
        ref::AppendRecord(out, "DATA", payload.data(), 64, 3);
        benchmark::DoNotOptimize(out.data());
    }
    bench::SetItems(state, 1);
    bench::SetBytes(state, 84);
}

// Copying a finished 84-byte record into a vector: the floor for any encoder.
void EncodeMemcpy(benchmark::State& state) {
    Bytes record;
    ref::AppendRecord(record, "DATA", Payload64().data(), 64, 3);
    Bytes out;
    for (auto _ : state) {
        out.clear();
        out.insert(out.end(), record.begin(), record.end());
        benchmark::DoNotOptimize(out.data());
    }
    bench::SetItems(state, 1);
    bench::SetBytes(state, 84);
}

// --- hostile input -----------------------------------------------------------------

void HostileList(benchmark::State& state) {
    const Bytes buf = ref::HostileBinary(static_cast<std::size_t>(state.range(0)));
    auto dec = Decoder();
    const unsigned len = static_cast<unsigned>(buf.size());
    std::vector<STag> a, b;
    dec->FindAllTagPtrAnyName(buf.data(), len, a);
    if (state.range(0) <= static_cast<std::int64_t>(256 * KiB)) {
        ref::ListBin(buf.data(), len, ref::AnyName(), b);
        if (!bench::Agree(state, bench::SameTags(a, b))) return;
    }
    for (auto _ : state) {
        a.clear();
        dec->FindAllTagPtrAnyName(buf.data(), len, a);
    }
    bench::SetBytes(state, buf.size());
}

void HostileListBytewise(benchmark::State& state) {
    const Bytes buf = ref::HostileBinary(static_cast<std::size_t>(state.range(0)));
    const unsigned len = static_cast<unsigned>(buf.size());
    std::vector<STag> tags;
    for (auto _ : state) {
        tags.clear();
        ref::ListBin(buf.data(), len, ref::AnyName(), tags);
    }
    bench::SetBytes(state, buf.size());
}

const int registered = [] {
    using benchmark::kMicrosecond;
    bench::Add("bin_scan_random_8M/ulvex", [](benchmark::State& s) { ScanAnyName(s, Random8M()); })->Unit(kMicrosecond);
    bench::Add("bin_scan_random_8M/bytewise", [](benchmark::State& s) {
        ScanAnyNameBytewise(s, Random8M());
    })->Unit(kMicrosecond);
    bench::Add("bin_scan_random_8M/memchr_every", [](benchmark::State& s) {
        MemchrEvery(s, Random8M());
    })->Unit(kMicrosecond);
    bench::Add("bin_scan_random_8M/memchr_nohit", [](benchmark::State& s) {
        MemchrNoHit(s, 8 * MiB);
    })->Unit(kMicrosecond);

    bench::Add("bin_scan_dense_1M/ulvex", [](benchmark::State& s) { ScanAnyName(s, Dense1M()); })->Unit(kMicrosecond);
    bench::Add("bin_scan_dense_1M/bytewise", [](benchmark::State& s) {
        ScanAnyNameBytewise(s, Dense1M());
    })->Unit(kMicrosecond);

    bench::Add("bin_list_32B/ulvex", [](benchmark::State& s) {
        ListAnyName<std::vector<STag>>(s, Records32());
    })->Unit(kMicrosecond);
    bench::Add("bin_list_32B/bytewise", [](benchmark::State& s) {
        ListAnyNameBytewise<std::vector<STag>>(s, Records32());
    })->Unit(kMicrosecond);
    bench::Add("bin_list_32B_list/ulvex", [](benchmark::State& s) {
        ListAnyName<std::list<STag>>(s, Records32());
    })->Unit(kMicrosecond);
    bench::Add("bin_list_32B_list/bytewise", [](benchmark::State& s) {
        ListAnyNameBytewise<std::list<STag>>(s, Records32());
    })->Unit(kMicrosecond);

    bench::Add("bin_list_64K/ulvex", [](benchmark::State& s) {
        ListAnyName<std::vector<STag>>(s, Records64K());
    })->Unit(kMicrosecond);
    bench::Add("bin_list_64K/bytewise", [](benchmark::State& s) {
        ListAnyNameBytewise<std::vector<STag>>(s, Records64K());
    })->Unit(kMicrosecond);
    bench::Add("bin_list_64K/bytesum", [](benchmark::State& s) { ByteSumOver(s, Records64K()); })->Unit(kMicrosecond);

    bench::Add("bin_list_garbage_4M/ulvex", [](benchmark::State& s) {
        ListAnyName<std::vector<STag>>(s, AmongGarbage());
    })->Unit(kMicrosecond);
    bench::Add("bin_list_garbage_4M/bytewise", [](benchmark::State& s) {
        ListAnyNameBytewise<std::vector<STag>>(s, AmongGarbage());
    })->Unit(kMicrosecond);
    bench::Add("bin_list_named_garbage_4M/ulvex", [](benchmark::State& s) {
        ListNamed(s, AmongGarbage());
    })->Unit(kMicrosecond);
    bench::Add("bin_list_named_garbage_4M/bytewise", [](benchmark::State& s) {
        ListNamedBytewise(s, AmongGarbage());
    })->Unit(kMicrosecond);

    bench::Add("bin_findtag_last_4M/ulvex", FindLast)->Unit(kMicrosecond);
    bench::Add("bin_findtag_last_4M/bytewise", FindLastBytewise)->Unit(kMicrosecond);

    bench::Add("checksum_1M/CFooter", ChecksumPath<FooterChecksum>)->Unit(kMicrosecond);
    bench::Add("checksum_1M/CPtrFooter", ChecksumPath<PtrFooterChecksum>)->Unit(kMicrosecond);
    bench::Add("checksum_1M/bytesum", ChecksumPath<ByteSumLoop>)->Unit(kMicrosecond);

    bench::Add("encode_64B/AddTagBin", AddTagBin);
    bench::Add("encode_64B/EncodeTagBin", EncodeTagBin);
    bench::Add("encode_64B/bytewise", EncodeBytewise);
    bench::Add("encode_64B/memcpy", EncodeMemcpy);

    bench::Add("hostile_bin/ulvex", HostileList)->RangeMultiplier(4)->Range(64 * KiB, MiB)->Unit(kMicrosecond);
    bench::Add("hostile_bin/bytewise", HostileListBytewise)
        ->RangeMultiplier(2)
        ->Range(64 * KiB, 256 * KiB)
        ->Unit(kMicrosecond);
    return 0;
}();

}  // namespace
