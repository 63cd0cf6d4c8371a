#include "common.h"

namespace ulvex_py {

[[noreturn]] void ThrowOverflow(const char* message) {
    PyErr_SetString(PyExc_OverflowError, message);
    throw py::error_already_set();
}

void ReadyType(PyTypeObject* type, const char* name, std::size_t size, destructor dealloc, const char* doc) {
    Py_SET_REFCNT(reinterpret_cast<PyObject*>(type), 1);
    type->tp_name = name;
    type->tp_basicsize = static_cast<Py_ssize_t>(size);
    type->tp_dealloc = dealloc;
    type->tp_flags = Py_TPFLAGS_DEFAULT;
    type->tp_doc = doc;
}

}  // namespace ulvex_py
