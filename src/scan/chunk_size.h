// How large the chunks are that a scan is cut into, when the caller leaves
// it to the library (ScanOptions::chunkSize = 0).
#ifndef ULVEX_SRC_SCAN_CHUNK_SIZE_H
#define ULVEX_SRC_SCAN_CHUNK_SIZE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "ulvex/format.h"

namespace ulvex {
namespace detail {

// Chunks below this cost more per byte; above it a chunk's record list no
// longer stays in cache until the join hands it over.
constexpr std::uint64_t kSmallestChunk = std::uint64_t{4} << 10;
constexpr std::uint64_t kLargestChunk = std::uint64_t{1} << 20;

// For a whole scan of `bytes` bytes on `threads` threads: several chunks per
// thread for balance, at least 64 KiB. `asked`, when not 0, is the caller's.
inline std::uint64_t ChooseChunkSize(std::uint64_t bytes, unsigned threads, std::uint64_t asked) {
    if (asked != 0) return asked;
    return std::min(kLargestChunk, std::max(16 * kSmallestChunk, bytes / (std::uint64_t{8} * threads)));
}

// For a scan on one thread that stops after `records` records: chunks small
// enough that it scans little past the last one, an eighth of the bytes of
// that many records of the least length, at least kSmallestChunk. Otherwise,
// and for many records, 0: the whole scan's own choice.
inline std::uint64_t ChunkForRecordLimit(RecordForm form, std::size_t records, unsigned threads) {
    const std::uint64_t least = FrameLength(form);
    if (threads != 1 || records >= kLargestChunk / least * 8) return 0;
    return std::max(kSmallestChunk, std::uint64_t(records) * least / 8);
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_SCAN_CHUNK_SIZE_H
