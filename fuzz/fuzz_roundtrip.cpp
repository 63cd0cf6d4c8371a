// Round trips: what the binary and text encoders write is the expected bytes
// and is found again with its name bytes, version and payload. (The entry
// writers are held to a fresh string stream by the formatter tests.)
#include <algorithm>
#include <memory>
#include <numeric>

#include "fuzz_util.h"
#include "ulvex/ulvex.h"

namespace {
struct Reader {
    const u8* d;
    std::size_t n;
    u8 byte() { return n ? (--n, *d++) : 0; }
    Bytes bytes(std::size_t k) {
        k = std::min(k, n), d += k, n -= k;
        return Bytes(d - k, d);
    }
    std::string str(std::size_t max) {
        const Bytes b = bytes(byte() % max);
        return std::string(b.begin(), b.end());
    }
};
std::string digits(unsigned v, int w) {
    char s[16];
    return std::string(s, std::size_t(std::snprintf(s, sizeof s, "%0*u", w, v)));
}
// The four name bytes of a name given as text: up to its first NUL, the rest zero.
void TextName(u8* nb, const char* text) {
    for (int i = 0, end = 0; i < 4; ++i) end = end || text[i] == 0, nb[i] = end ? 0 : u8(text[i]);
}
struct Rec {
    u32 pos;
    u8 nb[5], v;  // name bytes (all four for an integer name), version
    std::string payload;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in = {data, size};
    std::unique_ptr<IUlvexEncoderBin> eb(IUlvexEncoderBin::CreateMe());
    std::unique_ptr<IUlvexEncoderTxt> et(IUlvexEncoderTxt::CreateMe());
    std::unique_ptr<IUlvexDecoderBin> db(IUlvexDecoderBin::CreateMe());
    std::unique_ptr<IUlvexDecoderTxt> dt(IUlvexDecoderTxt::CreateMe());

    // Records appended after some former content (EncodeTagBin replaces it).
    std::vector<Rec> bins, txts;
    Bytes bin = in.bytes(in.byte() % 4), txt = bin;
    std::string wantBin(bin.begin(), bin.end()), wantTxt = wantBin;
    for (int count = in.byte() % 4; count > 0; --count) {
        char text[5] = {0, 0, 0, 0, 0};
        const Bytes nm = in.bytes(4);
        std::copy(nm.begin(), nm.end(), text);
        const int form = in.byte() % 4;
        Rec r = {0, {0, 0, 0, 0, 0}, in.byte(), in.str(256) + in.str(256)};
        TextName(r.nb, text);
        const Bytes pl(r.payload.begin(), r.payload.end());
        const u32 L = u32(pl.size());
        void* p = const_cast<u8*>(pl.data());
        if (form == 0) eb->AddTagBin(bin, text, pl, r.v);
        if (form == 1) eb->AddTagBin(bin, text, p, L, r.v);
        if (form == 2) eb->EncodeTagBin(bin, ref::Le32((const u8*)text), p, L, r.v), std::copy(text, text + 4, r.nb);
        if (form == 3) eb->EncodeTagBin(bin, text, p, L, r.v);
        if (form >= 2) wantBin.clear(), bins.clear();
        const unsigned sum = std::accumulate(pl.begin(), pl.end(), 0u) & 0xFFFF;
        const std::string name((char*)r.nb, 4), len = {char(L), char(L >> 8), char(L >> 16), char(L >> 24)};
        bins.push_back(r), bins.back().pos = u32(wantBin.size());
        wantBin += "<h" + name + len + char(r.v) + ">" + r.payload + "<" + name + char(sum) + char(sum >> 8) + ">";

        // Text form: zero name bytes as spaces; version v written as v + '0',
        // except 14 (which would be '>'), written as '?' and read back as 15.
        CHECK(et->AddTagTxt(txt, text, pl, r.v));
        TextName(r.nb, text);
        std::replace(r.nb, r.nb + 4, u8(0), u8(' '));
        const std::string tn((char*)r.nb, 4);
        txts.push_back(r), txts.back().pos = u32(wantTxt.size()), txts.back().v = r.v == 14 ? 15 : r.v;
        wantTxt += "<h" + tn + digits(L + 2, 10) + char(r.v == 14 ? '?' : r.v + '0') + ">\r\n" + r.payload + "<" + tn +
                   digits((sum + 23) & 0xFFFF, 6) + ">\r\n";
    }
    CHECK(std::string(bin.begin(), bin.end()) == wantBin);
    CHECK(std::string(txt.begin(), txt.end()) == wantTxt);

    // Found again from its own offset (a binary scan needs one byte after the
    // last record); DecodeTag copies the payload out.
    bin.push_back(0);
    const u32 nb = u32(bin.size()), nt = u32(txt.size());
    STag tag;
    for (const Rec& r : bins) {
        const u32 L = u32(r.payload.size());
        std::vector<char> dest(L);  // exactly the payload's size
        unsigned char version = 0;
        CHECK(db->FindTagPtrAnyName(bin.data(), nb, tag, r.pos) == r.pos + L + 20);
        CHECK(Same(tag, ref::MakeTag(&bin[r.pos], r.nb, &bin[r.pos + 12], L, L + 20, r.v)));
        CHECK(db->DecodeTag(&bin[r.pos], nb - r.pos, (const char*)r.nb, dest.data(), L, version));
        CHECK(version == r.v);
        CHECK(std::string(dest.begin(), dest.end()) == r.payload);
    }
    for (const Rec& r : txts) {
        const u32 L = u32(r.payload.size());
        CHECK(dt->FindTagPtrAnyName(txt.data(), nt, tag, r.pos) == r.pos + L + 32);
        CHECK(Same(tag, ref::MakeTag(&txt[r.pos], r.nb, &txt[r.pos + 20], L, L + 32, r.v)));
    }
    return 0;
}
