// The reference readers that the fuzz targets and benchmarks hold the library
// to: checked here against bytes written out by hand, so that they cannot
// drift along with the library.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "reference.h"

namespace {
namespace ref = ulvex::ref;
using ref::Bytes;

// DATA, version 1, payload "abc": checksum 97 + 98 + 99 = 0x0126.
const Bytes kRecord = {0x3C, 0x68, 'D', 'A',  'T', 'A', 3,   0,   0,    0,    1,   0x3E,
                       'a',  'b',  'c', 0x3C, 'D', 'A', 'T', 'A', 0x26, 0x01, 0x3E};
const std::string kText = "<hDATA00000000051>\r\nabc<DATA000317>\r\n";
const unsigned char* const kAbc = reinterpret_cast<const unsigned char*>("abc");

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
// "NAME@payload offset+payload length/record length vVersion"
std::string Desc(const STag& t, const Bytes& b) {
    return t.TagName + "@" + std::to_string(t.PtrPayload - b.data()) + "+" + std::to_string(t.PayloadLen) + "/" +
           std::to_string(t.TagLen) + "v" + std::to_string(t.Version);
}

TEST(Reference, WritersProduceTheHandWrittenRecords) {
    Bytes bin, text;
    ref::AppendRecord(bin, "DATA", kAbc, 3, 1);
    ref::AppendTextRecord(text, "DATA", kAbc, 3, 1);
    EXPECT_EQ(bin, kRecord);
    EXPECT_EQ(text, B(kText));
}

TEST(Reference, LookupsFindTheHandWrittenRecordsFillingTheBuffer) {
    const Bytes text = B(kText);
    STag bt, tt;
    EXPECT_EQ(ref::FindBin(kRecord.data(), 23, ref::AnyName(), bt, 0), 23u);
    EXPECT_EQ(ref::FindTxt(text.data(), 35, tt, 0), 35u);
    EXPECT_EQ(Desc(bt, kRecord), "DATA@12+3/23v1");
    EXPECT_EQ(Desc(tt, text), "DATA@20+3/35v1");
}

TEST(Reference, EmptyRecordNeedsOneByteAfterIt) {
    Bytes empty;
    ref::AppendRecord(empty, "E", nullptr, 0, 0);
    empty.push_back('x');
    STag tag;
    EXPECT_EQ(ref::FindBin(empty.data(), 20, ref::AnyName(), tag, 0), 0u);
    EXPECT_EQ(ref::FindBin(empty.data(), 21, ref::AnyName(), tag, 0), 20u);
}

// A record inside the payload of another is found when the outer one is damaged or too long, not otherwise.
TEST(Reference, ListingFindsTheInnerRecordOfADamagedOrTooLongOne) {
    Bytes inner, outer, damaged;
    ref::AppendRecord(inner, "IN", kAbc, 1, 2);
    ref::AppendRecord(outer, "OUT", inner.data(), static_cast<unsigned>(inner.size()), 1);
    outer.push_back(0), damaged = outer, damaged[damaged.size() - 4] ^= 1;  // its checksum
    EXPECT_EQ(ref::ListAll(false, outer.data(), outer.size()).at(0).offset, 0u);
    EXPECT_EQ(ref::ListAll(false, damaged.data(), damaged.size()).at(0).offset, 12u);
    EXPECT_EQ(ref::ListAll(false, outer.data(), outer.size(), 0, inner.size() - 1).at(0).offset, 12u);
}

TEST(Reference, NameListChecksHeaderAndFooterSeparately) {
    Bytes r = kRecord;
    r[19] = 'B';  // footer DATB
    r.push_back(0);
    const std::list<std::string> names = {"DATA", "DATB"}, one = {"DATA"};
    STag tag;
    EXPECT_EQ(ref::FindBin(r.data(), 24, ref::ListNames{&names}, tag, 0), 23u);
    EXPECT_EQ(ref::FindBin(r.data(), 24, ref::ListNames{&one}, tag, 0), 0u);
}

// A footer without its closing marker reads a sixth digit; a short header takes the version before its marker.
TEST(Reference, TextConversionsReadWhereTheMarkersStand) {
    unsigned char f[8], h[12];
    EXPECT_EQ(ref::TextFooter(f, B("<DATA0003170").data()), 12u);
    EXPECT_EQ(ref::Le16(f + 5), 3170u);
    EXPECT_EQ(ref::TextHeader(h, B("<hDATA127>........").data()), 8u);
    EXPECT_EQ(ref::Le32(h + 6), 12u);
    EXPECT_EQ(h[10], 7);
}

// A key without '=' takes the rest; the byte before CR LF stands where the terminator's '|' would.
TEST(Reference, EntriesFollowTheStopRule) {
    std::map<std::string, std::string> entries;
    std::string text;
    ref::FindInDataAllEntry(B("a=1|\r\nrest").data(), 10, entries);
    EXPECT_EQ(entries, (std::map<std::string, std::string>{{"a", "1"}, {"rest", ""}}));
    EXPECT_TRUE(ref::FindInData(B("k=v1\r\nk=v2"), "k", text));
    EXPECT_EQ(text, "k=v");
}

}  // namespace
