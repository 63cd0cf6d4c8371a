// The binary decoder against the reference scanner: every lookup, the bulk
// listings and the helper-driven scans. Input: 16 control bytes (start
// offset, name list, DecodeTag length, helper answers and steps), then the buffer.
#include <algorithm>
#include <functional>
#include <memory>

#include "fuzz_util.h"
#include "ulvex/decoder_bin.h"

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
        CHECK(b == buf);
        CHECK(n == len);
        log.push_back(pos);
        const u8 s = ++steps > 2 * len + 64 ? 255 : ctl[11 + steps % 5];
        return s == 255 ? ~0u : s == 254 ? 0u - 16u : s == 253 ? 0x80000000u : s % 24u;
    }
};
// One helper-driven lookup: the helper's skip after every position that is
// no record, its answer on a record (false stops the scan with ~0).
u32 HelperFind(const u8* b, u32 n, u32 start, Helper& h) {
    u32 L = 0;
    for (u32 p = start; n > 20 && p < n - 20;) {
        if (ref::BinRecordAt(b, n, p, ref::AnyName(), L))
            return h.OnTagFound(ref::MakeTag(b + p, b + p + 2, b + p + 12, L, L + 20, b[p + 10])) ? p + 20 + L : ~0u;
        const u32 s = h.GetSkipLen(b, n, p);
        if (s == ~0u) return ~0u;
        p += s;
    }
    return 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* c, std::size_t size) {
    if (size < 16 || size > 0x100000) return 0;
    const u32 n = u32(size - 16);
    const std::vector<u8> buf(c + 16, c + size);  // exactly n bytes: any overread is reported
    const u8* b = buf.data();
    const u32 start = (c[0] | c[1] << 8) % (n + 2);
    std::list<std::string> names;
    for (int i = 0; i < c[2] % 4 && n > 0; ++i)
        names.push_back(
            std::string((const char*)b + c[3 + 2 * i] % n, std::min<u32>(c[4 + 2 * i] % 6, n - c[3 + 2 * i] % n)));
    const char* text = names.empty() ? "" : names.front().c_str();
    std::unique_ptr<IUlvexDecoderBin> owner(IUlvexDecoderBin::CreateMe());
    CUlvexDecoder& d = static_cast<CUlvexDecoder&>(*owner);
    const ref::AnyName any;
    const ref::ListNames list{&names};
    const ref::OneName one{text};

    // Single lookups; a failed one leaves the tag as it was, FindTag's version too.
    STag got = Sentinel(), want = Sentinel();
    CHECK(d.FindTagPtrAnyName(b, n, got, start) == ref::FindBin(b, n, any, want, start));
    CHECK(Same(got, want));
    got = Sentinel(), want = Sentinel();
    CHECK(d.FindTagPtr(b, n, names, got, start) == ref::FindBin(b, n, list, want, start));
    CHECK(Same(got, want));
    ref::Bytes payload(3, 0xEE), wantPayload(5, 0x11);
    unsigned char version = 0xA5, wantVersion = 0xA5;
    CHECK(d.FindTag(b, n, text, payload, version, start) == ref::FindTag(b, n, text, wantPayload, wantVersion, start));
    CHECK(payload == wantPayload);
    CHECK(version == wantVersion);

    // DecodeTag: a record at offset 0, copied into a destination of its size;
    // nothing is written when the length is wrong or does not fit.
    const u32 destLen = (n >= 10 ? ref::Le32(b + 6) : 0) + u32(std::int8_t(c[9])), room = std::min(destLen, n);
    std::vector<u8> dest(room + 1, 0x5A);
    u32 L = 0;
    const bool ok = ref::BinRecordAt(b, n, 0, one, L) && L == destLen;
    version = 0xA5;
    CHECK(d.DecodeTag(b, n, text, dest.data(), destLen, version) == ok);
    if (ok) {
        CHECK(std::equal(b + 12, b + 12 + L, dest.begin()));
        CHECK(version == b[10]);
        CHECK(dest[L] == 0x5A);
    } else {
        CHECK(std::count(dest.begin(), dest.end(), 0x5A) == room + 1);
        CHECK(version == 0xA5);
    }

    // Bulk listings append after what the container held, in buffer order.
    for (int named = 0; named < 2; ++named) {
        std::vector<STag> all(1, Sentinel()), gotV(all);
        std::list<STag> gotL(all.begin(), all.end());
        if (named) {
            ref::ListBin(b, n, list, all);
            d.FindAllTagPtr(b, n, names, gotV), d.FindAllTagPtr(b, n, names, gotL);
        } else {
            ref::ListBin(b, n, any, all);
            d.FindAllTagPtrAnyName(b, n, gotV), d.FindAllTagPtrAnyName(b, n, gotL);
        }
        CHECK(SameTags(gotV, all));
        CHECK(SameTags(gotL, all));
    }

    // Helper-driven scans: the same calls, in the same order, with the same result.
    Helper h1(c, b, n), h2(c, b, n), h3(c, b, n), h4(c, b, n);
    CHECK(d.FindTagPtrAnyNameConHelper(b, n, start, &h1) == HelperFind(b, n, start, h2));
    CHECK(h1.log == h2.log);
    u32 p = 0;
    while ((p = HelperFind(b, n, p, h4)) != 0 && p != ~0u) {
    }
    CHECK(d.FindAllTagPtrAnyNameConHelper(b, n, &h3) == (p == 0));
    CHECK(h3.log == h4.log);
    return 0;
}
