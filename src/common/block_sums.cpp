// The shared block sums of the innermost bulk or helper-driven scan.
#include "common/block_sums.h"

namespace ulvex {
namespace detail {

PayloadSums*& CurrentScanSums() {
    static thread_local PayloadSums* current = nullptr;
    return current;
}

}  // namespace detail
}  // namespace ulvex
