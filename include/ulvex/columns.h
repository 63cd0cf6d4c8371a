// ulvex::ReadColumns: the key=value entries of many records at once, as one
// typed column per key.
//
//     std::vector<ulvex::Record> records;
//     ulvex::Scan(ulvex::RecordForm::Binary, data, size, records);
//     const std::size_t n = records.size();
//     std::vector<unsigned char> present(n);
//     std::vector<double> values(n);
//     ulvex::Column column;
//     column.key = "temp";
//     column.keyLen = 4;
//     column.type = ulvex::ColumnType::Float64;
//     column.present = present.data();
//     column.values = values.data();
//     ulvex::ReadColumns(data, size, records.data(), n, &column, 1, ulvex::ColumnOptions(), nullptr);
//
// Entries. Row i of every column describes records[i]. A record's entries
// are read from its payload bytes exactly as
// CUlvexDataFormatter::FindInDataAllEntry reads them: every key is compared
// on all its bytes, a value ends at its entry's terminator (or where that
// reader's stop rule ends it) and is cut at its first zero byte, and when a
// key comes more than once in a payload its last value counts. A record that
// has no entry with a column's key is missing in that column.
//
// Numbers. A value is a number only when all its bytes are one of:
//   - a decimal integer: an optional '-' and the digits 0-9 (no '+', no
//     spaces, no digit grouping);
//   - a hexadecimal integer: "0x" and the digits 0-9, a-f or A-F, as
//     FormatDataHex writes it;
//   - a floating-point number as the float and double writers print it: an
//     optional '-', digits with an optional '.' and fraction digits (digits
//     on at least one side of the '.'), an optional exponent 'e' or 'E' with
//     an optional sign and digits; or "inf" or "nan" with an optional '-'.
// Floating-point text is rounded to the nearest double; beyond the largest
// double it is an infinity, below the smallest a zero of its sign. An integer
// is read exactly; as a Float64 it is rounded to the nearest double.
//
// Types, per column:
//   Int64, UInt64  integers that fit the type; other values are missing
//                  (ColumnOptions::raise makes them an error instead);
//   Float64        every number; other values are missing (or an error);
//   Str            the value's bytes, with whether they are well-formed UTF-8
//                  (no overlong forms, surrogates or code points above
//                  U+10FFFF; a caller that decodes can turn every other byte b
//                  into U+DC00 + b, as Python's "surrogateescape" does);
//   Bytes          the value's bytes;
//   Auto           over the values present in the column: Int64 if all are
//                  integers that fit, else UInt64 if all fit that, else
//                  Float64 if all are numbers, else Str. A column without any
//                  value is Str.
//
// Threads. ColumnOptions::threads splits the rows among threads; the columns
// filled, the types chosen and the error reported are the same for every
// thread count.
//
// The buffer and the caller's arrays are only touched through the pointers
// given; nothing is kept after a call returns.
#ifndef ULVEX_COLUMNS_H
#define ULVEX_COLUMNS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ulvex/export.h"
#include "ulvex/format.h"

namespace ulvex {

enum class ColumnType { Auto = 0, Int64 = 1, UInt64 = 2, Float64 = 3, Str = 4, Bytes = 5 };

// Bytes of the caller's buffer: a value or a key.
struct ByteSpan {
    std::uint64_t offset;  // first byte, from the start of the buffer
    std::uint32_t length;
    std::uint32_t utf8;  // 1 when the bytes are well-formed UTF-8 (see the column types for when it is set)
};

// One wanted key and the caller's arrays for its column, `count` rows each.
struct Column {
    Column()
        : key(nullptr),
          keyLen(0),
          type(ColumnType::Auto),
          present(nullptr),
          values(nullptr),
          spans(nullptr),
          resolved(ColumnType::Auto) {}

    const void* key;  // the key's bytes (any bytes, zero bytes included)
    std::size_t keyLen;
    ColumnType type;

    // Filled for every row: 1 where the record has the key and its value
    // belongs to the column (for a numeric type: parses as one), else 0.
    // Always needed.
    unsigned char* present;
    // 8 bytes per row, read as std::int64_t, std::uint64_t or double as
    // `resolved` says; filled where present (other rows are left 0). Needed
    // for Int64, UInt64, Float64 and Auto.
    void* values;
    // Each present row's value bytes (other rows: offset and length 0);
    // `utf8` is set for Str columns. Needed for Str, Bytes and Auto; for the
    // numeric types it may be null, or is filled likewise.
    ByteSpan* spans;

    // Out: the type of the column: `type`, or what Auto chose.
    ColumnType resolved;
};

struct ColumnOptions {
    ColumnOptions() : threads(1), raise(false) {}
    // Threads to read with: 0 for one per core, 1 for the calling thread only.
    unsigned threads;
    // A value that is not a number of its column's explicit numeric type
    // makes the call fail with ColumnStatus::BadValue, instead of leaving the
    // row missing.
    bool raise;
};

enum class ColumnStatus {
    Ok = 0,
    BadValue = 1,   // with ColumnOptions::raise: see ColumnError
    BadRecord = 2,  // a record's payload lies outside the buffer; nothing was read
    BadColumn = 3,  // an array a column's type needs is null; nothing was read
};

// The value that failed under ColumnOptions::raise: of all the failing values
// the one of the lowest row, and in that row of the lowest column index.
struct ColumnError {
    std::size_t column;  // index into the columns given
    std::size_t row;     // index into the records given
    ByteSpan value;
};

// Fills `columnCount` columns for the `count` records (as Scan lists them) of
// the `size` bytes at `data`. A key may be given for more than one column.
// `error` may be null. When the status is BadValue the columns hold what was
// read, unspecified. Throws std::bad_alloc when memory runs out and
// std::system_error when a thread cannot be started.
ULVEX_API ColumnStatus ReadColumns(const void* data, std::uint64_t size, const Record* records, std::size_t count,
                                   Column* columns, std::size_t columnCount, const ColumnOptions& options,
                                   ColumnError* error);

// ReadColumns, also counting in `*otherEntries` (when not null; set when the
// status is Ok) the entries whose key no column asked for: zero means the
// columns' keys are every key the records hold, so a caller that took the
// keys of a few records learns whether they were all.
ULVEX_API ColumnStatus ReadColumns(const void* data, std::uint64_t size, const Record* records, std::size_t count,
                                   Column* columns, std::size_t columnCount, const ColumnOptions& options,
                                   ColumnError* error, std::uint64_t* otherEntries);

// Appends to `keys` every distinct key of the records' entries, in the order
// first seen (records in order, each payload's entries in payload order), as
// the span of its first occurrence with `utf8` set. Returns false, with
// nothing appended, when a record's payload lies outside the buffer.
ULVEX_API bool ListKeys(const void* data, std::uint64_t size, const Record* records, std::size_t count,
                        std::vector<ByteSpan>& keys, unsigned threads = 1);

}  // namespace ulvex

#endif  // ULVEX_COLUMNS_H
