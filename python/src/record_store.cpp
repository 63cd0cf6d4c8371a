#include "record_store.h"

#include <sys/mman.h>

#include <cstring>

namespace ulvex_py {
namespace {

constexpr std::size_t kFirstBytes = 64 * 1024;
constexpr std::size_t kHugePageBytes = 4 * 1024 * 1024;

}  // namespace

RecordStore::~RecordStore() {
    if (m_data != nullptr) munmap(m_data, m_bytes);
}

bool RecordStore::Append(const ulvex::Record* records, std::size_t n) noexcept {
    const std::size_t need = (m_size + n) * sizeof(ulvex::Record);
    if (need > m_bytes) {
        std::size_t bytes = m_bytes != 0 ? m_bytes : kFirstBytes;
        while (bytes < need) bytes *= 2;
        void* p = m_data != nullptr ? mremap(m_data, m_bytes, bytes, MREMAP_MAYMOVE)
                                    : mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return false;
        if (bytes >= kHugePageBytes) madvise(p, bytes, MADV_HUGEPAGE);  // a hint: refusal changes nothing
        m_data = static_cast<ulvex::Record*>(p);
        m_bytes = bytes;
    }
    std::memcpy(m_data + m_size, records, n * sizeof(ulvex::Record));
    m_size += n;
    return true;
}

std::size_t CollectRecords(void* context, const ulvex::Record* records, std::size_t count) {
    auto* sink = static_cast<StoreSink*>(context);
    if (sink->store->Append(records, count)) return count;
    sink->outOfMemory = true;
    return 0;
}

}  // namespace ulvex_py
