// ulvex::Scan lists exactly what one byte-by-byte scan of the whole buffer
// lists (the reference listing), for every thread count and chunk
// size, on inputs built against the chunked join.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "reference.h"
#include "ulvex/ulvex.h"

namespace {

using Bytes = std::vector<unsigned char>;
using ulvex::Record;
using ulvex::RecordForm;

struct Maker {
    bool text;
    std::mt19937 rng;

    void Frame(Bytes& out, const char* name, const Bytes& payload) {
        if (text) CUlvexEncoderTxt().AddTagTxt(out, name, payload, static_cast<unsigned char>(rng() % 10));
        if (!text) CUlvexEncoder().AddTagBin(out, name, payload, static_cast<unsigned char>(rng()));
    }
    // Makes the header at `at` announce L bytes (text: the number it holds).
    void SetLen(Bytes& b, std::size_t at, std::uint64_t L) {
        const std::string digits = std::to_string(10000000000ull + L).substr(1);
        for (std::size_t k = 0; k < (text ? 10u : 4u); ++k)
            b[at + 6 + k] = static_cast<unsigned char>(text ? digits[k] : L >> (8 * k));
    }
    Bytes Random(std::size_t n) {
        Bytes b(n);
        for (auto& c : b) c = static_cast<unsigned char>(rng() % 2 ? "<h>\r\n0AB"[rng() % 8] : rng());
        return b;
    }
    // Records back to back, garbage rich in marker bytes, damaged records,
    // valid records nested in the payload of valid (hidden) and damaged
    // (listed) records two and three deep, headers announcing lengths that
    // run over many chunks, and headers sharing one footer with a wrong sum.
    Bytes Input(std::size_t pieces) {
        Bytes out;
        for (std::size_t i = 0; i < pieces; ++i) {
            Bytes piece, inner, tail;
            const unsigned kind = static_cast<unsigned>(rng() % 7);
            if (kind == 0) Frame(out, rng() % 4 ? "AB" : "", Random(rng() % 40));
            if (kind == 1) piece = Random(rng() % 30);
            if (kind == 2) Frame(piece, "DMG", Random(rng() % 40 + 1));
            if (kind == 2) piece[rng() % piece.size()] ^= static_cast<unsigned char>(1 + rng() % 255);
            if (kind == 3) {  // nested, possibly twice, the outer one possibly damaged (its checksum)
                Frame(inner, "IN", Random(rng() % 20));
                if (rng() % 2) tail = Random(rng() % 5), Frame(tail, "MID", inner), inner = tail;
                inner.insert(inner.begin(), rng() % 6, 'g');
                Frame(piece, "OUT", inner);
                if (rng() % 2) piece[piece.size() - 3] ^= 0x40;
            }
            if (kind == 4) Frame(piece, "LONG", Random(4)), SetLen(piece, 0, 50 + rng() % 2000);  // never completed
            if (kind == 5) Frame(out, "B2B", Bytes()), Frame(out, "B2B", Random(rng() % 3));
            if (kind == 6) {  // headers whose lengths all end at one footer with a wrong checksum
                Frame(tail, "SHRD", Random(200));
                tail[tail.size() - (text ? 4 : 3)] ^= 1;
                const auto h = static_cast<std::ptrdiff_t>(text ? 18 : 12);
                for (std::size_t k = 0; k < 8; ++k) piece.insert(piece.end(), tail.begin(), tail.begin() + h);
                piece.insert(piece.end(), tail.begin() + h, tail.end());
            }
            out.insert(out.end(), piece.begin(), piece.end());
        }
        return out;
    }
};

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

// The caller stops after k records of a batch; scanning again from the
// returned position continues the same listing.
struct TakeSome {
    std::size_t left;
    std::vector<Record> got;
    static std::size_t Take(void* self, const Record* r, std::size_t n) {
        TakeSome& t = *static_cast<TakeSome*>(self);
        const std::size_t k = std::min(n, t.left);
        return t.got.insert(t.got.end(), r, r + k), t.left -= k, k;
    }
};

TEST_P(ScanContract, StoppedScanResumesFromItsPosition) {
    Maker m{GetParam() == RecordForm::Text, std::mt19937(3)};
    const Bytes b = m.Input(80);
    const std::string want = Reference(GetParam(), b);
    for (std::size_t step : {1, 2, 5, 13}) {
        ulvex::ScanOptions o;
        o.threads = 2;
        o.chunkSize = 97;
        std::vector<Record> all;
        std::uint64_t pos = 0;
        for (bool complete = false; !complete;) {
            TakeSome t{step, {}};
            const std::uint64_t before = pos;
            complete = ulvex::Scan(GetParam(), b.data(), b.size(), pos, o, TakeSome::Take, &t);
            all.insert(all.end(), t.got.begin(), t.got.end());
            if (!complete) {  // a stopped scan has taken a record
                ASSERT_EQ(t.got.size(), step);
            }
            EXPECT_EQ(pos, t.got.empty() ? before : t.got.back().offset + t.got.back().recordLen);
        }
        EXPECT_EQ(Show(all), want) << "step " << step;
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

TEST_P(ScanContract, ShortAndEmptyBuffersListNothingWithoutReading) {
    // No record starts in a buffer's last 20 (binary) or 30 (text) bytes.
    const std::uint64_t frame = GetParam() == RecordForm::Text ? 30 : 20;
    for (std::uint64_t n = 0; n <= frame; ++n) {
        std::vector<Record> out;
        ulvex::ScanOptions o;
        o.threads = 2;
        ulvex::Scan(GetParam(), nullptr, n, out, o);
        EXPECT_EQ(out.size(), 0u) << n;
    }
}

TEST_P(ScanContract, HeadersSharingOneFarFooterAcrossChunksListTheSame) {
    // Hundreds of headers per chunk whose payloads all end at one footer with a
    // wrong checksum, far behind: the workers give up on their chunks and the
    // join scans them. Valid records stand among the headers and after them.
    Maker m{GetParam() == RecordForm::Text, std::mt19937(5)};
    Bytes tail, b;
    m.Frame(tail, "SHRD", Bytes(100, 'z'));
    tail[tail.size() - (m.text ? 4 : 3)] ^= 1;
    const std::size_t h = m.text ? 18 : 12;
    const std::size_t count = 4000;
    for (std::size_t k = 0; k < count; ++k) {
        if (k % 500 == 250) m.Frame(b, "MID", Bytes{'m'});  // hidden inside every later header's payload
        b.insert(b.end(), tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(h));
    }
    const std::size_t footerAt = b.size() + 100;  // each header announces the payload ending before it
    for (std::size_t at = 0; at + h <= b.size(); ++at)
        if (b[at] == '<' && b[at + 1] == 'h' && std::memcmp(&b[at + 2], "SHRD", 4) == 0)
            m.SetLen(b, at, footerAt - at - h);
    b.insert(b.end(), tail.begin() + static_cast<std::ptrdiff_t>(h), tail.end());
    m.Frame(b, "END", Bytes{'e'});
    b.push_back(0);
    const std::string want = Reference(GetParam(), b);
    for (std::uint64_t chunk : {512, 4096, 20000})
        EXPECT_EQ(Show(Scanned(GetParam(), b, 2, chunk)), want) << "chunks of " << chunk;
}

INSTANTIATE_TEST_SUITE_P(BothForms, ScanContract, ::testing::Values(RecordForm::Binary, RecordForm::Text),
                         [](const ::testing::TestParamInfo<RecordForm>& i) {
                             return i.param == RecordForm::Text ? std::string("Text") : std::string("Binary");
                         });

TEST(Scan, BinaryRecordThatCannotHoldItsLengthIn32BitsIsPassedOver) {
    // A header announcing 2^32 - 20 payload bytes would make a record of 2^32
    // bytes; on an input that short no such record fits anyway, so this only
    // checks the scan does not wrap: the header is passed over and the record
    // after it is listed.
    Bytes b = {'<', 'h', 'A', 0, 0, 0, 0xEC, 0xFF, 0xFF, 0xFF, 0, '>'};
    CUlvexEncoder().AddTagBin(b, "OK", Bytes{1, 2, 3}, 0);
    b.push_back(0);
    std::vector<Record> out;
    ulvex::Scan(RecordForm::Binary, b.data(), b.size(), out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].offset, 12u);
}

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
        if (m.text) CUlvexEncoderTxt().AddTagTxt(out, name, payload, 1);
        if (!m.text) CUlvexEncoder().AddTagBin(out, name, payload, 1);
        return out;
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
            ASSERT_EQ(Show(joined), want) << "round " << round << ", ranges of " << size;
            ASSERT_EQ(Show(chained), want) << "round " << round << ", ranges of " << size;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothForms, RangeScan, ::testing::Values(RecordForm::Binary, RecordForm::Text),
                         [](const ::testing::TestParamInfo<RecordForm>& i) {
                             return i.param == RecordForm::Text ? std::string("Text") : std::string("Binary");
                         });
