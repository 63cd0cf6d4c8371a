// Scanning a whole input for records, on the library's any-size scan.
#ifndef ULVEX_TOOLS_SCAN_H
#define ULVEX_TOOLS_SCAN_H

#include <cstddef>
#include <cstdint>
#include <functional>

#include "ulvex/scan.h"

namespace ulvex_cli {

// Receives the records found, in input order, a batch at a time, and returns
// how many of them it takes; fewer than `count` ends the scan after those.
using BatchSink = std::function<std::size_t(const ulvex::Record* records, std::size_t count)>;

// Scans the `size` bytes at `data` for records of the given form on the
// workers of `pool` and the calling thread, or without a pool with `threads`
// threads (0: one per core). Returns false when the sink ended the scan.
// Exceptions thrown by the sink pass through.
bool ScanRecords(const unsigned char* data, std::uint64_t size, ulvex::RecordForm form, unsigned threads,
                 ulvex::ThreadPool* pool, const BatchSink& sink);

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_SCAN_H
