// The lines of `ulvex list`: one per record (with its entries), a heading
// and a summary; plain or JSON Lines.
#ifndef ULVEX_TOOLS_LISTING_H
#define ULVEX_TOOLS_LISTING_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>

class IUlvexDataFormatter;

namespace ulvex_cli {

struct ListStyle {
    bool json = false;     // JSON Lines instead of columns
    bool entries = false;  // each payload's key=value entries too
    // When several files are listed: the one being listed, named in every
    // JSON object (a "file" field) and in a line before its records.
    const std::string* file = nullptr;
};

// One record as the listing shows it; `payload` points at its payload bytes.
struct ListedRecord {
    std::uint64_t offset;         // of the record's first byte in the input
    std::uint64_t payloadOffset;  // of its first payload byte
    const std::string* name;
    unsigned version;
    const unsigned char* payload;
    std::uint32_t payloadLen;
    std::uint32_t recordLen;
};

// Formats records; one object per thread.
class RecordFormatter {
public:
    explicit RecordFormatter(const ListStyle& style);
    ~RecordFormatter();
    RecordFormatter(const RecordFormatter&) = delete;
    RecordFormatter& operator=(const RecordFormatter&) = delete;

    // Appends the record's line (and entry lines) to `out`.
    void Append(const ListedRecord& r, std::string& out);

private:
    ListStyle m_style;
    std::unique_ptr<IUlvexDataFormatter> m_fmt;
    std::map<std::string, std::string> m_entries;
};

// The column heading of the plain listing (after a line naming the file
// when one is set); empty for JSON.
std::string ListHeading(const ListStyle& style);

// The last line of a file: records, bytes in records, bytes passed over.
std::string ListSummary(const ListStyle& style, std::uint64_t records, std::uint64_t recordBytes,
                        std::uint64_t inputBytes);

// The last line when several files are listed: the same sums over them all.
std::string ListTotal(const ListStyle& style, std::uint64_t files, std::uint64_t records, std::uint64_t recordBytes,
                      std::uint64_t inputBytes);

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_LISTING_H
