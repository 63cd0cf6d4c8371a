// ulvex::Scan against the reference listing, for thread counts and chunk
// sizes drawn from the input; and the resume contract: a scan stopped by its callback and
// called again from the returned position lists the same records.
//
// Input: 6 control bytes, then the buffer.
//   [0]    bit 0: text form; bits 1-3: threads - 1 (1..8)
//   [1..2] chunk size (little-endian, modulo 400; 0: the library chooses)
//   [3]    bits 0-2: records the callback takes before it stops the scan
//          (0: the first call takes none, the next ones take 1); bits 3-4:
//          calls that stop so, minus 1 (later calls take every record)
//   [4..5] start position of the resumed scan (modulo length + 2)
#include <algorithm>
#include <vector>

#include "fuzz_util.h"
#include "ulvex/scan.h"

namespace {

// Takes up to `quota` records per Scan call, then stops the scan.
struct Taker {
    std::vector<Record> taken;
    std::size_t quota, left;
    static std::size_t Take(void* self, const Record* records, std::size_t count) {
        Taker& t = *static_cast<Taker*>(self);
        const std::size_t k = std::min(count, t.left);
        t.taken.insert(t.taken.end(), records, records + k);
        t.left -= k;
        return k;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size) {
    if (size < 6 || size > 0x100000) return 0;
    const bool text = in[0] & 1;
    const RecordForm form = text ? RecordForm::Text : RecordForm::Binary;
    ScanOptions options;
    options.threads = 1 + (in[0] >> 1) % 8;
    options.chunkSize = (in[1] | in[2] << 8) % 400;
    const u32 n = u32(size - 6);
    const std::vector<u8> buf(in + 6, in + size);  // exactly n bytes: any overread is reported
    const u8* b = buf.data();

    // The whole buffer, appended after what the vector held.
    const std::vector<ref::Found> want = ref::ListAll(text, b, n);
    std::vector<Record> got(1);
    got[0].offset = 12345;
    Scan(form, b, n, got, options);
    CHECK(got.size() == want.size() + 1);
    CHECK(got[0].offset == 12345);
    got.erase(got.begin());
    CHECK(ref::Show(got) == ref::Show(want));

    // Resumed scans from a start position: each call continues just past the
    // last record taken, and together they list the scan from that start.
    const u64 start = (in[4] | in[5] << 8) % (u64(n) + 2);
    const std::vector<ref::Found> wantFrom = ref::ListAll(text, b, n, start);
    Taker taker;
    taker.quota = in[3] % 8;
    const std::size_t stopping = 1 + (in[3] >> 3) % 4;
    u64 pos = start;
    for (std::size_t calls = 0;; ++calls) {
        CHECK(calls <= stopping);
        const std::size_t before = taker.taken.size();
        const u64 posBefore = pos;
        const std::size_t allowed = calls >= stopping                ? ~std::size_t(0)
                                    : calls == 0 || taker.quota != 0 ? taker.quota
                                                                     : 1;
        taker.left = allowed;
        const bool done = Scan(form, b, n, pos, options, Taker::Take, &taker);
        const std::size_t now = taker.taken.size();
        CHECK(now - before <= allowed);
        if (now > before) {
            const Record& last = taker.taken.back();
            CHECK(pos == last.offset + last.recordLen);
        } else {
            CHECK(pos == posBefore);
        }
        if (done) break;
        CHECK(taker.left == 0);
    }
    CHECK(ref::Show(taker.taken) == ref::Show(wantFrom));
    return 0;
}
