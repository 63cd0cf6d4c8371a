// The in-process C++ baseline of the Python benchmark.
#include <vector>

#include "arguments.h"
#include "bindings.h"
#include "buffer.h"
#include "ulvex/decoder_bin.h"
#include "ulvex/decoder_txt.h"

namespace ulvex_py {
namespace {

std::size_t CxxListingCount(py::handle data, bool text) {
    ScopedBuffer b(data);
    if (b.size() > kMaxUnsignedLength) ThrowOverflow("the bulk listing takes at most 4 GiB - 1 bytes");
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

}  // namespace

void AddBenchmarkHook(py::module_& m) {
    m.def(
        "_cxx_listing_count",
        [](py::handle data, py::handle text) { return CxxListingCount(data, BoolArg(text, "text")); }, py::arg("data"),
        py::kw_only(), py::arg("text") = py::bool_(false),
        "Records found by the library's bulk listing (FindAllTagPtrAnyName into a std::vector<STag>), "
        "with the GIL released: the in-process C++ baseline of the benchmark.");
    ShortArgumentErrors(m, "_cxx_listing_count", "_cxx_listing_count(data, *, text=False)");
}

}  // namespace ulvex_py
