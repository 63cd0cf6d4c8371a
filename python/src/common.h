// What every file of the Python module shares: pybind11, the module's
// namespace, and a few limits of the record formats.
#ifndef ULVEX_PYTHON_COMMON_H
#define ULVEX_PYTHON_COMMON_H

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>

namespace py = pybind11;

namespace ulvex_py {

// Largest buffer the 32-bit lengths of the encoders, the formatter and the
// bulk listing can take.
constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint64_t kBinaryFrame = 20;  // header 12 + footer 8
constexpr std::uint64_t kTextFrame = 34;    // header 18 + CR LF + footer 12 + CR LF
constexpr long long kMaxScanThreads = 1024;

[[noreturn]] void ThrowOverflow(const char* message);

// Readies a static type object: a zero-initialised object with one reference.
void ReadyType(PyTypeObject* type, const char* name, std::size_t size, destructor dealloc, const char* doc);

}  // namespace ulvex_py

#endif  // ULVEX_PYTHON_COMMON_H
