// Records._keys and Records._columns: the entries of the records as columns,
// read by ulvex::ReadColumns with the GIL released. The Python layer
// (ulvex/_table.py) names the columns and builds table() and to_pandas().
#include <pybind11/numpy.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "arguments.h"
#include "bindings.h"
#include "records.h"
#include "ulvex/columns.h"

namespace ulvex_py {
namespace {

using ulvex::ByteSpan;
using ulvex::ColumnType;

const char* const kTypeNames[] = {"auto", "int64", "uint64", "float64", "str", "bytes"};

// The length of the buffer the records were found in (its capsule holds the view).
std::uint64_t BufferSize(const RecordList& l) {
    const auto* view =
        static_cast<const Py_buffer*>(PyCapsule_GetPointer(l.owner.ptr(), PyCapsule_GetName(l.owner.ptr())));
    if (view == nullptr) throw py::error_already_set();
    return static_cast<std::uint64_t>(view->len);
}

unsigned Threads(py::handle threads) {
    return static_cast<unsigned>(IntInRange(threads, 0, kMaxScanThreads, "threads"));
}

// Python objects for byte strings, each distinct one made once while the
// cache has room: captures repeat their names and values. An open-addressed
// table (a power of two of slots, at most half used, growing to a bound)
// keyed by the bytes, which stay in the caller's buffer for the cache's life.
class ObjectCache {
public:
    explicit ObjectCache(bool text) : m_text(text), m_slots(64) {}
    ~ObjectCache() {
        for (const Slot& s : m_slots) Py_XDECREF(s.object);
    }
    // A new reference, or null with an exception set.
    PyObject* Get(const unsigned char* p, std::size_t n) {
        if (m_last != nullptr && m_last->len == n && std::memcmp(m_last->bytes, p, n) == 0) {
            Py_INCREF(m_last->object);  // runs of one value (names of one record kind)
            return m_last->object;
        }
        const std::uint64_t h = Hash(p, n);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = static_cast<std::size_t>(h) & mask;; i = (i + 1) & mask) {
            Slot& s = m_slots[i];
            if (s.object == nullptr) break;
            if (s.hash == h && s.len == n && std::memcmp(s.bytes, p, n) == 0) {
                m_last = &s;
                Py_INCREF(s.object);
                return s.object;
            }
        }
        PyObject* o = m_text ? PyUnicode_DecodeUTF8(reinterpret_cast<const char*>(p), static_cast<Py_ssize_t>(n),
                                                    "surrogateescape")
                             : PyBytes_FromStringAndSize(reinterpret_cast<const char*>(p), static_cast<Py_ssize_t>(n));
        if (o != nullptr && m_used < kMaxSlots / 2) {
            if (2 * (m_used + 1) > m_slots.size()) Grow();
            Py_INCREF(o);
            Place(Slot{p, n, h, o});
            ++m_used;
        }
        return o;
    }
    ObjectCache(const ObjectCache&) = delete;
    ObjectCache& operator=(const ObjectCache&) = delete;

private:
    static constexpr std::size_t kMaxSlots = 1 << 17;
    struct Slot {
        const unsigned char* bytes = nullptr;
        std::size_t len = 0;
        std::uint64_t hash = 0;
        PyObject* object = nullptr;
    };
    static std::uint64_t Hash(const unsigned char* p, std::size_t n) {
        std::uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
        for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
        return h ^ (h >> 29);
    }
    void Place(const Slot& s) {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t i = static_cast<std::size_t>(s.hash) & mask;
        while (m_slots[i].object != nullptr) i = (i + 1) & mask;
        m_slots[i] = s;
    }
    void Grow() {
        std::vector<Slot> old(2 * m_slots.size());
        old.swap(m_slots);
        for (const Slot& s : old)
            if (s.object != nullptr) Place(s);
        m_last = nullptr;
    }
    bool m_text;
    std::vector<Slot> m_slots;
    std::size_t m_used = 0;
    const Slot* m_last = nullptr;  // the slot last found
};

// An object array of `n` rows: `make(i)` for each row, None where absent.
template <class Make>
py::array Objects(std::size_t n, const unsigned char* present, Make make) {
    py::array out = py::module_::import("numpy").attr("empty")(n, "object");  // filled with None
    auto** cells = static_cast<PyObject**>(out.mutable_data());
    for (std::size_t i = 0; i < n; ++i) {
        if (present != nullptr && !present[i]) continue;
        PyObject* o = make(i);
        if (o == nullptr) throw py::error_already_set();
        Py_DECREF(cells[i]);
        cells[i] = o;
    }
    return out;
}

// The keys of the first `limit` records (all of them when None).
py::list Keys(const RecordList& l, py::handle threads, py::handle limit) {
    std::vector<ByteSpan> keys;
    {
        const unsigned t = Threads(threads);
        const std::uint64_t size = BufferSize(l);
        const std::size_t n =
            limit.is_none() ? l.records.size()
                            : std::min<std::size_t>(l.records.size(),
                                                    static_cast<std::size_t>(IntInRange(limit, 0, LLONG_MAX, "limit")));
        py::gil_scoped_release nogil;
        ulvex::ListKeys(l.data, size, l.records.data(), n, keys, t);
    }
    py::list out;
    for (const ByteSpan& k : keys) out.append(py::bytes(reinterpret_cast<const char*>(l.data + k.offset), k.length));
    return out;
}

// (offset, name, version, payload_len, [(type, values, present) per key],
// the number of entries whose key is none of `keys`).
py::tuple Columns(const RecordList& l, const py::list& keys, const py::list& types, bool raise, py::handle threads) {
    const std::size_t n = l.records.size(), count = keys.size();
    if (types.size() != count) throw py::value_error("one type per key");
    std::vector<std::string> keyBytes(count);
    std::vector<ulvex::Column> cols(count);
    std::vector<py::array_t<bool>> present(count);
    std::vector<py::array_t<std::int64_t>> values(count);
    // Left unset: ReadColumns fills every row.
    std::vector<std::unique_ptr<ByteSpan[]>> spans(count);
    for (std::size_t c = 0; c < count; ++c) {
        keyBytes[c] = BytesOrStr(keys[c], "key");
        const auto type = static_cast<ColumnType>(IntInRange(types[c], 0, 5, "type"));
        present[c] = py::array_t<bool>(static_cast<py::ssize_t>(n));
        cols[c].key = keyBytes[c].data();
        cols[c].keyLen = keyBytes[c].size();
        cols[c].type = type;
        cols[c].present = reinterpret_cast<unsigned char*>(present[c].mutable_data());
        if (type != ColumnType::Str && type != ColumnType::Bytes) {
            values[c] = py::array_t<std::int64_t>(static_cast<py::ssize_t>(n));
            cols[c].values = values[c].mutable_data();
        }
        if (type == ColumnType::Str || type == ColumnType::Bytes || type == ColumnType::Auto) {
            spans[c].reset(new ByteSpan[n]);
            cols[c].spans = spans[c].get();
        }
    }
    ulvex::ColumnOptions options;
    options.threads = Threads(threads);
    options.raise = raise;
    ulvex::ColumnError error{};
    ulvex::ColumnStatus status;
    std::uint64_t others = 0;
    const std::uint64_t size = BufferSize(l);
    {
        py::gil_scoped_release nogil;
        status = ulvex::ReadColumns(l.data, size, l.records.data(), n, cols.data(), count, options, &error, &others);
    }
    if (status == ulvex::ColumnStatus::BadValue) {
        const ByteSpan v = error.value;
        const py::bytes key(keyBytes[error.column]), value(reinterpret_cast<const char*>(l.data + v.offset), v.length);
        throw py::value_error("key " + std::string(py::repr(key)) + ": the value " + std::string(py::repr(value)) +
                              " of the record at offset " + std::to_string(l.records[error.row].offset) + " is not " +
                              kTypeNames[static_cast<int>(cols[error.column].type)]);
    }
    if (status != ulvex::ColumnStatus::Ok) throw std::logic_error("ulvex: columns could not be read");

    py::list entryColumns;
    for (std::size_t c = 0; c < count; ++c) {
        const ColumnType t = cols[c].resolved;
        py::object data;
        if (t == ColumnType::Str || t == ColumnType::Bytes) {
            ObjectCache cache(t == ColumnType::Str);
            const ByteSpan* s = spans[c].get();
            data = Objects(n, cols[c].present,
                           [&](std::size_t i) { return cache.Get(l.data + s[i].offset, s[i].length); });
        } else {
            data = values[c].attr("view")(t == ColumnType::Int64    ? "int64"
                                          : t == ColumnType::UInt64 ? "uint64"
                                                                    : "float64");
        }
        entryColumns.append(py::make_tuple(kTypeNames[static_cast<int>(t)], data, present[c]));
    }
    // The record columns.
    py::array_t<std::uint64_t> offset(static_cast<py::ssize_t>(n));
    py::array_t<std::uint8_t> version(static_cast<py::ssize_t>(n));
    py::array_t<std::uint32_t> payloadLen(static_cast<py::ssize_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
        offset.mutable_data()[i] = l.records[i].offset;
        version.mutable_data()[i] = l.records[i].version;
        payloadLen.mutable_data()[i] = l.records[i].payloadLen;
    }
    ObjectCache names(true);
    py::array name = Objects(n, nullptr, [&](std::size_t i) {
        const unsigned char* nb = l.records[i].name;
        return names.Get(nb, ulvex::NameLength(nb));
    });
    return py::make_tuple(offset, name, version, payloadLen, entryColumns, others);
}

}  // namespace

void AddColumns(py::module_& m) {
    py::class_<RecordList> records = m.attr("Records");
    records.def(
        "_keys", [](const RecordList& l, py::handle threads, py::handle limit) { return Keys(l, threads, limit); },
        py::arg("threads"), py::arg("limit") = py::none(),
        "_keys(threads, limit=None) -> list[bytes]: every entry key of the first `limit` records (all when None), "
        "in the order first seen.");
    records.def(
        "_columns",
        [](const RecordList& l, const py::list& keys, const py::list& types, bool raise, py::handle threads) {
            return Columns(l, keys, types, raise, threads);
        },
        py::arg("keys"), py::arg("types"), py::arg("raise_"), py::arg("threads"),
        "_columns(keys, types, raise_, threads): the record columns, one (type, values, present) per key, and the "
        "number of entries whose key is none of keys; "
        "types are codes 0-5 (auto, int64, uint64, float64, str, bytes). Table() and to_pandas() build on it.");
}

}  // namespace ulvex_py
