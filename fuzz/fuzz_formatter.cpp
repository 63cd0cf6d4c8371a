// The entry readers against the reference reading of the value stop rule,
// and the column reader on a payload that has more of the buffer after it.
// Input: a key length byte, the key, then the data.
#include <algorithm>
#include <map>
#include <memory>

#include "fuzz_util.h"
#include "ulvex/columns.h"
#include "ulvex/data_formatter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size) {
    if (size < 1 || size > 0x100000) return 0;
    const std::size_t k = std::min<std::size_t>(in[0] % 16, size - 1);
    const std::string key((const char*)in + 1, k);
    const std::vector<u8> data(in + 1 + k, in + size);  // exactly n bytes
    const u8* d = data.empty() ? nullptr : data.data();
    std::unique_ptr<IUlvexDataFormatter> f(IUlvexDataFormatter::CreateMe());

    std::string want, text = "previous";
    const bool hit = ref::FindInData(data, key.c_str(), want);
    CHECK(f->FindInData(data, key.c_str(), text) == hit);
    CHECK(text == want);

    std::map<std::string, std::string> wantMap, got = {{"previous", "x"}};
    ref::FindInDataAllEntry(d, data.size(), wantMap);
    CHECK(f->FindInDataAllEntry(d, u32(data.size()), got));
    CHECK(got == wantMap);

    // The column reader on a payload of the first three quarters: its walk may read the rest, never use it.
    std::map<std::string, std::string> part;
    ulvex::Record r{};
    r.payloadLen = u32(data.size() - data.size() / 4);
    ref::FindInDataAllEntry(d, r.payloadLen, part);
    std::vector<ulvex::Column> cols(part.size());
    std::vector<ulvex::ByteSpan> spans(part.size());
    std::vector<unsigned char> present(part.size());
    auto kv = part.begin();
    for (std::size_t c = 0; c < cols.size(); ++c, ++kv)
        cols[c].key = kv->first.data(), cols[c].keyLen = kv->first.size(), cols[c].type = ulvex::ColumnType::Bytes,
        cols[c].present = &present[c], cols[c].spans = &spans[c];
    std::uint64_t others = 1;
    CHECK(ulvex::ReadColumns(d, data.size(), &r, 1, cols.data(), cols.size(), {}, nullptr, &others) ==
              ulvex::ColumnStatus::Ok &&
          others == 0);
    kv = part.begin();
    for (std::size_t c = 0; c < cols.size(); ++c, ++kv)
        CHECK(present[c] && std::string((const char*)d + spans[c].offset, spans[c].length) == kv->second);
    return 0;
}
