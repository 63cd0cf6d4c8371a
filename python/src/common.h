// What every file of the Python module shares: pybind11, the module's
// namespace, and a few limits of its arguments.
#ifndef ULVEX_PYTHON_COMMON_H
#define ULVEX_PYTHON_COMMON_H

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <limits>

namespace py = pybind11;

namespace ulvex_py {

// Largest buffer the unsigned int lengths of the formatter and the bulk
// listing can take.
constexpr std::uint64_t kMaxUnsignedLength = std::numeric_limits<unsigned int>::max();
constexpr long long kMaxScanThreads = 1024;

[[noreturn]] void ThrowOverflow(const char* message);

// Readies a static type object: a zero-initialised object with one reference.
void ReadyType(PyTypeObject* type, const char* name, std::size_t size, destructor dealloc, const char* doc);

}  // namespace ulvex_py

#endif  // ULVEX_PYTHON_COMMON_H
