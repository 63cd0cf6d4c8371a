// Straightforward versions of the library's operations, used by the
// benchmarks as baselines and as the reference that every measured result is
// compared with before timing. Each one walks the bytes one at a time exactly
// as the format is stated: no candidate search, no SIMD, no shortcuts. They
// live here, never in the library.
#ifndef ULVEX_BENCH_REFERENCE_H
#define ULVEX_BENCH_REFERENCE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ulvex/stag.h"

namespace ref {

typedef unsigned char u8;
typedef std::vector<u8> Bytes;

inline std::uint32_t Le32(const u8* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline unsigned Le16(const u8* p) { return p[0] | p[1] << 8; }

// The plain byte-sum loop: also the -O3 baseline of the checksum.
inline std::uint16_t ByteSum(const u8* p, std::size_t n) {
    std::uint32_t s = 0;
    for (std::size_t i = 0; i < n; ++i) s += p[i];
    return static_cast<std::uint16_t>(s);
}

inline void NameString(const u8* nb, std::string& out) {
    out.clear();
    for (int i = 0; i < 4 && nb[i] != 0; ++i) out += static_cast<char>(nb[i]);
}

// Name bytes equal `name` up to and including its first NUL, at most four.
inline bool Prefix(const u8* nb, const char* name) {
    for (int i = 0; i < 4; ++i) {
        if (nb[i] != static_cast<u8>(name[i])) return false;
        if (name[i] == 0) return true;
    }
    return true;
}

inline bool InList(const u8* nb, const std::list<std::string>& names) {
    for (const std::string& e : names) {
        bool eq = true;
        for (std::size_t i = 0; i < 4 && eq; ++i) eq = nb[i] == (i < e.size() ? static_cast<u8>(e[i]) : 0);
        if (eq) return true;
    }
    return false;
}

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

// The binary lookup: every position from `start` on, one at a time.
template <class Names>
unsigned ScanBin(const u8* b, unsigned len, unsigned start, const Names& names, unsigned& pos) {
    if (len <= 20) return 0;
    const unsigned limit = len - 20;
    for (unsigned p = start; p < limit; ++p) {
        const u8* h = b + p;
        if (h[0] != '<' || h[1] != 'h' || h[11] != '>' || !names.Head(h + 2)) continue;
        const unsigned L = Le32(h + 6);
        if (L > len - p - 20) continue;
        const u8* f = h + 12 + L;
        if (f[0] != '<' || f[7] != '>' || !names.Foot(h + 2, f + 1)) continue;
        if (ByteSum(h + 12, L) != Le16(f + 5)) continue;
        pos = p;
        return p + 20 + L;
    }
    return 0;
}

template <class Names>
unsigned FindBin(const void* buf, unsigned len, const Names& names, STag& tag, unsigned start) {
    const u8* b = static_cast<const u8*>(buf);
    unsigned p = 0;
    const unsigned end = ScanBin(b, len, start, names, p);
    if (end == 0) return 0;
    NameString(b + p + 2, tag.TagName);
    tag.PtrTag = b + p;
    tag.PtrPayload = b + p + 12;
    tag.PayloadLen = end - p - 20;
    tag.TagLen = end - p;
    tag.Version = b[p + 10];
    return end;
}

template <class Names, class Out>
void ListBin(const void* buf, unsigned len, const Names& names, Out& out) {
    STag tag;
    unsigned pos = 0;
    while ((pos = FindBin(buf, len, names, tag, pos)) != 0) out.push_back(tag);
}

inline unsigned FindTag(const void* buf, unsigned len, const char* name, Bytes& payload, unsigned char& version,
                        unsigned start) {
    payload.clear();
    const u8* b = static_cast<const u8*>(buf);
    unsigned p = 0;
    const unsigned end = ScanBin(b, len, start, OneName{name}, p);
    if (end == 0) return 0;
    for (const u8* q = b + p + 12; q < b + end - 8; ++q) payload.push_back(*q);
    version = b[p + 10];
    return end;
}

// --- text form ------------------------------------------------------------

// The number of a text header (header) or footer: from position 6, stopping
// at a '>' (looked for one position ahead in a header), at most to 16 / 12.
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

inline void TextHeader(u8* h, const u8* t) {
    std::memcpy(h, t, 12);
    unsigned v = 0;
    const unsigned i = TextValue(v, t, true);
    h[6] = static_cast<u8>(v), h[7] = static_cast<u8>(v >> 8), h[8] = static_cast<u8>(v >> 16),
    h[9] = static_cast<u8>(v >> 24);
    h[11] = '>';
    h[10] = static_cast<u8>(t[i] - '0');
}

inline void TextFooter(u8* f, const u8* t) {
    std::memcpy(f, t, 8);
    unsigned v = 0;
    TextValue(v, t, false);
    f[5] = static_cast<u8>(v), f[6] = static_cast<u8>(v >> 8);
    f[7] = '>';
}

// The text lookup: a header conversion at every position, then the binary
// checks on the converted records. A length below the separator is never a
// record.
inline unsigned FindTxt(const void* buf, unsigned len, STag& tag, unsigned start) {
    const u8* b = static_cast<const u8*>(buf);
    if (len <= 30) return 0;
    const unsigned limit = len - 30;
    u8 h[12], f[8];
    for (unsigned p = start; p < limit; ++p) {
        TextHeader(h, b + p);
        if (h[0] != '<' || h[1] != 'h' || h[11] != '>') continue;
        const unsigned long long L = Le32(h + 6);
        if (p + 18 + L + 12 > len || L < 2) continue;
        TextFooter(f, b + p + 18 + L);
        if (f[0] != '<' || f[7] != '>' || std::memcmp(f + 1, h + 2, 4) != 0) continue;
        if (ByteSum(b + p + 18, static_cast<std::size_t>(L)) != Le16(f + 5)) continue;
        NameString(h + 2, tag.TagName);
        tag.PtrTag = b + p;
        tag.PtrPayload = b + p + 20;
        tag.PayloadLen = static_cast<unsigned>(L - 2);
        tag.TagLen = static_cast<unsigned>(L + 30);
        tag.Version = h[10];
        return static_cast<unsigned>(p + L + 30);
    }
    return 0;
}

inline void ListTxt(const void* buf, unsigned len, std::vector<STag>& out) {
    STag tag;
    unsigned pos = 0;
    while ((pos = FindTxt(buf, len, tag, pos)) != 0) out.push_back(tag);
}

// --- payload entries --------------------------------------------------------

// The value stop rule.
inline std::size_t ValueEnd(const u8* d, std::size_t n, std::size_t s) {
    std::size_t p = s;
    while (!(p + 2 >= n || d[p] == '|' || d[p + 1] == '\r' || d[p + 2] == '\n')) ++p;
    return p;
}

inline bool FindInData(const Bytes& data, const char* key, std::string& text) {
    text.clear();
    std::string needle(key);
    needle += '=';
    const std::size_t n = data.size(), m = needle.size();
    for (std::size_t i = 0; i + m <= n; ++i) {
        std::size_t k = 0;
        while (k < m && data[i + k] == static_cast<u8>(needle[k])) ++k;
        if (k < m) continue;
        const std::size_t end = ValueEnd(data.data(), n, i);
        for (std::size_t j = i; j < end; ++j) text += static_cast<char>(data[j]);
        return true;
    }
    return false;
}

inline bool FindInDataAllEntry(const u8* d, unsigned n, std::map<std::string, std::string>& entries) {
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

// --- workloads ------------------------------------------------------------

inline Bytes RandomBytes(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<u8>(rng() >> 56);
    return v;
}

// Bytes drawn uniformly from `alphabet`.
inline Bytes DrawnBytes(std::size_t n, const std::string& alphabet, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<u8>(alphabet[rng() % alphabet.size()]);
    return v;
}

// A binary record built byte by byte.
inline void AppendRecord(Bytes& out, const char* name, const u8* payload, unsigned n, u8 version) {
    u8 nb[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && name[i] != 0; ++i) nb[i] = static_cast<u8>(name[i]);
    out.push_back('<');
    out.push_back('h');
    out.insert(out.end(), nb, nb + 4);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<u8>(n >> (8 * i)));
    out.push_back(version);
    out.push_back('>');
    out.insert(out.end(), payload, payload + n);
    const unsigned s = ByteSum(payload, n);
    out.push_back('<');
    out.insert(out.end(), nb, nb + 4);
    out.push_back(static_cast<u8>(s));
    out.push_back(static_cast<u8>(s >> 8));
    out.push_back('>');
}

// A text record built byte by byte (version written as its digit).
inline void AppendTextRecord(Bytes& out, const char* name, const u8* data, unsigned n, u8 version) {
    char nm[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; i < 4 && name[i] != 0; ++i) nm[i] = name[i];
    char head[32], foot[16];
    std::snprintf(head, sizeof head, "<h%.4s%010u%c>\r\n", nm, n + 2, static_cast<char>(version + '0'));
    const unsigned s = (13u + 10u + ByteSum(data, n)) & 0xFFFFu;
    std::snprintf(foot, sizeof foot, "<%.4s%06u>\r\n", nm, s);
    out.insert(out.end(), head, head + 20);
    out.insert(out.end(), data, data + n);
    out.insert(out.end(), foot, foot + 14);
}

// Headers laid back to back, every one announcing the length that ends at
// one shared footer, whose checksum matches none of them: a scan that sums
// each candidate's payload afresh does quadratic work. `n` bytes in all.
inline Bytes HostileBinary(std::size_t n) {
    Bytes v(n, 0);
    const std::size_t F = n - 9;  // footer position; one spare byte at the end
    std::vector<std::size_t> heads;
    for (std::size_t q = 0; q + 12 <= F; q += 12) {
        const std::uint32_t L = static_cast<std::uint32_t>(F - q - 12);
        const u8 h[12] = {'<',
                          'h',
                          'H',
                          'O',
                          'S',
                          'T',
                          static_cast<u8>(L),
                          static_cast<u8>(L >> 8),
                          static_cast<u8>(L >> 16),
                          static_cast<u8>(L >> 24),
                          1,
                          '>'};
        std::memcpy(&v[q], h, 12);
        heads.push_back(q);
    }
    std::vector<bool> used(65536, false);
    unsigned s = 0;
    std::size_t next = heads.size();
    for (std::size_t i = F; i-- > 0;) {  // suffix sums, checked at every payload start
        while (next > 0 && heads[next - 1] + 12 == i + 1) used[s] = true, --next;
        s = (s + v[i]) & 0xFFFFu;
    }
    unsigned c = 0;
    while (used[c]) ++c;
    const u8 f[8] = {'<', 'H', 'O', 'S', 'T', static_cast<u8>(c), static_cast<u8>(c >> 8), '>'};
    std::memcpy(&v[F], f, 8);
    return v;
}

// The same shape in the text form: 18-byte text headers back to back, one
// shared text footer with a checksum that matches none of them.
inline Bytes HostileText(std::size_t n) {
    Bytes v(n, ' ');
    const std::size_t F = n - 14;  // text footer, then CR LF
    std::vector<std::size_t> heads;
    char t[32];
    for (std::size_t q = 0; q + 18 <= F; q += 18) {
        std::snprintf(t, sizeof t, "<hHOST%010u1>", static_cast<unsigned>(F - q - 18));
        std::memcpy(&v[q], t, 18);
        heads.push_back(q);
    }
    std::vector<bool> used(65536, false);
    unsigned s = 0;
    std::size_t next = heads.size();
    for (std::size_t i = F; i-- > 0;) {
        while (next > 0 && heads[next - 1] + 18 == i + 1) used[s] = true, --next;
        s = (s + v[i]) & 0xFFFFu;
    }
    unsigned c = 0;
    while (used[c]) ++c;
    std::snprintf(t, sizeof t, "<HOST%06u>\r\n", c);
    std::memcpy(&v[F], t, 14);
    return v;
}

}  // namespace ref

#endif  // ULVEX_BENCH_REFERENCE_H
