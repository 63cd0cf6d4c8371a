// ulvex::ThreadPool: workers taking tasks from one queue.
#include "ulvex/thread_pool.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace ulvex {
namespace detail {

class PoolState {
public:
    explicit PoolState(unsigned threads) {
        try {
            for (unsigned w = 0; w < threads; ++w) m_workers.emplace_back(&PoolState::Work, this, w);
        } catch (...) {
            Stop();
            throw;
        }
    }
    ~PoolState() { Stop(); }

    unsigned Size() const { return static_cast<unsigned>(m_workers.size()); }

    void Submit(ThreadPool::TaskFn fn, void* context) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_tasks.emplace_back(fn, context);
        }
        m_ready.notify_one();
    }

private:
    void Work(unsigned worker) {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_ready.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty()) return;  // stopping, and every task has run
            const std::pair<ThreadPool::TaskFn, void*> task = m_tasks.front();
            m_tasks.pop_front();
            lock.unlock();
            task.first(task.second, worker);
            lock.lock();
        }
    }

    void Stop() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_ready.notify_all();
        for (std::thread& t : m_workers) t.join();
        m_workers.clear();
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::pair<ThreadPool::TaskFn, void*>> m_tasks;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

}  // namespace detail

ThreadPool::ThreadPool(unsigned threads) : m_state(new detail::PoolState(threads != 0 ? threads : DefaultThreads())) {}

ThreadPool::~ThreadPool() { delete m_state; }

unsigned ThreadPool::Size() const { return m_state->Size(); }

void ThreadPool::Submit(TaskFn fn, void* context) { m_state->Submit(fn, context); }

unsigned ThreadPool::DefaultThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

}  // namespace ulvex
