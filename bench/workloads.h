// Workloads for the benchmarks: records written byte by byte, random and drawn bytes, and the
// hostile buffers that make a literal checksum-per-candidate scan quadratic.
#ifndef ULVEX_BENCH_WORKLOADS_H
#define ULVEX_BENCH_WORKLOADS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "reference.h"

namespace ulvex {
namespace ref {

// The reference writers, records built byte by byte (the baselines of the
// encoder benchmarks): a binary record.
inline void AppendRecord(Bytes& out, const char* name, const u8* payload, unsigned n, u8 version) {
    u8 h[12] = {'<', 'h', 0, 0, 0, 0, 0, 0, 0, 0, version, '>'}, f[8] = {'<', 0, 0, 0, 0, 0, 0, '>'};
    for (int i = 0; i < 4 && name[i] != 0; ++i) h[2 + i] = f[1 + i] = static_cast<u8>(name[i]);
    for (int i = 0; i < 4; ++i) h[6 + i] = static_cast<u8>(n >> (8 * i));
    const unsigned s = ByteSum(payload, n);
    f[5] = static_cast<u8>(s), f[6] = static_cast<u8>(s >> 8);
    out.insert(out.end(), h, h + 12);
    out.insert(out.end(), payload, payload + n);
    out.insert(out.end(), f, f + 8);
}

// A text record; versions 0 to 9 are written as their digit.
inline void AppendTextRecord(Bytes& out, const char* name, const u8* data, unsigned n, u8 version) {
    char nm[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; i < 4 && name[i] != 0; ++i) nm[i] = name[i];
    char head[32], foot[16];
    std::snprintf(head, sizeof head, "<h%.4s%010u%c>\r\n", nm, n + 2, static_cast<char>(version + '0'));
    const unsigned s = (13u + 10u + ByteSum(data, n)) & 0xFFFFu;
    std::snprintf(foot, sizeof foot, "<%.4s%06u>\r\n", nm, s);
    out.insert(out.end(), head, head + 20);
    out.insert(out.end(), data, data + n);
    out.insert(out.end(), foot, foot + 14);
}

inline Bytes RandomBytes(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<u8>(rng() >> 56);
    return v;
}

// Bytes drawn uniformly from `alphabet`.
inline Bytes DrawnBytes(std::size_t n, const std::string& alphabet, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<u8>(alphabet[rng() % alphabet.size()]);
    return v;
}

// About `total` bytes of records (names DATA, AB, XYZW, Q in turn) with
// payloads of `minPayload` to `maxPayload` random bytes, each after 0 to
// `maxGap` random bytes; text records when `text`; one more byte at the end.
inline Bytes RecordsAmongGarbage(bool text, std::size_t total, std::size_t minPayload, std::size_t maxPayload,
                                 std::size_t maxGap, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    const char* names[] = {"DATA", "AB", "XYZW", "Q"};
    Bytes out;
    out.reserve(total + maxGap + maxPayload + 64);
    for (unsigned i = 0; out.size() < total; ++i) {
        const Bytes gap = RandomBytes(rng() % (maxGap + 1), rng());
        out.insert(out.end(), gap.begin(), gap.end());
        const Bytes payload = RandomBytes(minPayload + rng() % (maxPayload - minPayload + 1), rng());
        const unsigned n = static_cast<unsigned>(payload.size());
        if (text)
            AppendTextRecord(out, names[i % 4], payload.data(), n, static_cast<u8>(i % 10));
        else
            AppendRecord(out, names[i % 4], payload.data(), n, static_cast<u8>(i));
    }
    out.push_back(0);
    return out;
}

// Headers laid back to back, every one announcing the length that ends at
// one shared footer, whose checksum matches none of them: a scan that sums
// each candidate's payload afresh does quadratic work. `n` bytes in all.
inline Bytes HostileBinary(std::size_t n) {
    Bytes v(n, 0);
    const std::size_t F = n - 9;  // footer position; one spare byte at the end
    std::vector<std::size_t> heads;
    for (std::size_t q = 0; q + 12 <= F; q += 12) {
        const std::uint32_t L = static_cast<std::uint32_t>(F - q - 12);
        const u8 h[12] = {'<',
                          'h',
                          'H',
                          'O',
                          'S',
                          'T',
                          static_cast<u8>(L),
                          static_cast<u8>(L >> 8),
                          static_cast<u8>(L >> 16),
                          static_cast<u8>(L >> 24),
                          1,
                          '>'};
        std::memcpy(&v[q], h, 12);
        heads.push_back(q);
    }
    std::vector<bool> used(65536, false);
    unsigned s = 0;
    std::size_t next = heads.size();
    for (std::size_t i = F; i-- > 0;) {  // suffix sums, checked at every payload start
        while (next > 0 && heads[next - 1] + 12 == i + 1) used[s] = true, --next;
        s = (s + v[i]) & 0xFFFFu;
    }
    unsigned c = 0;
    while (used[c]) ++c;
    const u8 f[8] = {'<', 'H', 'O', 'S', 'T', static_cast<u8>(c), static_cast<u8>(c >> 8), '>'};
    std::memcpy(&v[F], f, 8);
    return v;
}

// The same shape in the text form: 18-byte text headers back to back, one
// shared text footer with a checksum that matches none of them.
inline Bytes HostileText(std::size_t n) {
    Bytes v(n, ' ');
    const std::size_t F = n - 14;  // text footer, then CR LF
    std::vector<std::size_t> heads;
    char t[32];
    for (std::size_t q = 0; q + 18 <= F; q += 18) {
        std::snprintf(t, sizeof t, "<hHOST%010u1>", static_cast<unsigned>(F - q - 18));
        std::memcpy(&v[q], t, 18);
        heads.push_back(q);
    }
    std::vector<bool> used(65536, false);
    unsigned s = 0;
    std::size_t next = heads.size();
    for (std::size_t i = F; i-- > 0;) {
        while (next > 0 && heads[next - 1] + 18 == i + 1) used[s] = true, --next;
        s = (s + v[i]) & 0xFFFFu;
    }
    unsigned c = 0;
    while (used[c]) ++c;
    std::snprintf(t, sizeof t, "<HOST%06u>\r\n", c);
    std::memcpy(&v[F], t, 14);
    return v;
}

// Small valid records (28 bytes each) and, after every `every` of them, a
// header announcing the length that ends at one shared footer at the end,
// whose checksum matches none of them: a scan that starts afresh sums
// everything up to that footer again at each such header. At least `n` bytes.
inline Bytes HostileAmongRecords(std::size_t n, std::size_t every) {
    const u8 rec[28] = {'<', 'h', 'S', 'M', 'A', 'L', 8,   0,   0,   0,   1,   '>',  's', 's',
                        's', 's', 's', 's', 's', 's', '<', 'S', 'M', 'A', 'L', 0x98, 3,   '>'};  // checksum 8 * 's'
    const u8 header[12] = {'<', 'h', 'F', 'A', 'R', '!', 0, 0, 0, 0, 1, '>'};
    Bytes b;
    std::vector<std::size_t> traps;
    while (b.size() < n) {
        for (std::size_t i = 0; i < every; ++i) b.insert(b.end(), rec, rec + 28);
        traps.push_back(b.size());
        b.insert(b.end(), header, header + 12);
    }
    const std::size_t footer = b.size();
    std::vector<bool> used(65536, false);  // each trap's payload checksum
    unsigned sum = 0;
    for (std::size_t t = traps.size(), at = footer; t-- > 0;) {
        for (; at > traps[t] + 12; --at) sum = (sum + b[at - 1]) & 0xFFFFu;
        used[sum] = true;
        const std::size_t len = footer - traps[t] - 12;
        for (int k = 0; k < 4; ++k) b[traps[t] + 6 + k] = static_cast<u8>(len >> (8 * k));
    }
    unsigned wrong = 0;
    while (used[wrong]) ++wrong;
    const u8 f[9] = {'<', 'F', 'A', 'R', '!', static_cast<u8>(wrong), static_cast<u8>(wrong >> 8), '>', 0};
    b.insert(b.end(), f, f + 9);
    return b;
}

}  // namespace ref
}  // namespace ulvex

#endif  // ULVEX_BENCH_WORKLOADS_H
