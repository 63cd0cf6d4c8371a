#include "ordered_writer.h"

#include <algorithm>
#include <utility>

namespace ulvex_cli {

OrderedWriter::OrderedWriter(unsigned threads, FormatFn format, WriteFn write, std::size_t batchRecords)
    : m_threads(std::max(threads, 1u)),
      m_batchRecords(std::max<std::size_t>(batchRecords, 1)),
      m_maxInFlight(2 * std::size_t{m_threads} + 2),
      m_format(std::move(format)),
      m_write(std::move(write)) {
    if (m_threads == 1) return;
    try {
        for (unsigned w = 0; w < m_threads; ++w) m_workers.emplace_back(&OrderedWriter::Work, this, w);
    } catch (...) {
        Stop();
        throw;
    }
}

OrderedWriter::~OrderedWriter() { Stop(); }

void OrderedWriter::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_workReady.notify_all();
    for (std::thread& t : m_workers)
        if (t.joinable()) t.join();
    m_workers.clear();
}

void OrderedWriter::Add(const ulvex::Record* records, std::size_t count) {
    while (count != 0) {
        if (!m_open) {
            if (m_spare.empty()) {
                m_open.reset(new Batch);
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
    if (m_threads == 1) {
        m_format(0, batch->records.data(), batch->records.size(), batch->text);
        m_write(batch->text);
    } else {
        WriteDone(m_maxInFlight - 1);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pending.push_back(batch.get());
            m_order.push_back(std::move(batch));
        }
        m_workReady.notify_one();
        return;
    }
    batch->records.clear();
    m_spare.push_back(std::move(batch));
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

void OrderedWriter::Work(unsigned worker) {
    for (;;) {
        Batch* batch;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_workReady.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
            if (m_stopping) return;
            batch = m_pending.front();
            m_pending.pop_front();
        }
        std::exception_ptr error;
        try {
            m_format(worker, batch->records.data(), batch->records.size(), batch->text);
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (error) {
                if (!m_error) m_error = error;
            } else {
                batch->done = true;
            }
        }
        m_batchDone.notify_all();
    }
}

}  // namespace ulvex_cli
