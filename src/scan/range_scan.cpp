// ScanRange and JoinRange: byte ranges of one input scanned apart and joined
// into the listing of one scan over the whole input.
//
// A range's local path passes through its first byte and the end of each
// record it lists. A position x that lies in a gap of that path (at or after
// one of those positions and not past the next local record's start) leads
// the scan from x to the same next record, and from there on the two paths
// are one. Any other x lies strictly inside a local record; the join then
// scans from x itself, no further than the next local record (which is valid,
// so the scan from x stops there at the latest), and looks again from the end
// of what it found.
#include "ulvex/range_scan.h"

#include <algorithm>

#include "common/block_sums.h"
#include "scan/chunk_scan.h"

namespace ulvex {

std::uint64_t ScanRange(RecordForm form, const void* data, std::uint64_t size, std::uint64_t entry, std::uint64_t end,
                        std::vector<Record>& records) {
    end = std::min(end, size);
    if (entry >= end) return entry;
    const detail::Finder finder(form, static_cast<const unsigned char*>(data), size);
    // Direct summing is budgeted on the range's length; beyond it the sums
    // come from a block table built once for the call.
    const std::uint64_t passed = end - entry;
    detail::PassSums sums(passed);
    Record r;
    std::uint64_t x = entry;
    for (; finder.Next(x, end, sums, r); x = detail::End(r)) records.push_back(r);
    return std::max(x, end);
}

std::uint64_t JoinRange(RecordForm form, const void* data, std::uint64_t size, std::uint64_t begin, std::uint64_t end,
                        const Record* local, std::size_t count, std::uint64_t entry, std::vector<Record>& head,
                        std::size_t& from) {
    using detail::End;
    end = std::min(end, size);
    from = count;
    const detail::Finder finder(form, static_cast<const unsigned char*>(data), size);
    const std::uint64_t passed = end > begin ? end - begin : 0;
    detail::PassSums sums(passed);
    std::uint64_t x = std::max(entry, begin);
    while (x < end) {
        const std::size_t j = static_cast<std::size_t>(
            std::lower_bound(local, local + count, x, [](const Record& r, std::uint64_t v) { return r.offset < v; }) -
            local);
        const std::uint64_t localPath = j == 0 ? begin : End(local[j - 1]);
        if (localPath <= x) {  // the paths meet: the rest of the local list is the true one
            from = j;
            if (j < count) x = std::max(x, End(local[count - 1]));
            break;
        }
        const std::uint64_t bound = j < count ? local[j].offset : end;
        Record r;
        if (finder.Next(x, bound, sums, r)) {
            head.push_back(r);
            x = End(r);
        } else {
            x = bound;  // the next local record is the path's next one too
        }
    }
    return std::max(x, end);
}

}  // namespace ulvex
