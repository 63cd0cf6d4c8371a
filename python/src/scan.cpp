// scan(): every record of a buffer, on the library's parallel scan.
#include <memory>
#include <new>
#include <string>

#include "arguments.h"
#include "bindings.h"
#include "buffer.h"
#include "records.h"
#include "ulvex/scan.h"

namespace ulvex_py {
namespace {

py::object ScanData(py::handle data, py::handle textArg, py::handle threadsArg) {
    const bool text = BoolArg(textArg, "text");
    const long long threads = IntInRange(threadsArg, 0, kMaxScanThreads, "threads");
    std::unique_ptr<RecordList> list(new RecordList);
    std::uint64_t size = 0;
    list->owner = HoldBuffer(data, list->data, size);
    ulvex::ScanOptions options;
    options.threads = static_cast<unsigned>(threads);
    StoreSink sink{&list->records, false};
    {
        py::gil_scoped_release nogil;
        std::uint64_t pos = 0;
        ulvex::Scan(text ? ulvex::RecordForm::Text : ulvex::RecordForm::Binary, list->data, size, pos, options,
                    CollectRecords, &sink);
    }
    if (sink.outOfMemory) throw std::bad_alloc();
    return py::cast(list.release(), py::return_value_policy::take_ownership);
}

}  // namespace

void AddScan(py::module_& m) {
    m.def(
        "scan", [](py::handle data, py::handle text, py::handle threads) { return ScanData(data, text, threads); },
        py::arg("data"), py::kw_only(), py::arg("text") = py::bool_(false), py::arg("threads") = py::int_(1),
        R"doc(scan(data, *, text=False, threads=1) -> Records

Every record of `data`, any object with the buffer protocol (bytes,
bytearray, memoryview, mmap.mmap, a C-contiguous numpy array), in buffer
order. The buffer is read in place, never copied, and must not be changed
while the scan runs; the GIL is released meanwhile. `text` reads the
printable text form. `threads` scans with that many threads (0: one per
core); the records are the same for any number.

The records are exactly those of one byte-by-byte scan of the whole buffer:
each position is tried in turn, a failed candidate is passed over to the
next byte, and the scan continues just past every record found. No record
starts in the last 20 (binary) or 30 (text) bytes of the buffer.)doc");
    ShortArgumentErrors(m, "scan", "scan(data, *, text=False, threads=1)");
}

}  // namespace ulvex_py
