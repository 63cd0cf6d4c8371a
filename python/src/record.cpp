#include "record.h"

#include <structmember.h>

#include <cstdint>
#include <cstring>

#include "bindings.h"

namespace ulvex_py {
namespace {

// --- payload views ------------------------------------------------------------

// Exports a read-only slice of a held buffer (or of a bytes object); the
// memoryview made from it keeps the owner, and so the caller's buffer, alive.
struct PayloadObject {
    PyObject_HEAD PyObject* owner;
    const unsigned char* data;
    Py_ssize_t len;
};

int PayloadGetBuffer(PyObject* self, Py_buffer* view, int flags) {
    auto* p = reinterpret_cast<PayloadObject*>(self);
    return PyBuffer_FillInfo(view, self, const_cast<unsigned char*>(p->data), p->len, 1, flags);
}

void PayloadDealloc(PyObject* self) {
    Py_XDECREF(reinterpret_cast<PayloadObject*>(self)->owner);
    PyObject_Free(self);
}

PyBufferProcs g_payloadBufferProcs = {PayloadGetBuffer, nullptr};

PyTypeObject g_payloadType{};

// --- Record -------------------------------------------------------------------

struct RecordObject {
    PyObject_HEAD PyObject* owner;  // keeps `payload` readable
    const unsigned char* payload;
    unsigned long long offset;
    unsigned long long payloadOffset;
    unsigned int payloadLen;
    unsigned int recordLen;
    unsigned char name[4];
    unsigned char version;
};

PyTypeObject g_recordType{};

}  // namespace

PyObject* NewRecord(PyObject* owner, const unsigned char* payload, const ulvex::Record& record) {
    RecordObject* r = PyObject_New(RecordObject, &g_recordType);
    if (r == nullptr) return nullptr;
    Py_INCREF(owner);
    r->owner = owner;
    r->payload = payload;
    r->offset = record.offset;
    r->payloadOffset = record.payloadOffset;
    r->payloadLen = record.payloadLen;
    r->recordLen = record.recordLen;
    std::memcpy(r->name, record.name, 4);
    r->version = record.version;
    return reinterpret_cast<PyObject*>(r);
}

namespace {

void RecordDealloc(PyObject* self) {
    Py_XDECREF(reinterpret_cast<RecordObject*>(self)->owner);
    PyObject_Free(self);
}

PyObject* RecordName(PyObject* self, void*) {
    const auto* r = reinterpret_cast<RecordObject*>(self);
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(r->name),
                                     static_cast<Py_ssize_t>(ulvex::NameLength(r->name)));
}

PyObject* RecordPayload(PyObject* self, void*) {
    const auto* r = reinterpret_cast<RecordObject*>(self);
    PayloadObject* p = PyObject_New(PayloadObject, &g_payloadType);
    if (p == nullptr) return nullptr;
    Py_INCREF(r->owner);
    p->owner = r->owner;
    p->data = r->payload;
    p->len = static_cast<Py_ssize_t>(r->payloadLen);
    PyObject* view = PyMemoryView_FromObject(reinterpret_cast<PyObject*>(p));
    Py_DECREF(p);
    return view;
}

PyObject* RecordRepr(PyObject* self) {
    const auto* r = reinterpret_cast<RecordObject*>(self);
    PyObject* name = RecordName(self, nullptr);
    if (name == nullptr) return nullptr;
    PyObject* s = PyUnicode_FromFormat(
        "Record(name=%R, version=%u, offset=%llu, payload_offset=%llu, "
        "payload_len=%u, record_len=%u)",
        name, static_cast<unsigned>(r->version), r->offset, r->payloadOffset, r->payloadLen, r->recordLen);
    Py_DECREF(name);
    return s;
}

// Records are equal when they describe the same record: the same numbers,
// name and version, and equal payload bytes (from whichever buffer).
bool SameRecord(const RecordObject* a, const RecordObject* b) {
    return a->offset == b->offset && a->payloadOffset == b->payloadOffset && a->payloadLen == b->payloadLen &&
           a->recordLen == b->recordLen && a->version == b->version && std::memcmp(a->name, b->name, 4) == 0 &&
           (a->payloadLen == 0 || std::memcmp(a->payload, b->payload, a->payloadLen) == 0);
}

PyObject* RecordCompare(PyObject* a, PyObject* b, int op) {
    if ((op != Py_EQ && op != Py_NE) || Py_TYPE(b) != Py_TYPE(a)) Py_RETURN_NOTIMPLEMENTED;
    const bool same = SameRecord(reinterpret_cast<const RecordObject*>(a), reinterpret_cast<const RecordObject*>(b));
    return PyBool_FromLong((op == Py_EQ) == same);
}

Py_hash_t RecordHash(PyObject* self) {
    const auto* r = reinterpret_cast<const RecordObject*>(self);
    std::uint64_t h = r->offset * 0x9E3779B97F4A7C15ull ^ r->payloadOffset;
    h = h * 0x9E3779B97F4A7C15ull ^ (std::uint64_t{r->payloadLen} << 32 | r->recordLen);
    std::uint32_t name = 0;
    std::memcpy(&name, r->name, 4);
    h = h * 0x9E3779B97F4A7C15ull ^ (std::uint64_t{name} << 8 | r->version);
    const auto v = static_cast<Py_hash_t>(h >> 1);
    return v == -1 ? -2 : v;
}

PyMemberDef g_recordMembers[] = {
    {"offset", T_ULONGLONG, offsetof(RecordObject, offset), READONLY, "Position of the record's first byte."},
    {"payload_offset", T_ULONGLONG, offsetof(RecordObject, payloadOffset), READONLY,
     "Position of the first payload byte (text form: the first data byte)."},
    {"payload_len", T_UINT, offsetof(RecordObject, payloadLen), READONLY,
     "Payload length in bytes (text form: data bytes)."},
    {"record_len", T_UINT, offsetof(RecordObject, recordLen), READONLY,
     "Record length, header through footer (text form: without the closing CR LF)."},
    {"version", T_UBYTE, offsetof(RecordObject, version), READONLY, "The header's version byte (0-255)."},
    {nullptr, 0, 0, 0, nullptr}};

PyGetSetDef g_recordGetSet[] = {
    {"name", RecordName, nullptr, "The record's name: its name bytes up to the first NUL (at most 4).", nullptr},
    {"payload", RecordPayload, nullptr,
     "The payload as a read-only memoryview of the scanned buffer (of a private copy for StreamReader "
     "records); it keeps the buffer alive.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

}  // namespace

void AddRecord(py::module_& m) {
    ReadyType(&g_payloadType, "ulvex._Payload", sizeof(PayloadObject), PayloadDealloc,
              "A read-only slice of a scanned buffer (the exporter behind Record.payload).");
    g_payloadType.tp_as_buffer = &g_payloadBufferProcs;
    ReadyType(&g_recordType, "ulvex.Record", sizeof(RecordObject), RecordDealloc,
              "One record found in a buffer.\n\n"
              "Attributes: name (bytes up to the first NUL), version, offset, payload_offset,\n"
              "payload_len, record_len (ints) and payload (a read-only memoryview).");
    g_recordType.tp_members = g_recordMembers;
    g_recordType.tp_getset = g_recordGetSet;
    g_recordType.tp_repr = RecordRepr;
    g_recordType.tp_richcompare = RecordCompare;
    g_recordType.tp_hash = RecordHash;
    for (PyTypeObject* t : {&g_payloadType, &g_recordType}) {
        if (PyType_Ready(t) != 0) throw py::error_already_set();
    }
    m.add_object("Record", py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&g_recordType)));
}

}  // namespace ulvex_py
