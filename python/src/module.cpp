// ulvex._ulvex: the compiled part of the Python package.
//
// Scans run on the caller's buffer in place: the buffer is held through the
// buffer protocol (a Py_buffer kept in a capsule) for as long as any result
// that points into it lives, so a bytearray cannot be resized and an mmap
// cannot be closed under a Records, a Record or a payload view. The GIL is
// released while the library scans.
//
// Record and its iterator are plain CPython types rather than pybind11
// classes: a notebook iterates millions of them, and a bare object costs a
// fraction of a bound class instance.
#include <pybind11/pybind11.h>

#include "bindings.h"

#ifndef ULVEX_VERSION_STRING
#error "ULVEX_VERSION_STRING must be defined by the build"
#endif

PYBIND11_MODULE(_ulvex, m) {
    namespace py = pybind11;
    // The docstrings carry Python signatures; the stubs carry the types.
    py::options options;
    options.disable_function_signatures();
    m.doc() = "The compiled core of the ulvex package (import ulvex instead).";
    m.attr("__version__") = ULVEX_VERSION_STRING;

    ulvex_py::AddRecord(m);
    ulvex_py::AddRecords(m);
    ulvex_py::AddScan(m);
    ulvex_py::AddRangeScan(m);
    ulvex_py::AddEncoding(m);
    ulvex_py::AddBenchmarkHook(m);
    ulvex_py::AddStreamReader(m);
    ulvex_py::AddSelection(m);
    ulvex_py::AddColumns(m);
}
