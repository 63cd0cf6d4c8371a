// The C interface against the C++ classes it wraps, on generated captures
// (records among garbage, damaged and cut records) and payloads; what a
// status tells; and allocation failure: for every n, the n-th allocation of
// a call fails, which must then return ULVEX_ERR_NOMEM with its outputs
// unchanged and nothing leaked.
#include "failing_new.h"

#include <climits>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "captures.h"
#include "reference.h"
#include "ulvex/c.h"
#include "ulvex/ulvex.h"

namespace {

typedef std::vector<unsigned char> Bytes;
typedef std::vector<std::pair<std::string, std::string>> Pairs;
const ulvex_form kForms[] = {ULVEX_BINARY, ULVEX_TEXT};

Bytes Encode(ulvex_form form, const char* name, const Bytes& payload, unsigned char version) {
    Bytes rec;
    return ulvex::test::Append(form == ULVEX_TEXT, rec, name, payload, version), rec;
}

// Records among garbage, damaged, nested and cut ones.
Bytes Capture(ulvex_form form, unsigned seed, std::size_t pieces = 40) {
    return ulvex::test::Maker{form == ULVEX_TEXT, std::mt19937(seed)}.Input(pieces);
}

std::string Show(uint64_t at, uint64_t payloadAt, uint32_t len, uint32_t recordLen, const void* name, unsigned v) {
    return "@" + std::to_string(at) + " payload@" + std::to_string(payloadAt) + "+" + std::to_string(len) + " len " +
           std::to_string(recordLen) + " name " + std::string(static_cast<const char*>(name), 4) + " v" +
           std::to_string(v);
}
std::string Show(const ulvex_record& r) {
    return Show(r.offset, r.payload_offset, r.payload_len, r.record_len, r.name, r.version);
}

// What the reference reader of the form lists from `from` on.
std::vector<std::string> Decoded(ulvex_form form, const Bytes& b, size_t from = 0) {
    std::vector<std::string> out;
    for (const auto& f : ulvex::ref::ListAll(form == ULVEX_TEXT, b.data(), b.size(), from))
        out.push_back(Show(f.offset, f.payloadOffset, f.payloadLen, f.recordLen, f.name, f.version));
    return out;
}

// Every record from `pos`, `cap` at a time.
std::vector<std::string> ScanAll(ulvex_form form, const Bytes& b, size_t cap, unsigned threads, uint64_t pos) {
    std::vector<std::string> all;
    std::vector<ulvex_record> batch(cap);
    for (size_t count = cap; count == cap;) {
        EXPECT_EQ(ulvex_scan(form, b.data(), b.size(), &pos, batch.data(), cap, &count, threads), ULVEX_OK);
        for (size_t i = 0; i < count; ++i) all.push_back(Show(batch[i]));
    }
    return all;
}

TEST(CApiScan, ListsWhatTheDecoderListsFromAnyPositionForAnyCapacityAndThreads) {
    const struct {
        size_t cap;
        unsigned threads;
        int from;  // 0: the start, 1: a third in, 2: past the end
    } cases[] = {{1, 1, 0},  {7, 1, 0},         {100, 1, 0}, {5000, 1, 0}, {50, 0, 0},
                 {50, 3, 0}, {50, UINT_MAX, 0}, {3, 1, 1},   {3, 1, 2}};
    for (ulvex_form form : kForms) {
        const Bytes b = Capture(form, 8, 3000);
        for (const auto& c : cases) {
            const size_t from = c.from == 0 ? 0 : c.from == 1 ? b.size() / 3 : b.size() + 1;
            EXPECT_EQ(ScanAll(form, b, c.cap, c.threads, from), Decoded(form, b, from))
                << "form " << form << " cap " << c.cap << " threads " << c.threads << " from " << from;
        }
    }
}

TEST(CApiEncode, WritesTheBytesOfTheCppEncoders) {
    ulvex::test::Maker m{false, std::mt19937(21)};
    for (int i = 0; i < 50; ++i) {
        const char name[5] = {char('A' + i % 26), char(i % 3 ? 'x' : 0), 'Z', char(i), 0};
        const Bytes payload = m.Random(i % 10 == 0 ? 0 : m.rng() % 70);  // empty ones are passed as NULL
        const auto version = static_cast<unsigned char>(m.rng());
        for (ulvex_form form : kForms) {
            Bytes out(200, 0xEE);
            size_t written = 0;
            ASSERT_EQ(ulvex_encode(form, reinterpret_cast<const unsigned char*>(name), version,
                                   payload.empty() ? nullptr : payload.data(), static_cast<uint32_t>(payload.size()),
                                   out.data(), out.size(), &written),
                      ULVEX_OK);
            out.resize(written);
            EXPECT_EQ(out, Encode(form, name, payload, version)) << "form " << form << " record " << i;
        }
    }
}

long g_retried = 0;  // stream calls retried after an allocation failed

// Runs a stream call with its k-th allocation failing (k < 0: none), and
// again when one failed.
int Retried(long k, const std::function<int()>& call) {
    int rc = 1;
    if (FailingAt(k, [&] { rc = call(); })) {
        ++g_retried;
        EXPECT_EQ(rc, ULVEX_ERR_NOMEM);
        rc = call();
    }
    return rc;
}

// Feeds `b` in chunks of `step` bytes (0: random sizes), each from a copy
// freed after the feed, draining after each. Checks the payload pointers; every other
// record is taken without one. Each call is retried after its k-th
// allocation fails.
std::vector<std::string> Stream(ulvex_form form, const Bytes& b, size_t step, uint64_t max, long k = -1) {
    std::mt19937 rng(static_cast<unsigned>(step + b.size()));
    std::vector<std::string> records;
    ulvex_stream* st = ulvex_stream_new(form, max);
    EXPECT_NE(st, nullptr);
    auto drain = [&] {
        ulvex_record r;
        const unsigned char* p = nullptr;
        int rc;
        while ((rc = Retried(k, [&] { return ulvex_stream_next(st, &r, records.size() % 2 ? nullptr : &p); })) == 1) {
            const unsigned char* q = b.data() + r.payload_offset;
            if (records.size() % 2 == 0) {
                EXPECT_EQ(Bytes(p, p + r.payload_len), Bytes(q, q + r.payload_len)) << Show(r);
            }
            records.push_back(Show(r));
        }
        EXPECT_EQ(rc, 0);
    };
    for (size_t at = 0, n; at < b.size(); at += n) {
        n = std::min(b.size() - at, step != 0 ? step : 1 + rng() % 300);
        const Bytes chunk(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
        EXPECT_EQ(Retried(k, [&] { return ulvex_stream_feed(st, chunk.data(), chunk.size()); }), ULVEX_OK);
        drain();
    }
    EXPECT_EQ(ulvex_stream_finish(st), ULVEX_OK);
    drain();
    ulvex_stream_free(st);
    return records;
}

// Every chunking gives the decoder's listing; each call whose k-th allocation
// fails can be retried.
TEST(CApiStream, DeliversTheScannedRecordsForEveryChunkingAndAfterRetries) {
    for (ulvex_form form : kForms) {
        const Bytes b = Capture(form, 31);
        for (size_t step : {1, 5, 64, 0, 100000})
            EXPECT_EQ(Stream(form, b, step, ULVEX_DEFAULT_MAX_PAYLOAD), Decoded(form, b))
                << "form " << form << " step " << step;
        const long before = g_retried;
        for (long k : {0, 1, 2})
            EXPECT_EQ(Stream(form, b, 13, 1000, k), Decoded(form, b)) << "form " << form << " allocation " << k;
        EXPECT_GT(g_retried, before) << "form " << form;
    }
}

int Collect(void* context, const ulvex_entry* e) {
    static_cast<Pairs*>(context)->emplace_back(std::string(e->key, e->key + e->key_len),
                                               std::string(e->value, e->value + e->value_len));
    return 0;
}

TEST(CApiEntries, ArrayAndCallbackHoldTheCppMapInKeyOrder) {
    std::mt19937 rng(41);
    for (int i = 0; i < 2000; ++i) {
        Bytes p(rng() % 60);  // entries, repeated keys, and the bytes that split them
        for (unsigned char& c : p) c = static_cast<unsigned char>("ab=|\r\n\0k"[rng() % 8]);
        std::map<std::string, std::string> m;
        CUlvexDataFormatter().FindInDataAllEntry(p.data(), static_cast<unsigned>(p.size()), m);
        Pairs each, array;
        ASSERT_EQ(ulvex_entries_each(p.data(), p.size(), Collect, &each), ULVEX_OK);
        std::vector<ulvex_entry> e(m.size() + 1);
        size_t count = 0;
        ASSERT_EQ(ulvex_entries(p.data(), p.size(), e.data(), e.size(), &count), ULVEX_OK);
        for (size_t k = 0; k < count; ++k) {  // keys and values point into the payload
            EXPECT_TRUE(e[k].key >= p.data() && e[k].value + e[k].value_len <= p.data() + p.size());
            Collect(&array, &e[k]);
        }
        EXPECT_EQ(each, Pairs(m.begin(), m.end())) << std::string(p.begin(), p.end());
        EXPECT_EQ(array, Pairs(m.begin(), m.end())) << std::string(p.begin(), p.end());
    }
}

// A writer writes the C++ writer's entry for its type (an extreme value shows
// the type: the widest unsigned, single precision, hex), bytes with NULs as
// they are. (The narrower integers write what the int writer writes.)
TEST(CApiWriters, EachWriterWritesItsTypesEntry) {
    unsigned char o[64];
    size_t n = 0;
    const auto entry = [&](int rc) {  // the call has set n
        EXPECT_EQ(rc, ULVEX_OK);
        return std::string(o, o + n);
    };
    EXPECT_EQ(entry(ulvex_entry_u64("k", UINT64_MAX, o, sizeof o, &n)), "k=18446744073709551615|\r\n");
    EXPECT_EQ(entry(ulvex_entry_float("k", 0.1f, o, sizeof o, &n)), "k=0.100000001|\r\n");
    EXPECT_EQ(entry(ulvex_entry_hex("k", 0xBEEFu, o, sizeof o, &n)), "k=0x0000beef|\r\n");
    EXPECT_EQ(entry(ulvex_entry_bytes("k\0y", 3, "a\0", 2, o, sizeof o, &n)), std::string("k\0y=a\0|\r\n", 9));
}

int Throw(void*, const ulvex_entry*) { throw std::runtime_error("from the callback"); }
ulvex_form Unknown(int form = 2) { return static_cast<ulvex_form>(form); }
int StopAtSecond(void* context, const ulvex_entry*) { return ++*static_cast<int*>(context) == 2 ? 7 : 0; }

// What a status tells, one call for each kind: an unknown form, a length the
// format cannot hold, an output too small (with the size needed), a
// callback's exception or stop. The outputs of rejected calls stay as they were.
TEST(CApi, StatusesSayWhyAndKeepTheOutputs) {
    const unsigned char name[4] = {'A', 'B', 'C', 'D'}, p[10] = {0};
    unsigned char o[64];
    ulvex_record r[2];
    std::memset(o, 0xEE, sizeof o);
    int calls = 0;
    uint64_t pos = 3;
    size_t count = 77, n = 3, needed = 0;
    EXPECT_EQ(ulvex_scan(Unknown(), o, 64, &pos, r, 2, &count, 1), ULVEX_ERR_ARG);
    for (ulvex_form form : kForms) {  // one byte beyond the longest record, and the longest (never read)
        const uint32_t longest = form == ULVEX_BINARY ? 0xFFFFFFFFu - 20 : 0xFFFFFFFFu - 34;
        EXPECT_EQ(ulvex_encode(form, name, 1, p, longest + 1, o, 64, &n), ULVEX_ERR_RANGE);
        EXPECT_EQ(ulvex_encode(form, name, 1, p, longest, nullptr, 0, &needed), ULVEX_ERR_SPACE);
        EXPECT_EQ(needed, 0xFFFFFFFFu);
    }
    EXPECT_EQ(ulvex_entries_each("x=1", 3, Throw, nullptr), ULVEX_ERR_FAIL);
    EXPECT_EQ(ulvex_entries_each("x=1|\r\ny=2|\r\nz=3|\r\n", 18, StopAtSecond, &calls), 7);
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Bytes(o, o + sizeof o), Bytes(sizeof o, 0xEE));
}

// ---- allocation failure ----

int Count(void* context, const ulvex_entry*) { return ++*static_cast<unsigned char*>(context), 0; }

// Each call writes to o[0, cap) and *w, or keeps the rest of its outputs to
// itself; when it runs out of memory, none may have changed.
TEST(CApiFaults, CallsThatRunOutOfMemoryLeaveTheirOutputsAlone) {
    const unsigned char name[4] = {'N', 'A', 'M', 'E'}, payload[40] = {0};
    const char kEntries[] = "b=2|\r\na=1|\r\nc=3|\r\nb=4|\r\nno separator";
    const Bytes txt = Capture(ULVEX_TEXT, 51, 9);
    ulvex_record recs[16];  // a failed scan may have written here
    const std::function<int(unsigned char*, size_t, size_t*)> calls[] = {
        [&](unsigned char*, size_t, size_t* w) {
            uint64_t pos = 5;
            const int rc = ulvex_scan(ULVEX_TEXT, txt.data(), txt.size(), &pos, recs, 16, w, 1);
            EXPECT_EQ(pos, rc == ULVEX_ERR_NOMEM ? 5u : pos);
            return rc;
        },
        [&](unsigned char* o, size_t c, size_t* w) { return ulvex_encode(ULVEX_TEXT, name, 3, payload, 40, o, c, w); },
        // The callback counts in o[0]: none may be called.
        [&](unsigned char* o, size_t, size_t*) { return ulvex_entries_each(kEntries, 20, Count, o); },
        [&](unsigned char*, size_t, size_t*) {
            ulvex_stream* s = ulvex_stream_new(ULVEX_TEXT, 1000);
            ulvex_stream_free(s);
            return s != nullptr ? ULVEX_OK : ULVEX_ERR_NOMEM;
        },
    };
    for (size_t i = 0; i < sizeof calls / sizeof calls[0]; ++i) {
        ulvex_entry out[4];  // room for the bytes of a record
        auto* o = reinterpret_cast<unsigned char*>(out);
        size_t written = 0;
        EachFailure([&](long n) {
            int rc = 1;
            std::memset(o, 0x33, sizeof out);
            written = 999;
            if (FailingAt(n, [&] { rc = calls[i](o, sizeof out, &written); })) {
                EXPECT_EQ(rc, ULVEX_ERR_NOMEM) << "call " << i << ", allocation " << n;
                EXPECT_EQ(written, 999u) << "call " << i;
                EXPECT_EQ(Bytes(o, o + sizeof out), Bytes(sizeof out, 0x33)) << "call " << i;
            } else {
                EXPECT_EQ(rc, ULVEX_OK) << "call " << i;
            }
        });
    }
}

// A scan that runs out of memory after writing records reports them, and
// where to continue after them.
TEST(CApiFaults, AScanThatFailsAfterWritingRecordsReportsThem) {
    Bytes b = Capture(ULVEX_BINARY, 9, 100);  // sparse records, then dense ones: later batches grow
    for (int i = 0; i < 600; ++i) {
        const Bytes r = Encode(ULVEX_BINARY, "N", Bytes(), 0);
        b.insert(b.end(), r.begin(), r.end());
    }
    b.push_back(0);
    const std::vector<std::string> want = Decoded(ULVEX_BINARY, b);
    std::vector<ulvex_record> out(want.size() + 1);
    bool reported = false;
    EachFailure([&](long n) {
        uint64_t pos = 0;
        size_t count = 0;
        int rc = ULVEX_OK;
        FailingAt(n,
                  [&] { rc = ulvex_scan(ULVEX_BINARY, b.data(), b.size(), &pos, out.data(), out.size(), &count, 1); });
        ASSERT_LE(count, want.size());
        for (size_t i = 0; i < count; ++i) EXPECT_EQ(Show(out[i]), want[i]);
        EXPECT_EQ(pos, count == 0 ? 0 : out[count - 1].offset + out[count - 1].record_len);
        reported |= rc != ULVEX_OK && count > 0;
    });
    EXPECT_TRUE(reported);
}

}  // namespace
