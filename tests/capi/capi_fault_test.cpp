// Allocation failure through the C interface: the global operator new is
// replaced so that the n-th allocation of a call fails, for every n until the
// call runs through. Each failing call must return ULVEX_ERR_NOMEM with its
// outputs unchanged, and nothing may leak.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "ulvex/c.h"

namespace {
long g_failIn = -1;  // allocations left before the failing one; -1: none fails
bool g_failed = false;
long g_live = 0;  // blocks allocated and not yet released
}  // namespace

void* operator new(std::size_t n) {
    if (g_failIn >= 0 && g_failIn-- == 0) {
        g_failed = true;
        throw std::bad_alloc();
    }
    void* p = std::malloc(n ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    return ++g_live, p;
}
void operator delete(void* p) noexcept {
    if (p != nullptr) --g_live, std::free(p);
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return operator new(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {
typedef std::vector<unsigned char> Bytes;

// Calls attempt() with the n-th allocation failing, for n = 0, 1, ... until
// no allocation fails; `ok` says whether the attempt's call ran through.
// Checks that every failure was reported and that nothing leaked.
void EachFailure(const std::function<int()>& attempt, const std::function<void(bool failed)>& check) {
    for (long n = 0; n < 100000; ++n) {
        const long live = g_live;
        g_failed = false;
        g_failIn = n;
        const int rc = attempt();
        g_failIn = -1;
        if (g_failed) {
            EXPECT_EQ(rc, ULVEX_ERR_NOMEM) << "allocation " << n << " failed";
        } else {
            EXPECT_GE(rc, ULVEX_OK);
        }
        check(g_failed);
        if (!::testing::Test::HasFailure()) {
            EXPECT_EQ(g_live, live) << "leak when allocation " << n << " failed";
        }
        if (!g_failed) {
            EXPECT_GT(n, 0) << "the call made no allocation";
            return;
        }
    }
    FAIL() << "never ran through";
}

Bytes Capture(ulvex_form form) {
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
        EachFailure(
            [&] {
                pos = 5, count = 77;
                return ulvex_scan(form, b.data(), b.size(), &pos, out, 16, &count, 1);
            },
            [&](bool failed) {
                if (!failed) {
                    EXPECT_EQ(count, 9u);
                    return;
                }
                EXPECT_EQ(pos, 5u);
                EXPECT_EQ(count, 77u);
            });
    }
}

// The output of a call that writes bytes: unchanged on failure.
void BytesUnchangedOnFailure(const std::function<int(unsigned char*, size_t, size_t*)>& call) {
    unsigned char out[128];
    size_t written = 0;
    EachFailure(
        [&] {
            std::memset(out, 0x33, sizeof out);
            written = 999;
            return call(out, sizeof out, &written);
        },
        [&](bool failed) {
            if (!failed) {
                EXPECT_LT(written, sizeof out);
                return;
            }
            EXPECT_EQ(written, 999u);
            EXPECT_EQ(Bytes(out, out + sizeof out), Bytes(sizeof out, 0x33));
        });
}

TEST(CApiFaults, EncodersLeaveTheirOutputAlone) {
    const unsigned char name[4] = {'N', 'A', 'M', 'E'};
    const Bytes payload(40, 'x');
    for (ulvex_form form : {ULVEX_BINARY, ULVEX_TEXT})
        BytesUnchangedOnFailure([&](unsigned char* o, size_t cap, size_t* w) {
            return ulvex_encode(form, name, 3, payload.data(), 40, o, cap, w);
        });
}

TEST(CApiFaults, WritersLeaveTheirOutputAlone) {
    const char* key = "a-key-long-enough-to-be-allocated";
    BytesUnchangedOnFailure([&](unsigned char* o, size_t c, size_t* w) { return ulvex_entry_i64(key, -1, o, c, w); });
    BytesUnchangedOnFailure(
        [&](unsigned char* o, size_t c, size_t* w) { return ulvex_entry_double(key, .5, o, c, w); });
    BytesUnchangedOnFailure([&](unsigned char* o, size_t c, size_t* w) { return ulvex_entry_hex(key, 9, o, c, w); });
    BytesUnchangedOnFailure([&](unsigned char* o, size_t c, size_t* w) { return ulvex_entry_str(key, key, o, c, w); });
    BytesUnchangedOnFailure(
        [&](unsigned char* o, size_t c, size_t* w) { return ulvex_entry_bytes(key, 30, key, 30, o, c, w); });
}

const char kEntries[] = "b=2|\r\na=1|\r\nc=3|\r\nb=4|\r\nno separator";

TEST(CApiFaults, EntriesLeaveTheirArrayAlone) {
    ulvex_entry out[8];
    size_t count = 0;
    EachFailure(
        [&] {
            std::memset(out, 0x33, sizeof out);
            count = 77;
            return ulvex_entries(kEntries, sizeof kEntries - 1, out, 8, &count);
        },
        [&](bool failed) {
            if (!failed) {
                EXPECT_EQ(count, 4u);
                return;
            }
            EXPECT_EQ(count, 77u);
            EXPECT_EQ(reinterpret_cast<const unsigned char*>(out)[0], 0x33);
        });
}

int Count(void* context, const ulvex_entry*) { return ++*static_cast<int*>(context), 0; }

TEST(CApiFaults, EntriesCallNoCallbackWhenMemoryRunsOut) {
    int calls = 0;
    EachFailure(
        [&] {
            calls = 0;
            return ulvex_entries_each(kEntries, sizeof kEntries - 1, Count, &calls);
        },
        [&](bool failed) { EXPECT_EQ(calls, failed ? 0 : 4); });
}

TEST(CApiFaults, StreamNewGivesNullWithoutLeaking) {
    ulvex_stream* s = nullptr;
    EachFailure(
        [&] {
            s = ulvex_stream_new(ULVEX_TEXT, 1000);
            return s != nullptr ? ULVEX_OK : ULVEX_ERR_NOMEM;
        },
        [&](bool failed) {
            EXPECT_EQ(s == nullptr, failed);
            ulvex_stream_free(s);
        });
}

// Runs a stream where the k-th allocation of every call fails once, and the
// call is then retried: it must deliver the records of a stream where
// nothing fails.
std::vector<uint64_t> StreamWithRetries(ulvex_form form, const Bytes& b, long k, long* failures) {
    std::vector<uint64_t> offsets;
    ulvex_stream* s = ulvex_stream_new(form, 1000);
    EXPECT_NE(s, nullptr);
    auto retry = [&](const std::function<int()>& op) {
        g_failed = false;
        g_failIn = k;
        int rc = op();
        g_failIn = -1;
        if (g_failed) {
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
