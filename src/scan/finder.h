// The next record of either form in a range of a whole input, as a plain
// ulvex::Record: the step that every any-size scan repeats.
#ifndef ULVEX_SRC_SCAN_FINDER_H
#define ULVEX_SRC_SCAN_FINDER_H

#include <cstdint>
#include <cstring>

#include "binary/binary_record.h"
#include "text/text_record.h"
#include "ulvex/scan.h"

namespace ulvex {
namespace detail {

// A record's lengths are 32-bit: a header announcing a record longer than
// 4 GiB - 1 bytes is passed over like a damaged one.
constexpr std::uint64_t kMaxRangePayload = 0xFFFFFFFFull - kFrameSize;
constexpr std::uint64_t kMaxRangeTextData = 0xFFFFFFFFull - kTextHeaderSize - kTextFooterSize - kTextSeparatorSize;

// The first record of the form at a position in [from, stop) of the whole
// input; records may run past `stop`.
class RangeFinder {
public:
    RangeFinder(RecordForm form, const unsigned char* data, std::uint64_t size)
        : m_text(form == RecordForm::Text), m_data(data), m_size(size) {}

    template <class Sums>
    bool Next(std::uint64_t from, std::uint64_t stop, Sums& sums, Record& r) const {
        std::uint64_t pos = 0;
        if (m_text) {
            DirectText conv;
            TextFound found;
            if (!FindTextRecord(conv, m_data, m_size, from, stop, kMaxRangeTextData, sums, pos, found)) return false;
            r.offset = pos;
            r.payloadOffset = pos + kTextHeaderSize + kTextSeparatorSize;
            r.payloadLen = found.L - kTextSeparatorSize;
            r.recordLen = found.L + kTextHeaderSize + kTextFooterSize;
            std::memcpy(r.name, found.name, 4);
            r.version = found.version;
            return true;
        }
        std::uint32_t L = 0;
        if (!FindBinary<2>(m_data, m_size, from, stop, kMaxRangePayload, kHeaderStart, AnyName(), SameNameAsHeader(),
                           sums, pos, L))
            return false;
        const unsigned char* h = m_data + pos;
        r.offset = pos;
        r.payloadOffset = pos + kHeaderSize;
        r.payloadLen = L;
        r.recordLen = L + kFrameSize;
        std::memcpy(r.name, h + 2, 4);
        r.version = h[10];
        return true;
    }

private:
    bool m_text;
    const unsigned char* m_data;
    std::uint64_t m_size;
};

inline std::uint64_t RecordEnd(const Record& r) { return r.offset + r.recordLen; }

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_SCAN_FINDER_H
