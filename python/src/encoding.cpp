// pack(), entries(), entry(): records and entries written and read by the
// library's encoders and formatter.
#include <map>
#include <string>
#include <vector>

#include "arguments.h"
#include "bindings.h"
#include "buffer.h"
#include "ulvex/data_formatter.h"
#include "ulvex/encoder_bin.h"
#include "ulvex/encoder_txt.h"
#include "ulvex/format.h"

namespace ulvex_py {
namespace {

py::bytes Pack(py::handle name, py::handle payload, py::handle version, bool text) {
    const std::string n = RecordNameArg(name);
    const auto v = static_cast<unsigned char>(IntInRange(version, 0, 255, "version"));
    ScopedBuffer p(payload);
    const ulvex::RecordForm form = text ? ulvex::RecordForm::Text : ulvex::RecordForm::Binary;
    if (p.size() > ulvex::MaxPayloadLength(form)) ThrowOverflow("payload too long: a record must stay below 4 GiB");
    std::vector<unsigned char> out;
    out.reserve(static_cast<std::size_t>(ulvex::RecordLength(form, p.size())));
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
        if (p.size() > kMaxUnsignedLength) ThrowOverflow("payload longer than 4 GiB - 1 bytes");
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

}  // namespace

void AddEncoding(py::module_& m) {
    m.def(
        "pack",
        [](py::handle name, py::handle payload, py::handle version, py::handle text) {
            return Pack(name, payload, version, BoolArg(text, "text"));
        },
        py::arg("name"), py::arg("payload"), py::arg("version") = py::int_(0), py::kw_only(),
        py::arg("text") = py::bool_(false),
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

    ShortArgumentErrors(m, "pack", "pack(name, payload, version=0, *, text=False)");
    ShortArgumentErrors(m, "entries", "entries(payload)");
    ShortArgumentErrors(m, "entry", "entry(key, value)");
}

}  // namespace ulvex_py
