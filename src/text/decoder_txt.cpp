// CUlvexDecoderTxt: finds text records by converting candidate text headers
// and footers into binary records and checking those.
#include <cstring>
#include <typeinfo>

#include "decoder/payload_sums.h"
#include "record/record_detail.h"
#include "text/text_detail.h"
#include "ulvex/decoder_txt.h"

using namespace ulvex::detail;

IUlvexDecoderTxt::~IUlvexDecoderTxt() {}

IUlvexDecoderTxt* IUlvexDecoderTxt::CreateMe() { return new CUlvexDecoderTxt(); }

CUlvexDecoderTxt::CUlvexDecoderTxt() {}
CUlvexDecoderTxt::~CUlvexDecoderTxt() {}

unsigned int CUlvexDecoderTxt::GetSizeHeader() { return kTextHeaderSize; }
unsigned int CUlvexDecoderTxt::GetSizeFooter() { return kTextFooterSize; }
unsigned int CUlvexDecoderTxt::GetTagDataSeparator() { return kTextSeparatorSize; }

unsigned int CUlvexDecoderTxt::CalcolaValore(unsigned int& value, const unsigned char* txt, bool header) {
    const unsigned int limit = header ? 16u : 12u;
    const unsigned int lookAhead = header ? 1u : 0u;
    unsigned int v = 0;
    unsigned int i = 6;
    do {
        if (txt[i + lookAhead] == '>') break;
        v = v * 10u + static_cast<unsigned int>(txt[i]) - 48u;  // modulo 2^32, any byte counts
        ++i;
    } while (i < limit);
    value = v;
    return i;
}

unsigned int CUlvexDecoderTxt::AssegnaHeader(CHeader& header, const unsigned char* txt) {
    unsigned char* h = header.GetBytes();
    std::memcpy(h, txt, 12);
    unsigned int value = 0;
    const unsigned int i = CalcolaValore(value, txt, true);
    StoreLe32(h + 6, value);
    h[11] = '>';
    h[10] = CharToVersion(txt[i]);
    return i;
}

unsigned int CUlvexDecoderTxt::AssegnaFooter(CFooter& footer, const unsigned char* txt) {
    unsigned char* f = footer.GetBytes();
    std::memcpy(f, txt, 8);
    unsigned int value = 0;
    const unsigned int i = CalcolaValore(value, txt, false);
    StoreLe16(f + 5, static_cast<std::uint16_t>(value));
    f[7] = '>';
    return i;
}

namespace {

// The sizes and conversions one lookup works with. For an object whose
// dynamic type is CUlvexDecoderTxt itself they are the class's own, called
// directly; for a derived class every one goes through the virtual table, so
// its overrides define the form.
template <bool Exact>
struct TextForm {
    CUlvexDecoderTxt& self;
    unsigned int H, F, D;

    explicit TextForm(CUlvexDecoderTxt& s)
        : self(s),
          H(Exact ? kTextHeaderSize : s.GetSizeHeader()),
          F(Exact ? kTextFooterSize : s.GetSizeFooter()),
          D(Exact ? kTextSeparatorSize : s.GetTagDataSeparator()) {}

    void Header(CHeader& h, const unsigned char* t) {
        if (Exact)
            self.CUlvexDecoderTxt::AssegnaHeader(h, t);
        else
            self.AssegnaHeader(h, t);
    }
    void Footer(CFooter& f, const unsigned char* t) {
        if (Exact)
            self.CUlvexDecoderTxt::AssegnaFooter(f, t);
        else
            self.AssegnaFooter(f, t);
    }
};

template <bool Exact>
unsigned int FindText(CUlvexDecoderTxt& self, const void* buf, unsigned int len, STag& tag, unsigned int start) {
    TextForm<Exact> form(self);
    const unsigned long long H = form.H, F = form.F, D = form.D;
    if (len <= H + F) return 0;
    const unsigned int limit = static_cast<unsigned int>(len - H - F);
    if (start >= limit) return 0;
    const unsigned char* b = static_cast<const unsigned char*>(buf);
    LookupSums sums(b, len);
    CHeader header;
    CFooter footer;
    for (unsigned int p = start; p < limit; ++p) {
        if (Exact) {
            // The converted header's markers are the text's positions 0 and 1
            // (the closing marker is forced), so only "<h" can start a record.
            const void* q = std::memchr(b + p, '<', limit - p);
            if (q == nullptr) return 0;
            p = static_cast<unsigned int>(static_cast<const unsigned char*>(q) - b);
            if (b[p + 1] != 'h') continue;
        }
        // The checks below are CHeader::IsCoerentAnyName, CFooter::IsCoerent
        // against the header's four name bytes and CFooter::VerifyChecksumOn,
        // written out on the records' bytes.
        form.Header(header, b + p);
        const unsigned char* h = header.GetBytes();
        if (!HeaderMarkersOk(h)) continue;
        const unsigned long long L = LoadLe32(h + 6);
        if (p + H + L + F > len) continue;
        // A length below the separator would leave no room for it: never a record.
        if (L < D) continue;
        form.Footer(footer, b + p + H + L);
        const unsigned char* f = footer.GetBytes();
        if (!FooterMarkersOk(f) || std::memcmp(f + 1, h + 2, 4) != 0) continue;
        if (sums.Sum(static_cast<unsigned int>(p + H), static_cast<unsigned int>(L)) != LoadLe16(f + 5)) continue;
        NameToString(h + 2, tag.TagName);
        tag.PtrTag = b + p;
        tag.PtrPayload = b + p + H + D;
        tag.PayloadLen = static_cast<unsigned int>(L - D);
        tag.TagLen = static_cast<unsigned int>(H + L + F);
        tag.Version = h[10];
        return static_cast<unsigned int>(p + H + L + F);
    }
    return 0;
}

}  // namespace

unsigned int CUlvexDecoderTxt::FindTagPtrAnyName(const void* buf, unsigned int len, STag& tag, unsigned int start) {
    if (typeid(*this) == typeid(CUlvexDecoderTxt)) return FindText<true>(*this, buf, len, tag, start);
    return FindText<false>(*this, buf, len, tag, start);
}

void CUlvexDecoderTxt::FindAllTagPtrAnyName(const void* buf, unsigned int len, std::vector<STag>& tags) {
    ScanScope scope(buf, len);
    STag tag;
    unsigned int pos = 0;
    while ((pos = FindTagPtrAnyName(buf, len, tag, pos)) != 0) tags.push_back(tag);
}
