#include "listing.h"

#include <cinttypes>
#include <cstdio>

#include "escape.h"
#include "json.h"
#include "ulvex/data_formatter.h"

namespace ulvex_cli {
namespace {

void AppendNumber(std::string& out, std::uint64_t v) {
    char buf[24];
    const int n = std::snprintf(buf, sizeof buf, "%" PRIu64, v);
    out.append(buf, static_cast<std::size_t>(n));
}

// Characters shown by an escaped text: every byte but UTF-8 continuation
// bytes starts one (Escape leaves only valid UTF-8 unescaped).
std::size_t Columns(const std::string& shown) {
    std::size_t n = 0;
    for (const char c : shown) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// The "file" field of a JSON object, when files are named.
void AppendFile(std::string& out, const ListStyle& style) {
    if (style.file == nullptr) return;
    out += "\"file\":";
    AppendJson(out, *style.file);
    out += ',';
}

// The numbers of a summary; JSON fields or words.
void AppendSums(std::string& line, bool json, std::uint64_t records, std::uint64_t recordBytes,
                std::uint64_t inputBytes) {
    const std::uint64_t skipped = inputBytes - recordBytes;
    if (json) {
        line += "\"records\":";
        AppendNumber(line, records);
        line += ",\"record_bytes\":";
        AppendNumber(line, recordBytes);
        line += ",\"skipped_bytes\":";
        AppendNumber(line, skipped);
        line += ",\"input_bytes\":";
        AppendNumber(line, inputBytes);
        return;
    }
    AppendNumber(line, records);
    line += records == 1 ? " record, " : " records, ";
    AppendNumber(line, recordBytes);
    line += " bytes in records, ";
    AppendNumber(line, skipped);
    line += " bytes passed over";
}

}  // namespace

RecordFormatter::RecordFormatter(const ListStyle& style) : m_style(style), m_fmt(IUlvexDataFormatter::CreateMe()) {}

RecordFormatter::~RecordFormatter() = default;

void RecordFormatter::Append(const ListedRecord& r, std::string& out) {
    if (m_style.entries) m_fmt->FindInDataAllEntry(r.payload, r.payloadLen, m_entries);
    if (m_style.json) {
        out += "{\"type\":\"record\",";
        AppendFile(out, m_style);
        out += "\"offset\":";
        AppendNumber(out, r.offset);
        out += ",\"name\":";
        AppendJson(out, *r.name);
        out += ",\"version\":";
        AppendNumber(out, r.version);
        out += ",\"payload_offset\":";
        AppendNumber(out, r.payloadOffset);
        out += ",\"payload_length\":";
        AppendNumber(out, r.payloadLen);
        out += ",\"record_length\":";
        AppendNumber(out, r.recordLen);
        if (m_style.entries) {
            out += ",\"entries\":{";
            const char* sep = "";
            for (const auto& kv : m_entries) {
                out += sep;
                AppendJson(out, kv.first);
                out += ':';
                AppendJson(out, kv.second);
                sep = ",";
            }
            out += '}';
        }
        out += "}\n";
        return;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%12" PRIu64 "  ", r.offset);
    out += buf;
    const std::string name = "\"" + Escape(*r.name, true) + "\"";
    out += name;
    const std::size_t columns = Columns(name);
    if (columns < 10) out.append(10 - columns, ' ');
    std::snprintf(buf, sizeof buf, " %7u %10" PRIu32 " %10" PRIu32 "\n", r.version, r.payloadLen, r.recordLen);
    out += buf;
    if (m_style.entries) {
        for (const auto& kv : m_entries) {
            out += "              ";
            out += Escape(kv.first, false);
            out += '=';
            out += Escape(kv.second, false);
            out += '\n';
        }
    }
}

std::string ListHeading(const ListStyle& style) {
    if (style.json) return std::string();
    char buf[80];
    std::snprintf(buf, sizeof buf, "%12s  %-10s %7s %10s %10s\n", "offset", "name", "version", "payload", "record");
    return style.file == nullptr ? std::string(buf) : "file " + Escape(*style.file, false) + "\n" + buf;
}

std::string ListSummary(const ListStyle& style, std::uint64_t records, std::uint64_t recordBytes,
                        std::uint64_t inputBytes) {
    std::string line = style.json ? "{\"type\":\"summary\"," : "";
    if (style.json) AppendFile(line, style);
    AppendSums(line, style.json, records, recordBytes, inputBytes);
    line += style.json ? "}\n" : "\n";
    return line;
}

std::string ListTotal(const ListStyle& style, std::uint64_t files, std::uint64_t records, std::uint64_t recordBytes,
                      std::uint64_t inputBytes) {
    std::string line = style.json ? "{\"type\":\"total\",\"files\":" : "total: ";
    AppendNumber(line, files);
    line += style.json ? "," : files == 1 ? " file, " : " files, ";
    AppendSums(line, style.json, records, recordBytes, inputBytes);
    line += style.json ? "}\n" : "\n";
    return line;
}

}  // namespace ulvex_cli
