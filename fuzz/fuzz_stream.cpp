// ulvex::StreamReader against the reference listing of the whole stream with
// the maximum-payload rule, for every way of cutting the stream into chunks
// (the oracle is tests/support/stream_oracle.h).
//
// Input: 4 control bytes, the chunk sizes, then the stream.
//   [0]    bit 0: text form; bit 1: drain Next only after every other Feed
//   [1..2] maximum payload (little-endian; 0xFFFF: the default)
//   [3]    k - 1 (k = 1..8 chunk sizes follow, used in turn; a size of 0
//          feeds nothing, 255 feeds the rest)
#include "fuzz_util.h"
#include "stream_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size) {
    if (size < 4 || size > 0x100000) return 0;
    const unsigned m = in[1] | in[2] << 8;
    const std::size_t k = 1 + in[3] % 8;
    if (size < 4 + k) return 0;
    std::vector<std::size_t> sizes(in + 4, in + 4 + k);
    std::replace(sizes.begin(), sizes.end(), std::size_t(255), ref::kRest);
    ref::CheckStream(in[0] & 1, m == 0xFFFF ? StreamReader::kDefaultMaxPayload : m, sizes, (in[0] & 2) != 0, in + 4 + k,
                     size - 4 - k);
    return 0;
}
