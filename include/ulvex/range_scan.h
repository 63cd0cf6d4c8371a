// Byte ranges of one buffer scanned apart, joined exactly.
//
// A buffer too big for one task is cut into byte ranges [begin, end) that
// separate workers (threads, processes or machines) scan independently. The
// records of the whole buffer are those of one byte-by-byte path from
// position 0: it tries each position in turn and continues just past every
// record it finds (see ulvex/scan.h). That path enters each range at a
// position that depends on what came before: the range's first byte, or
// further in when a record of an earlier range runs into it. Nothing in the
// range itself tells where; no guess is ever made.
//
// The rule:
// 1. Every range is scanned on its own from its first byte (its local path):
//        exit = ScanRange(form, data, size, begin, end, local);
// 2. In order, range 0 is entered at 0; range i + 1 is entered where the
//    whole-buffer path leaves range i. JoinRange takes the local records and
//    that entry and returns the range's true records as the records it had to
//    scan again (`head`) followed by local[from...], and the true exit, the
//    next range's entry. When the entry is a position the local path passes
//    through, nothing is scanned again; otherwise JoinRange scans from the
//    entry only until the two paths meet (a position both pass through),
//    no further than the range's end.
//
// Step 1 reads the range, plus the bytes that complete or reject candidates
// starting in it; step 2 reads the same bytes at most once more, and usually
// none. Each call's work stays within a few times the bytes it covers, also
// on inputs built so that many headers share one far footer (the checksums
// are then summed in blocks), plus the length of the longest payload that a
// candidate in the range announces.
//
// Step 1 alone, from the true entry, gives the true records too:
// ScanRange(form, data, size, entry, end, out) lists the whole-buffer path
// from `entry` on; JoinRange lets the expensive scans run in parallel first.
#ifndef ULVEX_RANGE_SCAN_H
#define ULVEX_RANGE_SCAN_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ulvex/export.h"
#include "ulvex/scan.h"

namespace ulvex {

// Appends to `records` the records of the byte-by-byte path through the
// `size` bytes at `data` that starts at `entry` and that start before `end`
// (they may run past `end`; `end` beyond `size` counts as `size`). Returns
// where that path stands once it passes `end`: `end`, or the end of the last
// record listed when that lies further; `entry` itself when it is not below
// `end`. Throws std::bad_alloc when memory runs out.
ULVEX_API std::uint64_t ScanRange(RecordForm form, const void* data, std::uint64_t size, std::uint64_t entry,
                                  std::uint64_t end, std::vector<Record>& records);

// Joins the range [begin, end) at `entry` (at least `begin`), the position at
// which the path it belongs to enters it, given `local`, the `count` records
// that ScanRange listed for it from `begin` (only their offset and recordLen
// are read). Appends to `head` the records of the path from `entry` up to the
// point where it meets the local path, sets `from` to the index of the first
// local record the path lists from there on (every later one it lists too;
// `count` for none), and returns the path's exit from the range as ScanRange
// would. Throws std::bad_alloc when memory runs out.
ULVEX_API std::uint64_t JoinRange(RecordForm form, const void* data, std::uint64_t size, std::uint64_t begin,
                                  std::uint64_t end, const Record* local, std::size_t count, std::uint64_t entry,
                                  std::vector<Record>& head, std::size_t& from);

}  // namespace ulvex

#endif  // ULVEX_RANGE_SCAN_H
