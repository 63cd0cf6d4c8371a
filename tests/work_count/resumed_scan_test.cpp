// A scan resumed call after call does the checksum work of one scan: over an
// input built to make checksums expensive, loops that take a few records per
// call sum no more bytes than a small multiple of what one call taking every
// record sums.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/checksum.h"
#include "ulvex/c.h"
#include "ulvex/ulvex.h"
#include "workloads.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::uint64_t Work() { return ulvex::detail::SumWork().load(); }

struct Taker {
    std::size_t cap, got;
    static std::size_t Take(void* self, const ulvex::Record*, std::size_t n) {
        Taker& t = *static_cast<Taker*>(self);
        const std::size_t k = std::min(n, t.cap - t.got);
        return t.got += k, k;
    }
};

struct Totals {
    std::size_t records;
    std::uint64_t work;
};

// Every record, `cap` per call through the C or the C++ interface; gives up
// once the checksum work passes `limit`.
Totals Loop(bool c, const Bytes& b, std::size_t cap, unsigned threads, std::uint64_t limit) {
    const std::uint64_t before = Work();
    std::uint64_t pos = 0;
    std::size_t records = 0;
    std::vector<ulvex_record> out(c ? cap : 0);
    for (bool done = false; !done && Work() - before <= limit;) {
        Taker t{cap, 0};
        if (c) {
            EXPECT_EQ(ulvex_scan(ULVEX_BINARY, b.data(), b.size(), &pos, out.data(), cap, &t.got, threads), ULVEX_OK);
            done = t.got < cap;
        } else {
            ulvex::ScanOptions o;
            o.threads = threads;
            done = ulvex::Scan(ulvex::RecordForm::Binary, b.data(), b.size(), pos, o, Taker::Take, &t);
        }
        records += t.got;
    }
    return {records, Work() - before};
}

TEST(ResumedScan, SumsNoMoreThanOneCallForEverything) {
    const Bytes b = ulvex::ref::HostileAmongRecords(std::size_t{32} << 20, 60);
    for (unsigned threads : {1u, 2u}) {
        const Totals whole = Loop(false, b, SIZE_MAX, threads, UINT64_MAX);
        ASSERT_GT(whole.records, b.size() / 30);
        for (bool c : {true, false})
            for (std::size_t cap : {64, 4096}) {
                const Totals loop = Loop(c, b, cap, threads, 2 * whole.work);
                const std::string what = std::string(c ? "ulvex_scan" : "ulvex::Scan") + ", cap " +
                                         std::to_string(cap) + ", threads " + std::to_string(threads);
                EXPECT_LE(loop.work, 2 * whole.work) << what;
                EXPECT_EQ(loop.records, whole.records) << what;
            }
    }
}

}  // namespace
