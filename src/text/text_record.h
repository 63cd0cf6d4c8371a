// The text record form's geometry and version character, shared by the text
// encoder and decoder.
#ifndef ULVEX_SRC_TEXT_TEXT_RECORD_H
#define ULVEX_SRC_TEXT_TEXT_RECORD_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/byte_search.h"
#include "common/wire.h"
#include "ulvex/format.h"
#include "ulvex/stag.h"

namespace ulvex {
namespace detail {

constexpr unsigned int kTextHeaderSize = 18;
constexpr unsigned int kTextFooterSize = 12;
constexpr unsigned int kTextSeparatorSize = 2;
// Header, separator, footer and the closing CR LF around the data.
constexpr unsigned int kTextRecordOverhead = kTextHeaderSize + kTextSeparatorSize + kTextFooterSize + 2;
static_assert(kTextRecordOverhead == FrameLength(RecordForm::Text), "the text frame");

// The version byte v is written as (v + '0') mod 256 so that versions 0-9 are
// digits; reading takes the character minus '0'. Version 14 would be written
// as '>', which ends the length field early and makes the record unreadable,
// so it is written as '?' instead and reads back as 15.
inline unsigned char VersionToChar(unsigned char version) {
    const unsigned char c = static_cast<unsigned char>(version + '0');
    return c == '>' ? static_cast<unsigned char>('?') : c;
}

inline unsigned char CharToVersion(unsigned char c) { return static_cast<unsigned char>(c - '0'); }

// Whether any of the eight bytes at `p` is '>', ignoring the bytes whose
// bits are set in `ignore`.
inline bool HasCloseMarker(const unsigned char* p, std::uint64_t ignore) {
    const std::uint64_t x = (LoadLe64(p) ^ 0x3E3E3E3E3E3E3E3Eull) | ignore;  // a '>' byte becomes zero
    return ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
}

// The `Digits` positions at `t` read as decimal digits, each worth its code
// minus 48, modulo 2^32: v = v * 10 + (c - 48) unrolled into independent
// products, which gives the same value for any bytes.
template <int Digits>
inline std::uint32_t DigitsValue(const unsigned char* t) {
    static constexpr std::uint32_t kPow10[10] = {1000000000u, 100000000u, 10000000u, 1000000u, 100000u,
                                                 10000u,      1000u,      100u,      10u,      1u};
    std::uint32_t v = 0;
    for (int k = 0; k < Digits; ++k) v += (static_cast<std::uint32_t>(t[k]) - 48u) * kPow10[10 - Digits + k];
    return v;
}

// DigitsValue<10> with the first eight positions combined in one word: pairs,
// then quadruples, then the eight, each step exact for any byte values (the
// partial sums stay below their lane's limit), then the last two positions.
inline std::uint32_t TenDigitsValue(const unsigned char* t) {
    const std::uint64_t w = LoadLe64(t);
    const std::uint64_t m8 = 0x00FF00FF00FF00FFull, m16 = 0x0000FFFF0000FFFFull;
    const std::uint64_t pairs = (w & m8) * 10 + ((w >> 8) & m8);              // < 2816 per 16 bits
    const std::uint64_t quads = (pairs & m16) * 100 + ((pairs >> 16) & m16);  // < 284416 per 32 bits
    const std::uint64_t eight = (quads & 0xFFFFFFFFull) * 10000 + (quads >> 32);
    const std::uint64_t ten = eight * 100 + t[8] * 10u + t[9];
    // Every position counted its code; each is worth its code minus 48.
    return static_cast<std::uint32_t>(ten - 48ull * 1111111111ull);
}

// The number of a text header (Header) or text footer, and the position
// where reading stopped: from position 6, stopping when the byte one position
// ahead (header) or at the position (footer) is '>', at most to 16 / 12.
template <bool Header>
inline unsigned int ReadNumber(std::uint32_t& value, const unsigned char* t) {
    // The forms every encoder writes take one branch-free step: a header
    // with no '>' at 7-16 reads all of 6-15; a footer with '>' at 11 and none
    // at 6-10 reads 6-10. Anything else takes the walk below.
    if (Header) {
        if (!HasCloseMarker(t + 7, 0) && t[15] != '>' && t[16] != '>') {
            value = TenDigitsValue(t + 6);
            return 16;
        }
    } else if (t[11] == '>' && !HasCloseMarker(t + 4, 0xFF0000000000FFFFull)) {
        value = DigitsValue<5>(t + 6);
        return 11;
    }
    const unsigned int limit = Header ? 16u : 12u;
    const unsigned int lookAhead = Header ? 1u : 0u;
    std::uint32_t v = 0;
    unsigned int i = 6;
    do {
        if (t[i + lookAhead] == '>') break;
        v = v * 10u + static_cast<std::uint32_t>(t[i]) - 48u;  // modulo 2^32, any byte counts
        ++i;
    } while (i < limit);
    value = v;
    return i;
}

// The text header at `txt` as the 12 bytes of a binary header; returns the
// position of the version character.
inline unsigned int ConvertHeader(unsigned char* h, const unsigned char* txt) {
    std::memcpy(h, txt, 12);
    std::uint32_t value = 0;
    const unsigned int i = ReadNumber<true>(value, txt);
    StoreLe32(h + 6, value);
    h[11] = '>';
    h[10] = CharToVersion(txt[i]);
    return i;
}

// The text footer at `txt` as the 8 bytes of a binary footer; returns where
// the checksum digits ended.
inline unsigned int ConvertFooter(unsigned char* f, const unsigned char* txt) {
    std::memcpy(f, txt, 8);
    std::uint32_t value = 0;
    const unsigned int i = ReadNumber<false>(value, txt);
    StoreLe16(f + 5, static_cast<std::uint16_t>(value));
    f[7] = '>';
    return i;
}

// A text record found: its payload length L (separator and data), where its
// version character stands and what it reads as, and its name bytes.
struct TextFound {
    std::uint32_t L = 0;
    unsigned char version = 0;
    unsigned char name[4] = {0, 0, 0, 0};
};

// Conversion policies: how a text header and footer are read (the other one,
// VirtualText, is the decoder's, in text/virtual_text.h). DirectText is
// CUlvexDecoderTxt's own reading, done on the text where it stands: the
// converted header's markers are text positions 0 and 1 (its closing marker
// is forced), the converted footer's opening marker is its position 0, its
// name positions 1-4, its checksum the low 16 bits of its number.
struct DirectText {
    static constexpr bool kDirect = true;
    static constexpr std::uint64_t H = kTextHeaderSize, F = kTextFooterSize, D = kTextSeparatorSize;
    std::uint64_t HeaderSize() const { return H; }
    std::uint64_t FooterSize() const { return F; }
    std::uint64_t Separator() const { return D; }
    // Needs the first H bytes. False when the markers fail.
    bool Header(const unsigned char* t, std::uint32_t& L, unsigned char* name, unsigned char& version) const {
        const unsigned int at = ReadNumber<true>(L, t);
        std::memcpy(name, t + 2, 4);
        version = CharToVersion(t[at]);
        return true;
    }
    // False when the footer's markers or name fail; otherwise its checksum.
    bool Footer(const unsigned char* t, const unsigned char* name, std::uint16_t& checksum) const {
        if (t[0] != '<' || std::memcmp(t + 1, name, 4) != 0) return false;
        std::uint32_t v = 0;
        ReadNumber<false>(v, t);
        checksum = static_cast<std::uint16_t>(v);
        return true;
    }
};

// The text record at `t`, given the `avail` bytes from `t` on (at least 1),
// which hold the input from offset `off` on, read through `conv`. The checks
// run in the lookup's order: header markers, the payload length (at least the
// separator, at most `maxData` data bytes), the record fitting, footer markers
// and name (all four bytes equal to the header's), the checksum of the
// separator and data. A lookup tries only positions with more than a header
// and footer behind them: `need` is at least H + F + 1.
template <class Conv, class Sums>
inline Verdict ExamineText(Conv& conv, const unsigned char* t, std::uint64_t avail, std::uint64_t maxData, Sums& sums,
                           std::uint64_t off, TextFound& found, std::uint64_t& need) {
    const std::uint64_t H = conv.HeaderSize(), F = conv.FooterSize(), D = conv.Separator();
    need = H + F + 1;
    if (Conv::kDirect) {
        // The converted header's markers are the text's first two bytes.
        if (t[0] != '<') return Verdict::NotRecord;
        if (avail < 2) return Verdict::NeedMore;
        if (t[1] != 'h') return Verdict::NotRecord;
    }
    if (avail < H) return Verdict::NeedMore;
    std::uint32_t L = 0;
    if (!conv.Header(t, L, found.name, found.version)) return Verdict::NotRecord;
    // A length below the separator would leave no room for it: never a record.
    if (L < D || L - D > maxData) return Verdict::Rejected;
    if (H + L + F > need) need = H + L + F;
    if (avail < need) return Verdict::NeedMore;
    std::uint16_t checksum = 0;
    if (!conv.Footer(t + H + L, found.name, checksum)) return Verdict::Rejected;
    if (sums.Sum(t + H, off + H, L) != checksum) return Verdict::Rejected;
    found.L = L;
    return Verdict::Record;
}

// The first text record at or after `start` among positions below `stop` of
// the `len` bytes at `b` (records may run past `stop`, not past `len`), with
// at most `maxData` data bytes.
// With the class's own conversions, positions that do not hold "<h" fail the
// header markers, so only the others are examined; a derived class's
// conversions see every position.
template <class Conv, class Sums>
inline bool FindTextRecord(Conv& conv, const unsigned char* b, std::uint64_t len, std::uint64_t start,
                           std::uint64_t stop, std::uint64_t maxData, Sums& sums, std::uint64_t& pos,
                           TextFound& found) {
    const std::uint64_t frame = conv.HeaderSize() + conv.FooterSize();
    if (len <= frame) return false;
    if (stop > len - frame) stop = len - frame;
    if (start >= stop) return false;
    const unsigned char* const end = b + stop;
    for (const unsigned char* q = b + start;; ++q) {
        // "<h" lies inside the 18-byte header, inside the buffer.
        if (Conv::kDirect) q = FindPattern<2>(q, end, kHeaderStart);
        if (q == end) return false;
        const std::uint64_t p = static_cast<std::uint64_t>(q - b);
        std::uint64_t need = 0;
        if (ExamineText(conv, q, len - p, maxData, sums, p, found, need) == Verdict::Record) {
            pos = p;
            return true;
        }
    }
}

// Fills `r` for the text record at position `pos`, as the direct reading
// finds it.
inline void FillTextRecord(Record& r, std::uint64_t pos, const TextFound& found) {
    r.offset = pos;
    r.payloadOffset = pos + kTextHeaderSize + kTextSeparatorSize;
    r.payloadLen = found.L - kTextSeparatorSize;
    r.recordLen = found.L + kTextHeaderSize + kTextFooterSize;
    std::memcpy(r.name, found.name, 4);
    r.version = found.version;
}

// Fills `tag` for the text record at `t` and returns its length TagLen.
template <class Conv>
inline std::uint64_t FillTextTag(STag& tag, const unsigned char* t, const Conv& conv, const TextFound& found) {
    NameToString(found.name, tag.TagName);
    tag.PtrTag = t;
    tag.PtrPayload = t + conv.HeaderSize() + conv.Separator();
    tag.PayloadLen = static_cast<unsigned int>(found.L - conv.Separator());
    tag.TagLen = static_cast<unsigned int>(conv.HeaderSize() + found.L + conv.FooterSize());
    tag.Version = found.version;
    return tag.TagLen;
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_TEXT_TEXT_RECORD_H
