// The text decoder against the reference reader: the number, header and
// footer conversions, the lookup and the listing, through the class itself
// and through a derived class (which takes the virtual-call path).
// Input: 2 bytes of start offset, then the buffer.
#include <memory>

#include "oracle.h"
#include "ulvex/decoder_txt.h"

using namespace oracle;

namespace {
struct Derived : CUlvexDecoderTxt {};
std::vector<u8> copy(const u8* b, std::size_t k) { return std::vector<u8>(b, b + k); }  // exactly k bytes
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 0x100000) return 0;
    const std::vector<u8> buf = copy(data + 2, size - 2);
    const u32 n = u32(buf.size()), start = (data[0] | data[1] << 8) % (n + 2);
    const u8* b = buf.data();
    const Buf B(b, n);
    CUlvexDecoderTxt base;
    Derived derived;

    // Conversions read 17 header and 12 footer characters, nothing beyond.
    u32 v1 = 1, v2 = 2;
    u8 want[12];
    if (n >= 17) {
        const std::vector<u8> w = copy(b, 17);
        CHECK(base.CalcolaValore(v1, w.data(), true) == calc(v2, w.data(), true) && v1 == v2);
        CHeader h;
        CHECK(base.AssegnaHeader(h, w.data()) == txtHeader(want, w.data()) && !std::memcmp(h.GetBytes(), want, 12));
    }
    if (n >= 12) {
        const std::vector<u8> w = copy(b, 12);
        CHECK(base.CalcolaValore(v1, w.data(), false) == calc(v2, w.data(), false) && v1 == v2);
        CFooter f;
        CHECK(base.AssegnaFooter(f, w.data()) == txtFooter(want, w.data()) && !std::memcmp(f.GetBytes(), want, 8));
    }

    for (CUlvexDecoderTxt* d : {&base, static_cast<CUlvexDecoderTxt*>(&derived)}) {
        STag got = sentinel(), tag = sentinel();
        CHECK(d->FindTagPtrAnyName(b, n, got, start) == txtFind(B, start, tag) && same(got, tag));
        std::vector<STag> all(1, sentinel()), wantAll(all);
        for (u32 p = 0; (p = txtFind(B, p, tag)) != 0;) wantAll.push_back(tag);
        d->FindAllTagPtrAnyName(b, n, all);
        CHECK(sameTags(all, wantAll));
    }
    return 0;
}
