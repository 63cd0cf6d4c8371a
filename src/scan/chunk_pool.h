// The chunks of a many-threaded ulvex::Scan, scanned by the calling thread
// and `threads - 1` workers, a bounded number ahead of the join. The calling
// thread scans chunks too whenever the one the join needs next is not ready.
#ifndef ULVEX_SRC_SCAN_CHUNK_POOL_H
#define ULVEX_SRC_SCAN_CHUNK_POOL_H

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "scan/chunk_scan.h"

namespace ulvex {
namespace detail {

class Pool {
public:
    // Chunks of `chunk` bytes from `start` to `size`; `threads` is at most
    // their number.
    Pool(const Finder& finder, std::uint64_t start, std::uint64_t size, std::uint64_t chunk, unsigned threads)
        : m_finder(finder),
          m_start(start),
          m_size(size),
          m_chunk(chunk),
          m_count((size - start) / chunk + ((size - start) % chunk != 0)),
          m_slots(std::size_t{4} * threads) {
        try {
            for (unsigned t = 1; t < threads; ++t) m_threads.emplace_back([this] { Work(); });
        } catch (...) {
            Stop();
            throw;
        }
    }
    ~Pool() { Stop(); }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    std::uint64_t Count() const { return m_count; }

    // Chunk k, once scanned; the join releases it with Release. After Stop,
    // only chunks below Claimed() may be asked for.
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
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            Chunk& c = Slot(k);
            c.ready = false;
            c.records.clear();  // keeps its memory for a later chunk: fresh pages cost more than the scan
            m_joined = k + 1;
        }
        m_free.notify_all();
    }

    // Claims no more chunks and joins the workers once they have finished
    // the chunks they hold: every chunk below Claimed() is then ready.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_free.notify_all();
        for (std::thread& t : m_threads) t.join();
        m_threads.clear();
    }

    std::uint64_t Claimed() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_next;
    }

private:
    Chunk& Slot(std::uint64_t k) { return m_slots[static_cast<std::size_t>(k % m_slots.size())]; }

    bool CanClaim() const { return !m_stop && m_next < m_count && m_next < m_joined + m_slots.size(); }

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

    void Work() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_free.wait(lock, [&] { return m_stop || m_next >= m_count || CanClaim(); });
            if (m_stop || m_next >= m_count) return;
            Run(lock);
        }
    }

    const Finder& m_finder;
    const std::uint64_t m_start, m_size, m_chunk, m_count;
    std::vector<Chunk> m_slots;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_done, m_free;
    std::uint64_t m_next = 0, m_joined = 0;
    bool m_stop = false;
};

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_SCAN_CHUNK_POOL_H
