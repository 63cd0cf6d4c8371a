// Text records: exact bytes of the encoder, and derived decoders with their own sizes and conversions, through
// the single lookups and the bulk listing alike. The fuzz target holds the decoder's number fields, damage and
// the virtual path to the reference reader (its corpus keeps the worked cases).
#include <gtest/gtest.h>

#include "ulvex/ulvex.h"

namespace {
using Bytes = std::vector<unsigned char>;
using V = std::vector<std::string>;
Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }  // an exact-size heap copy
std::string Rec(const char* name, const std::string& data, unsigned char v = 0) {
    Bytes out;
    return CUlvexEncoderTxt().AddTagTxt(out, name, B(data), v), std::string(out.begin(), out.end());
}
// The records in `s`, found by the single-lookup loop and by the bulk scan, which must agree.
V Both(IUlvexDecoderTxt& d, const std::string& s) {
    const Bytes b = B(s);
    const auto desc = [&](const STag& t) {  // name@offset/payload offset/payload length/record length/vversion
        return t.TagName + "@" + std::to_string(t.PtrTag - b.data()) + "/" + std::to_string(t.PtrPayload - b.data()) +
               "/" + std::to_string(t.PayloadLen) + "/" + std::to_string(t.TagLen) + "/v" + std::to_string(t.Version);
    };
    V one, all;
    std::vector<STag> tags(1);  // the bulk scan appends after what the vector holds
    for (unsigned p = 0; (p = d.FindTagPtrAnyName(b.data(), static_cast<unsigned>(b.size()), tags[0], p)) != 0;) {
        one.push_back(desc(tags[0]));
        EXPECT_EQ(p, tags[0].PtrTag - b.data() + tags[0].TagLen);
    }
    d.FindAllTagPtrAnyName(b.data(), static_cast<unsigned>(b.size()), tags);
    for (size_t i = 1; i < tags.size(); ++i) all.push_back(desc(tags[i]));
    EXPECT_EQ(one, all);
    return all;
}
// A text form with its own sizes and opening marker; what it reports carries version 200.
struct Form : CUlvexDecoderTxt {
    using Base = CUlvexDecoderTxt;
    using P = const unsigned char*;
    unsigned H, F, D, open;
    Form(unsigned h, unsigned f, unsigned d, unsigned o) : H(h), F(f), D(d), open(o) {}
    unsigned GetSizeHeader() override { return H; }
    unsigned GetSizeFooter() override { return F; }
    unsigned GetTagDataSeparator() override { return D; }
    unsigned Mark(unsigned char* rec, P t, unsigned r) { return rec[0] = t[0] == open ? '<' : 0, r; }
    unsigned AssegnaHeader(CHeader& h, P t) override { return Mark(h.GetBytes(), t, Base::AssegnaHeader(h, t)); }
    unsigned AssegnaFooter(CFooter& f, P t) override { return Mark(f.GetBytes(), t, Base::AssegnaFooter(f, t)); }
    unsigned FindTagPtrAnyName(const void* b, unsigned n, STag& t, unsigned s) override {
        return s = Base::FindTagPtrAnyName(b, n, t, s), t.Version = 200, s;
    }
};
const std::string kAbc = "<hDATA00000000050>\r\nabc<DATA000317>\r\n";
}  // namespace

TEST(TextEncoder, WritesExactRecords) {
    EXPECT_EQ(Rec("DATA", "abc"), kAbc);
    EXPECT_EQ(Rec("ABCDEF", std::string(300, '\xff'), 1),
              "<hABCD00000003021>\r\n" + std::string(300, '\xff') + "<ABCD010987>\r\n");  // 76523 mod 65536
    EXPECT_EQ(Rec("AB", "", 14), "<hAB  0000000002?>\r\n<AB  000023>\r\n");  // spaces for zero name bytes; 14 as '?'
}

TEST(TextEncoder, AppendsARecordOfItsOwnContent) {
    CUlvexEncoderTxt enc;
    Bytes out = B("xy" + kAbc);
    enc.AddTagTxt(out, "SELF", out, 2);  // appended after its own former content, reallocated while growing
    EXPECT_EQ(std::string(out.begin(), out.end()), "xy" + kAbc + Rec("SELF", "xy" + kAbc, 2));
}

TEST(TextEncoder, FieldConversionsWriteInPlaceAndGrowShortStrings) {
    CUlvexEncoderTxt enc;
    std::string h = std::string(18, 'z') + "TAIL", f;  // a longer string keeps its tail, a shorter one grows
    enc.HeaderToTxtNew(h, CHeader(">\x01<", 0, 4294967295u));
    enc.FooterToTxtNew(f, CFooter("AB", B(std::string(257, '\xff')).data(), 257));
    EXPECT_EQ(h, "<h>\x01< 42949672950>TAIL");
    EXPECT_EQ(f, "<AB  065535>");
}

// The sizes and conversions a derived class overrides decide what both lookups recognise.
TEST(TextDecoder, DerivedFormsReadThroughTheirOverrides) {
    std::string bracket = kAbc, wide = std::string(kAbc).insert(17, "X");
    bracket[0] = bracket[23] = '[';
    Form sep3(18, 12, 3, '<'), foot13(18, 13, 2, '<'), head19(19, 12, 2, '<'), square(18, 12, 2, '[');
    EXPECT_EQ(Both(sep3, kAbc), V{"DATA@0/21/2/35/v200"});
    EXPECT_EQ(Both(foot13, kAbc), V{"DATA@0/20/3/36/v200"});
    EXPECT_EQ(Both(head19, wide), V{"DATA@0/21/3/36/v200"});
    EXPECT_EQ(Both(square, bracket), V{"DATA@0/20/3/35/v200"});
    CUlvexDecoderTxt d;  // and reject what their overrides reject
    EXPECT_EQ(Both(sep3, Rec("DATA", "")), V{});
    EXPECT_EQ(Both(foot13, kAbc.substr(0, 35)), V{});
    EXPECT_EQ(Both(square, kAbc), V{});
    EXPECT_EQ(Both(d, wide), V{});
    EXPECT_EQ(Both(d, bracket), V{});
}
