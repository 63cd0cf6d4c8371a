// Holding a caller's buffer through the buffer protocol: for as long as a
// result points into it (a capsule), or for the duration of one call.
#ifndef ULVEX_PYTHON_BUFFER_H
#define ULVEX_PYTHON_BUFFER_H

#include <cstdint>

#include "common.h"

namespace ulvex_py {

// Takes a read view of `obj` that lasts as long as the returned capsule.
py::object HoldBuffer(py::handle obj, const unsigned char*& data, std::uint64_t& size);

// A read view of `obj` for the duration of one call.
class ScopedBuffer {
public:
    explicit ScopedBuffer(py::handle obj) {
        if (PyObject_GetBuffer(obj.ptr(), &m_view, PyBUF_SIMPLE) != 0) throw py::error_already_set();
    }
    ~ScopedBuffer() { PyBuffer_Release(&m_view); }
    const unsigned char* data() const { return static_cast<const unsigned char*>(m_view.buf); }
    std::uint64_t size() const { return static_cast<std::uint64_t>(m_view.len); }

    ScopedBuffer(const ScopedBuffer&) = delete;
    ScopedBuffer& operator=(const ScopedBuffer&) = delete;

private:
    Py_buffer m_view;
};

}  // namespace ulvex_py

#endif  // ULVEX_PYTHON_BUFFER_H
