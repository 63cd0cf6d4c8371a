#include "buffer.h"

#include <memory>

namespace ulvex_py {
namespace {

const char kBufferCapsule[] = "ulvex.buffer";

void ReleaseHeldBuffer(PyObject* capsule) {
    auto* view = static_cast<Py_buffer*>(PyCapsule_GetPointer(capsule, kBufferCapsule));
    if (view == nullptr) {
        PyErr_Clear();
        return;
    }
    PyBuffer_Release(view);
    delete view;
}

}  // namespace

py::object HoldBuffer(py::handle obj, const unsigned char*& data, std::uint64_t& size) {
    std::unique_ptr<Py_buffer> view(new Py_buffer);
    if (PyObject_GetBuffer(obj.ptr(), view.get(), PyBUF_SIMPLE) != 0) throw py::error_already_set();
    PyObject* capsule = PyCapsule_New(view.get(), kBufferCapsule, ReleaseHeldBuffer);
    if (capsule == nullptr) {
        PyBuffer_Release(view.get());
        throw py::error_already_set();
    }
    data = static_cast<const unsigned char*>(view->buf);
    size = static_cast<std::uint64_t>(view->len);
    view.release();
    return py::reinterpret_steal<py::object>(capsule);
}

}  // namespace ulvex_py
