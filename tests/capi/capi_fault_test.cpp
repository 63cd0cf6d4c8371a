// Allocation failure through the C interface: for every n, the n-th
// allocation of a call fails. The call must then return ULVEX_ERR_NOMEM with
// its outputs unchanged, and nothing may leak.
#include "failing_new.h"

#include <cstring>
#include <functional>
#include <vector>

#include "ulvex/c.h"

namespace {
typedef std::vector<unsigned char> Bytes;

// attempt() resets the outputs and makes the call; check(failed) looks at
// the outputs.
void EachNomem(const std::function<int()>& attempt, const std::function<void(bool)>& check) {
    EachFailure([&](long n) {
        int rc = 1;
        const bool failed = FailingAt(n, [&] { rc = attempt(); });
        if (failed) {
            EXPECT_EQ(rc, ULVEX_ERR_NOMEM) << "allocation " << n << " failed";
        } else {
            EXPECT_GE(rc, ULVEX_OK);
        }
        check(failed);
    });
}

Bytes Capture(ulvex_form form) {  // nine records among garbage
    static const unsigned char names[2][4] = {{'E', 'V', 'E', 'N'}, {'O', 'D', 'D', 0}};
    Bytes out(7, 'g');
    unsigned char rec[64];
    size_t n = 0;
    for (int i = 0; i < 9; ++i) {
        const unsigned char payload[5] = {'p', 'a', 'y', static_cast<unsigned char>(i), 0};
        EXPECT_EQ(ulvex_encode(form, names[i % 2], 1, payload, 5, rec, sizeof rec, &n), ULVEX_OK);
        out.insert(out.end(), rec, rec + n);
        out.push_back('<');
    }
    return out.resize(out.size() + 32, 0), out;
}

TEST(CApiFaults, ScanLeavesPosAndCountAlone) {
    for (ulvex_form form : {ULVEX_BINARY, ULVEX_TEXT}) {
        const Bytes b = Capture(form);
        ulvex_record out[16];
        uint64_t pos = 0;
        size_t count = 0;
        EachNomem(
            [&] {
                pos = 5, count = 77;
                return ulvex_scan(form, b.data(), b.size(), &pos, out, 16, &count, 1);
            },
            [&](bool failed) {
                EXPECT_EQ(count, failed ? 77u : 9u);
                if (failed) {
                    EXPECT_EQ(pos, 5u);
                }
            });
    }
}

TEST(CApiFaults, EncodersAndWritersLeaveTheirOutputAlone) {
    const unsigned char name[4] = {'N', 'A', 'M', 'E'};
    const Bytes payload(40, 'x');
    const char* key = "a-key-long-enough-to-be-allocated";
    const std::function<int(unsigned char*, size_t, size_t*)> calls[] = {
        [&](unsigned char* o, size_t c, size_t* w) {
            return ulvex_encode(ULVEX_BINARY, name, 3, &payload[0], 40, o, c, w);
        },
        [&](unsigned char* o, size_t c, size_t* w) {
            return ulvex_encode(ULVEX_TEXT, name, 3, &payload[0], 40, o, c, w);
        },
        [&](unsigned char* o, size_t c, size_t* w) { return ulvex_entry_i64(key, -1, o, c, w); },
        [&](unsigned char* o, size_t c, size_t* w) { return ulvex_entry_double(key, .5, o, c, w); },
        [&](unsigned char* o, size_t c, size_t* w) { return ulvex_entry_hex(key, 9, o, c, w); },
        [&](unsigned char* o, size_t c, size_t* w) { return ulvex_entry_str(key, key, o, c, w); },
        [&](unsigned char* o, size_t c, size_t* w) { return ulvex_entry_bytes(key, 30, key, 30, o, c, w); },
    };
    for (size_t i = 0; i < sizeof calls / sizeof calls[0]; ++i) {
        unsigned char out[128];
        size_t written = 0;
        EachNomem(
            [&] {
                std::memset(out, 0x33, sizeof out);
                written = 999;
                return calls[i](out, sizeof out, &written);
            },
            [&](bool failed) {
                if (!failed) return;
                EXPECT_EQ(written, 999u) << "call " << i;
                EXPECT_EQ(Bytes(out, out + sizeof out), Bytes(sizeof out, 0x33)) << "call " << i;
            });
    }
}

const char kEntries[] = "b=2|\r\na=1|\r\nc=3|\r\nb=4|\r\nno separator";

TEST(CApiFaults, EntriesLeaveTheirArrayAlone) {
    ulvex_entry out[8];
    size_t count = 0;
    EachNomem(
        [&] {
            std::memset(out, 0x33, sizeof out);
            count = 77;
            return ulvex_entries(kEntries, sizeof kEntries - 1, out, 8, &count);
        },
        [&](bool failed) {
            EXPECT_EQ(count, failed ? 77u : 4u);
            if (failed) {
                EXPECT_EQ(reinterpret_cast<const unsigned char*>(out)[0], 0x33);
            }
        });
}

int Count(void* context, const ulvex_entry*) { return ++*static_cast<int*>(context), 0; }

TEST(CApiFaults, EntriesCallNoCallbackWhenMemoryRunsOut) {
    int calls = 0;
    EachNomem(
        [&] {
            calls = 0;
            return ulvex_entries_each(kEntries, sizeof kEntries - 1, Count, &calls);
        },
        [&](bool failed) { EXPECT_EQ(calls, failed ? 0 : 4); });
}

TEST(CApiFaults, StreamNewGivesNullWithoutLeaking) {
    ulvex_stream* s = nullptr;
    EachNomem(
        [&] {
            s = ulvex_stream_new(ULVEX_TEXT, 1000);
            return s != nullptr ? ULVEX_OK : ULVEX_ERR_NOMEM;
        },
        [&](bool failed) {
            EXPECT_EQ(s == nullptr, failed);
            ulvex_stream_free(s);
        });
}

// A stream where the k-th allocation of every call fails once and the call
// is then retried delivers the records of a stream where nothing fails.
std::vector<uint64_t> StreamWithRetries(ulvex_form form, const Bytes& b, long k, long* failures) {
    std::vector<uint64_t> offsets;
    ulvex_stream* s = ulvex_stream_new(form, 1000);
    EXPECT_NE(s, nullptr);
    auto retry = [&](const std::function<int()>& op) {
        int rc = 1;
        if (FailingAt(k, [&] { rc = op(); })) {
            ++*failures;
            EXPECT_EQ(rc, ULVEX_ERR_NOMEM);
            rc = op();
        }
        return rc;
    };
    ulvex_record r;
    for (size_t at = 0; at < b.size(); at += 13) {
        const size_t n = std::min<size_t>(13, b.size() - at);
        EXPECT_EQ(retry([&] { return ulvex_stream_feed(s, b.data() + at, n); }), ULVEX_OK);
        while (retry([&] { return ulvex_stream_next(s, &r, nullptr); }) == 1) offsets.push_back(r.offset);
    }
    ulvex_stream_finish(s);
    while (retry([&] { return ulvex_stream_next(s, &r, nullptr); }) == 1) offsets.push_back(r.offset);
    ulvex_stream_free(s);
    return offsets;
}

TEST(CApiFaults, StreamCallsThatRunOutOfMemoryCanBeRetried) {
    for (ulvex_form form : {ULVEX_BINARY, ULVEX_TEXT}) {
        const Bytes b = Capture(form);
        long failures = 0;
        const std::vector<uint64_t> want = StreamWithRetries(form, b, -1, &failures);
        ASSERT_EQ(want.size(), 9u);
        for (long k : {0, 1, 2}) EXPECT_EQ(StreamWithRetries(form, b, k, &failures), want) << "allocation " << k;
        EXPECT_GT(failures, 0);
    }
}

}  // namespace
