// ulvex::StreamReader: records delivered once whole, counters, the maximum payload and bounded memory, with
// the stream oracle (shared with the fuzz target) on streams built against the reader's checksum table and bound.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "captures.h"
#include "stream_oracle.h"
#include "ulvex/ulvex.h"

namespace {
using Bytes = std::vector<unsigned char>;
using Reader = ulvex::StreamReader;
// 32-bit draws, so that arithmetic on them stays unsigned int.
struct Rng : std::mt19937 {
    using std::mt19937::mt19937;
    unsigned operator()() { return static_cast<unsigned>(std::mt19937::operator()()); }
};
const ulvex::RecordForm kForms[] = {ulvex::RecordForm::Binary, ulvex::RecordForm::Text};
void Append(ulvex::RecordForm form, Bytes& out, const Bytes& payload, unsigned version = 1) {
    ulvex::test::Append(form == ulvex::RecordForm::Text, out, form == ulvex::RecordForm::Text ? "NAME" : "AB", payload,
                        static_cast<unsigned char>(version));
}
// A lone header announcing `dataLen` bytes of payload (text: of data).
Bytes Header(ulvex::RecordForm form, unsigned int dataLen) {
    Bytes r;
    Append(form, r, Bytes());
    for (int i = 0; i < 4 && form == ulvex::RecordForm::Binary; ++i)
        r[6 + i] = static_cast<unsigned char>(dataLen >> 8 * i);
    if (form == ulvex::RecordForm::Text)
        std::snprintf(reinterpret_cast<char*>(&r[6]), 11, "%010u", dataLen + 2), r[16] = '1';
    return Bytes(r.begin(), r.begin() + (form == ulvex::RecordForm::Binary ? 12 : 18));
}
}  // namespace

TEST(StreamReader, HeadersSharingOneFooterAgreeWithTheListing) {
    // Runs of headers announce records ending at the footer of the valid
    // record after the run (a few: after the next run), so that checksums go
    // through the reader's running-sum table, trimmed while candidates wait.
    Rng rng(5);
    for (ulvex::RecordForm form : kForms) {
        const size_t hs = form == ulvex::RecordForm::Binary ? 12 : 18, K = 800;
        Bytes s, rec, data(40000);
        for (auto& b : data) b = static_cast<unsigned char>(rng());
        Append(form, rec, data);
        const size_t run = K * hs + rec.size(), footer = run - (form == ulvex::RecordForm::Binary ? 8 : 14);
        for (size_t g = 0; g < 3; ++g, s.insert(s.end(), rec.begin(), rec.end()))
            for (size_t i = 0; i < K; ++i) {
                const Bytes h = Header(form, static_cast<unsigned>(footer + (i % 97 == 50 ? run : 0) - i * hs - hs -
                                                                   (form == ulvex::RecordForm::Binary ? 0 : 2)));
                s.insert(s.end(), h.begin(), h.end());
            }
        ASSERT_NE(ulvex::ref::ListAll(form == ulvex::RecordForm::Text, s.data(), s.size()).size(), 0u);
        std::vector<std::size_t> random(97);  // chunks of 1 byte, of random sizes up to 300, of 4 KiB
        for (std::size_t& n : random) n = 1 + rng() % 300;
        for (const auto& sizes : {std::vector<std::size_t>{1}, random, std::vector<std::size_t>{4096}})
            ulvex::ref::CheckStream(form == ulvex::RecordForm::Text, 1u << 20, sizes, false, s.data(), s.size());
    }
}

// A damaged record, a header announcing more than the maximum, then a record that arrives split; an empty
// record that ends the stream is never one.
class StreamCounters : public ::testing::TestWithParam<ulvex::RecordForm> {
protected:
    void SetUp() override {
        const ulvex::RecordForm form = GetParam();
        const size_t crlf = form == ulvex::RecordForm::Binary ? 0 : 2;
        Bytes good, bad;
        Append(form, good, Bytes(kMax, 'g')), Append(form, bad, Bytes(5, 'b')), Append(form, last, Bytes());
        good.resize(good.size() - crlf), last.resize(last.size() - crlf - crlf / 2);  // last: needs a byte more
        bad[bad.size() - crlf - 3] ^= 1;                                              // checksum
        for (const Bytes& b : {bad, Header(form, kMax + 1), good}) s.insert(s.end(), b.begin(), b.end());
    }
    static const unsigned int kMax = 16;
    Reader r{GetParam(), kMax};
    Bytes s = {'x', 'y'}, last;
    STag t;
    std::uint64_t off = 0;
};

// The damaged record and the too-long header are rejected at once, before the split record is complete.
TEST_P(StreamCounters, RecordIsDeliveredOnceItsLastByteArrivesAndTooLongHeaderIsRejectedAtOnce) {
    r.Feed(s.data(), s.size() - 5);
    EXPECT_FALSE(r.Next(t, off));
    EXPECT_EQ(r.RejectedCandidates(), 2u);
    r.Feed(s.data() + s.size() - 5, 4);
    EXPECT_FALSE(r.Next(t, off));
    r.Feed(s.data() + s.size() - 1, 1);
    ASSERT_TRUE(r.Next(t, off));
    EXPECT_EQ(off, s.size() - t.TagLen);
}

TEST_P(StreamCounters, EmptyRecordEndingTheStreamIsNotARecord) {
    r.Feed(s.data(), s.size());
    ASSERT_TRUE(r.Next(t, off));
    r.Feed(last.data(), last.size());
    EXPECT_FALSE(r.Next(t, off));
    r.Finish();
    EXPECT_FALSE(r.Next(t, off));
    EXPECT_EQ(r.RecordsDelivered(), 1u);
    EXPECT_EQ(r.RejectedCandidates(), 3u);
    EXPECT_EQ(r.GarbageBytes(), s.size() + last.size() - t.TagLen);
}

TEST_P(StreamCounters, CutHeaderAtTheEndIsGarbageNotACandidate) {
    r.Feed(s.data(), s.size());
    ASSERT_TRUE(r.Next(t, off));
    r.Feed(last.data(), 5);
    r.Finish();
    EXPECT_FALSE(r.Next(t, off));
    EXPECT_EQ(r.RejectedCandidates(), 2u);
    EXPECT_EQ(r.GarbageBytes(), s.size() + 5 - t.TagLen);
}

TEST_P(StreamCounters, BytesFedAfterFinishAreIgnored) {
    r.Finish();
    r.Feed(s.data(), s.size());
    EXPECT_FALSE(r.Next(t, off));
    EXPECT_EQ(r.GarbageBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothForms, StreamCounters, ::testing::ValuesIn(kForms),
                         [](const ::testing::TestParamInfo<ulvex::RecordForm>& i) {
                             return std::string(i.param == ulvex::RecordForm::Binary ? "Binary" : "Text");
                         });

TEST(StreamReader, MaximumAbove32BitsStillPassesOverImpossibleLengthsAtOnce) {
    for (ulvex::RecordForm form : kForms) {
        Bytes s = Header(form, form == ulvex::RecordForm::Binary ? 0xFFFFFFFFu : 4294967290u), rec;
        Append(form, rec, Bytes{'a'});
        s.insert(s.end(), rec.begin(), rec.end());
        s.push_back(0);
        Reader r(form, ~std::size_t{0});
        STag t;
        std::uint64_t off = 0;
        r.Feed(s.data(), s.size());
        ASSERT_TRUE(r.Next(t, off)) << static_cast<int>(form);
        EXPECT_EQ(off, s.size() - rec.size() - 1) << static_cast<int>(form);
    }
}

TEST(StreamReader, LongStreamStaysWithinItsMemoryBound) {
    Rng rng(77);
    for (ulvex::RecordForm form : kForms) {
        Bytes s, p;                      // 64 MiB through a reader whose bound is below 16 KiB for 4-KiB chunks
        while (s.size() < (1u << 20)) {  // records (some too long, some damaged), lone headers, garbage
            const size_t at = s.size();
            p.assign(rng() % 4200, static_cast<unsigned char>(rng()));
            Append(form, s, p, rng() % 12);
            if (rng() % 3 == 0) s[at + rng() % (s.size() - at)] ^= 1;
            const Bytes h = Header(form, rng() % 8192);
            s.insert(s.end(), h.begin(), h.begin() + rng() % h.size());
            for (unsigned i = rng() % 40; i > 0; --i) s.push_back("<h>0123<\r\n"[rng() % 10]);
        }
        for (p = s; s.size() < (64u << 20);) s.insert(s.end(), p.begin(), p.end());
        ulvex::ref::CheckStream(form == ulvex::RecordForm::Text, 4096, {4096}, false, s.data(), s.size());
    }
}
