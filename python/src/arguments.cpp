#include "arguments.h"

namespace ulvex_py {

std::string BytesOrStr(py::handle obj, const char* what) {
    if (PyBytes_Check(obj.ptr())) {
        return std::string(PyBytes_AS_STRING(obj.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(obj.ptr())));
    }
    if (PyUnicode_Check(obj.ptr())) {
        Py_ssize_t n = 0;
        const char* s = PyUnicode_AsUTF8AndSize(obj.ptr(), &n);
        if (s == nullptr) throw py::error_already_set();
        return std::string(s, static_cast<std::size_t>(n));
    }
    throw py::type_error(std::string(what) + " must be bytes or str, not " + std::string(Py_TYPE(obj.ptr())->tp_name));
}

py::int_ IndexArg(py::handle value, const char* what) {
    PyObject* i = PyNumber_Index(value.ptr());
    if (i == nullptr) {
        PyErr_Clear();
        throw py::type_error(std::string(what) + " must be an int, not " + std::string(Py_TYPE(value.ptr())->tp_name));
    }
    return py::reinterpret_steal<py::int_>(i);
}

bool BoolArg(py::handle value, const char* what) {
    const std::string type = Py_TYPE(value.ptr())->tp_name;
    if (!PyBool_Check(value.ptr()) && type.compare(0, 10, "numpy.bool") != 0) {
        throw py::type_error(std::string(what) + " must be a bool, not " + type);
    }
    const int v = PyObject_IsTrue(value.ptr());
    if (v < 0) throw py::error_already_set();
    return v != 0;
}

long long IntInRange(py::handle value, long long lo, long long hi, const char* what) {
    const py::int_ index = IndexArg(value, what);
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0 || v < lo || v > hi) {
        throw py::value_error(std::string(what) + " must be from " + std::to_string(lo) + " to " + std::to_string(hi));
    }
    return v;
}

std::string RecordNameArg(py::handle name) {
    std::string n = BytesOrStr(name, "name");
    if (n.size() > 4) throw py::value_error("name must be at most 4 bytes, got " + std::to_string(n.size()));
    const std::size_t nul = n.find('\0');
    if (nul != std::string::npos && n.find_first_not_of('\0', nul) != std::string::npos) {
        throw py::value_error("name must not hold a NUL byte before other bytes");
    }
    n.resize(5, '\0');
    return n;
}

}  // namespace ulvex_py
