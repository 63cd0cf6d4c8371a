// Rows cut into ranges that are read independently and joined in order; the
// ranges run on the calling thread and the workers of a thread pool. Also the
// check every reader of the rows makes first: the payloads lie in the buffer.
#ifndef ULVEX_SRC_COLUMNS_ROW_RANGES_H
#define ULVEX_SRC_COLUMNS_ROW_RANGES_H

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>

#include "ulvex/format.h"
#include "ulvex/thread_pool.h"

namespace ulvex {
namespace detail {

// Whether every record's payload lies inside the `size` bytes of the buffer.
inline bool PayloadsInside(std::uint64_t size, const Record* records, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (records[i].payloadOffset > size || records[i].payloadLen > size - records[i].payloadOffset) return false;
    return true;
}

inline unsigned Threads(unsigned threads) { return threads != 0 ? threads : ThreadPool::DefaultThreads(); }

// How many ranges `count` rows are cut into for `threads` threads (0: one
// per core): a few per thread, of at least 1024 rows.
inline std::size_t RangeCount(std::size_t count, unsigned threads) {
    const std::size_t t = Threads(threads);
    const std::size_t wanted = t == 1 ? 1 : 4 * t;
    return std::max<std::size_t>(1, std::min(wanted, count / 1024));
}

// Calls fn(range, begin, end) once for each of `ranges` consecutive ranges of
// `count` rows, on the calling thread and (for more than one thread) on up to
// threads - 1 workers of a pool; returns when all are done. An exception
// thrown by `fn` is rethrown here once the others have stopped.
class RangeRunner {
public:
    typedef std::function<void(std::size_t, std::size_t, std::size_t)> Fn;

    static void Run(std::size_t count, std::size_t ranges, unsigned threads, const Fn& fn) {
        RangeRunner run(count, ranges, fn);
        const unsigned workers = static_cast<unsigned>(std::min<std::size_t>(Threads(threads), ranges) - 1);
        if (workers != 0) {
            ThreadPool pool(workers);
            for (unsigned w = 0; w < workers; ++w) {
                run.m_running.fetch_add(1);
                try {
                    pool.Submit(&RangeRunner::Task, &run);
                } catch (...) {
                    run.m_running.fetch_sub(1);
                    throw;
                }
            }
            run.Work();
            std::unique_lock<std::mutex> lock(run.m_mutex);
            run.m_done.wait(lock, [&] { return run.m_running.load() == 0; });
        } else {
            run.Work();
        }
        if (run.m_error) std::rethrow_exception(run.m_error);
    }

private:
    RangeRunner(std::size_t count, std::size_t ranges, const Fn& fn) : m_count(count), m_ranges(ranges), m_fn(fn) {}

    static void Task(void* context, unsigned) {
        auto* run = static_cast<RangeRunner*>(context);
        run->Work();
        std::lock_guard<std::mutex> lock(run->m_mutex);
        if (run->m_running.fetch_sub(1) == 1) run->m_done.notify_all();
    }

    void Work() {
        for (std::size_t i; (i = m_next.fetch_add(1)) < m_ranges;) {
            try {
                m_fn(i, m_count * i / m_ranges, m_count * (i + 1) / m_ranges);
            } catch (...) {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (!m_error) m_error = std::current_exception();
                m_next.store(m_ranges);
            }
        }
    }

    const std::size_t m_count, m_ranges;
    const Fn& m_fn;
    std::atomic<std::size_t> m_next{0};
    std::atomic<unsigned> m_running{0};
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::exception_ptr m_error;
};

inline void ForEachRange(std::size_t count, std::size_t ranges, unsigned threads, const RangeRunner::Fn& fn) {
    RangeRunner::Run(count, ranges, threads, fn);
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_COLUMNS_ROW_RANGES_H
