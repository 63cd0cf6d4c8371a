// ulvex::Scan lists exactly what one byte-by-byte scan of the whole buffer
// lists (the reference listing), for every thread count and chunk
// size, on inputs built against the chunked join.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
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

}  // namespace
