// Payload entries: every typed writer beside a fresh std::ostringstream (and
// std::to_chars, the floor), and the two readers beside their byte-by-byte
// versions.
#include <charconv>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "reference.h"
#include "ulvex/ulvex.h"
#include "workloads.h"

namespace {

namespace ref = ulvex::ref;

using ref::Bytes;
using ref::u8;

const std::size_t kValues = 256;  // values cycled through, so branches see variety

template <class T>
std::vector<T> Values() {
    std::mt19937_64 rng(21);
    std::vector<T> v(kValues);
    for (std::size_t i = 0; i < kValues; ++i) {
        const std::uint64_t r = rng();
        if constexpr (std::is_floating_point<T>::value) {
            // Magnitudes from 1e-12 to 1e12, both signs, and some integers.
            const double m = static_cast<double>(r >> 11) / 9007199254740992.0;
            const double x = std::pow(10.0, static_cast<double>(static_cast<int>(r % 25)) - 12.0) * m;
            v[i] = static_cast<T>(i % 4 == 0 ? std::floor(x * 1000) : (i % 2 ? -x : x));
        } else {
            // Every digit count of the type.
            const int shift = static_cast<int>(r % (8 * sizeof(T)));
            v[i] = static_cast<T>(r >> (64 - 8 * sizeof(T)) >> shift);
        }
    }
    return v;
}

// The entry a fresh stream makes: key, '=', the stream's text, terminator.
void Entry(Bytes& data, const std::string& key, const std::string& text) {
    data.assign(key.begin(), key.end());
    data.push_back('=');
    data.insert(data.end(), text.begin(), text.end());
    data.push_back('|');
    data.push_back('\r');
    data.push_back('\n');
}

template <class T>
void StreamEntry(Bytes& data, const std::string& key, T value, bool hex) {
    std::ostringstream os;
    if (hex) {
        os << "0x";
        os.width(8);
        os.fill('0');
        os << std::hex << value;
    } else {
        if (std::is_floating_point<T>::value) os.precision(9);
        // The 8-bit types are written as numbers.
        os << +value;
    }
    Entry(data, key, os.str());
}

template <class T>
void Writer(benchmark::State& state, bool hex) {
    std::unique_ptr<IUlvexDataFormatter> fmt(IUlvexDataFormatter::CreateMe());
    const std::vector<T> values = Values<T>();
    const std::string key = "value";
    Bytes a, b;
    for (T v : values) {
        if (hex)
            fmt->FormatDataHex(a, key, static_cast<unsigned int>(v));
        else
            fmt->FormatData(a, key, v);
        StreamEntry(b, key, v, hex);
        if (!bench::Agree(state, a == b)) return;
    }
    std::size_t i = 0;
    for (auto _ : state) {
        const T v = values[i++ % kValues];
        if (hex)
            fmt->FormatDataHex(a, key, static_cast<unsigned int>(v));
        else
            fmt->FormatData(a, key, v);
        benchmark::DoNotOptimize(a.data());
    }
    bench::SetItems(state, 1);
}

template <class T>
void WriterStream(benchmark::State& state, bool hex) {
    const std::vector<T> values = Values<T>();
    const std::string key = "value";
    Bytes data;
    std::size_t i = 0;
    for (auto _ : state) {
        StreamEntry(data, key, values[i++ % kValues], hex);
        benchmark::DoNotOptimize(data.data());
    }
    bench::SetItems(state, 1);
}

// std::to_chars into a stack buffer: the floor for rendering the number.
template <class T>
void WriterToChars(benchmark::State& state) {
    const std::vector<T> values = Values<T>();
    char buf[64];
    std::size_t i = 0;
    for (auto _ : state) {
        const T v = values[i++ % kValues];
        std::to_chars_result r;
        if constexpr (std::is_floating_point<T>::value)
            r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), std::chars_format::general, 9);
        else
            r = std::to_chars(buf, buf + sizeof buf, v);
        benchmark::DoNotOptimize(r.ptr);
        benchmark::ClobberMemory();
    }
    bench::SetItems(state, 1);
}

// 64 KiB of short entries "k<i>=v<i>"; the last key is looked up.
struct Entries {
    Bytes data;
    std::string lastKey;
};
Entries ShortEntries(std::size_t bytes) {
    Entries e;
    for (std::size_t i = 0;; ++i) {
        const std::string entry = "k" + std::to_string(i) + "=v" + std::to_string(i * 7) + "|\r\n";
        if (e.data.size() + entry.size() > bytes) break;
        e.data.insert(e.data.end(), entry.begin(), entry.end());
        e.lastKey = "k" + std::to_string(i);
    }
    return e;
}

void FindInDataLast(benchmark::State& state) {
    const Entries e = ShortEntries(64 * 1024);
    std::unique_ptr<IUlvexDataFormatter> fmt(IUlvexDataFormatter::CreateMe());
    std::string a, b;
    const bool ra = fmt->FindInData(e.data, e.lastKey.c_str(), a);
    const bool rb = ref::FindInData(e.data, e.lastKey.c_str(), b);
    if (!bench::Agree(state, ra && ra == rb && a == b)) return;
    for (auto _ : state) benchmark::DoNotOptimize(fmt->FindInData(e.data, e.lastKey.c_str(), a));
    bench::SetBytes(state, e.data.size());
}

void FindInDataLastBytewise(benchmark::State& state) {
    const Entries e = ShortEntries(64 * 1024);
    std::string text;
    for (auto _ : state) benchmark::DoNotOptimize(ref::FindInData(e.data, e.lastKey.c_str(), text));
    bench::SetBytes(state, e.data.size());
}

Bytes Entries2000() {
    Bytes data;
    for (int i = 0; i < 2000; ++i) {
        const std::string entry = "key" + std::to_string(i) + "=value number " + std::to_string(i) + "|\r\n";
        data.insert(data.end(), entry.begin(), entry.end());
    }
    return data;
}

void FindAll(benchmark::State& state) {
    const Bytes data = Entries2000();
    std::unique_ptr<IUlvexDataFormatter> fmt(IUlvexDataFormatter::CreateMe());
    std::map<std::string, std::string> a, b;
    fmt->FindInDataAllEntry(data.data(), static_cast<unsigned>(data.size()), a);
    ref::FindInDataAllEntry(data.data(), static_cast<unsigned>(data.size()), b);
    if (!bench::Agree(state, a.size() == 2000 && a == b)) return;
    for (auto _ : state) fmt->FindInDataAllEntry(data.data(), static_cast<unsigned>(data.size()), a);
    bench::SetItems(state, 2000);
    bench::SetBytes(state, data.size());
}

void FindAllBytewise(benchmark::State& state) {
    const Bytes data = Entries2000();
    std::map<std::string, std::string> entries;
    for (auto _ : state) ref::FindInDataAllEntry(data.data(), static_cast<unsigned>(data.size()), entries);
    bench::SetItems(state, 2000);
    bench::SetBytes(state, data.size());
}

template <class T>
void AddWriter(const std::string& type) {
    bench::Add("fmt_" + type + "/ulvex", [](benchmark::State& s) { Writer<T>(s, false); });
    bench::Add("fmt_" + type + "/ostream", [](benchmark::State& s) { WriterStream<T>(s, false); });
    bench::Add("fmt_" + type + "/to_chars", WriterToChars<T>);
}

const int registered = [] {
    AddWriter<signed char>("schar");
    AddWriter<unsigned char>("uchar");
    AddWriter<short>("short");
    AddWriter<unsigned short>("ushort");
    AddWriter<int>("int");
    AddWriter<unsigned int>("uint");
    AddWriter<long long>("llong");
    AddWriter<unsigned long long>("ullong");
    AddWriter<float>("float");
    AddWriter<double>("double");
    bench::Add("fmt_hex/ulvex", [](benchmark::State& s) { Writer<unsigned int>(s, true); });
    bench::Add("fmt_hex/ostream", [](benchmark::State& s) { WriterStream<unsigned int>(s, true); });

    bench::Add("findindata_last_64K/ulvex", FindInDataLast)->Unit(benchmark::kMicrosecond);
    bench::Add("findindata_last_64K/bytewise", FindInDataLastBytewise)->Unit(benchmark::kMicrosecond);
    bench::Add("findall_2000/ulvex", FindAll)->Unit(benchmark::kMicrosecond);
    bench::Add("findall_2000/bytewise", FindAllBytewise)->Unit(benchmark::kMicrosecond);
    return 0;
}();

}  // namespace
