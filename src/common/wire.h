// The bottom layer of the library: the binary record's wire constants,
// little-endian fields, markers and name matching rules.
// Everything here is inline and hidden; nothing is exported.
#ifndef ULVEX_SRC_COMMON_WIRE_H
#define ULVEX_SRC_COMMON_WIRE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <list>
#include <string>

#include "ulvex/format.h"

namespace ulvex {
namespace detail {

constexpr unsigned int kHeaderSize = 12;
constexpr unsigned int kFooterSize = 8;
constexpr unsigned int kFrameSize = kHeaderSize + kFooterSize;
static_assert(kFrameSize == FrameLength(RecordForm::Binary), "the binary frame");

inline std::uint32_t LoadLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint16_t LoadLe16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline void StoreLe32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

inline void StoreLe16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

// Copies a text name into four name bytes: characters up to the first NUL,
// at most four; the rest stay zero.
inline void StoreTextName(unsigned char* nb, const char* name) {
    nb[0] = nb[1] = nb[2] = nb[3] = 0;
    for (int i = 0; i < 4 && name[i] != '\0'; ++i) nb[i] = static_cast<unsigned char>(name[i]);
}

// The views' text-name rule: equal byte by byte up to and including the first
// NUL of `name`, at most four bytes. Never reads past that NUL.
inline bool NameMatchesPrefix(const unsigned char* nb, const char* name) {
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c != nb[i]) return false;
        if (c == 0) return true;
    }
    return true;
}

// One list entry against four name bytes: the entry's first four characters,
// padded with NUL bytes, must equal all four bytes.
inline bool NameMatchesEntry(const unsigned char* nb, const std::string& entry) {
    const std::size_t n = entry.size() < 4 ? entry.size() : 4;
    for (std::size_t i = 0; i < 4; ++i) {
        const unsigned char c = i < n ? static_cast<unsigned char>(entry[i]) : 0;
        if (c != nb[i]) return false;
    }
    return true;
}

inline bool NameMatchesList(const unsigned char* nb, const std::list<std::string>& names) {
    for (std::list<std::string>::const_iterator it = names.begin(); it != names.end(); ++it)
        if (NameMatchesEntry(nb, *it)) return true;
    return false;
}

// The name bytes up to the first NUL, at most four. A name fits the string's
// own small buffer, so once `out` has room this never allocates.
inline void NameToString(const unsigned char* nb, std::string& out) {
    out.clear();
    for (int i = 0; i < 4 && nb[i] != 0; ++i) out.push_back(static_cast<char>(nb[i]));
}

// What stands at a position of an input, as the record tests of both forms
// (ExamineBinary, ExamineText) decide it. NeedMore: the decision needs more
// bytes than are available; over a whole buffer, whose end is final, that
// means the record does not fit.
enum class Verdict : unsigned char { NotRecord, Rejected, Record, NeedMore };

// No limit on the payload length beyond the format's own.
constexpr std::uint64_t kAnyPayload = ~std::uint64_t{0};

inline bool HeaderMarkersOk(const unsigned char* h) { return h[0] == '<' && h[1] == 'h' && h[11] == '>'; }
inline bool FooterMarkersOk(const unsigned char* f) { return f[0] == '<' && f[7] == '>'; }

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_COMMON_WIRE_H
