// The binary decoder against the reference scanner: every lookup, the bulk
// listings and the helper-driven scans. Input: 16 control bytes (start
// offset, name list, DecodeTag length, helper answers and steps), then the buffer.
#include <algorithm>
#include <functional>
#include <memory>

#include "oracle.h"
#include "ulvex/decoder_bin.h"

using namespace oracle;

namespace {
// Answers and steps come from the control bytes; after a bounded number of
// steps the helper stops the scan, so every scan ends. Every call is logged.
struct Helper : IExternalHelper {
    const u8 *ctl, *buf;
    u32 len, steps = 0, found = 0;
    std::vector<std::uint64_t> log;
    Helper(const u8* c, const u8* b, u32 n) : ctl(c), buf(b), len(n) {}
    bool OnTagFound(const STag& t) override {
        log.insert(log.end(), {~0ull, std::uint64_t(t.PtrTag - buf), std::uint64_t(t.PtrPayload - buf), t.PayloadLen,
                               t.TagLen, t.Version, std::hash<std::string>()(t.TagName)});
        return (ctl[10] >> (found++ % 8)) & 1;
    }
    unsigned int GetSkipLen(const void* b, unsigned int n, unsigned int pos) override {
        CHECK(b == buf && n == len);
        log.push_back(pos);
        const u8 s = ++steps > 2 * len + 64 ? 255 : ctl[11 + steps % 5];
        return s == 255 ? ~0u : s == 254 ? 0u - 16u : s == 253 ? 0x80000000u : s % 24u;
    }
};
u32 helperFind(const Buf& B, u32 start, Helper& h) {
    for (u32 p = start, L; B.n > 20 && p < B.n - 20;) {
        if (binRecord(B, p, Names{Names::Any, 0, 0}, L)) return h.OnTagFound(binTag(B, p, L)) ? p + 20 + L : ~0u;
        const u32 s = h.GetSkipLen(B.b, B.n, p);
        if (s == ~0u) return ~0u;
        p += s;
    }
    return 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* c, std::size_t size) {
    if (size < 16 || size > 0x100000) return 0;
    const u32 n = u32(size - 16);
    std::unique_ptr<u8[]> owned(new u8[n]);  // exactly n bytes: any overread is reported
    u8* b = owned.get();
    std::copy(c + 16, c + size, b);
    const Buf B(b, n);
    const u32 start = (c[0] | c[1] << 8) % (n + 2);
    std::list<std::string> names;
    for (int i = 0; i < c[2] % 4 && n > 0; ++i)
        names.push_back(
            std::string((const char*)b + c[3 + 2 * i] % n, std::min<u32>(c[4 + 2 * i] % 6, n - c[3 + 2 * i] % n)));
    const char* text = names.empty() ? "" : names.front().c_str();
    std::unique_ptr<IUlvexDecoderBin> owner(IUlvexDecoderBin::CreateMe());
    CUlvexDecoder& d = static_cast<CUlvexDecoder&>(*owner);
    const Names any{Names::Any, 0, 0}, list{Names::List, &names, 0}, one{Names::Text, 0, text};

    // Single lookups; a failed one leaves the tag as it was, FindTag's version too.
    STag got = sentinel(), want = sentinel(), got2 = sentinel(), want2 = sentinel();
    CHECK(d.FindTagPtrAnyName(b, n, got, start) == binFind(B, start, any, want) && same(got, want));
    CHECK(d.FindTagPtr(b, n, names, got2, start) == binFind(B, start, list, want2) && same(got2, want2));
    std::vector<u8> payload(3, 0xEE);
    unsigned char version = 0xA5;
    const u32 r = binFind(B, start, one, want);
    CHECK(d.FindTag(b, n, text, payload, version, start) == r);
    CHECK(r ? payload == std::vector<u8>(want.PtrPayload, want.PtrPayload + want.PayloadLen) && version == want.Version
            : payload.empty() && version == 0xA5);

    // DecodeTag: a record at offset 0, copied into a destination of its size;
    // nothing is written when the length is wrong or does not fit.
    const u32 destLen = (n >= 10 ? le32(b + 6) : 0) + u32(std::int8_t(c[9])), room = std::min(destLen, n);
    std::vector<u8> dest(room + 1, 0x5A);
    u32 L = 0;
    const bool ok = n > 20 && binRecord(B, 0, one, L) && L == destLen;
    version = 0xA5;
    CHECK(d.DecodeTag(b, n, text, dest.data(), destLen, version) == ok);
    CHECK(ok ? std::equal(b + 12, b + 12 + L, dest.begin()) && version == b[10] && dest[L] == 0x5A
             : std::count(dest.begin(), dest.end(), 0x5A) == room + 1 && version == 0xA5);

    // Bulk listings append after what the container held, in buffer order.
    for (const Names* m : {&any, &list}) {
        std::vector<STag> all(1, sentinel()), gotV(all);
        std::list<STag> gotL(all.begin(), all.end());
        for (u32 p = 0; (p = binFind(B, p, *m, want)) != 0;) all.push_back(want);
        if (m == &list)
            d.FindAllTagPtr(b, n, names, gotV), d.FindAllTagPtr(b, n, names, gotL);
        else
            d.FindAllTagPtrAnyName(b, n, gotV), d.FindAllTagPtrAnyName(b, n, gotL);
        CHECK(sameTags(gotV, all) && sameTags(gotL, all));
    }

    // Helper-driven scans: the same calls, in the same order, with the same result.
    Helper h1(c, b, n), h2(c, b, n), h3(c, b, n), h4(c, b, n);
    CHECK(d.FindTagPtrAnyNameConHelper(b, n, start, &h1) == helperFind(B, start, h2) && h1.log == h2.log);
    u32 p = 0;
    while ((p = helperFind(B, p, h4)) != 0 && p != ~0u) {
    }
    CHECK(d.FindAllTagPtrAnyNameConHelper(b, n, &h3) == (p == 0) && h3.log == h4.log);
    return 0;
}
