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
#include "ulvex/scan.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <vector>

#include "binary/binary_record.h"
#include "common/block_sums.h"
#include "scan/chunk_size.h"
#include "text/text_record.h"

namespace ulvex {
namespace detail {
namespace {

// Checksums for a worker's scan of one chunk. A worker never builds block
// sums: once its direct summing exceeds four times the chunk's length (plus
// 64 KiB), which only inputs built to make checksums expensive reach, it gives
// up with OverBudget and the join scans the rest of the chunk itself, with one
// table that serves the whole input in order. Tables of their own would make
// every chunk sum the same far-reaching payloads again.
struct OverBudget {};

class WorkerSums {
public:
    explicit WorkerSums(std::uint64_t length) : m_budget(4 * length + (1u << 16)) {}
    std::uint16_t Sum(const unsigned char* p, std::uint64_t, std::size_t n) {
        if (n >= BlockSums::kDirect) {
            m_work += n;
            if (m_work > m_budget) throw OverBudget();
        }
        return Checksum(p, n);
    }

private:
    std::uint64_t m_budget;
    std::uint64_t m_work = 0;
};

// A record's lengths are 32-bit: a header announcing a record longer than
// 4 GiB - 1 bytes is passed over like a damaged one. (Below 4 GiB no record
// can be that long.)
constexpr std::uint64_t kMaxBinaryPayload = kMaxRecordLength - kFrameSize;
constexpr std::uint64_t kMaxTextData = kMaxRecordLength - kTextHeaderSize - kTextFooterSize - kTextSeparatorSize;

// The first record of the form at a position in [from, stop) of the whole
// input; records may run past `stop`.
class Finder {
public:
    Finder(RecordForm form, const unsigned char* data, std::uint64_t size)
        : m_text(form == RecordForm::Text), m_data(data), m_size(size) {}

    template <class Sums>
    bool Next(std::uint64_t from, std::uint64_t stop, Sums& sums, Record& r) const {
        std::uint64_t pos = 0;
        if (m_text) {
            DirectText conv;
            TextFound found;
            if (!FindTextRecord(conv, m_data, m_size, from, stop, kMaxTextData, sums, pos, found)) return false;
            FillTextRecord(r, pos, found);
            return true;
        }
        std::uint32_t L = 0;
        if (!FindBinary<2>(m_data, m_size, from, stop, kMaxBinaryPayload, kHeaderStart, AnyName(), SameNameAsHeader(),
                           sums, pos, L))
            return false;
        FillBinaryRecord(r, pos, m_data + pos, L);
        return true;
    }

private:
    bool m_text;
    const unsigned char* m_data;
    std::uint64_t m_size;
};

std::uint64_t End(const Record& r) { return r.offset + r.recordLen; }

// One chunk's own scan: its records, and how far its path is decided (its
// end, or where the worker left the rest to the join). Each on a cache line
// of its own: a worker appending to its list writes the vector's end here,
// and neighbouring slots belong to other threads.
struct alignas(64) Chunk {
    std::uint64_t begin = 0, end = 0, decided = 0;
    std::vector<Record> records;
    std::exception_ptr error;
    bool ready = false;
};

// Appends the records of the scan from `begin` among positions below `end`;
// returns where the scan's path is decided to.
template <class Sums>
std::uint64_t ScanRange(const Finder& finder, std::uint64_t begin, std::uint64_t end, Sums& sums,
                        std::vector<Record>& out) {
    Record r;
    std::uint64_t x = begin;
    try {
        for (; finder.Next(x, end, sums, r); x = End(r)) out.push_back(r);
    } catch (const OverBudget&) {
        return x;  // nothing from x on is decided
    }
    return end;
}

void ScanChunk(const Finder& finder, Chunk& c) {
    WorkerSums sums(c.end - c.begin);
    c.decided = ScanRange(finder, c.begin, c.end, sums, c.records);
}

// The join: the reference's search position, and the records it lists, handed
// to the caller chunk by chunk.
class Join {
public:
    Join(const Finder& finder, std::uint64_t start, RecordBatchFn fn, void* context)
        : m_finder(finder), m_start(start), m_x(start), m_last(start), m_fn(fn), m_context(context) {}

    // Takes one chunk in order; false when the caller stopped the scan.
    bool Take(const Chunk& c) {
        if (m_x == c.begin && c.decided == c.end) {  // the usual case: the chunk's path is the reference's
            if (!c.records.empty()) m_x = std::max(m_x, End(c.records.back()));
            if (m_x < c.end) m_x = c.end;
            return Deliver(c.records);
        }
        m_out.clear();
        m_passed = m_x - m_start;
        if (m_x < c.end) Follow(c);
        return Deliver(m_out);
    }

    // Just past the last record the caller took.
    std::uint64_t Last() const { return m_last; }

private:
    void Follow(const Chunk& c) {
        const std::vector<Record>& rs = c.records;
        const std::size_t n = rs.size();
        auto firstAtOrAfter = [&](std::uint64_t x) {
            return static_cast<std::size_t>(
                std::lower_bound(rs.begin(), rs.end(), x,
                                 [](const Record& r, std::uint64_t v) { return r.offset < v; }) -
                rs.begin());
        };
        std::size_t j = firstAtOrAfter(m_x);
        for (;;) {
            const std::uint64_t chunkPath = j == 0 ? c.begin : End(rs[j - 1]);
            if (chunkPath <= m_x) {  // the paths meet: the rest of the chunk's list is the reference's
                m_out.insert(m_out.end(), rs.begin() + static_cast<std::ptrdiff_t>(j), rs.end());
                if (j < n) m_x = End(rs[n - 1]);
                // Where the worker gave up, the join scans on itself.
                if (c.decided < c.end) ScanOn(c.end);
                break;
            }
            // Inside a record the chunk listed: search on from m_x itself, no
            // further than the chunk's next record.
            const std::uint64_t bound = j < n ? rs[j].offset : c.end;
            Record r;
            if (m_finder.Next(m_x, bound, m_sums, r)) {
                m_out.push_back(r);
                m_x = End(r);
                j = firstAtOrAfter(m_x);
            } else if (j < n) {
                m_x = rs[j].offset;  // the chunk's next record is the reference's too
            } else {
                break;
            }
        }
        if (m_x < c.end) m_x = c.end;
    }

    void ScanOn(std::uint64_t end) {
        Record r;
        for (; m_finder.Next(m_x, end, m_sums, r); m_x = End(r)) m_out.push_back(r);
    }

    bool Deliver(const std::vector<Record>& rs) {
        if (rs.empty()) return true;
        const std::size_t taken = std::min(m_fn(m_context, rs.data(), rs.size()), rs.size());
        if (taken != 0) m_last = End(rs[taken - 1]);
        return taken == rs.size();
    }

    const Finder& m_finder;
    const std::uint64_t m_start;
    std::uint64_t m_x;
    std::uint64_t m_last;
    // The join's own checksums: its queries come at increasing offsets over
    // the whole input, and their budget grows with the input passed.
    std::uint64_t m_passed = 0;
    PassSums m_sums{m_passed};
    RecordBatchFn m_fn;
    void* m_context;
    std::vector<Record> m_out;
};

// Chunks scanned by the calling thread and the workers of a pool, a bounded
// number ahead of the join. Each chunk is a task of its own, so that other
// work queued on the same pool runs between chunks; the calling thread scans
// chunks too whenever the one the join needs next is not ready yet.
class Chunks {
public:
    Chunks(const Finder& finder, std::uint64_t start, std::uint64_t size, std::uint64_t chunk, ThreadPool* pool)
        : m_finder(finder),
          m_start(start),
          m_size(size),
          m_chunk(chunk),
          m_count((size - start) / chunk + ((size - start) % chunk != 0)),
          m_pool(pool),
          m_workers(pool != nullptr ? pool->Size() : 0),
          m_slots(std::size_t{4} * (m_workers + 1)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        Feed();
    }
    ~Chunks() {
        // The tasks still queued find nothing to claim; wait for those running.
        std::unique_lock<std::mutex> lock(m_mutex);
        m_stop = true;
        m_idle.wait(lock, [this] { return m_queued == 0; });
    }
    Chunks(const Chunks&) = delete;
    Chunks& operator=(const Chunks&) = delete;

    std::uint64_t Count() const { return m_count; }

    // Chunk k, once scanned; the join releases it with Release.
    const Chunk& Wait(std::uint64_t k) {
        std::unique_lock<std::mutex> lock(m_mutex);
        Chunk& c = Slot(k);
        while (!c.ready) {
            if (CanClaim()) {
                Run(lock);
            } else {
                m_done.wait(lock);
            }
        }
        if (c.error) std::rethrow_exception(c.error);
        return c;
    }

    void Release(std::uint64_t k) {
        std::lock_guard<std::mutex> lock(m_mutex);
        Chunk& c = Slot(k);
        c.ready = false;
        c.records.clear();  // keeps its memory for a later chunk: fresh pages cost more than the scan
        m_joined = k + 1;
        Feed();
    }

private:
    Chunk& Slot(std::uint64_t k) { return m_slots[static_cast<std::size_t>(k % m_slots.size())]; }

    bool CanClaim() const { return !m_stop && m_next < m_count && m_next < m_joined + m_slots.size(); }

    // Queues a task for each chunk that can be claimed now, as long as fewer
    // tasks than workers are queued. Called with the lock held.
    void Feed() {
        while (m_queued < m_workers && m_next + m_queued < m_count && m_next + m_queued < m_joined + m_slots.size()) {
            m_pool->Submit(&Chunks::Task, this);
            ++m_queued;
        }
    }

    static void Task(void* context, unsigned) {
        Chunks& self = *static_cast<Chunks*>(context);
        std::unique_lock<std::mutex> lock(self.m_mutex);
        if (self.CanClaim()) self.Run(lock);
        --self.m_queued;
        try {
            if (!self.m_stop) self.Feed();
        } catch (...) {
            // No task queued: the calling thread claims the chunks itself.
        }
        if (self.m_queued == 0) self.m_idle.notify_all();
    }

    // Claims the next chunk and scans it, with the lock released meanwhile.
    void Run(std::unique_lock<std::mutex>& lock) {
        const std::uint64_t k = m_next++;
        Chunk& c = Slot(k);  // this slot is the claimer's alone until it is marked ready
        lock.unlock();
        c.begin = m_start + k * m_chunk;
        c.end = c.begin + std::min(m_chunk, m_size - c.begin);
        c.records.clear();
        c.error = nullptr;
        try {
            ScanChunk(m_finder, c);
        } catch (...) {
            c.error = std::current_exception();
        }
        lock.lock();
        c.ready = true;
        m_done.notify_all();
    }

    const Finder& m_finder;
    const std::uint64_t m_start, m_size, m_chunk, m_count;
    ThreadPool* const m_pool;
    const unsigned m_workers;
    std::vector<Chunk> m_slots;
    std::mutex m_mutex;
    std::condition_variable m_done, m_idle;
    std::uint64_t m_next = 0, m_joined = 0;
    unsigned m_queued = 0;  // tasks submitted and not yet finished
    bool m_stop = false;
};

// Scans the chunks on `pool` (none: on the calling thread alone).
bool ScanChunks(const Finder& finder, std::uint64_t& pos, std::uint64_t size, std::uint64_t chunk, ThreadPool* pool,
                RecordBatchFn fn, void* context) {
    Join join(finder, pos, fn, context);
    bool complete = true;
    if (pool == nullptr) {
        // On the calling thread, one chunk after another, in one reused chunk.
        Chunk c;
        for (std::uint64_t begin = pos; begin < size && complete; begin += std::min(chunk, size - begin)) {
            c.records.clear();
            c.begin = begin;
            c.end = begin + std::min(chunk, size - begin);
            ScanChunk(finder, c);
            complete = join.Take(c);
        }
    } else {
        Chunks chunks(finder, pos, size, chunk, pool);
        for (std::uint64_t k = 0; k < chunks.Count() && complete; ++k) {
            complete = join.Take(chunks.Wait(k));
            chunks.Release(k);
        }
    }
    pos = join.Last();
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
    if (pos >= size) return true;
    const unsigned threads = ScanThreads(options.threads);
    const std::uint64_t chunk = ChooseChunkSize(size - pos, threads, options.chunkSize);
    const Finder finder(form, static_cast<const unsigned char*>(data), size);
    // The calling thread and threads - 1 workers, no more than there are chunks.
    const std::uint64_t chunks = (size - pos) / chunk + ((size - pos) % chunk != 0);
    const unsigned workers = static_cast<unsigned>(std::min<std::uint64_t>(threads, chunks) - 1);
    if (workers == 0) return ScanChunks(finder, pos, size, chunk, nullptr, fn, context);
    ThreadPool pool(workers);
    return ScanChunks(finder, pos, size, chunk, &pool, fn, context);
}

bool Scan(RecordForm form, const void* data, std::uint64_t size, std::uint64_t& pos, const ScanOptions& options,
          ThreadPool& pool, RecordBatchFn fn, void* context) {
    using namespace detail;
    if (pos >= size) return true;
    const std::uint64_t chunk = ChooseChunkSize(size - pos, pool.Size() + 1, options.chunkSize);
    const Finder finder(form, static_cast<const unsigned char*>(data), size);
    return ScanChunks(finder, pos, size, chunk, &pool, fn, context);
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
