// The text decoder against the reference reader: the number, header and
// footer conversions, the lookup and the listing, through the class itself
// and through a derived class (which takes the virtual-call path).
// Input: 2 bytes of start offset, then the buffer.
#include <memory>

#include "fuzz_util.h"
#include "ulvex/decoder_txt.h"

namespace {
struct Derived : CUlvexDecoderTxt {};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 0x100000) return 0;
    const std::vector<u8> buf(data + 2, data + size);
    const u32 n = u32(buf.size()), start = (data[0] | data[1] << 8) % (n + 2);
    const u8* b = buf.data();
    CUlvexDecoderTxt base;
    Derived derived;

    // Conversions read 17 header and 12 footer characters, nothing beyond.
    for (const bool header : {true, false}) {
        const u32 k = header ? 17 : 12;
        if (n < k) continue;
        const std::vector<u8> w(b, b + k);  // exactly k bytes
        unsigned v1 = 1, v2 = 2;
        CHECK(base.CalcolaValore(v1, w.data(), header) == ref::TextValue(v2, w.data(), header));
        CHECK(v1 == v2);
        CHeader h;
        CFooter f;
        u8 want[12];
        CHECK((header ? base.AssegnaHeader(h, w.data()) : base.AssegnaFooter(f, w.data())) ==
              (header ? ref::TextHeader(want, w.data()) : ref::TextFooter(want, w.data())));
        CHECK(!std::memcmp(header ? h.GetBytes() : f.GetBytes(), want, header ? 12 : 8));
    }

    std::vector<STag> wantAll(1, Sentinel());
    ref::ListTxt(b, n, wantAll);
    for (CUlvexDecoderTxt* d : {&base, static_cast<CUlvexDecoderTxt*>(&derived)}) {
        STag got = Sentinel(), tag = Sentinel();
        CHECK(d->FindTagPtrAnyName(b, n, got, start) == ref::FindTxt(b, n, tag, start));
        CHECK(Same(got, tag));
        std::vector<STag> all(1, Sentinel());
        d->FindAllTagPtrAnyName(b, n, all);
        CHECK(SameTags(all, wantAll));
    }
    return 0;
}
