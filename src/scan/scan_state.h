// The state of a scan between calls, and the caller's receiver.
//
// A resumed loop (the caller stops the scan and calls again from the returned
// position) continues where the scan stands instead of starting afresh: the
// state below (search position, records found and not taken, checksum table)
// is kept per thread between the calls. Starting afresh would rebuild the
// checksum table, and rescan the chunk, on every call: quadratic on inputs
// built so.
#ifndef ULVEX_SRC_SCAN_SCAN_STATE_H
#define ULVEX_SRC_SCAN_SCAN_STATE_H

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "scan/chunk_scan.h"
#include "ulvex/scan.h"

namespace ulvex {
namespace detail {

// Where a scan stands.
struct ScanState {
    ScanState(RecordForm f, const void* d, std::uint64_t n, std::uint64_t pos)
        : form(f), data(d), size(n), origin(pos), x(pos), last(pos) {}

    bool Continues(RecordForm f, const void* d, std::uint64_t n, std::uint64_t pos) const {
        return keep && f == form && d == data && n == size && pos == last;
    }

    const RecordForm form;
    const void* const data;
    const std::uint64_t size;
    const std::uint64_t origin;   // where the first call began
    std::uint64_t x;              // every record starting before x has been found
    std::uint64_t last;           // just past the last record taken
    std::vector<Record> pending;  // found and not taken yet, from `next` on
    std::size_t next = 0;
    // The checksums of the reference's own searches: their queries come at
    // increasing offsets over the whole input, and their budget grows with
    // the input passed.
    std::uint64_t passed = 0;
    BlockSums sums;
    bool keep = true;  // false once `pending` may miss records: the state is not kept
};

struct StateSums {
    ScanState& s;
    std::uint16_t Sum(const unsigned char* p, std::uint64_t off, std::size_t n) {
        return s.sums.Sum(p, off, n, s.passed);
    }
};

// The state of this thread's last stopped scan.
inline std::unique_ptr<ScanState>& Saved() {
    static thread_local std::unique_ptr<ScanState> saved;
    return saved;
}

inline void Keep(ScanState& s, const Record* begin, const Record* end) {
    if (!s.keep) return;
    try {
        s.pending.insert(s.pending.end(), begin, end);
    } catch (...) {
        s.keep = false;  // the scan goes on; only the next call starts afresh
    }
}

// The caller's receiver.
struct Caller {
    RecordBatchFn fn;
    void* context;

    // Hands over rs[0, n); keeps what the caller does not take. False when
    // the caller stopped the scan. When the records are the whole of a
    // vector of the scan's own (`owner`), they are kept by taking it over
    // rather than by copying them.
    bool Offer(ScanState& s, const Record* rs, std::size_t n, std::vector<Record>* owner = nullptr) {
        if (n == 0) return true;
        const std::size_t taken = std::min(fn(context, rs, n), n);
        if (taken != 0) s.last = End(rs[taken - 1]);
        if (taken == n) return true;
        if (owner != nullptr && s.keep && s.pending.empty())
            s.pending.swap(*owner), s.next = taken;
        else
            Keep(s, rs + taken, rs + n);
        return false;
    }

    bool OfferPending(ScanState& s) {
        const std::size_t n = s.pending.size() - s.next;
        if (n == 0) return true;
        const std::size_t taken = std::min(fn(context, s.pending.data() + s.next, n), n);
        if (taken != 0) s.last = End(s.pending[s.next + taken - 1]);
        s.next += taken;
        if (s.next == s.pending.size()) s.pending.clear(), s.next = 0;
        return taken == n;
    }
};

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_SCAN_SCAN_STATE_H
