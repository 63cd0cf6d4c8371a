// Reference readers of the binary record, text record and entry formats,
// shared by the fuzz targets, the tests and the benchmarks. Each one
// walks the bytes one position at a time exactly as the format reads: no
// candidate search, no vector code, no tables, no early skips. A checksum is
// the plain byte-sum loop over the candidate's payload, for every candidate
// that gets that far. Positions are 64-bit, so the same readers describe
// buffers of any length; the 32-bit wrappers fill an STag as the decoders do.
//
// They live here, never in the library: the library must agree with them,
// and the benchmarks time them (at -O3) as the baselines.
#ifndef ULVEX_TESTS_SUPPORT_REFERENCE_H
#define ULVEX_TESTS_SUPPORT_REFERENCE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "ulvex/stag.h"

namespace ulvex {
namespace ref {

typedef unsigned char u8;
typedef std::uint32_t u32;
typedef std::uint64_t u64;
typedef std::vector<u8> Bytes;

const u64 kNoLimit = ~u64(0);

inline u32 Le32(const u8* p) {
    return static_cast<u32>(p[0]) | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
           static_cast<u32>(p[3]) << 24;
}
inline unsigned Le16(const u8* p) { return static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8; }

// The plain byte-sum loop modulo 65536: the checksum, and the -O3 baseline
// of the library's checksum.
inline std::uint16_t ByteSum(const u8* p, u64 n) {
    u32 s = 0;
    for (u64 i = 0; i < n; ++i) s += p[i];
    return static_cast<std::uint16_t>(s);
}

// The name bytes up to the first NUL, at most four.
inline std::string NameString(const u8* nb) {
    std::string s;
    for (int i = 0; i < 4 && nb[i] != 0; ++i) s += static_cast<char>(nb[i]);
    return s;
}

// Name bytes equal `name` up to and including its first NUL, at most four.
inline bool Prefix(const u8* nb, const char* name) {
    for (int i = 0; i < 4; ++i) {
        if (nb[i] != static_cast<u8>(name[i])) return false;
        if (name[i] == 0) return true;
    }
    return true;
}

// Some entry, cut or NUL-padded to four bytes, equals all four name bytes.
inline bool InList(const u8* nb, const std::list<std::string>& names) {
    for (const std::string& e : names) {
        bool eq = true;
        for (std::size_t i = 0; i < 4 && eq; ++i) eq = nb[i] == (i < e.size() ? static_cast<u8>(e[i]) : 0);
        if (eq) return true;
    }
    return false;
}

// The name checks of the three lookups: any name (the footer repeats the
// header's name up to its first NUL), one name given as text, a name list
// (header and footer each in it).
struct AnyName {
    bool Head(const u8*) const { return true; }
    bool Foot(const u8* h, const u8* f) const { return Prefix(f, reinterpret_cast<const char*>(h)); }
};
struct OneName {
    const char* name;
    bool Head(const u8* h) const { return Prefix(h, name); }
    bool Foot(const u8*, const u8* f) const { return Prefix(f, name); }
};
struct ListNames {
    const std::list<std::string>* names;
    bool Head(const u8* h) const { return InList(h, *names); }
    bool Foot(const u8*, const u8* f) const { return InList(f, *names); }
};

// One record found by a reference scan, in either form. For the text form
// the payload is the data (after the separator) and the record ends with
// the footer's closing '>', the closing CR LF not counted.
struct Found {
    u64 offset;
    u64 payloadOffset;
    u32 payloadLen;
    u32 recordLen;
    u8 name[4];  // as the header holds them (text form: as the text does)
    u8 version;
};

// Records of a listing, one "offset/payloadOffset/payloadLen/recordLen/name/vversion " each: a
// comparison of two listings shows where they differ.
template <class R>  // Found, or ulvex::Record, which shares its field names
std::string Show(const std::vector<R>& rs) {
    std::string s;
    for (const R& r : rs)
        s += std::to_string(r.offset) + "/" + std::to_string(r.payloadOffset) + "/" + std::to_string(r.payloadLen) +
             "/" + std::to_string(r.recordLen) + "/" + std::string(reinterpret_cast<const char*>(r.name), 4) + "/v" +
             std::to_string(r.version) + " ";
    return s;
}

// --- binary form ---------------------------------------------------------------

// Whether a binary record passing `names` starts at `p` of the `n` bytes at
// `b` (from n - 20 on none does); on true, `len` is its payload length. A
// header announcing more than `maxPayload` bytes is no candidate.
template <class Names>
bool BinRecordAt(const u8* b, u64 n, u64 p, const Names& names, u32& len, u64 maxPayload = kNoLimit) {
    if (n <= 20 || p >= n - 20) return false;
    const u8* h = b + p;
    if (h[0] != '<' || h[1] != 'h' || h[11] != '>' || !names.Head(h + 2)) return false;
    const u32 L = Le32(h + 6);
    if (L > maxPayload || L > n - p - 20) return false;
    const u8* f = h + 12 + L;
    if (f[0] != '<' || f[7] != '>' || !names.Foot(h + 2, f + 1)) return false;
    if (ByteSum(h + 12, L) != Le16(f + 5)) return false;
    len = L;
    return true;
}

inline Found BinFound(const u8* b, u64 p, u32 L) {
    Found r;
    r.offset = p, r.payloadOffset = p + 12, r.payloadLen = L, r.recordLen = L + 20;
    std::memcpy(r.name, b + p + 2, 4);
    r.version = b[p + 10];
    return r;
}

// The first binary record at or after `start`: its position in `pos`, the
// offset just past it returned; 0 when there is none.
template <class Names>
u64 ScanBin(const u8* b, u64 n, u64 start, const Names& names, u64& pos, u32& len, u64 maxPayload = kNoLimit) {
    for (u64 p = start; n > 20 && p < n - 20; ++p)
        if (BinRecordAt(b, n, p, names, len, maxPayload)) return pos = p, p + 20 + len;
    return 0;
}

inline STag MakeTag(const u8* at, const u8* nameBytes, const u8* payload, u32 payloadLen, u32 tagLen, u8 version) {
    STag t;
    t.TagName = NameString(nameBytes);
    t.PtrTag = at, t.PtrPayload = payload, t.PayloadLen = payloadLen, t.TagLen = tagLen, t.Version = version;
    return t;
}

inline STag TagOf(const u8* b, const Found& r) {
    return MakeTag(b + r.offset, r.name, b + r.payloadOffset, r.payloadLen, r.recordLen, r.version);
}

// The single lookups: the offset just past the record found at or after
// `start`, 0 when none; `tag` is filled only on success.
template <class Names>
unsigned FindBin(const void* buf, unsigned len, const Names& names, STag& tag, unsigned start) {
    const u8* b = static_cast<const u8*>(buf);
    u64 p = 0;
    u32 L = 0;
    const u64 end = ScanBin(b, len, start, names, p, L);
    if (end != 0) tag = TagOf(b, BinFound(b, p, L));
    return static_cast<unsigned>(end);
}

// The bulk listing: single lookups, each from just past the previous record.
template <class Names, class Out>
void ListBin(const void* buf, unsigned len, const Names& names, Out& out) {
    STag tag;
    unsigned pos = 0;
    while ((pos = FindBin(buf, len, names, tag, pos)) != 0) out.push_back(tag);
}

// FindTag: empties `payload`, then copies the named record's payload out.
inline unsigned FindTag(const void* buf, unsigned len, const char* name, Bytes& payload, unsigned char& version,
                        unsigned start) {
    payload.clear();
    STag tag;
    const unsigned end = FindBin(buf, len, OneName{name}, tag, start);
    if (end != 0) payload.assign(tag.PtrPayload, tag.PtrPayload + tag.PayloadLen), version = tag.Version;
    return end;
}

// --- text form -------------------------------------------------------------------

// The number of a text header (header) or footer: from position 6 on, each
// byte adding its code minus 48, stopping at a '>' (looked for one position
// ahead in a header), at most to position 16 / 12. Returns where it stopped.
inline unsigned TextValue(unsigned& value, const u8* t, bool header) {
    const unsigned limit = header ? 16 : 12, ahead = header ? 1 : 0;
    unsigned v = 0, i = 6;
    do {
        if (t[i + ahead] == '>') break;
        v = v * 10u + t[i] - 48u;
        ++i;
    } while (i < limit);
    value = v;
    return i;
}

// The 12 binary header bytes a text header reads as; returns the position of
// its version character.
inline unsigned TextHeader(u8* h, const u8* t) {
    std::memcpy(h, t, 12);
    unsigned v = 0;
    const unsigned i = TextValue(v, t, true);
    h[6] = static_cast<u8>(v), h[7] = static_cast<u8>(v >> 8), h[8] = static_cast<u8>(v >> 16),
    h[9] = static_cast<u8>(v >> 24);
    h[10] = static_cast<u8>(t[i] - '0');
    h[11] = '>';
    return i;
}

// The 8 binary footer bytes a text footer reads as; returns where its number
// stopped.
inline unsigned TextFooter(u8* f, const u8* t) {
    std::memcpy(f, t, 8);
    unsigned v = 0;
    const unsigned i = TextValue(v, t, false);
    f[5] = static_cast<u8>(v), f[6] = static_cast<u8>(v >> 8);
    f[7] = '>';
    return i;
}

// Whether a text record starts at `p`, a position below n - 30: the header
// converted, then the binary checks on the converted header and footer. A
// length field below 2 (no room for the separator) is never a record. On
// true, `len` is the header's length field (separator plus data). A header
// announcing more than `maxData` data bytes is no candidate.
inline bool TxtCandidate(const u8* b, u64 n, u64 p, u32& len, u64 maxData) {
    u8 h[12], f[8];
    TextHeader(h, b + p);
    if (h[0] != '<' || h[1] != 'h' || h[11] != '>') return false;
    const u64 L = Le32(h + 6);
    if (p + 18 + L + 12 > n || L < 2 || L - 2 > maxData) return false;
    TextFooter(f, b + p + 18 + L);
    if (f[0] != '<' || f[7] != '>' || std::memcmp(f + 1, h + 2, 4) != 0) return false;
    if (ByteSum(b + p + 18, L) != Le16(f + 5)) return false;
    len = static_cast<u32>(L);
    return true;
}

inline Found TxtFound(const u8* b, u64 p, u32 L) {
    u8 h[12];
    TextHeader(h, b + p);
    Found r;
    r.offset = p, r.payloadOffset = p + 20, r.payloadLen = L - 2, r.recordLen = static_cast<u32>(u64(L) + 30);
    std::memcpy(r.name, b + p + 2, 4);
    r.version = h[10];
    return r;
}

inline u64 ScanTxt(const u8* b, u64 n, u64 start, u64& pos, u32& len, u64 maxData = kNoLimit) {
    for (u64 p = start; n > 30 && p < n - 30; ++p)
        if (TxtCandidate(b, n, p, len, maxData)) return pos = p, p + 30 + len;
    return 0;
}

inline unsigned FindTxt(const void* buf, unsigned len, STag& tag, unsigned start) {
    const u8* b = static_cast<const u8*>(buf);
    u64 p = 0;
    u32 L = 0;
    const u64 end = ScanTxt(b, len, start, p, L);
    if (end != 0) tag = TagOf(b, TxtFound(b, p, L));
    return static_cast<unsigned>(end);
}

inline void ListTxt(const void* buf, unsigned len, std::vector<STag>& out) {
    STag tag;
    unsigned pos = 0;
    while ((pos = FindTxt(buf, len, tag, pos)) != 0) out.push_back(tag);
}

// --- any form, any length ------------------------------------------------------------

// Every record from `start` on, in order, each search continuing just past
// the record found: the whole-buffer listing of either form with 64-bit
// positions. Records whose payload (text: data) is longer than `maxPayload`
// are passed over as damaged ones are.
inline std::vector<Found> ListAll(bool text, const u8* b, u64 n, u64 start = 0, u64 maxPayload = kNoLimit) {
    std::vector<Found> out;
    u64 p = 0;
    u32 L = 0;
    for (u64 at = start;;) {
        at = text ? ScanTxt(b, n, at, p, L, maxPayload) : ScanBin(b, n, at, AnyName(), p, L, maxPayload);
        if (at == 0) return out;
        out.push_back(text ? TxtFound(b, p, L) : BinFound(b, p, L));
    }
}

// --- payload entries ------------------------------------------------------------------

// Where entry text starting at `s` ends: fewer than three bytes left, a '|'
// here, a CR next or an LF after it.
inline std::size_t ValueEnd(const u8* d, std::size_t n, std::size_t s) {
    std::size_t p = s;
    while (!(p + 2 >= n || d[p] == '|' || d[p + 1] == '\r' || d[p + 2] == '\n')) ++p;
    return p;
}

// FindInData: the first place where the key's bytes (up to its NUL) and '='
// occur, and the entry text from there.
inline bool FindInData(const u8* d, std::size_t n, const char* key, std::string& text) {
    text.clear();
    std::string needle(key);
    needle += '=';
    const std::size_t m = needle.size();
    for (std::size_t i = 0; i + m <= n; ++i) {
        std::size_t k = 0;
        while (k < m && d[i + k] == static_cast<u8>(needle[k])) ++k;
        if (k < m) continue;
        const std::size_t end = ValueEnd(d, n, i);
        for (std::size_t j = i; j < end; ++j) text += static_cast<char>(d[j]);
        return true;
    }
    return false;
}
inline bool FindInData(const Bytes& data, const char* key, std::string& text) {
    return FindInData(data.data(), data.size(), key, text);
}

// FindInDataAllEntry: the key runs to the first '=' after its first byte, the
// value by the stop rule, cut at a NUL; then three bytes are skipped. A key
// without '=' takes the rest with an empty value; a repeated key keeps its
// last value.
inline bool FindInDataAllEntry(const u8* d, std::size_t n, std::map<std::string, std::string>& entries) {
    entries.clear();
    std::size_t start = 0;
    while (start < n) {
        std::size_t eq = start + 1;
        while (eq < n && d[eq] != '=') ++eq;
        if (eq >= n) {
            entries[std::string(d + start, d + n)].clear();
            return true;
        }
        const std::size_t end = ValueEnd(d, n, eq + 1);
        std::string value;
        for (std::size_t j = eq + 1; j < end && d[j] != 0; ++j) value += static_cast<char>(d[j]);
        entries[std::string(d + start, d + eq)] = value;
        start = end + 3;
    }
    return true;
}

}  // namespace ref
}  // namespace ulvex

#endif  // ULVEX_TESTS_SUPPORT_REFERENCE_H
