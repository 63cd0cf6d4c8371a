// The encoders: what the binary and text encoders write, appended after former
// content, is the expected bytes. (That the decoders find exactly what the
// reference readers find is held by the decoder targets; the entry writers
// are held to a fresh string stream by the formatter tests.)
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
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in = {data, size};
    std::unique_ptr<IUlvexEncoderBin> eb(IUlvexEncoderBin::CreateMe());
    std::unique_ptr<IUlvexEncoderTxt> et(IUlvexEncoderTxt::CreateMe());

    // Records appended after some former content (EncodeTagBin replaces it).
    Bytes bin = in.bytes(in.byte() % 4), txt = bin;
    std::string wantBin(bin.begin(), bin.end()), wantTxt = wantBin;
    for (int count = in.byte() % 4; count > 0; --count) {
        char text[5] = {0, 0, 0, 0, 0};
        const Bytes nm = in.bytes(4);
        std::copy(nm.begin(), nm.end(), text);
        const int form = in.byte() % 4;
        u8 nb[4];  // the name bytes (all four for an integer name)
        const u8 v = in.byte();
        const std::string payload = in.str(256) + in.str(256);
        TextName(nb, text);
        const Bytes pl(payload.begin(), payload.end());
        const u32 L = u32(pl.size());
        void* p = const_cast<u8*>(pl.data());
        if (form == 0) eb->AddTagBin(bin, text, pl, v);
        if (form == 1) eb->AddTagBin(bin, text, p, L, v);
        if (form == 2) eb->EncodeTagBin(bin, ref::Le32((const u8*)text), p, L, v), std::copy(text, text + 4, nb);
        if (form == 3) eb->EncodeTagBin(bin, text, p, L, v);
        if (form >= 2) wantBin.clear();
        const unsigned sum = std::accumulate(pl.begin(), pl.end(), 0u) & 0xFFFF;
        const std::string name((char*)nb, 4), len = {char(L), char(L >> 8), char(L >> 16), char(L >> 24)};
        wantBin += "<h" + name + len + char(v) + ">" + payload + "<" + name + char(sum) + char(sum >> 8) + ">";

        // Text form: zero name bytes as spaces; version v written as v + '0',
        // except 14 (which would be '>'), written as '?'.
        CHECK(et->AddTagTxt(txt, text, pl, v));
        TextName(nb, text);
        std::replace(nb, nb + 4, u8(0), u8(' '));
        wantTxt += "<h" + std::string((char*)nb, 4) + digits(L + 2, 10) + char(v == 14 ? '?' : v + '0') + ">\r\n" +
                   payload + "<" + std::string((char*)nb, 4) + digits((sum + 23) & 0xFFFF, 6) + ">\r\n";
    }
    CHECK(std::string(bin.begin(), bin.end()) == wantBin);
    CHECK(std::string(txt.begin(), txt.end()) == wantTxt);
    return 0;
}
