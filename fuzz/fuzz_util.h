// Shared pieces of the fuzz targets: the mismatch check and STag comparison.
// The reference readers themselves are in tests/support/reference.h.
#ifndef ULVEX_FUZZ_UTIL_H
#define ULVEX_FUZZ_UTIL_H

#include <algorithm>

#include "mismatch.h"
#include "reference.h"
#include "ulvex/stag.h"

namespace ulvex {
namespace fuzz {

inline bool Same(const STag& a, const STag& b) {
    return a.TagName == b.TagName && a.PtrTag == b.PtrTag && a.PtrPayload == b.PtrPayload &&
           a.PayloadLen == b.PayloadLen && a.TagLen == b.TagLen && a.Version == b.Version;
}
template <class A, class B>
bool SameTags(const A& a, const B& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), Same);
}
// A tag no lookup can produce, to see that failed lookups leave it alone.
inline STag Sentinel() {
    static const unsigned char bytes[] = "?!?!";
    return ref::MakeTag(bytes, bytes, bytes, 7, 9, 0xAB);
}

}  // namespace fuzz
}  // namespace ulvex

// Each target is a translation unit of its own, speaking these names.
using namespace ulvex;
using namespace ulvex::fuzz;
using ref::Bytes;
using ref::u32;
using ref::u64;
using ref::u8;

#endif  // ULVEX_FUZZ_UTIL_H
