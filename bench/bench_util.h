// Shared pieces of the benchmark programs: registration, the allocation
// counter and result comparison.
#ifndef ULVEX_BENCH_UTIL_H
#define ULVEX_BENCH_UTIL_H

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "ulvex/stag.h"

namespace bench {

// Number of calls to the global operator new in this process so far.
extern std::atomic<std::size_t> g_allocations;

inline std::size_t Allocations() { return g_allocations.load(std::memory_order_relaxed); }

// Registers `fn` (a callable taking benchmark::State&) as `name`.
template <class Fn>
benchmark::internal::Benchmark* Add(const std::string& name, Fn fn) {
    return benchmark::RegisterBenchmark(name.c_str(), fn);
}

inline bool SameTag(const STag& a, const STag& b) {
    return a.TagName == b.TagName && a.PtrTag == b.PtrTag && a.PtrPayload == b.PtrPayload &&
           a.PayloadLen == b.PayloadLen && a.TagLen == b.TagLen && a.Version == b.Version;
}

template <class C>
bool SameTags(const C& a, const C& b) {
    if (a.size() != b.size()) return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
        if (!SameTag(*i, *j)) return false;
    return true;
}

// Skips the benchmark with an error when the measured operation and its
// reference disagree; true when they agree.
inline bool Agree(benchmark::State& state, bool same) {
    if (!same) state.SkipWithError("result differs from the reference");
    return same;
}

inline void SetBytes(benchmark::State& state, std::size_t perIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * perIteration));
}
inline void SetItems(benchmark::State& state, std::size_t perIteration) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * perIteration));
}

// Runs `fn` once and returns how many allocations it made.
template <class Fn>
std::size_t CountAllocations(Fn fn) {
    const std::size_t before = Allocations();
    fn();
    return Allocations() - before;
}

}  // namespace bench

#endif  // ULVEX_BENCH_UTIL_H
