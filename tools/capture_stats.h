// `ulvex stats`: what captures hold, per record name and in total.
#ifndef ULVEX_TOOLS_CAPTURE_STATS_H
#define ULVEX_TOOLS_CAPTURE_STATS_H

#include <bitset>
#include <cstdint>
#include <map>
#include <string>

#include "ulvex/format.h"

namespace ulvex_cli {

class Progress;

struct NameStats {
    std::uint64_t records = 0;
    std::uint64_t payloadBytes = 0;
    std::uint32_t minPayload = 0xFFFFFFFFu, maxPayload = 0;
    std::bitset<256> versions;  // the version bytes seen
};

struct CaptureStats {
    std::map<std::string, NameStats> names;  // by name, in byte order
    std::uint64_t files = 0;
    std::uint64_t records = 0, recordBytes = 0, inputBytes = 0;
    // Well-formed headers whose record was not valid: damaged, cut off by
    // the end of the input, or too long.
    std::uint64_t rejected = 0;

    // Adds another capture's counts to these.
    void Add(const CaptureStats& other);
};

// Counts the records of the `size` bytes at `data` as the stream reader
// reads them when the whole input is one stream: the records the
// whole-input listing finds, and the reader's rejected candidates.
// `progress` learns the bytes and records done as they are.
CaptureStats CountCapture(const unsigned char* data, std::uint64_t size, ulvex::RecordForm form, Progress& progress);

// The report: a table, one row per name, then a totals line; or one JSON
// object.
std::string StatsTable(const CaptureStats& stats);
std::string StatsJson(const CaptureStats& stats);

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_CAPTURE_STATS_H
