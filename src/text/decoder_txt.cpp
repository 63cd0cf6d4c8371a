// CUlvexDecoderTxt: finds text records by converting candidate text headers
// and footers into binary records and checking those.
#include <cstdint>
#include <cstring>
#include <typeinfo>

#include "common/block_sums.h"
#include "common/byte_search.h"
#include "common/checksum.h"
#include "common/wire.h"
#include "text/text_record.h"
#include "ulvex/decoder_txt.h"

using namespace ulvex::detail;

namespace {

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

}  // namespace

IUlvexDecoderTxt::~IUlvexDecoderTxt() {}

IUlvexDecoderTxt* IUlvexDecoderTxt::CreateMe() { return new CUlvexDecoderTxt(); }

CUlvexDecoderTxt::CUlvexDecoderTxt() {}
CUlvexDecoderTxt::~CUlvexDecoderTxt() {}

unsigned int CUlvexDecoderTxt::GetSizeHeader() { return kTextHeaderSize; }
unsigned int CUlvexDecoderTxt::GetSizeFooter() { return kTextFooterSize; }
unsigned int CUlvexDecoderTxt::GetTagDataSeparator() { return kTextSeparatorSize; }

unsigned int CUlvexDecoderTxt::CalcolaValore(unsigned int& value, const unsigned char* txt, bool header) {
    std::uint32_t v = 0;
    const unsigned int i = header ? ReadNumber<true>(v, txt) : ReadNumber<false>(v, txt);
    value = v;
    return i;
}

unsigned int CUlvexDecoderTxt::AssegnaHeader(CHeader& header, const unsigned char* txt) {
    return ConvertHeader(header.GetBytes(), txt);
}

unsigned int CUlvexDecoderTxt::AssegnaFooter(CFooter& footer, const unsigned char* txt) {
    return ConvertFooter(footer.GetBytes(), txt);
}

namespace {

// The lookup of an object whose dynamic type is CUlvexDecoderTxt itself: the
// sizes and conversions are the class's own, so the checks are made on the
// text directly. The converted header's markers are the text's positions 0
// and 1 (its closing marker is forced), so only positions holding "<h" can
// pass; the converted footer's opening marker is its position 0, its name
// positions 1-4, its checksum the low 16 bits of its number, and its closing
// marker is forced.
unsigned int FindTextExact(const void* buf, unsigned int len, STag& tag, unsigned int start) {
    const unsigned long long H = kTextHeaderSize, F = kTextFooterSize, D = kTextSeparatorSize;
    if (len <= H + F) return 0;
    const unsigned int limit = static_cast<unsigned int>(len - H - F);
    if (start >= limit) return 0;
    const unsigned char* b = static_cast<const unsigned char*>(buf);
    LookupSums sums(b, len);
    const unsigned char* const end = b + limit;
    for (const unsigned char* q = b + start;; ++q) {
        q = FindPattern<2>(q, end, kHeaderStart);
        if (q == end) return 0;
        const unsigned long long p = static_cast<unsigned long long>(q - b);
        std::uint32_t length = 0;
        const unsigned int versionAt = ReadNumber<true>(length, q);
        const unsigned long long L = length;
        if (p + H + L + F > len) continue;
        // A length below the separator would leave no room for it: never a record.
        if (L < D) continue;
        const unsigned char* ft = q + H + L;
        if (ft[0] != '<' || std::memcmp(ft + 1, q + 2, 4) != 0) continue;
        std::uint32_t checksum = 0;
        ReadNumber<false>(checksum, ft);
        if (sums.Sum(static_cast<unsigned int>(p + H), static_cast<unsigned int>(L)) !=
            static_cast<std::uint16_t>(checksum))
            continue;
        return FillTextTag(tag, b, p, q + 2, CharToVersion(q[versionAt]), H, L, F, D);
    }
}

// The lookup of a derived class: every position is converted through the
// virtual AssegnaHeader, with the sizes the virtual operations give, so the
// overrides define the form. The checks below are CHeader::IsCoerentAnyName,
// CFooter::IsCoerent against the header's four name bytes and
// CFooter::VerifyChecksumOn, written out on the records' bytes.
unsigned int FindTextGeneral(CUlvexDecoderTxt& self, const void* buf, unsigned int len, STag& tag, unsigned int start) {
    const unsigned long long H = self.GetSizeHeader(), F = self.GetSizeFooter(), D = self.GetTagDataSeparator();
    if (len <= H + F) return 0;
    const unsigned int limit = static_cast<unsigned int>(len - H - F);
    if (start >= limit) return 0;
    const unsigned char* b = static_cast<const unsigned char*>(buf);
    LookupSums sums(b, len);
    CHeader header;
    CFooter footer;
    for (unsigned int p = start; p < limit; ++p) {
        self.AssegnaHeader(header, b + p);
        const unsigned char* h = header.GetBytes();
        if (!HeaderMarkersOk(h)) continue;
        const unsigned long long L = LoadLe32(h + 6);
        if (p + H + L + F > len) continue;
        if (L < D) continue;
        self.AssegnaFooter(footer, b + p + H + L);
        const unsigned char* f = footer.GetBytes();
        if (!FooterMarkersOk(f) || std::memcmp(f + 1, h + 2, 4) != 0) continue;
        if (sums.Sum(static_cast<unsigned int>(p + H), static_cast<unsigned int>(L)) != LoadLe16(f + 5)) continue;
        return FillTextTag(tag, b, p, h + 2, h[10], H, L, F, D);
    }
    return 0;
}

}  // namespace

unsigned int CUlvexDecoderTxt::FindTagPtrAnyName(const void* buf, unsigned int len, STag& tag, unsigned int start) {
    if (typeid(*this) == typeid(CUlvexDecoderTxt)) return FindTextExact(buf, len, tag, start);
    return FindTextGeneral(*this, buf, len, tag, start);
}

void CUlvexDecoderTxt::FindAllTagPtrAnyName(const void* buf, unsigned int len, std::vector<STag>& tags) {
    ScanScope scope(buf, len);
    STag tag;
    unsigned int pos = 0;
    while ((pos = FindTagPtrAnyName(buf, len, tag, pos)) != 0) tags.push_back(tag);
}
