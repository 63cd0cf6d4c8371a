// The shared block sums of the innermost bulk or helper-driven scan (and the
// checksum work counter of the work-count tests).
#include "common/block_sums.h"

namespace ulvex {
namespace detail {

BufferSums*& CurrentScanSums() {
    static thread_local BufferSums* current = nullptr;
    return current;
}

#if defined(ULVEX_COUNT_SUM_WORK)
std::atomic<std::uint64_t>& SumWork() {
    static std::atomic<std::uint64_t> work{0};
    return work;
}
#endif

}  // namespace detail
}  // namespace ulvex
