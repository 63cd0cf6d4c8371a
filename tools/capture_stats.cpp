#include "capture_stats.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "escape.h"
#include "json.h"
#include "progress.h"
#include "ulvex/stream_reader.h"

namespace ulvex_cli {
namespace {

// Records counted between two reports to the progress meter.
const std::uint64_t kProgressBatch = 4096;

std::string Number(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%" PRIu64, v);
    return buf;
}

double Mean(const NameStats& n) {
    return n.records == 0 ? 0.0 : static_cast<double>(n.payloadBytes) / static_cast<double>(n.records);
}

// The versions seen as ranges: "0-3,7".
std::string VersionRanges(const std::bitset<256>& v) {
    std::string out;
    for (unsigned i = 0; i < 256;) {
        if (!v[i]) {
            ++i;
            continue;
        }
        unsigned j = i;
        while (j + 1 < 256 && v[j + 1]) ++j;
        if (!out.empty()) out += ',';
        out += Number(i);
        if (j > i) out += (j == i + 1 ? "," : "-") + Number(j);
        i = j + 1;
    }
    return out;
}

// Characters shown by an escaped name: every byte but UTF-8 continuation
// bytes starts one.
std::size_t Columns(const std::string& shown) {
    std::size_t n = 0;
    for (const char c : shown) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

}  // namespace

void CaptureStats::Add(const CaptureStats& other) {
    for (const auto& kv : other.names) {
        NameStats& n = names[kv.first];
        n.records += kv.second.records;
        n.payloadBytes += kv.second.payloadBytes;
        n.minPayload = std::min(n.minPayload, kv.second.minPayload);
        n.maxPayload = std::max(n.maxPayload, kv.second.maxPayload);
        n.versions |= kv.second.versions;
    }
    files += other.files;
    records += other.records;
    recordBytes += other.recordBytes;
    inputBytes += other.inputBytes;
    rejected += other.rejected;
}

CaptureStats CountCapture(const unsigned char* data, std::uint64_t size, ulvex::RecordForm form, Progress& progress) {
    CaptureStats stats;
    stats.files = 1;
    stats.inputBytes = size;
    // Any record the formats can hold is waited for. The input is one chunk,
    // ended at once: no candidate waits for bytes, so the reader copies
    // nothing and reads the input in place.
    ulvex::StreamReader reader(form, ulvex::StreamReader::kLargestMaxPayload);
    reader.Feed(data, static_cast<std::size_t>(size));
    reader.Finish();
    ulvex::Record r;
    const unsigned char* payload = nullptr;
    std::uint64_t reported = 0, pending = 0;
    NameStats* last = nullptr;
    unsigned char lastName[4] = {};
    while (reader.Next(r, payload)) {
        // Records of one name often come in runs.
        if (last == nullptr || std::memcmp(r.name, lastName, 4) != 0) {
            std::memcpy(lastName, r.name, 4);
            last = &stats.names[ulvex::RecordName(r)];
        }
        NameStats& n = *last;
        ++n.records;
        n.payloadBytes += r.payloadLen;
        n.minPayload = std::min(n.minPayload, r.payloadLen);
        n.maxPayload = std::max(n.maxPayload, r.payloadLen);
        n.versions.set(r.version);
        ++stats.records;
        stats.recordBytes += r.recordLen;
        if (++pending == kProgressBatch) {
            const std::uint64_t done = r.offset + r.recordLen;
            progress.Add(done - reported, pending);
            reported = done;
            pending = 0;
        }
    }
    progress.Add(size - reported, pending);
    stats.rejected = reader.RejectedCandidates();
    return stats;
}

std::string StatsTable(const CaptureStats& s) {
    std::string out;
    char buf[160];
    std::snprintf(buf, sizeof buf, "%-12s %12s %12s %12s %12s  %s\n", "name", "records", "min payload", "mean payload",
                  "max payload", "versions");
    out += buf;
    for (const auto& kv : s.names) {
        const NameStats& n = kv.second;
        const std::string name = "\"" + Escape(kv.first, true) + "\"";
        out += name;
        const std::size_t columns = Columns(name);
        if (columns < 12) out.append(12 - columns, ' ');
        std::snprintf(buf, sizeof buf, " %12" PRIu64 " %12" PRIu32 " %12.1f %12" PRIu32 "  ", n.records, n.minPayload,
                      Mean(n), n.maxPayload);
        out += buf;
        out += VersionRanges(n.versions);
        out += '\n';
    }
    out += Number(s.records) + (s.records == 1 ? " record, " : " records, ") + Number(s.recordBytes) +
           " bytes in records, " + Number(s.inputBytes - s.recordBytes) + " bytes passed over, " + Number(s.rejected) +
           (s.rejected == 1 ? " rejected candidate" : " rejected candidates") + "\n";
    return out;
}

std::string StatsJson(const CaptureStats& s) {
    std::string out =
        "{\"type\":\"stats\",\"files\":" + Number(s.files) + ",\"records\":" + Number(s.records) +
        ",\"record_bytes\":" + Number(s.recordBytes) + ",\"skipped_bytes\":" + Number(s.inputBytes - s.recordBytes) +
        ",\"input_bytes\":" + Number(s.inputBytes) + ",\"rejected\":" + Number(s.rejected) + ",\"names\":[";
    const char* sep = "";
    for (const auto& kv : s.names) {
        const NameStats& n = kv.second;
        out += sep;
        out += "{\"name\":";
        AppendJson(out, kv.first);
        out += ",\"records\":" + Number(n.records) + ",\"versions\":[";
        const char* vsep = "";
        for (unsigned v = 0; v < 256; ++v)
            if (n.versions[v]) out += vsep + Number(v), vsep = ",";
        char mean[32];
        std::snprintf(mean, sizeof mean, "%.3f", Mean(n));
        out += "],\"payload_bytes\":" + Number(n.payloadBytes) + ",\"payload_min\":" + Number(n.minPayload) +
               ",\"payload_mean\":" + mean + ",\"payload_max\":" + Number(n.maxPayload) + "}";
        sep = ",";
    }
    out += "]}\n";
    return out;
}

}  // namespace ulvex_cli
