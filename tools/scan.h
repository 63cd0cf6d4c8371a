// Listing the records of an input of any size.
//
// The decoders take 32-bit lengths; ScanRecords reports exactly the records a
// single scan over the whole input would report, each once, in input order,
// whatever the input's size (see scan.cpp for how and why).
#ifndef ULVEX_TOOLS_SCAN_H
#define ULVEX_TOOLS_SCAN_H

#include <cstdint>
#include <functional>

#include "ulvex/stag.h"

namespace ulvex_cli {

enum class Form { Binary, Text };

// The largest window: the decoders' whole 32-bit length range.
constexpr std::uint64_t kMaxWindow = 0xFFFFFFFFull;
// The smallest window accepted; it must exceed the 20 trailing bytes a binary
// lookup never starts a record in, so that every window makes progress, and
// the 32 bytes that frame the data of a text record.
constexpr std::uint64_t kMinWindow = 64;

// Called for each record found, in input order, with the input offset of its
// first byte; the STag's pointers are valid during the call only. Return false
// to end the scan early.
using RecordSink = std::function<bool(const STag&, std::uint64_t offset)>;

// Scans `size` bytes at `data` for records of the given form, the binary form
// through windows of at most `window` bytes (clamped to [kMinWindow,
// kMaxWindow]). A record longer than the window is never reported: with the
// default window that is a record beyond the decoders' 32-bit lengths.
// Returns false when the sink ended the scan.
bool ScanRecords(const unsigned char* data, std::uint64_t size, Form form, std::uint64_t window,
                 const RecordSink& sink);

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_SCAN_H
