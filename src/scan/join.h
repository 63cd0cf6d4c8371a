// The join of a parallel scan: the chunks' own record lists, taken in
// order, made into the whole-input scan's list.
#ifndef ULVEX_SRC_SCAN_JOIN_H
#define ULVEX_SRC_SCAN_JOIN_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scan/chunk_scan.h"
#include "ulvex/scan.h"

namespace ulvex {
namespace detail {
// Included by the parallel scan (scan.cpp) alone: its own types.
namespace {

// The join: the reference's search position, and the records it lists, handed
// to the caller chunk by chunk.
class Join {
public:
    Join(const Finder& finder, std::uint64_t start, RecordBatchFn fn, void* context)
        : m_finder(finder), m_start(start), m_x(start), m_last(start), m_fn(fn), m_context(context) {}

    // Takes one chunk in order; false when the caller stopped the scan.
    bool Take(const Chunk& c) {
        if (m_x == c.begin && c.decided == c.end) {  // the usual case: the chunk's path is the reference's
            if (!c.records.empty()) m_x = std::max(m_x, End(c.records.back()));
            if (m_x < c.end) m_x = c.end;
            return Deliver(c.records);
        }
        m_out.clear();
        m_passed = m_x - m_start;
        if (m_x < c.end) Follow(c);
        return Deliver(m_out);
    }

    // Just past the last record the caller took.
    std::uint64_t Last() const { return m_last; }

private:
    void Follow(const Chunk& c) {
        const std::vector<Record>& rs = c.records;
        const std::size_t n = rs.size();
        auto firstAtOrAfter = [&](std::uint64_t x) {
            return static_cast<std::size_t>(
                std::lower_bound(rs.begin(), rs.end(), x,
                                 [](const Record& r, std::uint64_t v) { return r.offset < v; }) -
                rs.begin());
        };
        std::size_t j = firstAtOrAfter(m_x);
        for (;;) {
            const std::uint64_t chunkPath = j == 0 ? c.begin : End(rs[j - 1]);
            if (chunkPath <= m_x) {  // the paths meet: the rest of the chunk's list is the reference's
                m_out.insert(m_out.end(), rs.begin() + static_cast<std::ptrdiff_t>(j), rs.end());
                if (j < n) m_x = End(rs[n - 1]);
                // Where the worker gave up, the join scans on itself.
                if (c.decided < c.end) ScanOn(c.end);
                break;
            }
            // Inside a record the chunk listed: search on from m_x itself, no
            // further than the chunk's next record.
            const std::uint64_t bound = j < n ? rs[j].offset : c.end;
            Record r;
            if (m_finder.Next(m_x, bound, m_sums, r)) {
                m_out.push_back(r);
                m_x = End(r);
                j = firstAtOrAfter(m_x);
            } else if (j < n) {
                m_x = rs[j].offset;  // the chunk's next record is the reference's too
            } else {
                break;
            }
        }
        if (m_x < c.end) m_x = c.end;
    }

    void ScanOn(std::uint64_t end) {
        Record r;
        for (; m_finder.Next(m_x, end, m_sums, r); m_x = End(r)) m_out.push_back(r);
    }

    bool Deliver(const std::vector<Record>& rs) {
        if (rs.empty()) return true;
        const std::size_t taken = std::min(m_fn(m_context, rs.data(), rs.size()), rs.size());
        if (taken != 0) m_last = End(rs[taken - 1]);
        return taken == rs.size();
    }

    const Finder& m_finder;
    const std::uint64_t m_start;
    std::uint64_t m_x;
    std::uint64_t m_last;
    // The join's own checksums: its queries come at increasing offsets over
    // the whole input, and their budget grows with the input passed.
    std::uint64_t m_passed = 0;
    PassSums m_sums{m_passed};
    RecordBatchFn m_fn;
    void* m_context;
    std::vector<Record> m_out;
};

}  // namespace
}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_SCAN_JOIN_H
