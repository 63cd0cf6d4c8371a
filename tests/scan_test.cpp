// ulvex::Scan lists exactly what one byte-by-byte scan of the whole buffer
// lists (the reference listing), for every thread count and chunk
// size, on inputs built against the chunked join. The fuzz target adds
// stopped and resumed scans and headers sharing one far footer.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "captures.h"
#include "reference.h"
#include "ulvex/ulvex.h"

namespace {

using Bytes = std::vector<unsigned char>;
using ulvex::Record;
using ulvex::RecordForm;
using ulvex::test::Maker;

std::string Reference(RecordForm form, const Bytes& b) {
    return ulvex::ref::Show(ulvex::ref::ListAll(form == RecordForm::Text, b.data(), b.size()));
}

std::string FormName(const ::testing::TestParamInfo<RecordForm>& i) {
    return i.param == RecordForm::Text ? "Text" : "Binary";
}

class ScanContract : public ::testing::TestWithParam<RecordForm> {};

TEST_P(ScanContract, EveryThreadCountAndChunkSizeListsWhatTheWholeBufferScanLists) {
    Maker m{GetParam() == RecordForm::Text, std::mt19937(7)};
    for (int round = 0; round < 6; ++round) {
        const Bytes b = m.Input(60);
        const std::string want = Reference(GetParam(), b);
        ASSERT_NE(want, "");
        for (unsigned threads = 1; threads <= 8; ++threads)
            for (std::uint64_t chunk : {1, 21, 22, 23, 31, 47, 64, 100, 257, 1000, 0}) {
                ulvex::ScanOptions o;
                o.threads = threads, o.chunkSize = chunk;
                std::vector<Record> out;
                ulvex::Scan(GetParam(), b.data(), b.size(), out, o);
                EXPECT_EQ(ulvex::ref::Show(out), want)
                    << "round " << round << ", " << threads << " threads, chunks of " << chunk;
            }
    }
}

TEST(Scan, ACallbackThatThrowsLeavesPosJustPastTheRecordsItTook) {
    Maker m{false, std::mt19937(9)};
    const Bytes b = m.Input(300);
    struct Thrower {
        int batches;
        std::uint64_t end;
        static std::size_t Take(void* self, const Record* r, std::size_t n) {
            Thrower& t = *static_cast<Thrower*>(self);
            if (++t.batches == 3) throw std::runtime_error("third batch");
            return t.end = r[n - 1].offset + r[n - 1].recordLen, n;
        }
    };
    for (unsigned threads : {1u, 2u}) {
        ulvex::ScanOptions o;
        o.threads = threads;
        o.chunkSize = 64;
        Thrower t{0, 0};
        std::uint64_t pos = 0;
        EXPECT_THROW(ulvex::Scan(RecordForm::Binary, b.data(), b.size(), pos, o, Thrower::Take, &t),
                     std::runtime_error);
        EXPECT_EQ(pos, t.end) << threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(BothForms, ScanContract, ::testing::Values(RecordForm::Binary, RecordForm::Text), FormName);

}  // namespace

// Ranges of every size scanned on their own from their first byte, then joined
// in order at the entry the previous range's exit gives, list what one scan of
// the whole buffer lists; so does ScanRange chained from those entries alone.
class RangeScan : public ::testing::TestWithParam<RecordForm> {};

// Two valid records that overlap: B starts inside A's payload and ends past
// A's end, so a range entered at A's end by the whole-buffer path is entered
// strictly inside a record its own scan lists; the record Y right after A lies
// inside B's payload.
Bytes Overlapping(Maker& m) {
    const std::size_t pre = m.text ? 20 : 12;  // header (text: and its CR LF)
    auto frame = [&](const char* name, const Bytes& payload) {
        Bytes out;
        return m.Frame(out, name, payload), out;
    };
    const Bytes x = m.Random(m.rng() % 9), y = frame("Y", m.Random(m.rng() % 9)), g(m.rng() % 4, 'g');
    const std::size_t tail = frame("A", Bytes()).size() - pre;
    const Bytes hb = frame("B", Bytes(x.size() + tail + y.size()));
    Bytes pa = g;
    pa.insert(pa.end(), hb.begin(), hb.begin() + static_cast<std::ptrdiff_t>(pre));
    pa.insert(pa.end(), x.begin(), x.end());
    Bytes out = frame("A", pa), pb = x;
    pb.insert(pb.end(), out.end() - static_cast<std::ptrdiff_t>(tail), out.end());
    pb.insert(pb.end(), y.begin(), y.end());
    const Bytes b = frame("B", pb);
    out.insert(out.end(), y.begin(), y.end());
    out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(pre + pb.size()), b.end());
    return out;
}

TEST_P(RangeScan, RangesOfEverySizeJoinIntoTheWholeBufferListing) {
    Maker m{GetParam() == RecordForm::Text, std::mt19937(11)};
    for (int round = 0; round < 3; ++round) {
        Bytes b = m.Input(30);
        for (int k = 0; k < 12; ++k) {
            const Bytes more = k % 2 ? Overlapping(m) : m.Input(2);
            b.insert(b.end(), more.begin(), more.end());
        }
        const std::string want = Reference(GetParam(), b);
        for (std::uint64_t size = 1; size <= b.size(); ++size) {
            std::vector<Record> joined, chained;
            std::uint64_t entry = 0, chainEntry = 0;
            for (std::uint64_t begin = 0; begin < b.size(); begin += size) {
                const std::uint64_t end = std::min<std::uint64_t>(begin + size, b.size());
                std::vector<Record> local;
                ulvex::ScanRange(GetParam(), b.data(), b.size(), begin, end, local);
                std::size_t from = 0;
                entry = ulvex::JoinRange(GetParam(), b.data(), b.size(), begin, end, local.data(), local.size(), entry,
                                         joined, from);
                joined.insert(joined.end(), local.begin() + static_cast<std::ptrdiff_t>(from), local.end());
                chainEntry = ulvex::ScanRange(GetParam(), b.data(), b.size(), chainEntry, end, chained);
            }
            ASSERT_EQ(ulvex::ref::Show(joined), want) << "round " << round << ", ranges of " << size;
            ASSERT_EQ(ulvex::ref::Show(chained), want) << "round " << round << ", ranges of " << size;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothForms, RangeScan, ::testing::Values(RecordForm::Binary, RecordForm::Text), FormName);
