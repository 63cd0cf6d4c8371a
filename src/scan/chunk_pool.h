// The chunks of a many-threaded ulvex::Scan, scanned a bounded number ahead
// of the join. Each chunk is a task of its own on the pool, so that other
// work queued on the same pool runs between chunks; the calling thread scans
// chunks too whenever the one the join needs next is not ready yet.
#ifndef ULVEX_SRC_SCAN_CHUNK_POOL_H
#define ULVEX_SRC_SCAN_CHUNK_POOL_H

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <vector>

#include "scan/chunk_scan.h"
#include "ulvex/thread_pool.h"

namespace ulvex {
namespace detail {

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
    ~Chunks() { Stop(); }
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

    // Claims no more chunks and waits for the tasks running (those still
    // queued find nothing to claim): every chunk below Claimed() is then
    // ready.
    void Stop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_stop = true;
        m_idle.wait(lock, [this] { return m_queued == 0; });
    }

    std::uint64_t Claimed() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_next;
    }

private:
    Chunk& Slot(std::uint64_t k) { return m_slots[static_cast<std::size_t>(k % m_slots.size())]; }

    bool CanClaim() const { return !m_stop && m_next < m_count && m_next < m_joined + m_slots.size(); }

    // Queues a task for each chunk that can be claimed now, as long as fewer
    // tasks than workers are queued. Called with the lock held.
    void Feed() {
        while (!m_stop && m_queued < m_workers && m_next + m_queued < m_count &&
               m_next + m_queued < m_joined + m_slots.size()) {
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

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_SCAN_CHUNK_POOL_H
