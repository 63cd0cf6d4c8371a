// ulvex::ThreadPool: a fixed set of worker threads that run tasks in the
// order they were submitted.
//
// One pool serves several jobs at once: ulvex::Scan, given a pool, scans its
// chunks on it, and the caller can format or decode what the scan found on
// the same threads. A program that asks for N threads then runs N workers
// (plus its own thread), not N per stage.
//
//     ulvex::ThreadPool pool(4);
//     ulvex::Scan(ulvex::RecordForm::Binary, data, size, pos, options, pool, fn, context);
//     pool.Submit(&FormatBatch, &batch);  // FormatBatch(void* context, unsigned worker)
//
// A task is a plain function and a context pointer; it runs once, on one of
// the workers, which passes its number (0 .. Size() - 1) so that a task can
// use per-worker state. A task must not throw (an exception leaving a task
// ends the program) and must not wait for another task of the same pool:
// with every worker waiting, nothing would run. Waiting for a task is the
// submitter's own business (a condition variable, a counter).
#ifndef ULVEX_THREAD_POOL_H
#define ULVEX_THREAD_POOL_H

#include "ulvex/export.h"

namespace ulvex {

namespace detail {
class PoolState;
}

class ULVEX_API ThreadPool {
public:
    typedef void (*TaskFn)(void* context, unsigned worker);

    // Starts `threads` workers, or for 0 one per core (DefaultThreads()).
    // Throws std::system_error when a thread cannot be started.
    explicit ThreadPool(unsigned threads);

    // Runs the tasks still queued, then ends the workers.
    ~ThreadPool();

    // The number of workers.
    unsigned Size() const;

    // Queues `fn(context, worker)`. Safe to call from any thread, tasks
    // included. Throws std::bad_alloc when memory runs out.
    void Submit(TaskFn fn, void* context);

    // What a thread count of 0 stands for: one per core (at least 1).
    static unsigned DefaultThreads();

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

private:
    detail::PoolState* m_state;
};

}  // namespace ulvex

#endif  // ULVEX_THREAD_POOL_H
