// Payload checksums for the scans, with a linear-time guarantee.
//
// A scan computes the checksum of a candidate only after its header, fit and
// footer have passed, so ordinary inputs cost one pass per found record. A
// hostile input can still make a plain scan quadratic: many headers that all
// announce lengths ending at one shared footer with a wrong checksum make it
// sum the same bytes again and again. BlockSums counts the bytes it sums; once
// that exceeds four times the bytes the scan has passed over (plus 64 KiB) it
// switches to running 16-bit sums per 64-byte block and answers each further
// query from the table and two partial blocks. Results are identical either way.
//
// Queries come at increasing offsets (a scan decides positions in order), so
// the table covers a sliding range: it grows at its end and forgets its
// beginning. Its memory is bounded by the longest payload queried (1/32 of
// it), not by the input. Every reader uses it: the 32-bit lookups, the
// streaming reader and each chunk of the any-size scan.
//
// A bulk or helper-driven scan installs a ScanScope so that its repeated single
// lookups share one BlockSums (the work is counted across the whole scan, and
// the table is built once). The single lookups find it through a thread-local
// pointer, matched on the buffer's address and length; a lookup on another
// buffer uses its own.
#ifndef ULVEX_SRC_COMMON_BLOCK_SUMS_H
#define ULVEX_SRC_COMMON_BLOCK_SUMS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/checksum.h"

namespace ulvex {
namespace detail {

class BlockSums {
public:
    // Payloads shorter than this are always summed directly: the table would
    // not save anything on them, and a scan tries each position at most once.
    static constexpr std::size_t kDirect = 128;

    // The checksum of the `n` bytes at `p`, which hold the input from offset
    // `off` on. `passed` is how many bytes the scan has passed over so far
    // (or the input length): the budget of direct summing grows with it.
    std::uint16_t Sum(const unsigned char* p, std::uint64_t off, std::size_t n, std::uint64_t passed) {
        if (n < kDirect) return Checksum(p, n);
        if (!m_active) {
            m_work += n;
            if (m_work <= 4 * passed + (1u << 16)) return Checksum(p, n);
            m_active = true;
            Restart(RoundUp(off));
        }
        return Blocked(p, off, n);
    }

private:
    static constexpr std::uint64_t kBlock = 64;
    static_assert(kDirect >= 2 * kBlock, "a blocked sum spans at least one whole block");

    static std::uint64_t RoundUp(std::uint64_t v) { return (v + kBlock - 1) / kBlock * kBlock; }

    void Restart(std::uint64_t first) {
        m_first = first;
        m_prefix.assign(1, 0);
    }

    std::uint16_t Blocked(const unsigned char* p, std::uint64_t off, std::size_t n) {
        const std::uint64_t lo = RoundUp(off), hi = (off + n) / kBlock * kBlock;
        // A query behind the table (a helper that steps back) is summed directly.
        if (lo >= hi || lo < m_first) return Checksum(p, n);
        std::uint64_t done = m_first + (m_prefix.size() - 1) * kBlock;
        if (done < lo) {
            Restart(lo);
            done = lo;
        } else if ((lo - m_first) / kBlock > m_prefix.size() / 2) {
            const std::size_t k = static_cast<std::size_t>((lo - m_first) / kBlock);
            m_prefix.erase(m_prefix.begin(), m_prefix.begin() + static_cast<std::ptrdiff_t>(k));
            m_first += k * kBlock;
        }
        for (; done < hi; done += kBlock)
            m_prefix.push_back(static_cast<std::uint16_t>(m_prefix.back() + Checksum(p + (done - off), kBlock)));
        std::uint16_t s = static_cast<std::uint16_t>(m_prefix[static_cast<std::size_t>((hi - m_first) / kBlock)] -
                                                     m_prefix[static_cast<std::size_t>((lo - m_first) / kBlock)]);
        s = static_cast<std::uint16_t>(s + Checksum(p, static_cast<std::size_t>(lo - off)));
        s = static_cast<std::uint16_t>(s + Checksum(p + (hi - off), static_cast<std::size_t>(off + n - hi)));
        return s;
    }

    bool m_active = false;
    std::uint64_t m_work = 0;
    std::uint64_t m_first = 0;  // input offset of the block boundary m_prefix[0] stands for
    std::vector<std::uint16_t> m_prefix;
};

// A BlockSums for one whole buffer, as the 32-bit lookups see it.
struct BufferSums {
    BufferSums(const unsigned char* buf, std::uint64_t len) : buffer(buf), length(len) {}
    const unsigned char* buffer;
    std::uint64_t length;
    BlockSums sums;
};

// The BufferSums of the innermost bulk or helper-driven scan of this thread.
BufferSums*& CurrentScanSums();

// Installs a shared BufferSums for the duration of a bulk scan.
class ScanScope {
public:
    ScanScope(const void* buf, std::uint64_t len)
        : m_sums(static_cast<const unsigned char*>(buf), len), m_prev(CurrentScanSums()) {
        CurrentScanSums() = &m_sums;
    }
    ~ScanScope() { CurrentScanSums() = m_prev; }
    ScanScope(const ScanScope&) = delete;
    ScanScope& operator=(const ScanScope&) = delete;

private:
    BufferSums m_sums;
    BufferSums* m_prev;
};

// What one lookup uses for its checksums: the enclosing scan's BufferSums
// when it covers the same buffer, otherwise its own. The thread-local pointer
// is read on the first long checksum only, so a lookup that never reaches one
// never looks.
class LookupSums {
public:
    LookupSums(const unsigned char* buf, std::uint64_t len) : m_own(buf, len) {}

    std::uint16_t Sum(const unsigned char* p, std::uint64_t off, std::size_t n) {
        if (n < BlockSums::kDirect) return Checksum(p, n);
        return LargeSum(p, off, n);
    }

private:
    __attribute__((noinline)) std::uint16_t LargeSum(const unsigned char* p, std::uint64_t off, std::size_t n) {
        if (m_active == nullptr) Attach();
        return m_active->sums.Sum(p, off, n, m_active->length);
    }

    void Attach() {
        BufferSums* shared = CurrentScanSums();
        const bool same = shared != nullptr && shared->buffer == m_own.buffer && shared->length == m_own.length;
        m_active = same ? shared : &m_own;
    }

    BufferSums m_own;
    BufferSums* m_active = nullptr;
};

// Sums for a reader that passes over an input in order: the budget grows
// with the bytes passed.
class PassSums {
public:
    explicit PassSums(const std::uint64_t& passed) : m_passed(passed) {}
    std::uint16_t Sum(const unsigned char* p, std::uint64_t off, std::size_t n) {
        return m_sums.Sum(p, off, n, m_passed);
    }

private:
    const std::uint64_t& m_passed;
    BlockSums m_sums;
};

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_COMMON_BLOCK_SUMS_H
