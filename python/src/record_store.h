// The records of a scan, in memory mapped straight from the system.
#ifndef ULVEX_PYTHON_RECORD_STORE_H
#define ULVEX_PYTHON_RECORD_STORE_H

#include <cstddef>

#include "ulvex/scan.h"

namespace ulvex_py {

// The records of a scan, in memory mapped straight from the system. Growing
// moves the pages (mremap) instead of copying them, and a large store asks
// for huge pages: filling millions of records otherwise costs more in page
class RecordStore {
public:
    RecordStore() = default;
    ~RecordStore();

    // Appends `n` records; false (and nothing appended) when memory runs out.
    bool Append(const ulvex::Record* records, std::size_t n) noexcept;

    const ulvex::Record* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const ulvex::Record& operator[](std::size_t i) const { return m_data[i]; }

    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

private:
    ulvex::Record* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_bytes = 0;
};

// Scan's batch receiver: stops the scan when the store cannot grow.
struct StoreSink {
    RecordStore* store;
    bool outOfMemory;
};

// ulvex::Scan's receiver of batches; `context` is a StoreSink.
std::size_t CollectRecords(void* context, const ulvex::Record* records, std::size_t count);

}  // namespace ulvex_py

#endif  // ULVEX_PYTHON_RECORD_STORE_H
