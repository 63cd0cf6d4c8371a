// The entry readers against the reference reading of the value stop rule.
// Input: a key length byte, the key, then the data.
#include <algorithm>
#include <map>
#include <memory>

#include "fuzz_util.h"
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
    return 0;
}
