// Binary decoder. Every buffer is a vector of exactly its size, so the sanitizer reports any read past it.
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
std::vector<unsigned> Seq(std::initializer_list<std::pair<unsigned, unsigned>> ranges) {  // [from, to) ...
    std::vector<unsigned> out;
    for (auto r : ranges)
        while (r.first < r.second) out.push_back(r.first++);
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
Strings ListAll(IUlvexDecoderBin& d, const Bytes& b) {
    std::vector<STag> v;
    return d.FindAllTagPtrAnyName(b.data(), b.size(), v), Desc(v, b);
}
struct Helper : IExternalHelper {
    std::function<unsigned(unsigned)> skip = [](unsigned) { return 1u; };
    std::function<bool(size_t)> accept = [](size_t) { return true; };  // given the number of tags seen
    std::vector<STag> found;
    std::vector<unsigned> skips;
    bool OnTagFound(const STag& t) override { return found.push_back(t), accept(found.size()); }
    unsigned GetSkipLen(const void*, unsigned, unsigned pos) override {
        skips.push_back(pos);
        return skips.size() > (1u << 21) ? kStop : skip(pos);  // a runaway scan fails instead of hanging
    }
    bool Scan(IUlvexDecoderBin& d, const Bytes& b) { return d.FindAllTagPtrAnyNameConHelper(&b[0], b.size(), this); }
};
}  // namespace

TEST(DecoderBin, LookupLimitsResynchronisationAndOutputs) {
    CUlvexDecoder d;
    STag t;
    Bytes pl;
    unsigned char v = 0, dest[10];
    const Bytes b = Cat({Junk(5), Rec("DATA", "abc"), Rec("DATA", "abc")});  // records at 5 and 28, limit 31
    for (auto s : {std::make_pair(0u, 28u), {5u, 28u}, {6u, 51u}, {28u, 51u}, {29u, 0u}, {31u, 0u}, {kStop, 0u}}) {
        Helper h;
        EXPECT_EQ(d.FindTagPtrAnyName(b.data(), 51, t, s.first), s.second) << s.first;
        EXPECT_EQ(d.FindTagPtrAnyNameConHelper(b.data(), 51, s.first, &h), s.second) << s.first;
        EXPECT_EQ(h.skips.size(), (s.second ? s.second - 23 : 31) - std::min(s.first, 31u)) << s.first;
    }
    EXPECT_EQ(Desc(std::list<STag>{t}, b), Strings{"DATA@28+3v1"});  // failed lookups left it as it was
    EXPECT_EQ(ListAll(d, Cat({Junk(3), Rec("E", "")})), Strings{});  // starts at len - 20: not examined
    for (unsigned at = 0; at < 300; ++at) {  // every offset, against the vectorised search for candidates
        const Bytes r = Cat({Bytes(at, '<'), Rec("R", "x"), Junk(300 - at)});
        EXPECT_TRUE(ListAll(d, r) == Strings{"R@" + std::to_string(at) + "+1v1"}) << at;
        EXPECT_EQ(d.FindTag(r.data(), r.size(), "R", pl, v, 0), at + 21);
    }
    for (unsigned n = 0; n <= 20; ++n) {  // short buffers are never read: a null buffer would fault
        std::vector<STag> vt;
        Helper h;
        pl = {1}, v = 7;
        d.FindAllTagPtrAnyName(nullptr, n, vt), d.FindAllTagPtr(nullptr, n, {"A"}, vt);
        EXPECT_EQ(d.FindTagPtrAnyName(nullptr, n, t, 0) + d.FindTagPtr(nullptr, n, {"A"}, t, 0) +
                      d.FindTag(nullptr, n, "A", pl, v, 0) + d.FindTagPtrAnyNameConHelper(nullptr, n, 0, &h),
                  0u);
        EXPECT_TRUE(!d.DecodeTag(nullptr, n, "A", nullptr, 0, v) && d.FindAllTagPtrAnyNameConHelper(nullptr, n, &h));
        EXPECT_TRUE(pl.empty() && v == 7 && vt.empty() && h.skips.empty() && h.found.empty()) << n;
    }
    const Bytes in = Rec("IN", "xyz"), out = Rec("OUT", std::string(in.begin(), in.end()));
    Bytes bad = out, misnamed = Rec("NAME", "abc"), ab = Rec("AB", "k");
    bad[40] ^= 1, misnamed[16] = 'X', ab[17] = 'Z';  // checksum; footer name; footer byte after the name's NUL
    const Bytes m = Cat({bad, Junk(3), out, misnamed, ab, Rec("LAST", "q"), Junk(1)});
    EXPECT_EQ(ListAll(d, m), (Strings{"IN@12+3v1", "OUT@46+23v1", "AB@112+1v1", "LAST@133+1v1"}));
    Bytes big = Cat({Rec("BIG", "payload"), Rec("OK", "1"), Junk(1)});              // 27 + 21 + 1 bytes
    for (unsigned L : {0xFFFFFFFFu, 0xFFFFFFECu, 0xFFFFFFF4u, 0x80000000u, 30u}) {  // 30: one byte too long
        for (int i = 0; i < 4; ++i) big[6 + i] = static_cast<unsigned char>(L >> (8 * i));
        EXPECT_EQ(ListAll(d, big), Strings{"OK@27+1v1"}) << L;
        EXPECT_FALSE(d.DecodeTag(big.data(), big.size(), "BIG", nullptr, L, v));
    }
    const Bytes empty = Rec("E", ""), cut = Rec("BODY", "0123456789");
    for (size_t k = 0; k <= cut.size(); ++k) {  // cut at every length, alone and behind an empty-payload record
        const Bytes alone(cut.begin(), cut.begin() + k), both = Cat({empty, alone});
        const unsigned whole = k == cut.size(), e = k > 0;  // E is examined only with a byte after it
        Helper h;
        EXPECT_TRUE(h.Scan(d, both) && h.found.size() == e + whole && ListAll(d, both).size() == e + whole) << k;
        EXPECT_EQ(d.FindTag(both.data(), both.size(), "BODY", pl, v, 0) + d.FindTagPtrAnyName(alone.data(), k, t, 0) +
                      d.FindTagPtr(both.data(), both.size(), {"BODY"}, t, 0),
                  130 * whole)
            << k;
        EXPECT_EQ(d.DecodeTag(both.data(), both.size(), "E", nullptr, 0, v), e == 1) << k;
        EXPECT_EQ(d.DecodeTag(alone.data(), k, "BODY", dest, 10, v), whole == 1) << k;
    }
    const Bytes r = Rec("DATA", "abc", 9);
    for (auto c : {std::make_pair("DATB", 0u), {"DAT", 0u}, {"DATAX", 23u}, {"DATA", 23u}}) {
        pl = {1, 2, 3, 4}, v = 42;  // FindTag empties the payload even when it fails
        EXPECT_EQ(d.FindTag(r.data(), 23, c.first, pl, v, 0), c.second) << c.first;
        EXPECT_TRUE(pl == (c.second ? Bytes{'a', 'b', 'c'} : Bytes()) && v == (c.second ? 9 : 42)) << c.first;
    }
    for (unsigned destLen : {2u, 4u, 3u}) {  // DecodeTag wants exactly the payload's length, at offset 0
        std::copy_n("####", 5, dest), v = 0;
        const bool ok = d.DecodeTag(r.data(), 23, "DATA", dest, destLen, v);
        EXPECT_TRUE(ok == (destLen == 3) && v == (ok ? 9 : 0));
        EXPECT_STREQ(reinterpret_cast<char*>(dest), ok ? "abc#" : "####");
    }
    Bytes two = Cat({Rec("AAAA", "p"), Junk(1)}), longer = Cat({Rec("DATA", "a"), Junk(2)});
    std::copy_n("BBBB", 4, two.begin() + 14);  // header and footer named by different list entries
    longer[6] = 3;                             // the header claims 3 bytes, a valid footer follows 1
    using Names = std::list<std::string>;
    for (auto c : {std::make_pair(Names{"AAAA", "BBBB"}, 21u), {{"BBBB", "AAAA"}, 21u}, {{"AAAA"}, 0u}, {{}, 0u}})
        EXPECT_EQ(d.FindTagPtr(two.data(), 22, c.first, t, 0), c.second);
    EXPECT_FALSE(d.FindTagPtrAnyName(two.data(), 22, t, 0) || d.DecodeTag(two.data(), 22, "AAAA", dest, 1, v));
    EXPECT_FALSE(d.DecodeTag(Cat({Bytes(1), r}).data(), 24, "DATA", dest, 3, v) ||
                 d.DecodeTag(r.data(), 23, "DAT", dest, 3, v) || d.DecodeTag(longer.data(), 23, "DATA", dest, 1, v));
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

TEST(DecoderBulk, AppendsAndUsesOverriddenLookups) {
    const Bytes b = Cat({Junk(4), Rec("KEEP", "1"), Rec("SKIP", "22"), Junk(7), Rec("KEEP", "333", 5), Junk(2)});
    const Strings all{"KEEP@4+1v1", "SKIP@25+2v1", "KEEP@54+3v5"}, kept{all[0], all[2]};
    CUlvexDecoder plain;
    Filtering f;
    IUlvexDecoderBin& d = f;
    Helper h;
    std::vector<STag> v, fv, nv;
    std::list<STag> l, fl, nl;
    plain.FindAllTagPtrAnyName(b.data(), b.size(), v), plain.FindAllTagPtrAnyName(b.data(), b.size(), v);
    plain.FindAllTagPtr(b.data(), b.size(), {"SKIP", "KEEP"}, l), plain.FindAllTagPtr(b.data(), b.size(), {"KEEP"}, l);
    EXPECT_EQ(Desc(v, b), (Strings{all[0], all[1], all[2], all[0], all[1], all[2]}));  // appended, never cleared
    EXPECT_EQ(Desc(l, b), (Strings{all[0], all[1], all[2], all[0], all[2]}));
    d.FindAllTagPtrAnyName(b.data(), b.size(), fv), d.FindAllTagPtrAnyName(b.data(), b.size(), fl);
    d.FindAllTagPtr(b.data(), b.size(), {"KEEP", "SKIP"}, nv), d.FindAllTagPtr(b.data(), b.size(), {"SKIP"}, nl);
    EXPECT_TRUE(Desc(fv, b) == kept && Desc(fl, b) == kept && Desc(nv, b) == kept && nl.empty());
    EXPECT_FALSE(h.Scan(d, b));
    EXPECT_TRUE(f.anyCalls == 6 && f.listCalls == 4 && f.helperCalls == 2 && h.found.size() == 1);
}

TEST(DecoderHelper, PositionsOfferedAndTagsSeen) {
    CUlvexDecoder d;
    Bytes bad = Rec("BAD", "abcdef");
    bad[24] ^= 1;
    const Bytes b = Cat({Junk(3), bad, Rec("ONE", "1"), Junk(5), Rec("TWO", "22"), Junk(2)});
    const Bytes abc = Cat({Junk(2), Rec("A", "1"), Rec("B", "2"), Rec("C", "3"), Junk(1)});
    const Bytes r = Cat({Junk(30), Rec("R", "x"), Junk(1)});
    const Bytes jumps = Cat({Junk(3), Rec("R", "x"), Junk(1), Rec("S", "y"), Junk(1)});  // records at 3 and 25
    Helper h, none, stop, second, five, wrap, zero;
    EXPECT_TRUE(h.Scan(d, b) && none.Scan(d, Junk(50)));
    EXPECT_EQ(Desc(h.found, b), ListAll(d, b));
    EXPECT_EQ(h.skips, Seq({{0, 29}, {50, 55}}));  // ONE spans 29..49, TWO 55..76
    EXPECT_EQ(none.skips, Seq({{0, 30}}));         // record-free: asked at 0 .. N-21
    stop.skip = [](unsigned) { return kStop; };
    second.accept = [](size_t seen) { return seen != 2; };
    EXPECT_EQ(d.FindTagPtrAnyNameConHelper(abc.data(), abc.size(), 0, &stop), kStop);
    EXPECT_FALSE(stop.Scan(d, abc) || second.Scan(d, abc));
    EXPECT_TRUE(stop.found.empty() && Desc(second.found, abc) == (Strings{"A@2+1v1", "B@23+1v1"}));
    five.skip = [](unsigned) { return 5u; };  // steps of 5 jump over the record at 3, land on the one at 25
    EXPECT_TRUE(five.Scan(d, jumps) && Desc(five.found, jumps) == Strings{"S@25+1v1"});
    int wraps = 0, zeros = 0;  // a step that wraps moves the position back; a step of 0 asks again
    wrap.skip = [&wraps](unsigned p) { return p == 20 && wraps++ == 0 ? 0xFFFFFFF0u : 1u; };
    zero.skip = [&zeros](unsigned p) { return p == 3 && zeros++ < 2 ? 0u : 1u; };
    EXPECT_TRUE(wrap.Scan(d, r) && zero.Scan(d, r) && wrap.found.size() + zero.found.size() == 2);
    EXPECT_EQ(wrap.skips, Seq({{0, 21}, {4, 30}}));
    EXPECT_EQ(zero.skips, Seq({{0, 4}, {3, 4}, {3, 30}}));
}

TEST(DecoderHostile, ManyHeadersEndingAtOneBadFooter) {
    // 40 headers whose lengths all end at one footer: summing their ~1 MiB payloads over and over is what the
    // block sums take over from. Each payload sums to less than 0xFFFF, the footer's checksum. A valid record
    // with a long payload follows.
    const unsigned F = 1u << 20;
    Bytes b(F + 8), ok, pl(200000);
    for (unsigned p = 100; p < 580; p += 12) std::copy_n(CHeader("HHHH", 0, F - p - 12).GetBytes(), 12, &b[p]);
    std::copy_n("<HHHH\xFF\xFF>", 8, &b[F]);
    for (unsigned i = 0; i < pl.size(); ++i) pl[i] = static_cast<unsigned char>(i * 7 + 3);
    CUlvexEncoder().AddTagBin(b, "OK", pl, 3);
    b = Cat({b, Junk(1)});
    CUlvexDecoder d;
    Helper h;
    EXPECT_EQ(ListAll(d, b), Strings{"OK@1048584+200000v3"});
    EXPECT_TRUE(h.Scan(d, b) && Desc(h.found, b) == ListAll(d, b));
}
