// ulvex_scan of the C interface beside ulvex::Scan on one thread, over the
// same buffer: the C layer is expected to cost at most 5%. Both list every
// record, the C call into a caller array a batch at a time (as a C program
// does), ulvex::Scan into a vector. Workloads: records among garbage, and
// back-to-back small records, where the per-record work of the layer weighs
// most, in both forms.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "ulvex/c.h"
#include "ulvex/ulvex.h"
#include "workloads.h"

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes Workload(bool text, std::size_t minPayload, std::size_t maxPayload, std::size_t maxGap, std::uint64_t seed) {
    return ulvex::ref::RecordsAmongGarbage(text, 8u * 1024 * 1024, minPayload, maxPayload, maxGap, seed);
}

const Bytes& Data(bool text, bool small) {
    static const Bytes w[2][2] = {{Workload(false, 16, 1024, 255, 11), Workload(false, 12, 12, 0, 12)},
                                  {Workload(true, 16, 1024, 255, 13), Workload(true, 12, 12, 0, 14)}};
    return w[text][small];
}

std::vector<ulvex::Record> CppScan(bool text, const Bytes& b) {
    std::vector<ulvex::Record> out;
    ulvex::Scan(text ? ulvex::RecordForm::Text : ulvex::RecordForm::Binary, b.data(), b.size(), out);
    return out;
}

// Every record through ulvex_scan, `batch` at a time, into `out`.
std::size_t CScan(bool text, const Bytes& b, std::vector<ulvex_record>& out, std::size_t batch) {
    std::uint64_t pos = 0;
    std::size_t total = 0, count = 0;
    do {
        if (out.size() < total + batch) out.resize(total + batch);
        if (ulvex_scan(text ? ULVEX_TEXT : ULVEX_BINARY, b.data(), b.size(), &pos, out.data() + total, batch, &count,
                       1) != ULVEX_OK)
            return 0;
        total += count;
    } while (count == batch);
    return total;
}

bool Same(const std::vector<ulvex::Record>& a, const std::vector<ulvex_record>& b, std::size_t n) {
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (a[i].offset != b[i].offset || a[i].payloadOffset != b[i].payload_offset ||
            a[i].payloadLen != b[i].payload_len || a[i].recordLen != b[i].record_len ||
            std::memcmp(a[i].name, b[i].name, 4) != 0 || a[i].version != b[i].version)
            return false;
    return true;
}

void BenchC(benchmark::State& state, bool text, bool small, std::size_t batch) {
    const Bytes& b = Data(text, small);
    std::vector<ulvex_record> out;
    const std::size_t n = CScan(text, b, out, batch);
    if (!bench::Agree(state, Same(CppScan(text, b), out, n))) return;
    for (auto _ : state) benchmark::DoNotOptimize(CScan(text, b, out, batch));
    bench::SetBytes(state, b.size());
    bench::SetItems(state, n);
}

void BenchCpp(benchmark::State& state, bool text, bool small) {
    const Bytes& b = Data(text, small);
    std::size_t n = 0;
    for (auto _ : state) {
        const std::vector<ulvex::Record> r = CppScan(text, b);
        n = r.size();
        benchmark::DoNotOptimize(r.data());
    }
    bench::SetBytes(state, b.size());
    bench::SetItems(state, n);
}

// A scan resumed call after call (`cap` records per call, as a C program
// loops), beside one call for everything, on 32 MiB of small records with
// headers that all reach one far footer with a wrong checksum: the loop
// continues where the scan stands instead of summing up to that footer again.
const Bytes& HostileRecords() {
    static const Bytes b = ulvex::ref::HostileAmongRecords(std::size_t{32} << 20, 60);
    return b;
}

std::size_t CResumed(const Bytes& b, std::size_t cap) {
    std::vector<ulvex_record> out(cap);
    std::uint64_t pos = 0;
    std::size_t total = 0, count = 0;
    do {
        if (ulvex_scan(ULVEX_BINARY, b.data(), b.size(), &pos, out.data(), cap, &count, 1) != ULVEX_OK) return 0;
        total += count;
    } while (count == cap);
    return total;
}

struct TakeUpTo {
    std::size_t cap, got;
    static std::size_t Take(void* self, const ulvex::Record*, std::size_t n) {
        TakeUpTo& t = *static_cast<TakeUpTo*>(self);
        const std::size_t k = std::min(n, t.cap - t.got);
        return t.got += k, k;
    }
};

std::size_t CppResumed(const Bytes& b, std::size_t cap) {
    std::uint64_t pos = 0;
    std::size_t total = 0;
    for (bool done = false; !done;) {
        TakeUpTo t{cap, 0};
        done =
            ulvex::Scan(ulvex::RecordForm::Binary, b.data(), b.size(), pos, ulvex::ScanOptions(), TakeUpTo::Take, &t);
        total += t.got;
    }
    return total;
}

void BenchResumed(benchmark::State& state, bool c, std::size_t cap) {
    const Bytes& b = HostileRecords();
    const std::size_t n = c ? CResumed(b, cap) : CppResumed(b, cap);
    if (!bench::Agree(state, n == CppScan(false, b).size())) return;
    for (auto _ : state) benchmark::DoNotOptimize(c ? CResumed(b, cap) : CppResumed(b, cap));
    bench::SetBytes(state, b.size());
    bench::SetItems(state, n);
}

const int kRegistered = [] {
    using benchmark::kMicrosecond;
    for (int text = 0; text < 2; ++text)
        for (int small = 0; small < 2; ++small) {
            const std::string name = std::string(text ? "c_scan_txt_" : "c_scan_bin_") + (small ? "small" : "mixed");
            bench::Add(name + "/ulvex_scan", [=](benchmark::State& s) {
                BenchC(s, text, small, 4096);
            })->Unit(kMicrosecond);
            bench::Add(name + "/ulvex_scan_all", [=](benchmark::State& s) {
                BenchC(s, text, small, 1u << 20);
            })->Unit(kMicrosecond);
            bench::Add(name + "/ulvex::Scan", [=](benchmark::State& s) {
                BenchCpp(s, text, small);
            })->Unit(kMicrosecond);
        }
    bench::Add("resumed_hostile/one_call", [](benchmark::State& s) {
        BenchResumed(s, false, SIZE_MAX);
    })->Unit(kMicrosecond);
    for (std::size_t cap : {64, 4096}) {
        const std::string suffix = "_cap" + std::to_string(cap);
        bench::Add("resumed_hostile/ulvex_scan" + suffix, [=](benchmark::State& s) {
            BenchResumed(s, true, cap);
        })->Unit(kMicrosecond);
        bench::Add("resumed_hostile/ulvex::Scan" + suffix, [=](benchmark::State& s) {
            BenchResumed(s, false, cap);
        })->Unit(kMicrosecond);
    }
    return 0;
}();

}  // namespace
