// The shared block sums of the innermost bulk or helper-driven scan.
#include "common/block_sums.h"

namespace ulvex {
namespace detail {

BufferSums*& CurrentScanSums() {
    static thread_local BufferSums* current = nullptr;
    return current;
}

}  // namespace detail
}  // namespace ulvex
