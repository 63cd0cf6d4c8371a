// Records[...] with a slice, a boolean mask or an array of indexes: a new
// Records over the same buffer (the records are copied, the buffer is not).
#include <pybind11/numpy.h>

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bindings.h"
#include "records.h"

namespace ulvex_py {
namespace {

py::object Select(const RecordList& from, const std::vector<std::size_t>& rows) {
    std::vector<ulvex::Record> picked(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) picked[i] = from.records[rows[i]];
    std::unique_ptr<RecordList> list(new RecordList);
    list->owner = from.owner;
    list->data = from.data;
    if (!list->records.Append(picked.data(), picked.size())) throw std::bad_alloc();
    return py::cast(list.release(), py::return_value_policy::take_ownership);
}

py::object SelectSlice(const RecordList& from, const py::slice& s) {
    py::ssize_t start = 0, stop = 0, step = 0, length = 0;
    if (!s.compute(static_cast<py::ssize_t>(from.records.size()), &start, &stop, &step, &length))
        throw py::error_already_set();
    std::vector<std::size_t> rows(static_cast<std::size_t>(length));
    for (std::size_t i = 0; i < rows.size(); ++i, start += step) rows[i] = static_cast<std::size_t>(start);
    return Select(from, rows);
}

// A boolean mask of len(records), or integer indexes as numpy reads them.
py::object SelectArray(const RecordList& from, py::handle index) {
    const py::array a = py::module_::import("numpy").attr("asarray")(index);
    const auto n = static_cast<long long>(from.records.size());
    const char kind = a.dtype().kind();
    std::vector<std::size_t> rows;
    if (kind == 'b') {
        if (a.ndim() != 1 || a.shape(0) != n)
            throw py::index_error("a boolean mask must be one-dimensional with one value per record (" +
                                  std::to_string(n) + ")");
        const py::array_t<bool, py::array::forcecast> mask(a);
        const bool* m = mask.data();
        for (std::size_t i = 0; i < from.records.size(); ++i)
            if (m[i]) rows.push_back(i);
    } else if (kind == 'i' || kind == 'u' || (a.size() == 0 && a.ndim() == 1)) {
        if (a.ndim() != 1) throw py::index_error("an index array must be one-dimensional");
        const py::array_t<long long, py::array::forcecast> idx(a);
        rows.resize(static_cast<std::size_t>(idx.size()));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            long long k = idx.data()[i];
            if (kind == 'u' && k < 0) k = n;  // beyond int64: out of range
            if (k < 0) k += n;
            if (k < 0 || k >= n) throw py::index_error("record index out of range");
            rows[i] = static_cast<std::size_t>(k);
        }
    } else {
        throw py::type_error("Records indexes are an int, a slice, a boolean mask or an integer array, not " +
                             std::string(Py_TYPE(index.ptr())->tp_name));
    }
    return Select(from, rows);
}

}  // namespace

void AddSelection(py::module_& m) {
    py::class_<RecordList> records = m.attr("Records");
    records.def(
        "__getitem__",
        [](const RecordList& l, py::handle index) {
            if (PySlice_Check(index.ptr())) return SelectSlice(l, py::reinterpret_borrow<py::slice>(index));
            // An integer reaches here only when it is beyond 64 bits.
            if (PyLong_Check(index.ptr())) throw py::index_error("record index out of range");
            return SelectArray(l, index);
        },
        py::arg("index"));
}

}  // namespace ulvex_py
