// Entry columns: every column agrees, row for row, with FindInDataAllEntry of the record's payload followed by
// a reference reading of numbers (a regular expression and the C library's strto* functions), on generated
// payloads, for every thread count.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <random>
#include <regex>
#include <set>

#include "ulvex/ulvex.h"

namespace {
using Bytes = std::vector<unsigned char>;
using ulvex::ColumnType;

// The reference: kind 0 no number, 1 negative, 2 in [0, 2^63), 3 in [2^63, 2^64), 4 floating point.
struct RefNumber {
    int kind = 0;
    std::uint64_t u = 0;
    double d = 0;
};
RefNumber Reference(const std::string& s) {
    static const std::regex dec("-?[0-9]+"), hex("0x[0-9a-fA-F]+"),
        flt("-?(([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?|inf|nan)");
    RefNumber r;
    errno = 0;
    if (std::regex_match(s, dec) && s[0] == '-') {
        const long long v = std::strtoll(s.c_str(), nullptr, 10);
        r.kind = v < 0 ? 1 : 2, r.u = static_cast<std::uint64_t>(v);
    } else if (std::regex_match(s, dec) || std::regex_match(s, hex)) {
        r.u = std::strtoull(s.c_str() + (s[1] == 'x' ? 2 : 0), nullptr, s[1] == 'x' ? 16 : 10);
        r.kind = r.u >> 63 ? 3 : 2;
    } else if (std::regex_match(s, flt)) {
        r.kind = 4;
    }
    if (errno == ERANGE || r.kind == 4) r.kind = 4, r.d = std::strtod(s.c_str(), nullptr);
    if (r.kind == 1) r.d = static_cast<double>(static_cast<std::int64_t>(r.u));
    if (r.kind == 2 || r.kind == 3) r.d = static_cast<double>(r.u);
    return r;
}

bool Fits(ColumnType t, const RefNumber& r) {
    return t == ColumnType::Int64    ? r.kind == 1 || r.kind == 2
           : t == ColumnType::UInt64 ? r.kind == 2 || r.kind == 3
                                     : r.kind != 0;
}

struct Table {
    std::vector<ulvex::Column> columns;
    std::vector<std::vector<unsigned char>> present;
    std::vector<std::vector<std::uint64_t>> values;
    std::vector<std::vector<ulvex::ByteSpan>> spans;
};
Table Read(const Bytes& buf, const std::vector<ulvex::Record>& recs, const std::vector<std::string>& keys,
           const std::vector<ColumnType>& types, unsigned threads, bool raise, ulvex::ColumnStatus* status = nullptr,
           ulvex::ColumnError* error = nullptr) {
    Table t;
    t.columns.resize(keys.size());
    t.present.assign(keys.size(), std::vector<unsigned char>(recs.size(), 7));
    t.values.assign(keys.size(), std::vector<std::uint64_t>(recs.size(), 7));
    t.spans.assign(keys.size(), std::vector<ulvex::ByteSpan>(recs.size()));
    for (std::size_t c = 0; c < keys.size(); ++c) {
        ulvex::Column& col = t.columns[c];
        col.key = keys[c].data(), col.keyLen = keys[c].size(), col.type = types[c];
        col.present = t.present[c].data(), col.values = t.values[c].data(), col.spans = t.spans[c].data();
    }
    ulvex::ColumnOptions options;
    options.threads = threads, options.raise = raise;
    const ulvex::ColumnStatus s = ulvex::ReadColumns(buf.data(), buf.size(), recs.data(), recs.size(), t.columns.data(),
                                                     t.columns.size(), options, error);
    if (status != nullptr) *status = s;
    return t;
}

// Values: every writer's output (with the integer edges and one past them written as text), number look-alikes,
// bytes that are not UTF-8, zero bytes and separators.
std::string Value(std::mt19937_64& rng, CUlvexDataFormatter& f, bool numbers = false) {
    // clang-format off
    static const double dbl[] = {0.1, -0.0, 1e300, 1e-300, 1234567890.0, 1.0 / 3, INFINITY, -INFINITY, NAN, 6e-5};
    static const std::string text[] = {"9223372036854775807", "9223372036854775808", "-9223372036854775808",
        "-9223372036854775809", "18446744073709551615", "18446744073709551616", "0x", "0X1", "-0x1", "-00000000000000000000042", "0x000000000000000000fF",
        "0xFFFFFFFFFFFFFFFF", "0x10000000000000000", "1e", ".5", "1.", "+1", " 1", "-", "1e400", "-1e-400", "inf",
        "-nan", "infinity", "12ab", "", "a\xff\xfe", "\xe2\x82\xac", "\xed\xa0\x80", "\xf4\x90\x80\x80",
        std::string("x\0y", 3), std::string("1\0z", 3), "a|b", "q\r", "w\n"};
    // clang-format on
    const std::uint64_t r = rng();
    const double d = dbl[(r >> 8) % 10];
    Bytes e;
    // clang-format off
    switch (r % (numbers ? 6 : 8)) {
        case 0: f.FormatData(e, "", static_cast<long long>(r)); break;
        case 1: f.FormatData(e, "", static_cast<unsigned long long>(r >> (r % 64))); break;
        case 2: f.FormatData(e, "", static_cast<int>(r >> 40)); break;
        case 3: f.FormatData(e, "", static_cast<float>(d)); break;
        case 4: f.FormatData(e, "", d * static_cast<double>(r >> 48)); break;
        case 5: f.FormatDataHex(e, "", static_cast<unsigned>(r)); break;
        default: return text[(r >> 8) % (sizeof text / sizeof *text)];
    }
    // clang-format on
    return std::string(e.begin() + 1, e.end() - 3);
}

TEST(Columns, AgreeWithTheEntryReaderForEveryTypeAndThreadCount) {
    const std::vector<std::string> keys = {"a", "bb", "a", std::string("k\0z", 3), "\xff", "z", "n", "f", "absent"};
    const std::vector<ColumnType> types = {ColumnType::Int64, ColumnType::UInt64, ColumnType::Float64,
                                           ColumnType::Str,   ColumnType::Bytes,  ColumnType::Auto,
                                           ColumnType::Auto,  ColumnType::Auto,   ColumnType::Auto};
    std::mt19937_64 rng(5);
    CUlvexDataFormatter f;
    Bytes buf;
    std::vector<ulvex::Record> recs(9000);
    for (std::size_t i = 0; i < recs.size(); ++i) {
        recs[i].payloadOffset = buf.size();
        // Key "n" holds integers below 2^63 in the first 6000 records, so that ranges meet them alone, then
        // larger ones; "f" holds numbers of every writer.
        for (int e = static_cast<int>(rng() % 6); e > 0; --e) {
            const std::string& key = keys[rng() % 8];
            const std::string v = key == "n"   ? std::to_string(i < 6000 ? rng() % 100 : rng() | 1ull << 63)
                                  : key == "f" ? Value(rng, f, true)
                                               : Value(rng, f);
            buf.insert(buf.end(), key.begin(), key.end());
            buf.push_back('='), buf.insert(buf.end(), v.begin(), v.end());
            buf.insert(buf.end(), {'|', '\r', '\n'});
        }
        recs[i].payloadLen = static_cast<std::uint32_t>(buf.size() - recs[i].payloadOffset);
    }
    // The reference: each record's map, its value of each key read as a number.
    std::vector<std::vector<int>> has(keys.size(), std::vector<int>(recs.size()));
    std::vector<std::vector<std::string>> val(keys.size(), std::vector<std::string>(recs.size()));
    std::vector<std::vector<RefNumber>> ref(keys.size(), std::vector<RefNumber>(recs.size()));
    std::map<std::string, std::string> m;
    std::set<std::string> allKeys;
    for (std::size_t i = 0; i < recs.size(); ++i) {
        f.FindInDataAllEntry(buf.data() + recs[i].payloadOffset, recs[i].payloadLen, m);
        for (const auto& kv : m) allKeys.insert(kv.first);
        for (std::size_t c = 0; c < keys.size(); ++c)
            if (m.count(keys[c])) has[c][i] = 1, val[c][i] = m[keys[c]], ref[c][i] = Reference(val[c][i]);
    }
    const Table t = Read(buf, recs, keys, types, 1, false);
    for (std::size_t c = 0; c < keys.size(); ++c) {
        auto allFit = [&](ColumnType type) {
            for (std::size_t i = 0; i < recs.size(); ++i)
                if (has[c][i] && !Fits(type, ref[c][i])) return false;
            return std::count(has[c].begin(), has[c].end(), 1) > 0;
        };
        const ColumnType want = types[c] != ColumnType::Auto  ? types[c]
                                : allFit(ColumnType::Int64)   ? ColumnType::Int64
                                : allFit(ColumnType::UInt64)  ? ColumnType::UInt64
                                : allFit(ColumnType::Float64) ? ColumnType::Float64
                                                              : ColumnType::Str;
        ASSERT_EQ(t.columns[c].resolved, want) << c;
        const bool numeric = want != ColumnType::Str && want != ColumnType::Bytes;
        for (std::size_t i = 0; i < recs.size(); ++i) {
            const std::string& v = val[c][i];
            const bool present = has[c][i] && (!numeric || Fits(want, ref[c][i]));
            ASSERT_EQ(t.present[c][i], present) << c << " row " << i;
            if (!present) continue;
            const ulvex::ByteSpan s = t.spans[c][i];
            ASSERT_EQ(std::string(buf.begin() + s.offset, buf.begin() + s.offset + s.length), v);
            const double d = ref[c][i].d;
            double got;  // the value's bits as a double
            std::memcpy(&got, &t.values[c][i], 8);
            if (want == ColumnType::Float64)
                ASSERT_TRUE(!std::memcmp(&got, &d, 8) || (std::isnan(d) && std::isnan(got))) << v;
            else if (numeric)
                ASSERT_EQ(t.values[c][i], ref[c][i].u) << v;
            else if (want == ColumnType::Str) {  // the generator's one well-formed multi-byte value is the euro sign
                ASSERT_EQ(s.utf8, std::regex_match(v, std::regex("[\\x00-\\x7f]*")) || v == "\xe2\x82\xac") << v;
            }
        }
    }
    // The first bad value: lowest row, then lowest column, among the explicit numeric columns.
    std::size_t row = 0, col = 0;
    while (!(has[col][row] && !Fits(types[col], ref[col][row])))
        if (++col == 3) col = 0, ++row;
    // Every thread count fills the same columns and reports the same first bad value.
    for (unsigned threads = 1; threads <= 8; ++threads) {
        const Table u = Read(buf, recs, keys, types, threads, false);
        EXPECT_TRUE(u.present == t.present && u.values == t.values) << threads;
        ulvex::ColumnError e{};
        ulvex::ColumnStatus status;
        Read(buf, recs, keys, types, threads, true, &status, &e);
        EXPECT_EQ(status, ulvex::ColumnStatus::BadValue);
        EXPECT_TRUE(e.row == row && e.column == col) << threads << ": " << e.row << "," << e.column;
        EXPECT_EQ(std::string(buf.begin() + e.value.offset, buf.begin() + e.value.offset + e.value.length),
                  val[col][row]);
    }
    // The keys listed: each key of any record once, the same for every thread count.
    std::vector<ulvex::ByteSpan> found, again;
    ASSERT_TRUE(ulvex::ListKeys(buf.data(), buf.size(), recs.data(), recs.size(), found));
    std::set<std::string> listed;
    for (const ulvex::ByteSpan& s : found)
        listed.insert(std::string(buf.begin() + s.offset, buf.begin() + s.offset + s.length));
    EXPECT_EQ(listed, allKeys);
    EXPECT_EQ(listed.size(), found.size());
    ulvex::ListKeys(buf.data(), buf.size(), recs.data(), recs.size(), again, 8);
    EXPECT_TRUE(std::equal(found.begin(), found.end(), again.begin(), again.end(),
                           [](const ulvex::ByteSpan& x, const ulvex::ByteSpan& y) { return x.offset == y.offset; }));
}

}  // namespace
