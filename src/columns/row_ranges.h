// Rows cut into ranges that are read independently and joined in order.
#ifndef ULVEX_SRC_COLUMNS_ROW_RANGES_H
#define ULVEX_SRC_COLUMNS_ROW_RANGES_H

#include <algorithm>
#include <cstddef>

#include "ulvex/scan.h"

namespace ulvex {
namespace detail {

// How many ranges `count` rows are cut into for `threads` threads (0: one
// per core): a few per thread, of at least 1024 rows.
inline std::size_t RangeCount(std::size_t count, unsigned threads) {
    const std::size_t t = threads == 0 ? DefaultScanThreads() : threads;
    const std::size_t wanted = t == 1 ? 1 : 4 * t;
    return std::max<std::size_t>(1, std::min(wanted, count / 1024));
}

// Calls fn(range, begin, end) for each of `ranges` consecutive ranges of
// `count` rows.
template <class Fn>
void ForEachRange(std::size_t count, std::size_t ranges, Fn&& fn) {
    for (std::size_t i = 0; i < ranges; ++i) fn(i, count * i / ranges, count * (i + 1) / ranges);
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_COLUMNS_ROW_RANGES_H
