// ulvex::ListKeys: the distinct entry keys of many records, in the order first
// seen. Each range of rows lists its own keys in order; the lists are joined
// in range order, keeping each key's first occurrence.
#include <cstring>
#include <vector>

#include "columns/key_table.h"
#include "columns/row_ranges.h"
#include "columns/utf8.h"
#include "formatter/entry_reader.h"
#include "ulvex/columns.h"

namespace ulvex {

bool ListKeys(const void* data, std::uint64_t size, const Record* records, std::size_t count,
              std::vector<ByteSpan>& keys, unsigned threads) {
    using namespace detail;
    if (!PayloadsInside(size, records, count)) return false;
    const unsigned char* d = static_cast<const unsigned char*>(data);
    const std::size_t ranges = RangeCount(count, threads);
    std::vector<std::vector<ByteSpan>> found(ranges);
    ForEachRange(count, ranges, threads, [&](std::size_t i, std::size_t begin, std::size_t end) {
        KeyTable seen;
        // The key at each of the first entry positions of the previous
        // payload: payloads of one kind repeat their keys in order.
        std::vector<ByteSpan> previous(64, ByteSpan{0, 0, 0});
        for (std::size_t row = begin; row < end; ++row) {
            const Record& r = records[row];
            std::size_t entry = 0;
            ForEachEntry(d + r.payloadOffset, r.payloadLen, size - r.payloadOffset,
                         [&](const unsigned char* k, std::size_t kLen, const unsigned char*, std::size_t) {
                             ByteSpan* p = entry < previous.size() ? &previous[entry] : nullptr;
                             ++entry;
                             if (p != nullptr && p->length == kLen && SameKey(d + p->offset, k, kLen, d + size)) return;
                             if (p != nullptr)
                                 *p = ByteSpan{static_cast<std::uint64_t>(k - d), static_cast<std::uint32_t>(kLen), 0};
                             const auto next = static_cast<std::uint32_t>(found[i].size());
                             if (seen.Insert(k, kLen, next) == next)
                                 found[i].push_back(
                                     ByteSpan{static_cast<std::uint64_t>(k - d), static_cast<std::uint32_t>(kLen), 0});
                         });
        }
    });
    KeyTable all;
    const std::size_t first = keys.size();
    for (const std::vector<ByteSpan>& list : found)
        for (const ByteSpan& s : list) {
            const auto next = static_cast<std::uint32_t>(keys.size() - first);
            if (all.Insert(d + s.offset, s.length, next) == next) keys.push_back(s);
        }
    for (std::size_t i = first; i < keys.size(); ++i)
        keys[i].utf8 = WellFormedUtf8(d + keys[i].offset, keys[i].length) ? 1 : 0;
    return true;
}

}  // namespace ulvex
