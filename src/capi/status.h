// What every function of the C interface shares: turning an exception into
// a status code, and handing a finished output to the caller.
#ifndef ULVEX_SRC_CAPI_STATUS_H
#define ULVEX_SRC_CAPI_STATUS_H

#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "ulvex/c.h"

namespace ulvex {
namespace detail {

// The status of the exception being handled.
inline int Status() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return ULVEX_ERR_NOMEM;
    } catch (...) {
        return ULVEX_ERR_FAIL;
    }
}

// Copies a finished output of `bytes.size()` bytes to the caller's buffer.
inline int Deliver(const std::vector<unsigned char>& bytes, void* out, std::size_t cap, std::size_t* written) {
    *written = bytes.size();
    if (bytes.size() > cap) return ULVEX_ERR_SPACE;
    if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
    return ULVEX_OK;
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_CAPI_STATUS_H
