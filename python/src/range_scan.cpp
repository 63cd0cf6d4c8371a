// scan_range() and join_range(): byte ranges of one buffer scanned apart and
// joined into the listing of the whole buffer, for tasks that each read one
// range (ulvex.dask).
#include <pybind11/numpy.h>

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "bindings.h"
#include "buffer.h"
#include "records.h"
#include "ulvex/range_scan.h"

namespace ulvex_py {
namespace {

ulvex::RecordForm FormOf(bool text) { return text ? ulvex::RecordForm::Text : ulvex::RecordForm::Binary; }

// A Records over `found`, holding the buffer `list` holds.
py::object ToRecords(std::unique_ptr<RecordList>& list, const std::vector<ulvex::Record>& found) {
    if (!list->records.Append(found.data(), found.size())) throw std::bad_alloc();
    return py::cast(list.release(), py::return_value_policy::take_ownership);
}

std::uint64_t HoldRange(std::unique_ptr<RecordList>& list, py::handle data, std::uint64_t begin, std::uint64_t end) {
    std::uint64_t size = 0;
    list->owner = HoldBuffer(data, list->data, size);
    if (begin > end || end > size) throw py::value_error("the range must satisfy 0 <= begin <= end <= len(data)");
    return size;
}

py::tuple ScanRangeData(py::handle data, std::uint64_t begin, std::uint64_t end, py::handle entry, bool text) {
    std::unique_ptr<RecordList> list(new RecordList);
    const std::uint64_t size = HoldRange(list, data, begin, end);
    const std::uint64_t from = entry.is_none() ? begin : entry.cast<std::uint64_t>();
    if (from < begin) throw py::value_error("entry must not lie before begin");
    std::vector<ulvex::Record> found;
    std::uint64_t exit = 0;
    {
        py::gil_scoped_release nogil;
        exit = ulvex::ScanRange(FormOf(text), list->data, size, from, end, found);
    }
    py::object records = ToRecords(list, found);
    return py::make_tuple(records, exit);
}

using U64Array = py::array_t<std::uint64_t, py::array::c_style | py::array::forcecast>;
using U32Array = py::array_t<std::uint32_t, py::array::c_style | py::array::forcecast>;

py::tuple JoinRangeData(py::handle data, std::uint64_t begin, std::uint64_t end, std::uint64_t entry,
                        const U64Array& offsets, const U32Array& lengths, bool text) {
    if (offsets.ndim() != 1 || lengths.ndim() != 1 || offsets.size() != lengths.size()) {
        throw py::value_error("offsets and record_lens must be 1-D arrays of one length");
    }
    if (entry < begin) throw py::value_error("entry must not lie before begin");
    std::unique_ptr<RecordList> list(new RecordList);
    const std::uint64_t size = HoldRange(list, data, begin, end);
    std::vector<ulvex::Record> local(static_cast<std::size_t>(offsets.size())), head;
    for (std::size_t i = 0; i < local.size(); ++i) {
        local[i].offset = offsets.at(static_cast<py::ssize_t>(i));
        local[i].recordLen = lengths.at(static_cast<py::ssize_t>(i));
    }
    std::size_t from = 0;
    std::uint64_t exit = 0;
    {
        py::gil_scoped_release nogil;
        exit =
            ulvex::JoinRange(FormOf(text), list->data, size, begin, end, local.data(), local.size(), entry, head, from);
    }
    py::object records = ToRecords(list, head);
    return py::make_tuple(records, from, exit);
}

}  // namespace

void AddRangeScan(py::module_& m) {
    m.def(
        "scan_range",
        [](py::handle data, std::uint64_t begin, std::uint64_t end, py::handle entry, bool text) {
            return ScanRangeData(data, begin, end, entry, text);
        },
        py::arg("data"), py::arg("begin"), py::arg("end"), py::kw_only(), py::arg("entry") = py::none(),
        py::arg("text") = false,
        R"doc(scan_range(data, begin, end, *, entry=None, text=False) -> (Records, int)

The records of the byte range [begin, end) of `data` on the byte-by-byte
path that enters the range at `entry` (default: `begin`), and the path's
exit: where it stands once it passes `end` (`end`, or the end of the last
record when that runs past). Records start before `end` and may run past
it; the bytes that complete them are read. Ranges scanned one after another,
each entered at the previous one's exit from 0, list exactly what scan lists
for the whole buffer; join_range lets them be scanned apart first.)doc");

    m.def(
        "join_range",
        [](py::handle data, std::uint64_t begin, std::uint64_t end, std::uint64_t entry, const U64Array& offsets,
           const U32Array& lengths,
           bool text) { return JoinRangeData(data, begin, end, entry, offsets, lengths, text); },
        py::arg("data"), py::arg("begin"), py::arg("end"), py::arg("entry"), py::arg("offsets"), py::arg("record_lens"),
        py::kw_only(), py::arg("text") = false,
        R"doc(join_range(data, begin, end, entry, offsets, record_lens, *, text=False) -> (Records, int, int)

Joins the range [begin, end), scanned on its own by scan_range(data, begin,
end) with the records of columns `offsets` and `record_lens`, at `entry`,
where the path of the whole buffer enters it (the previous range's exit).
Returns (head, start, exit): the range's records on that path are `head`,
scanned again from `entry` until the two paths meet, followed by the local
records from index `start` on; `exit` is that path's exit, the next range's
entry. Nothing is scanned again when `entry` lies on the local path.)doc");
}

}  // namespace ulvex_py
