// The parts of the module, each adding its types and functions to it; one
// line each in module.cpp.
#ifndef ULVEX_PYTHON_BINDINGS_H
#define ULVEX_PYTHON_BINDINGS_H

#include "common.h"

namespace ulvex_py {

void AddRecord(py::module_& m);         // record.cpp: ulvex.Record
void AddRecords(py::module_& m);        // records.cpp: ulvex.Records
void AddScan(py::module_& m);           // scan.cpp: scan()
void AddRangeScan(py::module_& m);      // range_scan.cpp: scan_range(), join_range()
void AddEncoding(py::module_& m);       // encoding.cpp: pack(), entries(), entry()
void AddBenchmarkHook(py::module_& m);  // bench_hook.cpp: _cxx_listing_count()
void AddStreamReader(py::module_& m);   // stream_reader.cpp: ulvex.StreamReader
void AddSelection(py::module_& m);      // selection.cpp: Records[slice, mask, indexes]
void AddColumns(py::module_& m);        // columns.cpp: Records._keys, Records._columns

}  // namespace ulvex_py

#endif  // ULVEX_PYTHON_BINDINGS_H
