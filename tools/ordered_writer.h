// Turns records into text on the workers of a thread pool and writes the
// texts in input order, so the output is the same for every thread count.
#ifndef ULVEX_TOOLS_ORDERED_WRITER_H
#define ULVEX_TOOLS_ORDERED_WRITER_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ulvex/format.h"
#include "ulvex/thread_pool.h"

namespace ulvex_cli {

class OrderedWriter {
public:
    // Appends the text of `count` records to `text`, on the pool's worker
    // `worker` (0 .. Size() - 1; each worker's calls come one at a time).
    using FormatFn =
        std::function<void(unsigned worker, const ulvex::Record* records, std::size_t count, std::string& text)>;
    // Writes a finished text; always called on the thread that calls Add and
    // Finish, in the order the records were added.
    using WriteFn = std::function<void(const std::string& text)>;

    // Formats on the workers of `pool`; without a pool everything runs on
    // the calling thread.
    OrderedWriter(ulvex::ThreadPool* pool, FormatFn format, WriteFn write, std::size_t batchRecords = 1024);
    // On a pool of its own of `threads` workers; 1 formats on the calling thread.
    OrderedWriter(unsigned threads, FormatFn format, WriteFn write, std::size_t batchRecords = 1024);
    ~OrderedWriter();
    OrderedWriter(const OrderedWriter&) = delete;
    OrderedWriter& operator=(const OrderedWriter&) = delete;

    // Queues records for formatting. Waits (writing finished texts) while
    // a few batches per thread are in flight, so memory stays bounded.
    void Add(const ulvex::Record* records, std::size_t count);

    // Formats and writes everything added. An exception of a formatter
    // thread is rethrown here or by a later Add.
    void Finish();

private:
    struct Batch {
        OrderedWriter* owner = nullptr;
        std::vector<ulvex::Record> records;
        std::string text;
        bool done = false;
    };

    void Dispatch();
    void WriteDone(std::size_t limit);
    static void Format(void* batch, unsigned worker);

    std::unique_ptr<ulvex::ThreadPool> m_ownPool;
    ulvex::ThreadPool* const m_pool;
    const std::size_t m_batchRecords;
    const std::size_t m_maxInFlight;
    FormatFn m_format;
    WriteFn m_write;
    std::unique_ptr<Batch> m_open;               // being filled by Add
    std::deque<std::unique_ptr<Batch>> m_order;  // dispatched, in input order, until written
    std::vector<std::unique_ptr<Batch>> m_spare;
    std::mutex m_mutex;
    std::condition_variable m_batchDone;
    std::exception_ptr m_error;
    std::size_t m_running = 0;  // batches submitted to the pool and not yet formatted
};

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_ORDERED_WRITER_H
