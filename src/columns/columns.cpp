// ulvex::ReadColumns: entries of many records as typed columns.
//
// Each range of rows is read on its own: the payload's entries are walked by
// the formatter's own entry walker, each key is matched to its column (first
// against the key that stood at the same place in the previous payload, then
// through a hash table), and once the payload is done the last value of each
// matched key is converted. Auto columns keep, per row, what kind of number
// the value is (in `present`) and its bits; when all ranges are done the kinds
// seen decide the type, and a second pass over the rows settles the values.
#include "ulvex/columns.h"

#include <cstring>
#include <vector>

#include "columns/key_table.h"
#include "columns/number.h"
#include "columns/row_ranges.h"
#include "columns/utf8.h"
#include "formatter/entry_reader.h"

namespace ulvex {
namespace detail {
namespace {

// The code an Auto column's `present` holds for a value that is no number
// (missing rows keep 0; numbers hold their NumberKind).
const unsigned char kText = 5;

bool ColumnUsable(const Column& c) {
    const bool numeric = c.type == ColumnType::Int64 || c.type == ColumnType::UInt64 || c.type == ColumnType::Float64;
    const bool text = c.type == ColumnType::Str || c.type == ColumnType::Bytes;
    if (c.present == nullptr || (c.keyLen != 0 && c.key == nullptr)) return false;
    if (numeric) return c.values != nullptr;
    if (text) return c.spans != nullptr;
    return c.type == ColumnType::Auto && c.values != nullptr && c.spans != nullptr;
}

struct Job {
    const unsigned char* data;
    const unsigned char* end;  // of the buffer
    const Record* records;
    Column* columns;
    std::size_t columnCount;
    KeyTable keys;                    // key -> its first column
    std::vector<std::uint32_t> next;  // column -> the next column with the same key, or kNone
    bool raise;
    bool countOthers;  // whether RangeResult::others is wanted
};

struct RangeResult {
    std::vector<unsigned char> kinds;  // per column: bit k set when an Auto value of code k was seen
    std::uint64_t others = 0;          // entries whose key is no column's
    bool failed = false;
    ColumnError error{};
};

void Store(void* values, std::size_t row, std::uint64_t bits) {
    std::memcpy(static_cast<unsigned char*>(values) + 8 * row, &bits, 8);
}

// Converts the `len` bytes at `v`, the value of column `c` in `row`; false
// when they do not belong to an explicit numeric type.
bool Convert(const Job& job, std::size_t c, std::size_t row, const unsigned char* v, std::size_t len,
             RangeResult& out) {
    Column& col = job.columns[c];
    ByteSpan span{static_cast<std::uint64_t>(v - job.data), static_cast<std::uint32_t>(len), 0};
    Number x{kNotNumber, 0};
    switch (col.type) {
        case ColumnType::Str:
            span.utf8 = WellFormedUtf8(v, span.length) ? 1 : 0;
            break;
        case ColumnType::Bytes:
            break;
        case ColumnType::Auto:
            x = ParseNumber(v, span.length, job.end);
            col.present[row] = x.kind == kNotNumber ? kText : static_cast<unsigned char>(x.kind);
            // Settled here while the bytes are at hand, in case the column
            // becomes Str (numbers are ASCII).
            span.utf8 = x.kind != kNotNumber || WellFormedUtf8(v, span.length) ? 1 : 0;
            out.kinds[c] = static_cast<unsigned char>(out.kinds[c] | 1u << col.present[row]);
            Store(col.values, row, x.bits);
            col.spans[row] = span;
            return true;
        case ColumnType::Int64:
            x = ParseNumber(v, span.length, job.end);
            if (x.kind != kNegative && x.kind != kSmall) return false;
            Store(col.values, row, x.bits);
            break;
        case ColumnType::UInt64:
            x = ParseNumber(v, span.length, job.end);
            if (x.kind != kSmall && x.kind != kLarge) return false;
            Store(col.values, row, x.bits);
            break;
        case ColumnType::Float64: {
            x = ParseNumber(v, span.length, job.end);
            if (x.kind == kNotNumber) return false;
            const double d = AsDouble(x);
            std::memcpy(static_cast<unsigned char*>(col.values) + 8 * row, &d, 8);
            break;
        }
    }
    col.present[row] = 1;
    if (col.spans != nullptr) col.spans[row] = span;
    return true;
}

void Missing(const Column& col, std::size_t row) {
    col.present[row] = 0;
    if (col.values != nullptr) Store(col.values, row, 0);
    if (col.spans != nullptr) col.spans[row] = ByteSpan{0, 0, 0};
}

// A key seen at some entry position of the previous payload, and its column.
struct Hint {
    const unsigned char* key = nullptr;
    std::size_t len = 0;
    std::uint32_t column = KeyTable::kNone;
};

// The last value of a column's key in the row being read.
struct Seen {
    std::size_t row = ~std::size_t(0);
    const unsigned char* value = nullptr;
    std::size_t len = 0;
};

void ReadRange(const Job& job, std::size_t begin, std::size_t end, RangeResult& out) {
    out.kinds.assign(job.columnCount, 0);
    if (job.columnCount == 0 && !job.countOthers) return;
    std::vector<Seen> seen(job.columnCount);
    Hint hints[64];
    const std::size_t size = static_cast<std::size_t>(job.end - job.data);
    std::uint64_t others = 0;  // a local, kept in a register
    for (std::size_t row = begin; row < end; ++row) {
        const Record& r = job.records[row];
        std::size_t entry = 0;
        ForEachEntry(job.data + r.payloadOffset, r.payloadLen, size - r.payloadOffset,
                     [&](const unsigned char* k, std::size_t kLen, const unsigned char* v, std::size_t vLen) {
                         std::uint32_t c;
                         Hint* h = entry < 64 ? &hints[entry] : nullptr;
                         ++entry;
                         if (h != nullptr && h->len == kLen && SameKey(h->key, k, kLen, job.end)) {
                             c = h->column;
                         } else {
                             c = job.keys.Find(k, kLen);
                             if (h != nullptr) *h = Hint{k, kLen, c};
                         }
                         others += c == KeyTable::kNone ? 1 : 0;
                         for (; c != KeyTable::kNone; c = job.next[c]) {
                             seen[c].row = row;
                             seen[c].value = v;
                             seen[c].len = vLen;
                         }
                     });
        // Columns in order, so that the first failure of a row is its lowest column's.
        for (std::size_t c = 0; c < job.columnCount; ++c) {
            const Seen& s = seen[c];
            if (s.row == row && Convert(job, c, row, s.value, s.len, out)) continue;
            Missing(job.columns[c], row);
            if (s.row != row || !job.raise || out.failed) continue;
            out.failed = true;
            out.error = ColumnError{
                c, row, ByteSpan{static_cast<std::uint64_t>(s.value - job.data), static_cast<std::uint32_t>(s.len), 0}};
        }
        if (out.failed) return;
    }
    out.others = others;
}

// The type an Auto column takes from the codes of its values.
ColumnType AutoType(unsigned kinds) {
    if (kinds == 0 || (kinds & 1u << kText) != 0) return ColumnType::Str;
    if ((kinds & ~(1u << kNegative | 1u << kSmall)) == 0) return ColumnType::Int64;
    if ((kinds & ~(1u << kSmall | 1u << kLarge)) == 0) return ColumnType::UInt64;
    return ColumnType::Float64;
}

// Settles an Auto column's rows once its type is known.
void SettleRange(const Column& col, std::size_t begin, std::size_t end) {
    if (col.resolved == ColumnType::Float64)
        for (std::size_t row = begin; row < end; ++row) {
            const unsigned char code = col.present[row];
            if (code == 0 || code == kFloat) continue;
            std::uint64_t bits;
            std::memcpy(&bits, static_cast<unsigned char*>(col.values) + 8 * row, 8);
            const double d = AsDouble(Number{static_cast<NumberKind>(code), bits});
            std::memcpy(static_cast<unsigned char*>(col.values) + 8 * row, &d, 8);
        }
    for (std::size_t row = begin; row < end; ++row) col.present[row] = col.present[row] != 0 ? 1 : 0;
}

}  // namespace
}  // namespace detail

ColumnStatus ReadColumns(const void* data, std::uint64_t size, const Record* records, std::size_t count,
                         Column* columns, std::size_t columnCount, const ColumnOptions& options, ColumnError* error) {
    return ReadColumns(data, size, records, count, columns, columnCount, options, error, nullptr);
}

ColumnStatus ReadColumns(const void* data, std::uint64_t size, const Record* records, std::size_t count,
                         Column* columns, std::size_t columnCount, const ColumnOptions& options, ColumnError* error,
                         std::uint64_t* otherEntries) {
    using namespace detail;
    if (!PayloadsInside(size, records, count)) return ColumnStatus::BadRecord;
    for (std::size_t c = 0; c < columnCount; ++c)
        if (!ColumnUsable(columns[c])) return ColumnStatus::BadColumn;
    Job job;
    job.data = static_cast<const unsigned char*>(data);
    job.end = job.data + size;
    job.records = records;
    job.columns = columns;
    job.columnCount = columnCount;
    job.raise = options.raise;
    job.countOthers = otherEntries != nullptr;
    job.next.assign(columnCount, KeyTable::kNone);
    std::vector<std::uint32_t> lastOfKey(columnCount, KeyTable::kNone);
    for (std::size_t c = 0; c < columnCount; ++c) {
        columns[c].resolved = columns[c].type;
        const auto k = static_cast<std::uint32_t>(c);
        const std::uint32_t first =
            job.keys.Insert(static_cast<const unsigned char*>(columns[c].key), columns[c].keyLen, k);
        if (first != k) job.next[lastOfKey[first]] = k;
        lastOfKey[first] = k;
    }

    const std::size_t ranges = RangeCount(count, options.threads);
    std::vector<RangeResult> results(ranges);
    ForEachRange(count, ranges, options.threads,
                 [&](std::size_t i, std::size_t b, std::size_t e) { ReadRange(job, b, e, results[i]); });
    if (otherEntries != nullptr) {
        *otherEntries = 0;
        for (const RangeResult& r : results) *otherEntries += r.others;
    }
    for (const RangeResult& r : results) {
        if (!r.failed) continue;
        if (error != nullptr) *error = r.error;
        return ColumnStatus::BadValue;
    }
    std::vector<const Column*> autos;
    for (std::size_t c = 0; c < columnCount; ++c) {
        if (columns[c].type != ColumnType::Auto) continue;
        unsigned kinds = 0;
        for (const RangeResult& r : results) kinds |= r.kinds[c];
        columns[c].resolved = AutoType(kinds);
        autos.push_back(&columns[c]);
    }
    if (!autos.empty())
        ForEachRange(count, ranges, options.threads, [&](std::size_t, std::size_t b, std::size_t e) {
            for (const Column* col : autos) SettleRange(*col, b, e);
        });
    return ColumnStatus::Ok;
}

}  // namespace ulvex
