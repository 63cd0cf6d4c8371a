// The C interface against the C++ classes it wraps, on generated captures
// (records among garbage, damaged and cut records) and payloads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "ulvex/c.h"
#include "ulvex/ulvex.h"

namespace {

typedef std::vector<unsigned char> Bytes;
const ulvex_form kForms[] = {ULVEX_BINARY, ULVEX_TEXT};

// Records of random names (some with zero bytes), versions and payloads,
// with garbage, damaged records (a payload byte changed) and record
// fragments between them, and a cut record at the end.
Bytes Capture(ulvex_form form, unsigned seed, int records = 40) {
    std::mt19937 rng(seed);
    CUlvexEncoder bin;
    CUlvexEncoderTxt txt;
    Bytes out;
    for (int i = 0; i < records; ++i) {
        char name[5] = {0};
        for (int k = 0; k < 4; ++k) name[k] = static_cast<char>(rng() % 5 == 0 ? 0 : 'A' + rng() % 26);
        Bytes payload(rng() % 3 == 0 ? 0 : rng() % 90);
        for (unsigned char& b : payload) b = static_cast<unsigned char>(rng());
        Bytes rec;
        if (form == ULVEX_BINARY)
            bin.AddTagBin(rec, name, payload, static_cast<unsigned char>(rng()));
        else
            txt.AddTagTxt(rec, name, payload, static_cast<unsigned char>(rng()));
        switch (rng() % 6) {
            case 0:  // damaged
                if (!payload.empty()) rec[rec.size() / 2] ^= 0x40;
                break;
            case 1:  // only its start
                rec.resize(rec.size() / 2);
                break;
            default:
                break;
        }
        out.insert(out.end(), rec.begin(), rec.end());
        for (unsigned g = rng() % 12; g > 0; --g) out.push_back(static_cast<unsigned char>("<h>\r\n|x\0"[rng() % 8]));
    }
    Bytes last;
    bin.AddTagBin(last, "CUT", Bytes(30, 'c'), 1);
    out.insert(out.end(), last.begin(), last.end() - 5);
    return out;
}

// What the C++ decoder of the form lists, as C records.
std::vector<ulvex_record> DecoderRecords(ulvex_form form, const Bytes& b) {
    std::vector<STag> tags;
    if (form == ULVEX_BINARY)
        CUlvexDecoder().FindAllTagPtrAnyName(b.data(), static_cast<unsigned>(b.size()), tags);
    else
        CUlvexDecoderTxt().FindAllTagPtrAnyName(b.data(), static_cast<unsigned>(b.size()), tags);
    std::vector<ulvex_record> out;
    for (const STag& t : tags) {
        ulvex_record r;
        std::memset(&r, 0, sizeof r);
        r.offset = static_cast<uint64_t>(t.PtrTag - b.data());
        r.payload_offset = static_cast<uint64_t>(t.PtrPayload - b.data());
        r.payload_len = t.PayloadLen;
        r.record_len = t.TagLen;
        std::memcpy(r.name, t.PtrTag + 2, 4);
        r.version = t.Version;
        out.push_back(r);
    }
    return out;
}

std::string Show(const ulvex_record& r) {
    return "@" + std::to_string(r.offset) + " payload@" + std::to_string(r.payload_offset) + "+" +
           std::to_string(r.payload_len) + " len " + std::to_string(r.record_len) + " name " +
           std::string(reinterpret_cast<const char*>(r.name), 4) + " v" + std::to_string(r.version);
}
std::vector<std::string> Show(const std::vector<ulvex_record>& v) {
    std::vector<std::string> s;
    for (const ulvex_record& r : v) s.push_back(Show(r));
    return s;
}

// Every record from 0, `cap` at a time.
std::vector<ulvex_record> ScanAll(ulvex_form form, const Bytes& b, size_t cap, unsigned threads = 1) {
    std::vector<ulvex_record> all, batch(cap);
    uint64_t pos = 0;
    for (;;) {
        size_t count = 99;
        EXPECT_EQ(ulvex_scan(form, b.data(), b.size(), &pos, batch.data(), cap, &count, threads), ULVEX_OK);
        all.insert(all.end(), batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(count));
        if (count < cap) return all;
    }
}

// ---- ulvex_scan ----

TEST(CApiScan, ListsWhatTheDecoderListsInEachForm) {
    for (ulvex_form form : kForms)
        for (unsigned seed = 1; seed <= 5; ++seed) {
            const Bytes b = Capture(form, seed);
            EXPECT_EQ(Show(ScanAll(form, b, 1000)), Show(DecoderRecords(form, b))) << "form " << form;
        }
}

TEST(CApiScan, ContinuesFromPosWhateverTheCapacity) {
    for (ulvex_form form : kForms) {
        const Bytes b = Capture(form, 8, 3000);
        const std::vector<std::string> whole = Show(DecoderRecords(form, b));
        for (size_t cap : {1, 2, 7, 100, 5000})
            EXPECT_EQ(Show(ScanAll(form, b, cap)), whole) << "form " << form << " cap " << cap;
    }
}

TEST(CApiScan, FromAPositionListsWhatUlvexScanLists) {
    for (ulvex_form form : kForms) {
        const Bytes b = Capture(form, 9);
        const uint64_t start = b.size() / 3;
        std::vector<ulvex_record> want;
        uint64_t at = start;
        ulvex::Scan(
            static_cast<ulvex::RecordForm>(form), b.data(), b.size(), at, ulvex::ScanOptions(),
            [](void* c, const ulvex::Record* r, size_t n) {
                for (size_t i = 0; i < n; ++i) {
                    ulvex_record x;
                    std::memset(&x, 0, sizeof x);
                    x.offset = r[i].offset, x.payload_offset = r[i].payloadOffset, x.payload_len = r[i].payloadLen;
                    x.record_len = r[i].recordLen, x.version = r[i].version;
                    std::memcpy(x.name, r[i].name, 4);
                    static_cast<std::vector<ulvex_record>*>(c)->push_back(x);
                }
                return n;
            },
            &want);
        std::vector<ulvex_record> got(want.size() + 1);
        uint64_t pos = start;
        size_t count = 0;
        ASSERT_EQ(ulvex_scan(form, b.data(), b.size(), &pos, got.data(), got.size(), &count, 1), ULVEX_OK);
        got.resize(count);
        EXPECT_EQ(Show(got), Show(want)) << "form " << form;
        EXPECT_EQ(pos, at) << "form " << form;
    }
}

TEST(CApiScan, ManyThreadsListTheSameRecords) {
    const Bytes b = Capture(ULVEX_TEXT, 11, 400);
    EXPECT_EQ(Show(ScanAll(ULVEX_TEXT, b, 50, 0)), Show(DecoderRecords(ULVEX_TEXT, b)));
    EXPECT_EQ(Show(ScanAll(ULVEX_TEXT, b, 50, 3)), Show(DecoderRecords(ULVEX_TEXT, b)));
}

TEST(CApiScan, PosBeyondTheInputListsNothing) {
    const Bytes b = Capture(ULVEX_BINARY, 4);
    ulvex_record r[4];
    uint64_t pos = b.size() + 1;
    size_t count = 9;
    ASSERT_EQ(ulvex_scan(ULVEX_BINARY, b.data(), b.size(), &pos, r, 4, &count, 1), ULVEX_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(pos, b.size() + 1);
}

TEST(CApiScan, EmptyInputWithoutDataListsNothing) {
    uint64_t pos = 0;
    size_t count = 9;
    ulvex_record r;
    EXPECT_EQ(ulvex_scan(ULVEX_TEXT, nullptr, 0, &pos, &r, 1, &count, 1), ULVEX_OK);
    EXPECT_EQ(count, 0u);
}

TEST(CApiScan, RejectsBadArgumentsLeavingOutputsAlone) {
    const Bytes b = Capture(ULVEX_BINARY, 5);
    ulvex_record r[2];
    uint64_t pos = 3;
    size_t count = 77;
    EXPECT_EQ(ulvex_scan(static_cast<ulvex_form>(2), b.data(), b.size(), &pos, r, 2, &count, 1), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_scan(ULVEX_BINARY, nullptr, b.size(), &pos, r, 2, &count, 1), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_scan(ULVEX_BINARY, b.data(), b.size(), nullptr, r, 2, &count, 1), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_scan(ULVEX_BINARY, b.data(), b.size(), &pos, nullptr, 2, &count, 1), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_scan(ULVEX_BINARY, b.data(), b.size(), &pos, r, 2, nullptr, 1), ULVEX_ERR_ARG);
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(count, 77u);
}

// ---- ulvex_encode ----

TEST(CApiEncode, WritesTheBytesOfTheCppEncoders) {
    std::mt19937 rng(21);
    for (int i = 0; i < 50; ++i) {
        const unsigned char name[4] = {static_cast<unsigned char>('A' + i % 26),
                                       static_cast<unsigned char>(i % 3 ? 'x' : 0), 'Z', static_cast<unsigned char>(i)};
        Bytes payload(rng() % 70);
        for (unsigned char& c : payload) c = static_cast<unsigned char>(rng());
        const unsigned char version = static_cast<unsigned char>(rng());
        char cname[5] = {0};
        std::memcpy(cname, name, 4);
        Bytes bin, txt;
        CUlvexEncoder().AddTagBin(bin, cname, payload, version);
        CUlvexEncoderTxt().AddTagTxt(txt, cname, payload, version);
        Bytes out(200, 0xEE);
        size_t written = 0;
        ASSERT_EQ(ulvex_encode(ULVEX_BINARY, name, version, payload.data(), static_cast<uint32_t>(payload.size()),
                               out.data(), out.size(), &written),
                  ULVEX_OK);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(written)), bin);
        ASSERT_EQ(ulvex_encode(ULVEX_TEXT, name, version, payload.data(), static_cast<uint32_t>(payload.size()),
                               out.data(), out.size(), &written),
                  ULVEX_OK);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(written)), txt);
    }
}

TEST(CApiEncode, TooSmallAnOutputGetsTheSizeAndNoBytes) {
    const unsigned char name[4] = {'T', 'E', 'M', 'P'};
    const Bytes payload(10, 'p');
    for (ulvex_form form : kForms) {
        const size_t needed = form == ULVEX_BINARY ? 30 : 44;
        Bytes out(needed - 1, 0xEE);
        size_t written = 0;
        EXPECT_EQ(ulvex_encode(form, name, 1, payload.data(), 10, out.data(), out.size(), &written), ULVEX_ERR_SPACE);
        EXPECT_EQ(written, needed);
        EXPECT_EQ(out, Bytes(needed - 1, 0xEE));
    }
}

TEST(CApiEncode, LengthsBeyondTheFormatAreOutOfRange) {
    const unsigned char name[4] = {'B', 'I', 'G', 0};
    const unsigned char byte = 0;
    size_t written = 5;
    // The payload is never read: the length alone decides.
    EXPECT_EQ(ulvex_encode(ULVEX_BINARY, name, 1, &byte, 0xFFFFFFFFu - 19, nullptr, 0, &written), ULVEX_ERR_RANGE);
    EXPECT_EQ(ulvex_encode(ULVEX_TEXT, name, 1, &byte, 0xFFFFFFFFu - 33, nullptr, 0, &written), ULVEX_ERR_RANGE);
    EXPECT_EQ(written, 5u);
}

TEST(CApiEncode, TheLongestRecordsFitTheFormat) {
    const unsigned char name[4] = {'B', 'I', 'G', 0};
    const unsigned char byte = 0;
    size_t written = 0;
    EXPECT_EQ(ulvex_encode(ULVEX_BINARY, name, 1, &byte, 0xFFFFFFFFu - 20, nullptr, 0, &written), ULVEX_ERR_SPACE);
    EXPECT_EQ(written, 0xFFFFFFFFu);
    EXPECT_EQ(ulvex_encode(ULVEX_TEXT, name, 1, &byte, 0xFFFFFFFFu - 34, nullptr, 0, &written), ULVEX_ERR_SPACE);
    EXPECT_EQ(written, 0xFFFFFFFFu);
}

TEST(CApiEncode, RejectsBadArguments) {
    const unsigned char name[4] = {'A', 'B', 'C', 'D'};
    unsigned char out[64];
    size_t written = 3;
    EXPECT_EQ(ulvex_encode(static_cast<ulvex_form>(-1), name, 1, nullptr, 0, out, 64, &written), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_encode(ULVEX_BINARY, nullptr, 1, nullptr, 0, out, 64, &written), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_encode(ULVEX_BINARY, name, 1, nullptr, 1, out, 64, &written), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_encode(ULVEX_BINARY, name, 1, nullptr, 0, nullptr, 64, &written), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_encode(ULVEX_BINARY, name, 1, nullptr, 0, out, 64, nullptr), ULVEX_ERR_ARG);
    EXPECT_EQ(written, 3u);
}

TEST(CApiEncode, AnEmptyPayloadNeedsNoPointer) {
    const unsigned char name[4] = {'E', 0, 0, 0};
    Bytes out(20);
    size_t written = 0;
    ASSERT_EQ(ulvex_encode(ULVEX_BINARY, name, 9, nullptr, 0, out.data(), out.size(), &written), ULVEX_OK);
    Bytes want;
    CUlvexEncoder().AddTagBin(want, "E", Bytes(), 9);
    EXPECT_EQ(out, want);
}

// ---- ulvex_stream ----

struct Streamed {
    std::vector<ulvex_record> records;
    std::vector<Bytes> payloads;
    uint64_t counters[3];
};

// Feeds `b` in chunks of `step` bytes (0: random sizes), draining after each.
Streamed Stream(ulvex_form form, const Bytes& b, size_t step, uint64_t max = ULVEX_DEFAULT_MAX_PAYLOAD) {
    std::mt19937 rng(static_cast<unsigned>(step + b.size()));
    Streamed s;
    ulvex_stream* st = ulvex_stream_new(form, max);
    EXPECT_NE(st, nullptr);
    auto drain = [&] {
        ulvex_record r;
        const unsigned char* p = nullptr;
        int rc;
        while ((rc = ulvex_stream_next(st, &r, &p)) == 1) {
            s.records.push_back(r);
            s.payloads.push_back(Bytes(p, p + r.payload_len));
        }
        EXPECT_EQ(rc, 0);
    };
    for (size_t at = 0; at < b.size();) {
        const size_t n = std::min(b.size() - at, step != 0 ? step : 1 + rng() % 300);
        Bytes chunk(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
        EXPECT_EQ(ulvex_stream_feed(st, chunk.data(), chunk.size()), ULVEX_OK);
        drain();
        at += n;
    }
    EXPECT_EQ(ulvex_stream_finish(st), ULVEX_OK);
    drain();
    EXPECT_EQ(ulvex_stream_counters(st, &s.counters[0], &s.counters[1], &s.counters[2]), ULVEX_OK);
    ulvex_stream_free(st);
    return s;
}

TEST(CApiStream, DeliversTheScannedRecordsForEveryChunking) {
    for (ulvex_form form : kForms) {
        const Bytes b = Capture(form, 31);
        const std::vector<std::string> want = Show(DecoderRecords(form, b));
        for (size_t step : {1, 5, 64, 0, 100000})
            EXPECT_EQ(Show(Stream(form, b, step).records), want) << "form " << form << " step " << step;
    }
}

TEST(CApiStream, PayloadPointersHoldThePayloadBytes) {
    for (ulvex_form form : kForms) {
        const Bytes b = Capture(form, 32);
        const Streamed s = Stream(form, b, 0);
        for (size_t i = 0; i < s.records.size(); ++i) {
            const auto* p = b.data() + s.records[i].payload_offset;
            EXPECT_EQ(s.payloads[i], Bytes(p, p + s.records[i].payload_len)) << Show(s.records[i]);
        }
    }
}

TEST(CApiStream, CountersAreTheCppReaders) {
    for (ulvex_form form : kForms) {
        const Bytes b = Capture(form, 33);
        ulvex::StreamReader reader(form == ULVEX_TEXT ? ulvex::StreamReader::Text : ulvex::StreamReader::Binary, 40);
        STag t;
        uint64_t off;
        reader.Feed(b.data(), b.size());
        reader.Finish();
        while (reader.Next(t, off)) {
        }
        const Streamed s = Stream(form, b, 0, 40);
        EXPECT_EQ(s.counters[0], reader.RecordsDelivered());
        EXPECT_EQ(s.counters[1], reader.GarbageBytes());
        EXPECT_EQ(s.counters[2], reader.RejectedCandidates());
    }
}

TEST(CApiStream, PassesOverPayloadsAboveTheMaximum) {
    const Bytes b = Capture(ULVEX_BINARY, 34);
    for (const ulvex_record& r : Stream(ULVEX_BINARY, b, 7, 20).records) EXPECT_LE(r.payload_len, 20u);
}

TEST(CApiStream, BytesAfterFinishAreIgnored) {
    Bytes b(5, 'x');
    CUlvexEncoder().AddTagBin(b, "LATE", Bytes(4, 'p'), 1);
    b.push_back(0);
    ulvex_stream* s = ulvex_stream_new(ULVEX_BINARY, 100);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ulvex_stream_finish(s), ULVEX_OK);
    EXPECT_EQ(ulvex_stream_feed(s, b.data(), b.size()), ULVEX_OK);
    ulvex_record r;
    EXPECT_EQ(ulvex_stream_next(s, &r, nullptr), 0);
    ulvex_stream_free(s);
}

TEST(CApiStream, NextWithoutPayloadPointerStillFillsTheRecord) {
    Bytes b;
    CUlvexEncoder().AddTagBin(b, "ONE", Bytes(4, 'p'), 6);
    b.push_back(0);
    ulvex_stream* s = ulvex_stream_new(ULVEX_BINARY, 100);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(ulvex_stream_feed(s, b.data(), b.size()), ULVEX_OK);
    ulvex_record r;
    std::memset(&r, 0, sizeof r);
    EXPECT_EQ(ulvex_stream_next(s, &r, nullptr), 1);
    EXPECT_EQ(r.version, 6);
    ulvex_stream_free(s);
}

TEST(CApiStream, UnknownFormGivesNoReader) { EXPECT_EQ(ulvex_stream_new(static_cast<ulvex_form>(5), 10), nullptr); }

TEST(CApiStream, RejectsBadArguments) {
    ulvex_stream* s = ulvex_stream_new(ULVEX_TEXT, 10);
    ASSERT_NE(s, nullptr);
    ulvex_record r;
    uint64_t n = 42;
    EXPECT_EQ(ulvex_stream_feed(nullptr, "x", 1), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_stream_feed(s, nullptr, 1), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_stream_finish(nullptr), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_stream_next(nullptr, &r, nullptr), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_stream_next(s, nullptr, nullptr), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_stream_counters(nullptr, &n, &n, &n), ULVEX_ERR_ARG);
    EXPECT_EQ(n, 42u);
    EXPECT_EQ(ulvex_stream_counters(s, nullptr, nullptr, nullptr), ULVEX_OK);
    ulvex_stream_free(s);
    ulvex_stream_free(nullptr);
}

// ---- payload entries ----

std::map<std::string, std::string> FromArray(const Bytes& p) {
    size_t count = 0;
    EXPECT_EQ(ulvex_entries(p.data(), p.size(), nullptr, 0, &count), p.empty() ? ULVEX_OK : ULVEX_ERR_SPACE);
    std::vector<ulvex_entry> e(count);
    EXPECT_EQ(ulvex_entries(p.data(), p.size(), e.data(), e.size(), &count), ULVEX_OK);
    std::map<std::string, std::string> m;
    for (const ulvex_entry& x : e) {
        EXPECT_TRUE(m.empty() || m.rbegin()->first < std::string(x.key, x.key + x.key_len)) << "out of key order";
        m[std::string(x.key, x.key + x.key_len)] = std::string(x.value, x.value + x.value_len);
    }
    return m;
}

int Collect(void* context, const ulvex_entry* e) {
    auto& v = *static_cast<std::vector<std::pair<std::string, std::string>>*>(context);
    v.emplace_back(std::string(e->key, e->key + e->key_len), std::string(e->value, e->value + e->value_len));
    return 0;
}

std::map<std::string, std::string> Cpp(const Bytes& p) {
    std::map<std::string, std::string> m;
    CUlvexDataFormatter().FindInDataAllEntry(p.data(), static_cast<unsigned>(p.size()), m);
    return m;
}

// Payloads of entries, repeated keys, and the bytes that split them.
Bytes Payload(std::mt19937& rng) {
    static const char alphabet[] = "ab=|\r\n\0k";
    Bytes p(rng() % 60);
    for (unsigned char& c : p) c = static_cast<unsigned char>(alphabet[rng() % 8]);
    return p;
}

TEST(CApiEntries, ArrayHoldsTheCppMap) {
    std::mt19937 rng(41);
    for (int i = 0; i < 2000; ++i) {
        const Bytes p = Payload(rng);
        EXPECT_EQ(FromArray(p), Cpp(p)) << std::string(p.begin(), p.end());
    }
}

TEST(CApiEntries, CallbackSeesTheCppMapInOrder) {
    std::mt19937 rng(42);
    for (int i = 0; i < 2000; ++i) {
        const Bytes p = Payload(rng);
        std::vector<std::pair<std::string, std::string>> seen;
        ASSERT_EQ(ulvex_entries_each(p.data(), p.size(), Collect, &seen), ULVEX_OK);
        const std::map<std::string, std::string> m = Cpp(p);
        const std::vector<std::pair<std::string, std::string>> want(m.begin(), m.end());
        EXPECT_EQ(seen, want) << std::string(p.begin(), p.end());
    }
}

TEST(CApiEntries, KeysAndValuesPointIntoThePayload) {
    const std::string s = "b=2|\r\na=1|\r\nb=3|\r\n";
    ulvex_entry e[2];
    size_t count = 0;
    ASSERT_EQ(ulvex_entries(s.data(), s.size(), e, 2, &count), ULVEX_OK);
    ASSERT_EQ(count, 2u);
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    EXPECT_EQ(e[0].key, p + 6);
    EXPECT_EQ(e[1].value, p + 14);  // the last b wins
}

TEST(CApiEntries, TooSmallAnArrayGetsTheCountAndNoEntries) {
    const std::string s = "x=1|\r\ny=2|\r\nz=3|\r\n";
    ulvex_entry e[2], before[2];
    std::memset(e, 0x5A, sizeof e);
    std::memcpy(before, e, sizeof e);
    size_t count = 0;
    EXPECT_EQ(ulvex_entries(s.data(), s.size(), e, 2, &count), ULVEX_ERR_SPACE);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::memcmp(e, before, sizeof e), 0);
}

int StopAtSecond(void* context, const ulvex_entry*) { return ++*static_cast<int*>(context) == 2 ? 7 : 0; }

TEST(CApiEntries, NonzeroFromTheCallbackStopsAndIsReturned) {
    const std::string s = "x=1|\r\ny=2|\r\nz=3|\r\n";
    int calls = 0;
    EXPECT_EQ(ulvex_entries_each(s.data(), s.size(), StopAtSecond, &calls), 7);
    EXPECT_EQ(calls, 2);
}

int Throw(void*, const ulvex_entry*) { throw std::runtime_error("from the callback"); }

TEST(CApiEntries, AnExceptionFromTheCallbackIsAFailure) {
    const std::string s = "x=1|\r\n";
    EXPECT_EQ(ulvex_entries_each(s.data(), s.size(), Throw, nullptr), ULVEX_ERR_FAIL);
}

TEST(CApiEntries, RejectBadArguments) {
    ulvex_entry e;
    size_t count = 8;
    EXPECT_EQ(ulvex_entries(nullptr, 1, &e, 1, &count), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_entries("a", 1, nullptr, 1, &count), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_entries("a", 1, &e, 1, nullptr), ULVEX_ERR_ARG);
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(ulvex_entries_each("a", 1, nullptr, nullptr), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_entries_each(nullptr, 1, Collect, nullptr), ULVEX_ERR_ARG);
}

// ---- entry writers ----

typedef std::vector<unsigned char> Entry;
// `n` is read after the call that sets it.
Entry Written(int rc, const unsigned char* out, const size_t& n) {
    EXPECT_EQ(rc, ULVEX_OK);
    return Entry(out, out + n);
}
template <class T>
Entry Cpp(const char* key, T v) {
    Entry e;
    CUlvexDataFormatter().FormatData(e, key, v);
    return e;
}

// Each value through the C writer and through the C++ writer for type Cxx.
template <class Cxx, class C>
void ExpectSameEntries(int (*write)(const char*, C, void*, size_t, size_t*), std::initializer_list<C> values) {
    unsigned char o[128];
    size_t n = 0;
    for (C v : values) EXPECT_EQ(Written(write("key", v, o, sizeof o, &n), o, n), Cpp("key", static_cast<Cxx>(v))) << v;
}

TEST(CApiWriters, NarrowIntegersAreWrittenAsTheirCppTypes) {
    ExpectSameEntries<signed char, int8_t>(ulvex_entry_i8, {INT8_MIN, -1, 0, INT8_MAX});
    ExpectSameEntries<unsigned char, uint8_t>(ulvex_entry_u8, {0, 65, UINT8_MAX});
    ExpectSameEntries<short, int16_t>(ulvex_entry_i16, {INT16_MIN, -7, INT16_MAX});
    ExpectSameEntries<unsigned short, uint16_t>(ulvex_entry_u16, {0, UINT16_MAX});
}

TEST(CApiWriters, WideIntegersAreWrittenAsTheirCppTypes) {
    ExpectSameEntries<int, int32_t>(ulvex_entry_i32, {INT32_MIN, -5, INT32_MAX});
    ExpectSameEntries<unsigned int, uint32_t>(ulvex_entry_u32, {0, UINT32_MAX});
    ExpectSameEntries<long long, int64_t>(ulvex_entry_i64, {INT64_MIN, -1, INT64_MAX});
    ExpectSameEntries<unsigned long long, uint64_t>(ulvex_entry_u64, {0, UINT64_MAX});
}

TEST(CApiWriters, FloatingPointIsWrittenAsItsCppType) {
    ExpectSameEntries<float, float>(ulvex_entry_float,
                                    {0.1f, -0.0f, 3.14159265f, 1e30f, std::numeric_limits<float>::infinity()});
    ExpectSameEntries<double, double>(ulvex_entry_double, {21.5, 1.0 / 3, 1234567890.0, 1e-5, -1e300, std::nan("")});
}

TEST(CApiWriters, HexIsTheCppHexWriter) {
    unsigned char o[32];
    size_t n = 0;
    for (uint32_t v : {0u, 255u, UINT32_MAX}) {
        Entry e;
        CUlvexDataFormatter().FormatDataHex(e, "key", v);
        EXPECT_EQ(Written(ulvex_entry_hex("key", v, o, sizeof o, &n), o, n), e);
    }
}

TEST(CApiWriters, StringIsTheCppStringWriter) {
    unsigned char o[32];
    size_t n = 0;
    EXPECT_EQ(Written(ulvex_entry_str("key", "room", o, sizeof o, &n), o, n), Cpp("key", std::string("room")));
}

TEST(CApiWriters, BytesKeepZeroBytesInKeyAndValue) {
    unsigned char o[32];
    size_t n = 0;
    const std::string k("k\0y", 3), v("a\0", 2);
    Entry want;
    CUlvexDataFormatter().FormatData(want, k, v);
    EXPECT_EQ(Written(ulvex_entry_bytes(k.data(), k.size(), v.data(), v.size(), o, sizeof o, &n), o, n), want);
}

TEST(CApiWriters, BytesTakeEmptyKeyAndValueWithoutPointers) {
    unsigned char o[4];
    size_t n = 0;
    EXPECT_EQ(Written(ulvex_entry_bytes(nullptr, 0, nullptr, 0, o, sizeof o, &n), o, n), Entry({'=', '|', '\r', '\n'}));
}

TEST(CApiWriters, TooSmallAnOutputGetsTheSizeAndNoBytes) {
    unsigned char o[13];
    std::memset(o, 0xEE, sizeof o);
    size_t n = 0;
    EXPECT_EQ(ulvex_entry_hex("key", 1, o, sizeof o, &n), ULVEX_ERR_SPACE);  // key=0x00000001|\r\n
    EXPECT_EQ(n, 17u);
    EXPECT_EQ(Entry(o, o + sizeof o), Entry(sizeof o, 0xEE));
}

TEST(CApiWriters, RejectBadArguments) {
    unsigned char o[32];
    size_t n = 3;
    EXPECT_EQ(ulvex_entry_i32(nullptr, 1, o, sizeof o, &n), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_entry_i32("k", 1, nullptr, sizeof o, &n), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_entry_i32("k", 1, o, sizeof o, nullptr), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_entry_str("k", nullptr, o, sizeof o, &n), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_entry_bytes(nullptr, 1, "v", 1, o, sizeof o, &n), ULVEX_ERR_ARG);
    EXPECT_EQ(ulvex_entry_bytes("k", 1, nullptr, 1, o, sizeof o, &n), ULVEX_ERR_ARG);
    EXPECT_EQ(n, 3u);
}

// ---- version and messages ----

TEST(CApi, VersionIsTheProjectVersion) { EXPECT_STREQ(ulvex_version(), ULVEX_PROJECT_VERSION); }

TEST(CApi, EveryStatusHasItsOwnMessage) {
    std::map<std::string, int> seen;
    for (int code : {ULVEX_OK, ULVEX_ERR_NOMEM, ULVEX_ERR_ARG, ULVEX_ERR_RANGE, ULVEX_ERR_SPACE, ULVEX_ERR_FAIL})
        EXPECT_TRUE(seen.emplace(ulvex_strerror(code), code).second) << code;
    EXPECT_EQ(seen.count(ulvex_strerror(-1000)), 0u);
    EXPECT_NE(ulvex_strerror(12345), nullptr);
}

}  // namespace
