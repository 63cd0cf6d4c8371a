// Checks of the arguments given from Python.
#ifndef ULVEX_PYTHON_ARGUMENTS_H
#define ULVEX_PYTHON_ARGUMENTS_H

#include <string>

#include "common.h"

namespace ulvex_py {

// The bytes of a name or key given as bytes or str (UTF-8).
std::string BytesOrStr(py::handle obj, const char* what);

// An int from `lo` to `hi`: TypeError or ValueError otherwise. Any integer
// type is taken (numpy's too), as Python's own indexes take them.
long long IntInRange(py::handle value, long long lo, long long hi, const char* what);

// A flag: bool or numpy.bool_; TypeError otherwise.
bool BoolArg(py::handle value, const char* what);

// A Python int of any integer type (operator.index); TypeError otherwise.
py::int_ IndexArg(py::handle value, const char* what);

// Makes `f` (a module function or method) answer calls whose arguments match
// none of its forms with a short TypeError naming `signature`, instead of
// pybind11's message, which would repeat every argument (a whole buffer).
template <class Scope>
void ShortArgumentErrors(Scope& scope, const char* name, const char* signature) {
    const std::string message = std::string("arguments do not match ") + signature;
    scope.def(name, [message](const py::args&, const py::kwargs&) -> py::object { throw py::type_error(message); });
}

// A record name: at most 4 bytes, no byte after a NUL. Returned NUL-padded.
std::string RecordNameArg(py::handle name);

}  // namespace ulvex_py

#endif  // ULVEX_PYTHON_ARGUMENTS_H
