#include "records.h"

#include <pybind11/numpy.h>

#include <cstddef>
#include <string>
#include <vector>

#include "arguments.h"
#include "bindings.h"

namespace ulvex_py {
namespace {

struct RecordIterObject {
    PyObject_HEAD PyObject* records;  // the Records object, kept alive
    const RecordList* list;
    std::size_t next;
};

PyTypeObject g_recordIterType{};

void RecordIterDealloc(PyObject* self) {
    Py_XDECREF(reinterpret_cast<RecordIterObject*>(self)->records);
    PyObject_Free(self);
}

PyObject* RecordIterNext(PyObject* self) {
    auto* it = reinterpret_cast<RecordIterObject*>(self);
    if (it->next >= it->list->records.size()) return nullptr;
    return it->list->Make(it->next++);
}

PyObject* RecordIterLengthHint(PyObject* self, PyObject*) {
    const auto* it = reinterpret_cast<RecordIterObject*>(self);
    return PyLong_FromSize_t(it->list->records.size() - it->next);
}

PyMethodDef g_recordIterMethods[] = {{"__length_hint__", RecordIterLengthHint, METH_NOARGS, nullptr},
                                     {nullptr, nullptr, 0, nullptr}};

py::object Iterate(py::handle self, const RecordList& list) {
    RecordIterObject* it = PyObject_New(RecordIterObject, &g_recordIterType);
    if (it == nullptr) throw py::error_already_set();
    it->records = self.inc_ref().ptr();
    it->list = &list;
    it->next = 0;
    return py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(it));
}

// A read-only column over one field of the records, without a copy.
py::array Column(py::handle self, const RecordList& list, const py::dtype& dtype, std::size_t fieldOffset) {
    py::array column = list.records.empty()
                           ? py::array(dtype, std::vector<py::ssize_t>{0}, std::vector<py::ssize_t>{})
                           : py::array(dtype, std::vector<py::ssize_t>{static_cast<py::ssize_t>(list.records.size())},
                                       std::vector<py::ssize_t>{static_cast<py::ssize_t>(sizeof(ulvex::Record))},
                                       reinterpret_cast<const char*>(list.records.data()) + fieldOffset, self);
    py::detail::array_proxy(column.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return column;
}

}  // namespace

void AddRecords(py::module_& m) {
    ReadyType(&g_recordIterType, "ulvex._RecordIterator", sizeof(RecordIterObject), RecordIterDealloc,
              "Iterator over the Record objects of a Records.");
    g_recordIterType.tp_iter = PyObject_SelfIter;
    g_recordIterType.tp_iternext = RecordIterNext;
    g_recordIterType.tp_methods = g_recordIterMethods;
    for (PyTypeObject* t : {&g_recordIterType}) {
        if (PyType_Ready(t) != 0) throw py::error_already_set();
    }

    py::class_<RecordList> records(m, "Records", R"doc(The records that scan found in one buffer, in buffer order.

len(), indexing (negative indexes count from the end) and iteration give
Record objects. The columns offset, payload_offset (uint64), payload_len,
record_len (uint32), version (uint8) and name (S4, the four raw name bytes)
are read-only numpy arrays over the records, made without copying.

The scanned buffer stays held (a bytearray cannot be resized, an mmap cannot
be closed) while this object, a Record from it or a payload view lives.)doc");
    records.attr("__module__") = "ulvex";
    records.def("__len__", [](const RecordList& l) { return l.records.size(); })
        .def(
            "__getitem__",
            [](const RecordList& l, long long i) {
                const auto n = static_cast<long long>(l.records.size());
                if (i < 0) i += n;
                if (i < 0 || i >= n) throw py::index_error("record index out of range");
                PyObject* r = l.Make(static_cast<std::size_t>(i));
                if (r == nullptr) throw py::error_already_set();
                return py::reinterpret_steal<py::object>(r);
            },
            py::arg("index"))
        .def(
            "__iter__", [](py::handle self) { return Iterate(self, self.cast<const RecordList&>()); },
            "Iterate over the Record objects.")
        .def("__repr__",
             [](const RecordList& l) { return "<ulvex.Records: " + std::to_string(l.records.size()) + " records>"; });
    struct ColumnSpec {
        const char* name;
        std::size_t offset;
        const char* dtype;
        const char* doc;
    };
    static const ColumnSpec kColumns[] = {
        {"offset", offsetof(ulvex::Record, offset), "u8", "uint64: position of each record's first byte."},
        {"payload_offset", offsetof(ulvex::Record, payloadOffset), "u8",
         "uint64: position of each record's first payload byte."},
        {"payload_len", offsetof(ulvex::Record, payloadLen), "u4", "uint32: payload length of each record."},
        {"record_len", offsetof(ulvex::Record, recordLen), "u4", "uint32: length of each record."},
        {"version", offsetof(ulvex::Record, version), "u1", "uint8: version byte of each record."},
        {"name", offsetof(ulvex::Record, name), "S4", "S4: the four raw name bytes of each record."},
    };
    for (const ColumnSpec& c : kColumns) {
        const std::size_t offset = c.offset;
        const std::string dtype = c.dtype;
        records.def_property_readonly(
            c.name,
            [offset, dtype](py::handle self) {
                return Column(self, self.cast<const RecordList&>(), py::dtype(dtype), offset);
            },
            c.doc);
    }
}

}  // namespace ulvex_py
