// Binary decoder: what its fuzz target does not reach (derived classes, the candidate search at every offset,
// records cut at every length, hostile input at scale); the fuzz target holds every lookup, listing and
// helper-driven scan to the reference reader. Every buffer is a vector of exactly its size, so the sanitizer
// reports any read past it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "ulvex/decoder_bin.h"
#include "ulvex/encoder_bin.h"
#include "ulvex/records.h"

namespace {
using Bytes = std::vector<unsigned char>;
using Strings = std::vector<std::string>;
const unsigned kStop = 0xFFFFFFFFu;

Bytes Rec(const char* name, const std::string& p, unsigned char version = 1) {
    Bytes out;
    return CUlvexEncoder().AddTagBin(out, name, Bytes(p.begin(), p.end()), version), out;
}
Bytes Cat(std::initializer_list<Bytes> parts) {  // with exact capacity
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return Bytes(out.begin(), out.end());
}
// Every '<' in it passes the header marker test, but the length it announces never fits.
Bytes Junk(size_t n) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = "<h>"[i % 3];
    return out;
}
// "NAME@offset+payloadLen vVersion" per tag, "!" marking inconsistent pointers or lengths.
template <class C>
Strings Desc(const C& tags, const Bytes& b) {
    Strings out;
    for (const STag& t : tags)
        out.push_back(t.TagName + "@" + std::to_string(t.PtrTag - b.data()) + "+" + std::to_string(t.PayloadLen) + "v" +
                      std::to_string(t.Version) +
                      (t.PtrPayload == t.PtrTag + 12 && t.TagLen == t.PayloadLen + 20 ? "" : "!"));
    return out;
}
unsigned Len(const Bytes& b) { return static_cast<unsigned>(b.size()); }
Strings ListAll(IUlvexDecoderBin& d, const Bytes& b) {
    std::vector<STag> v;
    return d.FindAllTagPtrAnyName(b.data(), Len(b), v), Desc(v, b);
}
struct Helper : IExternalHelper {
    std::function<unsigned(unsigned)> skip = [](unsigned) { return 1u; };
    std::vector<STag> found;
    std::vector<unsigned> skips;
    bool OnTagFound(const STag& t) override { return found.push_back(t), true; }
    unsigned GetSkipLen(const void*, unsigned, unsigned pos) override {
        skips.push_back(pos);
        return skips.size() > (1u << 21) ? kStop : skip(pos);  // a runaway scan fails instead of hanging
    }
    bool Scan(IUlvexDecoderBin& d, const Bytes& b) { return d.FindAllTagPtrAnyNameConHelper(b.data(), Len(b), this); }
};
}  // namespace

TEST(DecoderBin, RecordIsFoundAtEveryOffsetAmongCandidates) {
    CUlvexDecoder d;
    Bytes pl;
    unsigned char v = 0;
    for (unsigned at = 0; at < 300; ++at) {  // against every path of the vectorised candidate search
        const Bytes r = Cat({Bytes(at, '<'), Rec("R", "x"), Junk(300 - at)});
        EXPECT_EQ(ListAll(d, r), Strings{"R@" + std::to_string(at) + "+1v1"});
        EXPECT_EQ(d.FindTag(r.data(), Len(r), "R", pl, v, 0), at + 21);
    }
}

TEST(DecoderBin, RecordCutAtEveryLengthIsNeverFound) {
    CUlvexDecoder d;
    Bytes pl;
    unsigned char v = 0, dest[10];
    const Bytes empty = Rec("E", ""), cut = Rec("BODY", "0123456789");
    for (size_t k = 0; k <= cut.size(); ++k) {  // alone and behind an empty-payload record
        const Bytes alone(cut.begin(), cut.begin() + static_cast<std::ptrdiff_t>(k)), both = Cat({empty, alone});
        const unsigned whole = k == cut.size(), e = k > 0;  // E is examined only with a byte after it
        STag t;
        Helper h;
        EXPECT_TRUE(h.Scan(d, both)) << k;
        EXPECT_EQ(h.found.size(), e + whole) << k;
        EXPECT_EQ(ListAll(d, both).size(), e + whole) << k;
        EXPECT_EQ(d.FindTag(both.data(), Len(both), "BODY", pl, v, 0), 50 * whole) << k;
        EXPECT_EQ(d.FindTagPtrAnyName(alone.data(), Len(alone), t, 0), 30 * whole) << k;
        EXPECT_EQ(d.FindTagPtr(both.data(), Len(both), {"BODY"}, t, 0), 50 * whole) << k;
        EXPECT_EQ(d.DecodeTag(both.data(), Len(both), "E", nullptr, 0, v), e == 1) << k;
        EXPECT_EQ(d.DecodeTag(alone.data(), Len(alone), "BODY", dest, 10, v), whole == 1) << k;
    }
}

// Hides tags named SKIP and counts lookups, overriding only the inner operations.
struct Filtering : CUlvexDecoder {
    int anyCalls = 0, listCalls = 0, helperCalls = 0;
    unsigned FindTagPtrAnyName(const void* b, unsigned n, STag& t, unsigned s) override {
        for (++anyCalls; (s = CUlvexDecoder::FindTagPtrAnyName(b, n, t, s)) != 0 && t.TagName == "SKIP";) {
        }
        return s;
    }
    unsigned FindTagPtr(const void* b, unsigned n, const std::list<std::string>& l, STag& t, unsigned s) override {
        for (++listCalls; (s = CUlvexDecoder::FindTagPtr(b, n, l, t, s)) != 0 && t.TagName == "SKIP";) {
        }
        return s;
    }
    unsigned FindTagPtrAnyNameConHelper(const void* b, unsigned n, unsigned s, IExternalHelper* h) override {
        return ++helperCalls == 2 ? kStop : CUlvexDecoder::FindTagPtrAnyNameConHelper(b, n, s, h);
    }
};

class DecoderBulk : public ::testing::Test {
protected:
    const Bytes b = Cat({Junk(4), Rec("KEEP", "1"), Rec("SKIP", "22"), Junk(7), Rec("KEEP", "333", 5), Junk(2)});
    const Strings all{"KEEP@4+1v1", "SKIP@25+2v1", "KEEP@54+3v5"}, kept{all[0], all[2]};
    Filtering f;
    IUlvexDecoderBin& d = f;
};

TEST_F(DecoderBulk, ListingsGoThroughTheOverriddenLookups) {
    std::vector<STag> v, w;
    std::list<STag> l, none;
    d.FindAllTagPtrAnyName(b.data(), Len(b), v), d.FindAllTagPtrAnyName(b.data(), Len(b), l);
    d.FindAllTagPtr(b.data(), Len(b), {"KEEP", "SKIP"}, w), d.FindAllTagPtr(b.data(), Len(b), {"SKIP"}, none);
    EXPECT_EQ(Desc(v, b), kept);
    EXPECT_EQ(Desc(l, b), kept);
    EXPECT_EQ(Desc(w, b), kept);
    EXPECT_EQ(none.size(), 0u);
    EXPECT_EQ(f.anyCalls, 6);
    EXPECT_EQ(f.listCalls, 4);
}

TEST_F(DecoderBulk, HelperScanGoesThroughTheOverriddenStepAndStopsWithIt) {
    Helper h;
    EXPECT_FALSE(h.Scan(d, b));
    EXPECT_EQ(f.helperCalls, 2);
    EXPECT_EQ(h.found.size(), 1u);
}

// 40 headers whose lengths all end at one footer: summing their ~1 MiB payloads over and over is what the block
// sums take over from. Each payload sums to less than 0xFFFF, the footer's checksum. A valid record with a long
// payload stands among them, its checksum answered from the table; two follow the footer. One more header ends
// at a footer inside the first of those, so the table reaches into it: that record's checksum comes from the
// table after it drops its first part and grows at its end.
TEST(DecoderHostile, ListingAndHelperScansFindTheValidRecordsAmongAndAfterTheHeaders) {
    const unsigned F = 1u << 20;
    Bytes b(F + 8, 0), pl(200000);
    for (unsigned p = 100; p < 580; p += 12) std::copy_n(CHeader("HHHH", 0, F - p - 12).GetBytes(), 12, &b[p]);
    std::copy_n(CHeader("HHHH", 0, F + 220 - 592).GetBytes(), 12, &b[580]);
    std::copy_n("<HHHH\xFF\xFF>", 8, &b[F]);
    const Bytes in = Rec("IN", std::string(300, '\x01'), 2);
    std::copy(in.begin(), in.end(), &b[1000]);
    for (unsigned i = 0; i < pl.size(); ++i) pl[i] = static_cast<unsigned char>(i * 7 + 3);
    std::copy_n("<HHHH\xFF\xFF>", 8, &pl[200]);  // at F + 220
    CUlvexEncoder().AddTagBin(b, "OK", pl, 3);
    b.insert(b.end(), 77, 'j');  // the second record off the block grid
    CUlvexEncoder().AddTagBin(b, "OK2", pl, 4);
    b = Cat({b, Junk(1)});
    const Strings want{"IN@1000+300v2", "OK@1048584+200000v3", "OK2@1248681+200000v4"};
    CUlvexDecoder d;
    Helper h, back;
    int backs = 0;  // once, between the valid records, back to the last headers: behind the table
    back.skip = [&backs](unsigned p) {
        if (p == 1248610 && backs++ == 0) return 560u - p;              // wraps around to 560
        if (backs == 1 && p > 600 && p < 1048584) return 1048584u - p;  // then straight to the first record
        return 1u;
    };
    EXPECT_EQ(ListAll(d, b), want);
    EXPECT_TRUE(h.Scan(d, b));
    EXPECT_TRUE(back.Scan(d, b));
    EXPECT_EQ(Desc(h.found, b), want);
    EXPECT_EQ(Desc(back.found, b), (Strings{want[0], want[1], want[1], want[2]}));
}
