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

#include "scan/chunk_scan.h"
#include "scan/chunk_size.h"
#include "scan/join.h"

namespace ulvex {
namespace detail {
namespace {

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
