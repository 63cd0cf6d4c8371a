// One chunk's own scan: the records of the whole-input scan's rules among
// the positions of one chunk, each chunk scanned from its own first byte.
#ifndef ULVEX_SRC_SCAN_CHUNK_SCAN_H
#define ULVEX_SRC_SCAN_CHUNK_SCAN_H

#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "binary/binary_record.h"
#include "common/block_sums.h"
#include "text/text_record.h"
#include "ulvex/format.h"

namespace ulvex {
namespace detail {
// Included by the parallel scan (scan.cpp) alone: its own types.
namespace {

// Checksums for a worker's scan of one chunk. A worker never builds block
// sums: once its direct summing exceeds four times the chunk's length (plus
// 64 KiB), which only inputs built to make checksums expensive reach, it gives
// up with OverBudget and the join scans the rest of the chunk itself, with one
// table that serves the whole input in order. Tables of their own would make
// every chunk sum the same far-reaching payloads again.
struct OverBudget {};

class WorkerSums {
public:
    explicit WorkerSums(std::uint64_t length) : m_budget(4 * length + (1u << 16)) {}
    std::uint16_t Sum(const unsigned char* p, std::uint64_t, std::size_t n) {
        if (n >= BlockSums::kDirect) {
            m_work += n;
            if (m_work > m_budget) throw OverBudget();
        }
        return Checksum(p, n);
    }

private:
    std::uint64_t m_budget;
    std::uint64_t m_work = 0;
};

// A record's lengths are 32-bit: a header announcing a record longer than
// 4 GiB - 1 bytes is passed over like a damaged one. (Below 4 GiB no record
// can be that long.)
constexpr std::uint64_t kMaxBinaryPayload = kMaxRecordLength - kFrameSize;
constexpr std::uint64_t kMaxTextData = kMaxRecordLength - kTextHeaderSize - kTextFooterSize - kTextSeparatorSize;

// The first record of the form at a position in [from, stop) of the whole
// input; records may run past `stop`.
class Finder {
public:
    Finder(RecordForm form, const unsigned char* data, std::uint64_t size)
        : m_text(form == RecordForm::Text), m_data(data), m_size(size) {}

    template <class Sums>
    bool Next(std::uint64_t from, std::uint64_t stop, Sums& sums, Record& r) const {
        std::uint64_t pos = 0;
        if (m_text) {
            DirectText conv;
            TextFound found;
            if (!FindTextRecord(conv, m_data, m_size, from, stop, kMaxTextData, sums, pos, found)) return false;
            FillTextRecord(r, pos, found);
            return true;
        }
        std::uint32_t L = 0;
        if (!FindBinary<2>(m_data, m_size, from, stop, kMaxBinaryPayload, kHeaderStart, AnyName(), SameNameAsHeader(),
                           sums, pos, L))
            return false;
        FillBinaryRecord(r, pos, m_data + pos, L);
        return true;
    }

private:
    bool m_text;
    const unsigned char* m_data;
    std::uint64_t m_size;
};

std::uint64_t End(const Record& r) { return r.offset + r.recordLen; }

// One chunk's own scan: its records, and how far its path is decided (its
// end, or where the worker left the rest to the join). Each on a cache line
// of its own: a worker appending to its list writes the vector's end here,
// and neighbouring slots belong to other threads.
struct alignas(64) Chunk {
    std::uint64_t begin = 0, end = 0, decided = 0;
    std::vector<Record> records;
    std::exception_ptr error;
    bool ready = false;
};

// Appends the records of the scan from `begin` among positions below `end`;
// returns where the scan's path is decided to.
template <class Sums>
std::uint64_t ScanRange(const Finder& finder, std::uint64_t begin, std::uint64_t end, Sums& sums,
                        std::vector<Record>& out) {
    Record r;
    std::uint64_t x = begin;
    try {
        for (; finder.Next(x, end, sums, r); x = End(r)) out.push_back(r);
    } catch (const OverBudget&) {
        return x;  // nothing from x on is decided
    }
    return end;
}

void ScanChunk(const Finder& finder, Chunk& c) {
    WorkerSums sums(c.end - c.begin);
    c.decided = ScanRange(finder, c.begin, c.end, sums, c.records);
}

}  // namespace
}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_SCAN_CHUNK_SCAN_H
