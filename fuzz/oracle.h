// Reference readers for the fuzz targets: they read the bytes one at a time,
// exactly as the formats are stated, and the library must agree with them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "ulvex/stag.h"

#define CHECK(c) \
    if (!(c)) std::fprintf(stderr, "%s:%d: mismatch: %s\n", __FILE__, __LINE__, #c), std::abort()

namespace oracle {
typedef unsigned char u8;
typedef std::uint32_t u32;

inline u32 le32(const u8* p) { return p[0] | p[1] << 8 | p[2] << 16 | u32(p[3]) << 24; }
inline unsigned le16(const u8* p) { return p[0] | p[1] << 8; }
// A buffer with running byte sums: a checksum costs O(1) however many
// candidates share a payload (differences modulo 2^32 keep the sum mod 2^16).
struct Buf {
    const u8* b;
    u32 n;
    std::vector<u32> run;
    Buf(const u8* bytes, u32 len) : b(bytes), n(len), run(len + 1, 0) {
        for (u32 i = 0; i < n; ++i) run[i + 1] = run[i] + b[i];
    }
    unsigned sum(std::uint64_t off, std::uint64_t len) const { return (run[off + len] - run[off]) & 0xFFFF; }
};
inline std::string name(const u8* nb) {  // name bytes up to the first NUL, at most four
    std::string s;
    for (int i = 0; i < 4 && nb[i]; ++i) s += char(nb[i]);
    return s;
}
// Name bytes equal `nm` up to and including its first NUL, at most four bytes.
inline bool prefix(const u8* nb, const u8* nm) {
    for (int i = 0; i < 4; ++i)
        if (nb[i] != nm[i] || nm[i] == 0) return nb[i] == nm[i];
    return true;
}
// Some entry, cut or NUL-padded to four bytes, equals all four name bytes.
inline bool inList(const u8* nb, const std::list<std::string>& names) {
    for (const std::string& e : names) {
        bool eq = true;
        for (std::size_t i = 0; i < 4; ++i) eq = eq && nb[i] == (i < e.size() ? u8(e[i]) : 0);
        if (eq) return true;
    }
    return false;
}
// The name checks of a lookup: any name (the footer repeats the header's
// name), a list (header and footer each in it), or one text name.
struct Names {
    enum { Any, List, Text } mode;
    const std::list<std::string>* list;
    const char* text;
    bool head(const u8* nb) const {
        return mode == Any || (mode == List ? inList(nb, *list) : prefix(nb, (const u8*)text));
    }
    bool foot(const u8* hn, const u8* fn) const { return mode == Any ? prefix(fn, hn) : head(fn); }
};

// Whether a binary record starts at p (p + 20 < n); L is its payload length.
inline bool binRecord(const Buf& B, u32 p, const Names& m, u32& L) {
    const u8* h = B.b + p;
    if (h[0] != '<' || h[1] != 'h' || h[11] != '>' || !m.head(h + 2)) return false;
    L = le32(h + 6);
    if (std::uint64_t(p) + 12 + L + 8 > B.n) return false;
    const u8* f = h + 12 + L;
    return f[0] == '<' && f[7] == '>' && m.foot(h + 2, f + 1) && B.sum(p + 12, L) == le16(f + 5);
}
inline STag makeTag(const u8* at, const u8* nb, const u8* payload, u32 len, u32 tagLen, u8 version) {
    STag t;
    t.TagName = name(nb), t.PtrTag = at, t.PtrPayload = payload;
    t.PayloadLen = len, t.TagLen = tagLen, t.Version = version;
    return t;
}
inline STag binTag(const Buf& B, u32 p, u32 L) {
    return makeTag(B.b + p, B.b + p + 2, B.b + p + 12, L, L + 20, B.b[p + 10]);
}
inline u32 binFind(const Buf& B, u32 start, const Names& m, STag& t) {
    for (u32 p = start, L; B.n > 20 && p < B.n - 20; ++p)
        if (binRecord(B, p, m, L)) return t = binTag(B, p, L), p + 20 + L;
    return 0;
}

// The number of a text header (from position 6, stopping before the character
// that precedes a '>') or footer (stopping at a '>'); any byte adds code - 48.
inline u32 calc(u32& v, const u8* t, bool header) {
    u32 i = 6;
    v = 0;
    do {
        if (t[i + (header ? 1 : 0)] == '>') break;
        v = v * 10 + t[i] - 48;
    } while (++i < (header ? 16u : 12u));
    return i;
}
inline u32 txtHeader(u8* h, const u8* t) {  // the 12 binary header bytes
    u32 v, i = calc(v, t, true);
    std::memcpy(h, t, 12);
    h[6] = u8(v), h[7] = u8(v >> 8), h[8] = u8(v >> 16), h[9] = u8(v >> 24), h[10] = u8(t[i] - '0'), h[11] = '>';
    return i;
}
inline u32 txtFooter(u8* f, const u8* t) {  // the 8 binary footer bytes
    u32 v, i = calc(v, t, false);
    std::memcpy(f, t, 8);
    f[5] = u8(v), f[6] = u8(v >> 8), f[7] = '>';
    return i;
}
// The first text record at or after start; a length field below 2 (no room
// for the separator) is never a record.
inline u32 txtFind(const Buf& B, u32 start, STag& tag) {
    for (u32 p = start; B.n > 30 && p < B.n - 30; ++p) {
        u8 h[12], f[8];
        txtHeader(h, B.b + p);
        const u32 L = le32(h + 6);
        if (h[0] != '<' || h[1] != 'h' || h[11] != '>' || std::uint64_t(p) + 18 + L + 12 > B.n || L < 2) continue;
        txtFooter(f, B.b + p + 18 + L);
        if (f[0] == '<' && f[7] == '>' && std::memcmp(f + 1, h + 2, 4) == 0 && B.sum(p + 18, L) == le16(f + 5))
            return tag = makeTag(B.b + p, h + 2, B.b + p + 20, L - 2, L + 30, h[10]), p + 30 + L;
    }
    return 0;
}

// Where entry text starting at s ends: fewer than three bytes left, a '|'
// here, a CR next or an LF after it.
inline std::size_t valueEnd(const u8* d, std::size_t n, std::size_t s) {
    while (!(s + 2 >= n || d[s] == 0x7C || d[s + 1] == 0x0D || d[s + 2] == 0x0A)) ++s;
    return s;
}

inline bool same(const STag& a, const STag& b) {
    return a.TagName == b.TagName && a.PtrTag == b.PtrTag && a.PtrPayload == b.PtrPayload &&
           a.PayloadLen == b.PayloadLen && a.TagLen == b.TagLen && a.Version == b.Version;
}
template <class A, class B>
bool sameTags(const A& a, const B& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), same);
}
// A tag no lookup can produce, to see that failed lookups leave it alone.
inline STag sentinel() { return makeTag((const u8*)"", (const u8*)"?!?!", (const u8*)"", 7, 9, 0xAB); }

}  // namespace oracle
