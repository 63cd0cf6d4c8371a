// ulvex::Scan: the any-name listing over inputs of any length, on any number
// of threads, exact by construction.
//
// The reference is one scan over the whole input: from search position x it
// takes the first position p >= x where a record is valid, lists it and goes
// on at its end. Whether a record is valid at p depends only on its own bytes
// (and on their lying inside the input), so any position's verdict can be
// computed anywhere.
//
// The input from the start position on is cut into chunks. A worker scans
// chunk [c, e) exactly as the reference would if its search position were c:
// records starting before e are listed (they may run past e). The join takes
// the chunks in order with the reference's true search position x:
// - x == c: the chunk's list is the reference's, and x moves past it.
// - x > c (a record of an earlier chunk ran into this one): the chunk's own
//   search positions are c and the end of each record it listed. Where x lies
//   in a gap of that path (at or after one of those positions and not past the
//   next record's start), the reference from x finds the same next record as
//   the chunk did, and from there on the two paths are the same: the rest of
//   the chunk's list is taken. Otherwise x lies inside a record the chunk
//   listed, and the join searches on from x itself, no further than the
//   chunk's next record (which is valid, so the reference stops there at the
//   latest), and repeats with the end of what it found.
// Nothing is guessed: a record is listed only once the reference would list
// it, and the join rescans only bytes a worker already scanned, so the total
// work stays within about twice the sequential scan.
//
// On one thread there is no join: the reference itself runs, a chunk at a
// time, so that a caller who stops early has not made it scan far ahead.
//
// A resumed loop continues where the scan stands (scan/scan_state.h).
#include "ulvex/scan.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "scan/chunk_pool.h"
#include "scan/chunk_scan.h"
#include "scan/chunk_size.h"
#include "scan/scan_state.h"

namespace ulvex {
namespace detail {
namespace {

// Requests for more threads than this get this many.
constexpr unsigned kMaxThreads = 256;

// The join of the chunks' own scans into the reference's listing.
class Join {
public:
    Join(const Finder& finder, ScanState& s) : m_finder(finder), m_s(s) {}

    // The reference's records of chunk c, chunks taken in order.
    const std::vector<Record>& Take(const Chunk& c) {
        std::uint64_t& x = m_s.x;
        if (x == c.begin && c.decided == c.end) {  // the usual case: the chunk's path is the reference's
            if (!c.records.empty()) x = std::max(x, End(c.records.back()));
            if (x < c.end) x = c.end;
            return c.records;
        }
        m_out.clear();
        m_s.passed = x - m_s.origin;
        if (x < c.end) Follow(c);
        return m_out;
    }

private:
    void Follow(const Chunk& c) {
        std::uint64_t& x = m_s.x;
        const std::vector<Record>& rs = c.records;
        const std::size_t n = rs.size();
        auto firstAtOrAfter = [&](std::uint64_t v) {
            return static_cast<std::size_t>(
                std::lower_bound(rs.begin(), rs.end(), v,
                                 [](const Record& r, std::uint64_t at) { return r.offset < at; }) -
                rs.begin());
        };
        StateSums sums{m_s};
        std::size_t j = firstAtOrAfter(x);
        for (;;) {
            const std::uint64_t chunkPath = j == 0 ? c.begin : End(rs[j - 1]);
            if (chunkPath <= x) {  // the paths meet: the rest of the chunk's list is the reference's
                m_out.insert(m_out.end(), rs.begin() + static_cast<std::ptrdiff_t>(j), rs.end());
                if (j < n) x = End(rs[n - 1]);
                // Where the worker gave up, the join scans on itself.
                Record r;
                if (c.decided < c.end)
                    for (; m_finder.Next(x, c.end, sums, r); x = End(r)) m_out.push_back(r);
                break;
            }
            // Inside a record the chunk listed: search on from x itself, no
            // further than the chunk's next record.
            const std::uint64_t bound = j < n ? rs[j].offset : c.end;
            Record r;
            if (m_finder.Next(x, bound, sums, r)) {
                m_out.push_back(r);
                x = End(r);
                j = firstAtOrAfter(x);
            } else if (j < n) {
                x = rs[j].offset;  // the chunk's next record is the reference's too
            } else {
                break;
            }
        }
        if (x < c.end) x = c.end;
    }

    const Finder& m_finder;
    ScanState& m_s;
    std::vector<Record> m_out;
};

// The reference on the calling thread, a chunk at a time.
bool ScanAlone(const Finder& finder, ScanState& s, std::uint64_t chunk, Caller& caller) {
    StateSums sums{s};
    std::vector<Record> out;
    out.swap(s.pending);  // empty here (all were taken); its room serves again
    Record r;
    while (s.x < s.size) {
        const std::uint64_t end = s.x + std::min(chunk, s.size - s.x);
        s.passed = end - s.origin;
        out.clear();
        for (; finder.Next(s.x, end, sums, r); s.x = End(r)) out.push_back(r);
        if (s.x < end) s.x = end;
        if (!caller.Offer(s, out.data(), out.size(), &out)) return false;
    }
    return true;
}

bool ScanPooled(const Finder& finder, ScanState& s, std::uint64_t chunk, ThreadPool& pool, Caller& caller) {
    Chunks chunks(finder, s.x, s.size, chunk, &pool);
    Join join(finder, s);
    for (std::uint64_t k = 0; k < chunks.Count(); ++k) {
        const std::vector<Record>& rs = join.Take(chunks.Wait(k));
        const bool more = caller.Offer(s, rs.data(), rs.size());
        chunks.Release(k);
        if (more) continue;
        // Stopped: the chunks already claimed are finished and their records
        // kept for the next call, so that no scanned chunk is scanned again.
        if (!s.keep) return false;
        try {
            chunks.Stop();
            for (const std::uint64_t claimed = chunks.Claimed(); ++k < claimed;) {
                const std::vector<Record>& ahead = join.Take(chunks.Wait(k));
                s.pending.insert(s.pending.end(), ahead.begin(), ahead.end());
                chunks.Release(k);
            }
        } catch (...) {
            s.keep = false;
        }
        return false;
    }
    return true;
}

std::uint64_t ChunkCount(std::uint64_t bytes, std::uint64_t chunk) { return bytes / chunk + (bytes % chunk != 0); }

// Runs a scan from `pos`, continuing this thread's stopped scan when `pos`
// is where it stopped; `scanOn(state, caller)` scans on from state.x.
template <class ScanOn>
bool Resumable(RecordForm form, const void* data, std::uint64_t size, std::uint64_t& pos, RecordBatchFn fn,
               void* context, ScanOn scanOn) {
    // Taken out for the call: a scan that the callback runs starts its own.
    std::unique_ptr<ScanState> s = std::move(Saved());
    if (pos >= size) return true;
    if (!s || !s->Continues(form, data, size, pos)) {
        s.reset();
        s.reset(new ScanState(form, data, size, pos));
    }
    Caller caller{fn, context};
    bool complete = false;
    try {
        complete = caller.OfferPending(*s) && (s->x >= s->size || scanOn(*s, caller));
    } catch (...) {
        pos = s->last;
        throw;
    }
    pos = s->last;
    if (!complete && s->keep) Saved() = std::move(s);
    return complete;
}

std::size_t AppendBatch(void* context, const Record* records, std::size_t count) {
    std::vector<Record>& out = *static_cast<std::vector<Record>*>(context);
    out.insert(out.end(), records, records + count);
    return count;
}

}  // namespace
}  // namespace detail

unsigned DefaultScanThreads() { return ThreadPool::DefaultThreads(); }

bool Scan(RecordForm form, const void* data, std::uint64_t size, std::uint64_t& pos, const ScanOptions& options,
          RecordBatchFn fn, void* context) {
    using namespace detail;
    return Resumable(form, data, size, pos, fn, context, [&](ScanState& s, Caller& caller) {
        const unsigned threads = std::min(ScanThreads(options.threads), kMaxThreads);
        const std::uint64_t chunk = ChooseChunkSize(s.size - s.x, threads, options.chunkSize);
        const Finder finder(form, static_cast<const unsigned char*>(data), size);
        // The calling thread and threads - 1 workers, no more than there are
        // chunks: counted before anything is allocated per thread.
        const unsigned workers =
            static_cast<unsigned>(std::min<std::uint64_t>(threads, ChunkCount(s.size - s.x, chunk)) - 1);
        if (workers == 0) return ScanAlone(finder, s, chunk, caller);
        ThreadPool pool(workers);
        return ScanPooled(finder, s, chunk, pool, caller);
    });
}

bool Scan(RecordForm form, const void* data, std::uint64_t size, std::uint64_t& pos, const ScanOptions& options,
          ThreadPool& pool, RecordBatchFn fn, void* context) {
    using namespace detail;
    return Resumable(form, data, size, pos, fn, context, [&](ScanState& s, Caller& caller) {
        const std::uint64_t chunk = ChooseChunkSize(s.size - s.x, pool.Size() + 1, options.chunkSize);
        const Finder finder(form, static_cast<const unsigned char*>(data), size);
        return ScanPooled(finder, s, chunk, pool, caller);
    });
}

void Scan(RecordForm form, const void* data, std::uint64_t size, std::vector<Record>& records,
          const ScanOptions& options) {
    const unsigned threads = ScanThreads(options.threads);
    if (threads == 1 && options.chunkSize == 0) {
        // One chunk, the whole buffer, straight into the caller's vector.
        const detail::Finder finder(form, static_cast<const unsigned char*>(data), size);
        std::uint64_t passed = size;
        detail::PassSums sums(passed);
        detail::ScanRange(finder, 0, size, sums, records);
        return;
    }
    std::uint64_t pos = 0;
    Scan(form, data, size, pos, options, detail::AppendBatch, &records);
}

}  // namespace ulvex
