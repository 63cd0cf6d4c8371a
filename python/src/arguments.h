// Checks of the arguments given from Python.
#ifndef ULVEX_PYTHON_ARGUMENTS_H
#define ULVEX_PYTHON_ARGUMENTS_H

#include <string>

#include "common.h"

namespace ulvex_py {

// The bytes of a name or key given as bytes or str (UTF-8).
std::string BytesOrStr(py::handle obj, const char* what);

// An int from `lo` to `hi`: TypeError or ValueError otherwise.
long long IntInRange(py::handle value, long long lo, long long hi, const char* what);

// A record name: at most 4 bytes, no byte after a NUL. Returned NUL-padded.
std::string RecordNameArg(py::handle name);

}  // namespace ulvex_py

#endif  // ULVEX_PYTHON_ARGUMENTS_H
