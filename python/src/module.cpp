// ulvex._ulvex: the compiled part of the Python package.
//
// Scans run on the caller's buffer in place: the buffer is held through the
// buffer protocol (a Py_buffer kept in a capsule) for as long as any result
// that points into it lives, so a bytearray cannot be resized and an mmap
// cannot be closed under a Records, a Record or a payload view. The GIL is
// released while the library scans.
//
// Record and its iterator are plain CPython types rather than pybind11
// classes: a notebook iterates millions of them, and a bare object costs a
// fraction of a bound class instance.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <structmember.h>
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ulvex/data_formatter.h"
#include "ulvex/decoder_bin.h"
#include "ulvex/decoder_txt.h"
#include "ulvex/encoder_bin.h"
#include "ulvex/encoder_txt.h"
#include "ulvex/scan.h"
#include "ulvex/stream_reader.h"

#ifndef ULVEX_VERSION_STRING
#error "ULVEX_VERSION_STRING must be defined by the build"
#endif

namespace py = pybind11;

namespace ulvex {
namespace detail {
namespace {

// Largest buffer the 32-bit lengths of the encoders, the formatter and the
// bulk listing can take.
constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint64_t kBinaryFrame = 20;  // header 12 + footer 8
constexpr std::uint64_t kTextFrame = 34;    // header 18 + CR LF + footer 12 + CR LF
constexpr long long kMaxScanThreads = 1024;
const char kBufferCapsule[] = "ulvex.buffer";

[[noreturn]] void ThrowOverflow(const char* message) {
    PyErr_SetString(PyExc_OverflowError, message);
    throw py::error_already_set();
}

// --- holding a caller's buffer ---------------------------------------------

void ReleaseHeldBuffer(PyObject* capsule) {
    auto* view = static_cast<Py_buffer*>(PyCapsule_GetPointer(capsule, kBufferCapsule));
    if (view == nullptr) {
        PyErr_Clear();
        return;
    }
    PyBuffer_Release(view);
    delete view;
}

// Takes a read view of `obj` that lasts as long as the returned capsule.
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

// The bytes of a name or key given as bytes or str (UTF-8).
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

// A new Record, or null with an exception set.
PyObject* NewRecord(PyObject* owner, const unsigned char* payload, std::uint64_t offset, std::uint64_t payloadOffset,
                    std::uint32_t payloadLen, std::uint32_t recordLen, const unsigned char* name,
                    unsigned char version) {
    RecordObject* r = PyObject_New(RecordObject, &g_recordType);
    if (r == nullptr) return nullptr;
    Py_INCREF(owner);
    r->owner = owner;
    r->payload = payload;
    r->offset = offset;
    r->payloadOffset = payloadOffset;
    r->payloadLen = payloadLen;
    r->recordLen = recordLen;
    std::memcpy(r->name, name, 4);
    r->version = version;
    return reinterpret_cast<PyObject*>(r);
}

void RecordDealloc(PyObject* self) {
    Py_XDECREF(reinterpret_cast<RecordObject*>(self)->owner);
    PyObject_Free(self);
}

PyObject* RecordName(PyObject* self, void*) {
    const auto* r = reinterpret_cast<RecordObject*>(self);
    Py_ssize_t n = 0;
    while (n < 4 && r->name[n] != 0) ++n;
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(r->name), n);
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

// --- Records ------------------------------------------------------------------

// The records of a scan, in memory mapped straight from the system. Growing
// moves the pages (mremap) instead of copying them, and a large store asks
// for huge pages: filling millions of records otherwise costs more in page
// faults and copies than the scan itself.
class RecordStore {
public:
    RecordStore() = default;
    ~RecordStore() {
        if (m_data != nullptr) munmap(m_data, m_bytes);
    }

    // Appends `n` records; false (and nothing appended) when memory runs out.
    bool Append(const Record* records, std::size_t n) noexcept {
        const std::size_t need = (m_size + n) * sizeof(Record);
        if (need > m_bytes) {
            std::size_t bytes = m_bytes != 0 ? m_bytes : kFirstBytes;
            while (bytes < need) bytes *= 2;
            void* p = m_data != nullptr
                          ? mremap(m_data, m_bytes, bytes, MREMAP_MAYMOVE)
                          : mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) return false;
            if (bytes >= kHugePageBytes) madvise(p, bytes, MADV_HUGEPAGE);  // a hint: refusal changes nothing
            m_data = static_cast<Record*>(p);
            m_bytes = bytes;
        }
        std::memcpy(m_data + m_size, records, n * sizeof(Record));
        m_size += n;
        return true;
    }

    const Record* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const Record& operator[](std::size_t i) const { return m_data[i]; }

    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

private:
    static constexpr std::size_t kFirstBytes = 64 * 1024;
    static constexpr std::size_t kHugePageBytes = 4 * 1024 * 1024;

    Record* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_bytes = 0;
};

// Scan's batch receiver: stops the scan when the store cannot grow.
struct StoreSink {
    RecordStore* store;
    bool outOfMemory;
};

std::size_t CollectRecords(void* context, const Record* records, std::size_t count) {
    auto* sink = static_cast<StoreSink*>(context);
    if (sink->store->Append(records, count)) return count;
    sink->outOfMemory = true;
    return 0;
}

// What scan returns: the records of one buffer, which it keeps held.
class RecordList {
public:
    py::object owner;  // the capsule holding the buffer
    const unsigned char* data = nullptr;
    RecordStore records;

    PyObject* Make(std::size_t i) const {
        const Record& r = records[i];
        return NewRecord(owner.ptr(), data + r.payloadOffset, r.offset, r.payloadOffset, r.payloadLen, r.recordLen,
                         r.name, r.version);
    }
};

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
    if (list.records.empty()) return py::array(dtype, std::vector<py::ssize_t>{0}, std::vector<py::ssize_t>{});
    const char* first = reinterpret_cast<const char*>(list.records.data()) + fieldOffset;
    py::array column(dtype, std::vector<py::ssize_t>{static_cast<py::ssize_t>(list.records.size())},
                     std::vector<py::ssize_t>{static_cast<py::ssize_t>(sizeof(Record))}, first, self);
    py::detail::array_proxy(column.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return column;
}

// --- argument checks ----------------------------------------------------------

long long IntInRange(py::handle value, long long lo, long long hi, const char* what) {
    if (!PyLong_Check(value.ptr())) {
        throw py::type_error(std::string(what) + " must be an int, not " + std::string(Py_TYPE(value.ptr())->tp_name));
    }
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0 || v < lo || v > hi) {
        throw py::value_error(std::string(what) + " must be from " + std::to_string(lo) + " to " + std::to_string(hi));
    }
    return v;
}

// A record name: at most 4 bytes, no byte after a NUL. Returned NUL-padded.
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

// --- module functions ---------------------------------------------------------

py::object ScanData(py::handle data, bool text, long long threads) {
    if (threads < 0 || threads > kMaxScanThreads) {
        throw py::value_error("threads must be from 0 (one per core) to " + std::to_string(kMaxScanThreads));
    }
    std::unique_ptr<RecordList> list(new RecordList);
    std::uint64_t size = 0;
    list->owner = HoldBuffer(data, list->data, size);
    ScanOptions options;
    options.threads = static_cast<unsigned>(threads);
    StoreSink sink{&list->records, false};
    {
        py::gil_scoped_release nogil;
        std::uint64_t pos = 0;
        Scan(text ? RecordForm::Text : RecordForm::Binary, list->data, size, pos, options, CollectRecords, &sink);
    }
    if (sink.outOfMemory) throw std::bad_alloc();
    return py::cast(list.release(), py::return_value_policy::take_ownership);
}

py::bytes Pack(py::handle name, py::handle payload, py::handle version, bool text) {
    const std::string n = RecordNameArg(name);
    const auto v = static_cast<unsigned char>(IntInRange(version, 0, 255, "version"));
    ScopedBuffer p(payload);
    const std::uint64_t frame = text ? kTextFrame : kBinaryFrame;
    if (p.size() > kMax32 - frame) ThrowOverflow("payload too long: a record must stay below 4 GiB");
    std::vector<unsigned char> out;
    out.reserve(static_cast<std::size_t>(p.size() + frame));
    if (text) {
        CUlvexEncoderTxt encoder;
        const std::vector<unsigned char> bytes(p.data(), p.data() + p.size());
        encoder.AddTagTxt(out, n.c_str(), bytes, v);
    } else {
        CUlvexEncoder encoder;
        encoder.AddTagBin(out, n.c_str(), const_cast<unsigned char*>(p.data()), static_cast<unsigned int>(p.size()), v);
    }
    return py::bytes(reinterpret_cast<const char*>(out.data()), out.size());
}

py::dict Entries(py::handle payload) {
    std::map<std::string, std::string> entries;
    {
        ScopedBuffer p(payload);
        if (p.size() > kMax32) ThrowOverflow("payload longer than 4 GiB - 1 bytes");
        CUlvexDataFormatter formatter;
        py::gil_scoped_release nogil;
        formatter.FindInDataAllEntry(p.data(), static_cast<unsigned int>(p.size()), entries);
    }
    py::dict out;
    for (const auto& e : entries) out[py::bytes(e.first)] = py::bytes(e.second);
    return out;
}

py::bytes Entry(py::handle key, py::handle value) {
    const std::string k = BytesOrStr(key, "key");
    CUlvexDataFormatter formatter;
    std::vector<unsigned char> out;
    if (PyFloat_Check(value.ptr())) {
        formatter.FormatData(out, k, PyFloat_AS_DOUBLE(value.ptr()));
    } else if (PyIndex_Check(value.ptr())) {
        py::object i = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
        if (!i) throw py::error_already_set();
        int overflow = 0;
        const long long s = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
        if (s == -1 && PyErr_Occurred()) throw py::error_already_set();
        if (overflow == 0) {
            formatter.FormatData(out, k, s);
        } else {
            const unsigned long long u = overflow > 0 ? PyLong_AsUnsignedLongLong(i.ptr()) : 0;
            if (overflow < 0 || (u == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
                PyErr_Clear();
                ThrowOverflow("an int value must be from -2**63 to 2**64 - 1");
            }
            formatter.FormatData(out, k, u);
        }
    } else if (PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr())) {
        formatter.FormatData(out, k, BytesOrStr(value, "value"));
    } else {
        throw py::type_error(std::string("value must be int, float, bytes or str, not ") +
                             Py_TYPE(value.ptr())->tp_name);
    }
    return py::bytes(reinterpret_cast<const char*>(out.data()), out.size());
}

std::size_t CxxListingCount(py::handle data, bool text) {
    ScopedBuffer b(data);
    if (b.size() > kMax32) ThrowOverflow("the bulk listing takes at most 4 GiB - 1 bytes");
    py::gil_scoped_release nogil;
    std::vector<STag> tags;
    if (text) {
        CUlvexDecoderTxt decoder;
        decoder.FindAllTagPtrAnyName(b.data(), static_cast<unsigned int>(b.size()), tags);
    } else {
        CUlvexDecoder decoder;
        decoder.FindAllTagPtrAnyName(b.data(), static_cast<unsigned int>(b.size()), tags);
    }
    return tags.size();
}

// --- StreamReader ---------------------------------------------------------------

class PyStreamReader {
public:
    PyStreamReader(bool text, py::handle maxPayload)
        : m_reader(text ? StreamReader::Text : StreamReader::Binary, MaxPayloadArg(maxPayload)) {}

    py::list Feed(py::handle data) {
        Busy busy(m_busy);
        // The reader may read the previous chunk until this call returns,
        // and this one until it is drained: hold each until then.
        const unsigned char* p = nullptr;
        std::uint64_t n = 0;
        py::object chunk = HoldBuffer(data, p, n);
        m_reader.Feed(p, static_cast<std::size_t>(n));
        m_chunk = chunk;
        py::list out = Drain();
        m_chunk = py::object();
        return out;
    }

    py::list Finish() {
        Busy busy(m_busy);
        m_reader.Finish();
        py::list out = Drain();
        m_chunk = py::object();
        return out;
    }

    std::uint64_t Records() const { return m_reader.RecordsDelivered(); }
    std::uint64_t Garbage() const { return m_reader.GarbageBytes(); }
    std::uint64_t Rejected() const { return m_reader.RejectedCandidates(); }

private:
    // Python code can run while records are made (a collection runs
    // finalizers, and they may switch threads): refuse to be re-entered.
    class Busy {
    public:
        explicit Busy(bool& flag) : m_flag(flag) {
            if (m_flag) throw std::runtime_error("StreamReader is already in use by another call");
            m_flag = true;
        }
        ~Busy() { m_flag = false; }

    private:
        bool& m_flag;
    };

    static std::size_t MaxPayloadArg(py::handle value) {
        if (!PyLong_Check(value.ptr())) {
            throw py::type_error(std::string("max_payload must be an int, not ") + Py_TYPE(value.ptr())->tp_name);
        }
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
        if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
        if (overflow < 0 || (overflow == 0 && v < 0)) throw py::value_error("max_payload must not be negative");
        // Payload lengths are 32-bit: anything above takes every record.
        if (overflow > 0 || static_cast<unsigned long long>(v) > kMax32) return static_cast<std::size_t>(kMax32);
        return static_cast<std::size_t>(v);
    }

    py::list Drain() {
        py::list out;
        STag tag;
        std::uint64_t offset = 0;
        while (m_reader.Next(tag, offset)) {
            py::object payload = py::reinterpret_steal<py::object>(PyBytes_FromStringAndSize(
                reinterpret_cast<const char*>(tag.PtrPayload), static_cast<Py_ssize_t>(tag.PayloadLen)));
            if (!payload) throw py::error_already_set();
            const auto* copy = reinterpret_cast<const unsigned char*>(PyBytes_AS_STRING(payload.ptr()));
            const auto toPayload = static_cast<std::uint64_t>(tag.PtrPayload - tag.PtrTag);
            py::object record =
                py::reinterpret_steal<py::object>(NewRecord(payload.ptr(), copy, offset, offset + toPayload,
                                                            tag.PayloadLen, tag.TagLen, tag.PtrTag + 2, tag.Version));
            if (!record) throw py::error_already_set();
            out.append(record);
        }
        return out;
    }

    StreamReader m_reader;
    py::object m_chunk;
    bool m_busy = false;
};

void ReadyType(PyTypeObject* type, const char* name, std::size_t size, destructor dealloc, const char* doc) {
    // Static type objects: a zero-initialised object with one reference.
    Py_SET_REFCNT(reinterpret_cast<PyObject*>(type), 1);
    type->tp_name = name;
    type->tp_basicsize = static_cast<Py_ssize_t>(size);
    type->tp_dealloc = dealloc;
    type->tp_flags = Py_TPFLAGS_DEFAULT;
    type->tp_doc = doc;
}

}  // namespace
}  // namespace detail
}  // namespace ulvex

PYBIND11_MODULE(_ulvex, m) {
    using namespace ulvex::detail;
    // The docstrings carry Python signatures; the stubs carry the types.
    py::options options;
    options.disable_function_signatures();
    m.doc() = "The compiled core of the ulvex package (import ulvex instead).";
    m.attr("__version__") = ULVEX_VERSION_STRING;

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
    ReadyType(&g_recordIterType, "ulvex._RecordIterator", sizeof(RecordIterObject), RecordIterDealloc,
              "Iterator over the Record objects of a Records.");
    g_recordIterType.tp_iter = PyObject_SelfIter;
    g_recordIterType.tp_iternext = RecordIterNext;
    g_recordIterType.tp_methods = g_recordIterMethods;
    for (PyTypeObject* t : {&g_payloadType, &g_recordType, &g_recordIterType}) {
        if (PyType_Ready(t) != 0) throw py::error_already_set();
    }
    m.add_object("Record", py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&g_recordType)));

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

    m.def(
        "scan", [](py::handle data, bool text, long long threads) { return ScanData(data, text, threads); },
        py::arg("data"), py::kw_only(), py::arg("text") = false, py::arg("threads") = 1,
        R"doc(scan(data, *, text=False, threads=1) -> Records

Every record of `data`, any object with the buffer protocol (bytes,
bytearray, memoryview, mmap.mmap, a C-contiguous numpy array), in buffer
order. The buffer is read in place, never copied, and must not be changed
while the scan runs; the GIL is released meanwhile. `text` reads the
printable text form. `threads` scans with that many threads (0: one per
core); the records are the same for any number.

The records are exactly those of one byte-by-byte scan of the whole buffer:
each position is tried in turn, a failed candidate is passed over to the
next byte, and the scan continues just past every record found. No record
starts in the last 20 (binary) or 30 (text) bytes of the buffer.)doc");

    m.def(
        "pack",
        [](py::handle name, py::handle payload, py::handle version, bool text) {
            return Pack(name, payload, version, text);
        },
        py::arg("name"), py::arg("payload"), py::arg("version") = 0, py::kw_only(), py::arg("text") = false,
        R"doc(pack(name, payload, version=0, *, text=False) -> bytes

One record framing `payload` (any bytes-like object). `name` is bytes or str
(UTF-8), at most 4 bytes; shorter names are padded with NUL bytes, which the
text form writes as spaces. `version` is 0-255 (the text form writes 14,
whose character would close the header, as 15). Records are appended by
concatenating the results.

Raises ValueError for a longer name or a bad version, OverflowError for a
payload the format cannot hold (a record must stay below 4 GiB).)doc");

    m.def(
        "entries", [](py::handle payload) { return Entries(payload); }, py::arg("payload"),
        R"doc(entries(payload) -> dict[bytes, bytes]

The key=value entries of a payload (any bytes-like object, such as
Record.payload). When a key repeats, the last value wins.)doc");

    m.def(
        "entry", [](py::handle key, py::handle value) { return Entry(key, value); }, py::arg("key"), py::arg("value"),
        R"doc(entry(key, value) -> bytes

One `key=value|\r\n` entry, written by the library's typed writers: an int
by the 64-bit signed writer (the unsigned one above 2**63 - 1), a float by
the double writer (9 significant digits), bytes or str (UTF-8) as they are.
A payload is entries joined: b"".join(...). Keys and values are not escaped.

Raises OverflowError for an int outside -2**63 .. 2**64 - 1.)doc");

    m.def(
        "_cxx_listing_count", [](py::handle data, bool text) { return CxxListingCount(data, text); }, py::arg("data"),
        py::kw_only(), py::arg("text") = false,
        "Records found by the library's bulk listing (FindAllTagPtrAnyName into a std::vector<STag>), "
        "with the GIL released: the in-process C++ baseline of the benchmark.");

    py::class_<PyStreamReader> reader(m, "StreamReader", R"doc(StreamReader(*, text=False, max_payload=16 * 2**20)

Records from a stream that arrives in chunks (a socket, a pipe). Give each
chunk to feed() as it comes; it returns the records that chunk completed.
At the end of the stream call finish() for the rest. For every way of
cutting a stream into chunks, the records are those scan() lists on the
whole stream, with stream offsets, except that a header announcing more
than `max_payload` bytes is passed over at once, like a damaged record.
Payloads are copied (a chunk may change after feed returns).

A damaged header announcing up to `max_payload` bytes holds back the
records behind it until that many bytes have arrived (or finish()).)doc");
    reader.attr("__module__") = "ulvex";
    reader
        .def(py::init([](bool text, py::handle maxPayload) { return new PyStreamReader(text, maxPayload); }),
             py::kw_only(), py::arg("text") = false, py::arg("max_payload") = ulvex::StreamReader::kDefaultMaxPayload)
        .def("feed", &PyStreamReader::Feed, py::arg("data"),
             "feed(data) -> list[Record]\n\nTakes the next chunk (any bytes-like object) and returns the records "
             "it completed.")
        .def("finish", &PyStreamReader::Finish,
             "finish() -> list[Record]\n\nEnds the stream and returns the records its last bytes decide. "
             "Later chunks are ignored.")
        .def_property_readonly("records", &PyStreamReader::Records, "Records delivered so far.")
        .def_property_readonly("garbage_bytes", &PyStreamReader::Garbage,
                               "Bytes passed over as not belonging to any delivered record.")
        .def_property_readonly("rejected", &PyStreamReader::Rejected,
                               "Candidates rejected: well-formed headers whose record was not delivered.");
}
