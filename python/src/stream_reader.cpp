// ulvex.StreamReader: records from a stream that arrives in chunks.
#include <stdexcept>
#include <string>

#include "arguments.h"
#include "bindings.h"
#include "buffer.h"
#include "record.h"
#include "ulvex/stream_reader.h"

namespace ulvex_py {
namespace {

class PyStreamReader {
public:
    PyStreamReader(bool text, py::handle maxPayload)
        : m_reader(text ? ulvex::RecordForm::Text : ulvex::RecordForm::Binary, MaxPayloadArg(maxPayload)) {}

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
        const py::int_ index = IndexArg(value, "max_payload");
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
        if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
        if (overflow < 0 || (overflow == 0 && v < 0)) throw py::value_error("max_payload must not be negative");
        // Payload lengths are 32-bit: anything above takes every record.
        if (overflow > 0 || static_cast<unsigned long long>(v) > ulvex::kMaxRecordLength)
            return static_cast<std::size_t>(ulvex::kMaxRecordLength);
        return static_cast<std::size_t>(v);
    }

    py::list Drain() {
        py::list out;
        ulvex::Record r;
        const unsigned char* p = nullptr;
        while (m_reader.Next(r, p)) {
            py::object payload = py::reinterpret_steal<py::object>(
                PyBytes_FromStringAndSize(reinterpret_cast<const char*>(p), static_cast<Py_ssize_t>(r.payloadLen)));
            if (!payload) throw py::error_already_set();
            const auto* copy = reinterpret_cast<const unsigned char*>(PyBytes_AS_STRING(payload.ptr()));
            py::object record = py::reinterpret_steal<py::object>(NewRecord(payload.ptr(), copy, r));
            if (!record) throw py::error_already_set();
            out.append(record);
        }
        return out;
    }

    ulvex::StreamReader m_reader;
    py::object m_chunk;
    bool m_busy = false;
};

}  // namespace

void AddStreamReader(py::module_& m) {
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
        .def(py::init([](py::handle text, py::handle maxPayload) {
                 return new PyStreamReader(BoolArg(text, "text"), maxPayload);
             }),
             py::kw_only(), py::arg("text") = py::bool_(false),
             py::arg("max_payload") = py::int_(ulvex::StreamReader::kDefaultMaxPayload))
        .def(py::init([](const py::args&, const py::kwargs&) -> PyStreamReader* {
            throw py::type_error("arguments do not match StreamReader(*, text=False, max_payload=16 * 2**20)");
        }))
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
    ShortArgumentErrors(reader, "feed", "feed(data)");
}

}  // namespace ulvex_py
