#include "ordered_writer.h"

#include <algorithm>
#include <utility>

namespace ulvex_cli {

OrderedWriter::OrderedWriter(ulvex::ThreadPool* pool, FormatFn format, WriteFn write, std::size_t batchRecords)
    : m_pool(pool),
      m_batchRecords(std::max<std::size_t>(batchRecords, 1)),
      m_maxInFlight(2 * std::size_t{pool != nullptr ? pool->Size() : 1u} + 2),
      m_format(std::move(format)),
      m_write(std::move(write)) {}

OrderedWriter::OrderedWriter(unsigned threads, FormatFn format, WriteFn write, std::size_t batchRecords)
    : m_ownPool(threads > 1 ? new ulvex::ThreadPool(threads) : nullptr),
      m_pool(m_ownPool.get()),
      m_batchRecords(std::max<std::size_t>(batchRecords, 1)),
      m_maxInFlight(2 * std::size_t{std::max(threads, 1u)} + 2),
      m_format(std::move(format)),
      m_write(std::move(write)) {}

OrderedWriter::~OrderedWriter() {
    // The batches being formatted belong to this writer.
    std::unique_lock<std::mutex> lock(m_mutex);
    m_batchDone.wait(lock, [this] { return m_running == 0; });
}

void OrderedWriter::Add(const ulvex::Record* records, std::size_t count) {
    while (count != 0) {
        if (!m_open) {
            if (m_spare.empty()) {
                m_open.reset(new Batch);
                m_open->owner = this;
            } else {
                m_open = std::move(m_spare.back());
                m_spare.pop_back();
            }
            m_open->records.reserve(m_batchRecords);
        }
        const std::size_t n = std::min(count, m_batchRecords - m_open->records.size());
        m_open->records.insert(m_open->records.end(), records, records + n);
        records += n;
        count -= n;
        if (m_open->records.size() == m_batchRecords) Dispatch();
    }
}

void OrderedWriter::Finish() {
    if (m_open) Dispatch();
    WriteDone(0);
}

void OrderedWriter::Dispatch() {
    std::unique_ptr<Batch> batch = std::move(m_open);
    batch->text.clear();
    batch->done = false;
    if (m_pool == nullptr) {
        m_format(0, batch->records.data(), batch->records.size(), batch->text);
        m_write(batch->text);
        batch->records.clear();
        m_spare.push_back(std::move(batch));
        return;
    }
    WriteDone(m_maxInFlight - 1);
    Batch* const b = batch.get();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_order.push_back(std::move(batch));
        ++m_running;
    }
    try {
        m_pool->Submit(&OrderedWriter::Format, b);
    } catch (...) {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_running;
        m_order.pop_back();
        throw;
    }
}

// Writes the finished batches at the head of the order, then waits for more
// until at most `limit` batches are left in flight.
void OrderedWriter::WriteDone(std::size_t limit) {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_error) std::rethrow_exception(m_error);
        if (!m_order.empty() && m_order.front()->done) {
            std::unique_ptr<Batch> batch = std::move(m_order.front());
            m_order.pop_front();
            lock.unlock();
            m_write(batch->text);
            batch->records.clear();
            m_spare.push_back(std::move(batch));
            lock.lock();
            continue;
        }
        if (m_order.size() <= limit) return;
        m_batchDone.wait(lock);
    }
}

// A task of the pool: formats one batch.
void OrderedWriter::Format(void* context, unsigned worker) {
    Batch& batch = *static_cast<Batch*>(context);
    OrderedWriter& self = *batch.owner;
    std::exception_ptr error;
    try {
        self.m_format(worker, batch.records.data(), batch.records.size(), batch.text);
    } catch (...) {
        error = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(self.m_mutex);
    if (error) {
        if (!self.m_error) self.m_error = error;
    } else {
        batch.done = true;
    }
    --self.m_running;
    self.m_batchDone.notify_all();
}

}  // namespace ulvex_cli
