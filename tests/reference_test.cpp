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

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
const std::string kTextRecord = std::string("<hDATA00000000051>\r\nabc<DATA000317>\r\n");

TEST(ReferenceBinary, WriterProducesTheRecordBytes) {
    Bytes out;
    ref::AppendRecord(out, "DATA", reinterpret_cast<const unsigned char*>("abc"), 3, 1);
    EXPECT_EQ(out, kRecord);
}

TEST(ReferenceBinary, FindsARecordFillingTheBuffer) {
    STag tag;
    ASSERT_EQ(ref::FindBin(kRecord.data(), 23, ref::AnyName(), tag, 0), 23u);
    EXPECT_EQ(tag.TagName, "DATA");
    EXPECT_EQ(tag.PtrPayload, kRecord.data() + 12);
    EXPECT_EQ(tag.PayloadLen, 3u);
    EXPECT_EQ(tag.TagLen, 23u);
    EXPECT_EQ(tag.Version, 1);
}

TEST(ReferenceBinary, EmptyRecordNeedsOneByteAfterIt) {
    Bytes empty;
    ref::AppendRecord(empty, "E", nullptr, 0, 0);
    STag tag;
    EXPECT_EQ(ref::FindBin(empty.data(), 20, ref::AnyName(), tag, 0), 0u);
    empty.push_back('x');
    EXPECT_EQ(ref::FindBin(empty.data(), 21, ref::AnyName(), tag, 0), 20u);
}

TEST(ReferenceBinary, ResynchronisesInsideADamagedRecord) {
    Bytes inner;
    ref::AppendRecord(inner, "IN", reinterpret_cast<const unsigned char*>("z"), 1, 2);
    Bytes outer;
    ref::AppendRecord(outer, "OUT", inner.data(), static_cast<unsigned>(inner.size()), 1);
    outer[outer.size() - 3] ^= 1;  // checksum
    outer.push_back(0);
    const std::vector<ref::Found> found = ref::ListAll(false, outer.data(), outer.size());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].offset, 12u);
}

TEST(ReferenceBinary, TooLongPayloadIsNoCandidate) {
    Bytes inner;
    ref::AppendRecord(inner, "IN", reinterpret_cast<const unsigned char*>("z"), 1, 2);
    Bytes outer;
    ref::AppendRecord(outer, "OUT", inner.data(), static_cast<unsigned>(inner.size()), 1);
    outer.push_back(0);
    const std::vector<ref::Found> found = ref::ListAll(false, outer.data(), outer.size(), 0, inner.size() - 1);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].offset, 12u);
}

TEST(ReferenceBinary, NameListChecksHeaderAndFooterSeparately) {
    Bytes r = kRecord;
    r[19] = 'B';  // footer DATB
    r.push_back(0);
    const std::list<std::string> names = {"DATA", "DATB"}, one = {"DATA"};
    STag tag;
    EXPECT_EQ(ref::FindBin(r.data(), 24, ref::ListNames{&names}, tag, 0), 23u);
    EXPECT_EQ(ref::FindBin(r.data(), 24, ref::ListNames{&one}, tag, 0), 0u);
}

TEST(ReferenceText, FindsTheWorkedRecord) {
    const Bytes b = Text(kTextRecord);
    STag tag;
    ASSERT_EQ(ref::FindTxt(b.data(), static_cast<unsigned>(b.size()), tag, 0), 35u);
    EXPECT_EQ(tag.PtrPayload, b.data() + 20);
    EXPECT_EQ(tag.PayloadLen, 3u);
    EXPECT_EQ(tag.TagLen, 35u);
    EXPECT_EQ(tag.Version, 1);
}

TEST(ReferenceText, WriterProducesTheWorkedRecord) {
    Bytes out;
    ref::AppendTextRecord(out, "DATA", reinterpret_cast<const unsigned char*>("abc"), 3, 1);
    EXPECT_EQ(out, Text(kTextRecord));
}

TEST(ReferenceText, FooterWithoutClosingMarkerReadsASixthDigit) {
    const Bytes t = Text("<DATA0003170");
    unsigned char f[8];
    EXPECT_EQ(ref::TextFooter(f, t.data()), 12u);
    EXPECT_EQ(ref::Le16(f + 5), 3170u);
}

TEST(ReferenceText, ShortHeaderTakesVersionBeforeTheMarker) {
    const Bytes t = Text("<hDATA127>........");
    unsigned char h[12];
    EXPECT_EQ(ref::TextHeader(h, t.data()), 8u);
    EXPECT_EQ(ref::Le32(h + 6), 12u);
    EXPECT_EQ(h[10], 7);
}

TEST(ReferenceEntries, KeyWithoutEqualsTakesTheRest) {
    const Bytes d = Text("a=1|\r\nrest");
    std::map<std::string, std::string> entries;
    ref::FindInDataAllEntry(d.data(), d.size(), entries);
    const std::map<std::string, std::string> want = {{"a", "1"}, {"rest", ""}};
    EXPECT_EQ(entries, want);
}

// The byte before CR LF stands where the terminator's '|' would, whatever it is.
TEST(ReferenceEntries, ValueEndsOneByteBeforeCrLf) {
    const Bytes d = Text("k=v1\r\nk=v2");
    std::string text;
    ASSERT_TRUE(ref::FindInData(d, "k", text));
    EXPECT_EQ(text, "k=v");
}

}  // namespace
