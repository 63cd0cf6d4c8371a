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

}  // namespace
