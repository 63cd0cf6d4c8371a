// The entry readers against a reference reading of the value stop rule.
// Input: a key length byte, the key, then the data.
#include <algorithm>
#include <map>
#include <memory>

#include "oracle.h"
#include "ulvex/data_formatter.h"

using namespace oracle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size) {
    if (size < 1 || size > 0x100000) return 0;
    const std::size_t k = std::min<std::size_t>(in[0] % 16, size - 1);
    const std::string key((const char*)in + 1, k);
    const std::vector<u8> data(in + 1 + k, in + size);  // exactly n bytes
    const u8* d = data.empty() ? nullptr : data.data();
    const std::size_t n = data.size(), m = std::strlen(key.c_str()) + 1;
    std::unique_ptr<IUlvexDataFormatter> f(IUlvexDataFormatter::CreateMe());

    // FindInData: the first place where the key's bytes (up to its NUL) and
    // '=' occur, and the entry text from there.
    std::string want, text = "previous";
    bool hit = false;
    for (std::size_t i = 0; i < n && !hit; ++i) {
        hit = i + m <= n;
        for (std::size_t j = 0; hit && j < m; ++j) hit = d[i + j] == (j + 1 < m ? u8(key[j]) : '=');
        if (hit) want.assign((const char*)d + i, valueEnd(d, n, i) - i);
    }
    CHECK(f->FindInData(data, key.c_str(), text) == hit && text == want);

    // FindInDataAllEntry: the key runs to the first '=' after its first byte,
    // the value by the stop rule, cut at a NUL; then three bytes are skipped.
    // A key without '=' takes the rest; the last occurrence of a key wins.
    std::map<std::string, std::string> wantMap, got = {{"previous", "x"}};
    for (std::size_t start = 0, eq, end, v; start < n; start = end + 3) {
        for (eq = start + 1; eq < n && d[eq] != '=';) ++eq;
        if (eq >= n) {
            wantMap[std::string((const char*)d + start, n - start)] = "";
            break;
        }
        for (end = valueEnd(d, n, eq + 1), v = eq + 1; v < end && d[v] != 0;) ++v;
        wantMap[std::string((const char*)d + start, eq - start)].assign((const char*)d + eq + 1, v - eq - 1);
    }
    CHECK(f->FindInDataAllEntry(d, u32(n), got) && got == wantMap);
    return 0;
}
