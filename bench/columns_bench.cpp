// Entry columns: ReadColumns over the records of a capture (an integer
// timestamp, a device string, a float reading and an integer sequence number
// per record, garbage between records) beside the obvious route, each
// payload's FindInDataAllEntry map with the numbers converted by strtoll /
// strtod. Items are entries.
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "ulvex/ulvex.h"

namespace {

using ulvex::ColumnType;
typedef std::vector<unsigned char> Bytes;

const std::size_t kRecords = 200000;
const char* const kKeys[4] = {"ts", "device", "reading", "seq"};

struct Capture {
    Bytes buf;
    std::vector<ulvex::Record> records;
};

const Capture& Notebook() {
    static const Capture c = [] {
        Capture out;
        CUlvexDataFormatter f;
        CUlvexEncoder enc;
        std::mt19937_64 rng(21);
        Bytes payload, e;
        for (std::size_t i = 0; i < kRecords; ++i) {
            payload.clear();
            auto add = [&](bool) { payload.insert(payload.end(), e.begin(), e.end()); };
            add(f.FormatData(e, kKeys[0], static_cast<long long>(1700000000000LL + static_cast<long long>(i) * 10)));
            add(f.FormatData(e, kKeys[1], "dev-" + std::to_string(rng() % 64)));
            add(f.FormatData(e, kKeys[2], static_cast<double>(rng() % 100000) / 997.0));
            add(f.FormatData(e, kKeys[3], static_cast<unsigned>(i)));
            enc.AddTagBin(out.buf, i % 8 ? "TEMP" : "STAT", payload, 1);
            for (std::uint64_t g = rng() % 8; g > 0; --g) out.buf.push_back(static_cast<unsigned char>(rng()));
        }
        ulvex::Scan(ulvex::RecordForm::Binary, out.buf.data(), out.buf.size(), out.records);
        return out;
    }();
    return c;
}

void Columns(benchmark::State& state, bool typed) {
    const Capture& c = Notebook();
    const std::size_t n = c.records.size();
    const ColumnType types[4] = {ColumnType::Int64, ColumnType::Str, ColumnType::Float64, ColumnType::Int64};
    std::vector<unsigned char> present(4 * n);
    std::vector<std::uint64_t> values(4 * n);
    std::vector<ulvex::ByteSpan> spans(4 * n);
    ulvex::Column cols[4];
    for (int k = 0; k < 4; ++k) {
        cols[k].key = kKeys[k];
        cols[k].keyLen = std::char_traits<char>::length(kKeys[k]);
        cols[k].type = typed ? types[k] : ColumnType::Auto;
        cols[k].present = present.data() + k * n;
        cols[k].values = values.data() + k * n;
        cols[k].spans = spans.data() + k * n;
    }
    ulvex::ColumnOptions options;
    options.threads = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        ulvex::ReadColumns(c.buf.data(), c.buf.size(), c.records.data(), n, cols, 4, options, nullptr);
        benchmark::DoNotOptimize(values.data());
    }
    bool same = n == kRecords;
    for (int k = 0; k < 4; ++k) same = same && cols[k].resolved == types[k];
    if (!bench::Agree(state, same)) return;
    bench::SetItems(state, 4 * n);
}

void EntryMaps(benchmark::State& state) {
    const Capture& c = Notebook();
    CUlvexDataFormatter f;
    std::map<std::string, std::string> m;
    std::vector<long long> ts(c.records.size()), seq(c.records.size());
    std::vector<double> reading(c.records.size());
    std::vector<std::string> device(c.records.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < c.records.size(); ++i) {
            const ulvex::Record& r = c.records[i];
            f.FindInDataAllEntry(c.buf.data() + r.payloadOffset, r.payloadLen, m);
            ts[i] = std::strtoll(m["ts"].c_str(), nullptr, 10);
            device[i] = m["device"];
            reading[i] = std::strtod(m["reading"].c_str(), nullptr);
            seq[i] = std::strtoll(m["seq"].c_str(), nullptr, 10);
        }
        benchmark::DoNotOptimize(ts.data());
    }
    bench::SetItems(state, 4 * c.records.size());
}

const int registered = [] {
    using benchmark::kMillisecond;
    bench::Add("columns_notebook_200k/ReadColumns_auto", [](benchmark::State& s) { Columns(s, false); })
        ->Arg(1)
        ->Arg(2)
        ->UseRealTime()
        ->Unit(kMillisecond);
    bench::Add("columns_notebook_200k/ReadColumns_typed", [](benchmark::State& s) { Columns(s, true); })
        ->Arg(1)
        ->UseRealTime()
        ->Unit(kMillisecond);
    bench::Add("columns_notebook_200k/FindInDataAllEntry_strtod", EntryMaps)->UseRealTime()->Unit(kMillisecond);
    return 0;
}();

}  // namespace
