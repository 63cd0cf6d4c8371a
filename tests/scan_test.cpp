// ulvex::Scan lists exactly what one byte-by-byte scan of the whole buffer
// lists (the reference listing), for every thread count and chunk
// size, on inputs built against the chunked join. The fuzz target adds
// stopped and resumed scans and headers sharing one far footer.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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

template <class R>  // ulvex::Record or the reference's Found, which share their field names
std::string Show(const std::vector<R>& rs) {
    std::string s;
    for (const R& r : rs)
        s += std::to_string(r.offset) + "/" + std::to_string(r.payloadOffset) + "/" + std::to_string(r.payloadLen) +
             "/" + std::to_string(r.recordLen) + "/" + std::string(reinterpret_cast<const char*>(r.name), 4) + "/v" +
             std::to_string(r.version) + " ";
    return s;
}
std::string Reference(RecordForm form, const Bytes& b) {
    return Show(ulvex::ref::ListAll(form == RecordForm::Text, b.data(), b.size()));
}

std::vector<Record> Scanned(RecordForm form, const Bytes& b, unsigned threads, std::uint64_t chunk) {
    ulvex::ScanOptions o;
    o.threads = threads;
    o.chunkSize = chunk;
    std::vector<Record> out;
    ulvex::Scan(form, b.data(), b.size(), out, o);
    return out;
}

class ScanContract : public ::testing::TestWithParam<RecordForm> {};

TEST_P(ScanContract, EveryThreadCountAndChunkSizeListsWhatTheWholeBufferScanLists) {
    Maker m{GetParam() == RecordForm::Text, std::mt19937(7)};
    for (int round = 0; round < 6; ++round) {
        const Bytes b = m.Input(60);
        const std::string want = Reference(GetParam(), b);
        ASSERT_NE(want, "");
        for (unsigned threads = 1; threads <= 8; ++threads)
            for (std::uint64_t chunk : {1, 21, 22, 23, 31, 47, 64, 100, 257, 1000, 0})
                EXPECT_EQ(Show(Scanned(GetParam(), b, threads, chunk)), want)
                    << "round " << round << ", " << threads << " threads, chunks of " << chunk;
    }
}

INSTANTIATE_TEST_SUITE_P(BothForms, ScanContract, ::testing::Values(RecordForm::Binary, RecordForm::Text),
                         [](const ::testing::TestParamInfo<RecordForm>& i) {
                             return i.param == RecordForm::Text ? std::string("Text") : std::string("Binary");
                         });

}  // namespace
