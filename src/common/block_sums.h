// Payload checksums for the scans, with a linear-time guarantee.
//
// A scan computes the checksum of a candidate only after its header, fit and
// footer have passed, so ordinary buffers cost one pass per found record. A
// hostile buffer can still make the plain scan quadratic: many headers that
// all announce lengths ending at one shared footer with a wrong checksum make
// it sum the same bytes again and again. PayloadSums counts the bytes summed;
// once that exceeds a few times the buffer length it builds block prefix sums
// (one 16-bit sum per 64 bytes, 1/32 of the buffer) and answers each further
// query with two partial blocks. Results are identical either way.
//
// A bulk or helper-driven scan installs a ScanScope so that its repeated
// single lookups share one PayloadSums (the work is counted across the whole
// scan, and the prefix sums are built at most once). The single lookups find
// it through a thread-local pointer, matched on the buffer's address and
// length; a lookup on another buffer uses its own.
#ifndef ULVEX_SRC_COMMON_BLOCK_SUMS_H
#define ULVEX_SRC_COMMON_BLOCK_SUMS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "common/checksum.h"

namespace ulvex {
namespace detail {

class PayloadSums {
public:
    PayloadSums(const unsigned char* buf, unsigned int len) : m_buf(buf), m_len(len) {
        m_budget = 4ull * len + (1u << 16);
    }

    const unsigned char* Buffer() const { return m_buf; }
    unsigned int Length() const { return m_len; }

    // Payloads shorter than this are always summed directly: the table would
    // not save anything on them, and a scan tries each position at most once,
    // so they add at most that many bytes per position.
    static constexpr unsigned int kDirect = 128;

    // The checksum of the `n` bytes at offset `off` (inside the buffer).
    std::uint16_t Sum(unsigned int off, unsigned int n) {
        if (n < kDirect) return Checksum(m_buf + off, n);
        if (m_prefix) return Blocked(off, n);
        m_work += n;
        if (m_work > m_budget && BuildPrefix()) return Blocked(off, n);
        return Checksum(m_buf + off, n);
    }

private:
    static constexpr unsigned int kBlock = 64;

    bool BuildPrefix() {
        const std::size_t blocks = m_len / kBlock;
        std::uint16_t* prefix = new (std::nothrow) std::uint16_t[blocks + 1];
        if (prefix == nullptr) {
            m_budget = ~0ull;  // no memory for the table: keep summing directly
            return false;
        }
        std::uint16_t s = 0;
        prefix[0] = 0;
        for (std::size_t b = 0; b < blocks; ++b) {
            s = static_cast<std::uint16_t>(s + Checksum(m_buf + b * kBlock, kBlock));
            prefix[b + 1] = s;
        }
        m_prefix.reset(prefix);
        return true;
    }

    static_assert(kDirect >= 2 * kBlock, "a blocked sum spans at least one whole block");

    std::uint16_t Blocked(unsigned int off, unsigned int n) {
        const std::size_t end = static_cast<std::size_t>(off) + n;
        const std::size_t firstBlock = (static_cast<std::size_t>(off) + kBlock - 1) / kBlock;
        const std::size_t lastBlock = end / kBlock;
        std::uint16_t s = static_cast<std::uint16_t>(m_prefix[lastBlock] - m_prefix[firstBlock]);
        s = static_cast<std::uint16_t>(s + Checksum(m_buf + off, firstBlock * kBlock - off));
        s = static_cast<std::uint16_t>(s + Checksum(m_buf + lastBlock * kBlock, end - lastBlock * kBlock));
        return s;
    }

    const unsigned char* m_buf;
    unsigned int m_len;
    unsigned long long m_work = 0;
    unsigned long long m_budget;
    std::unique_ptr<std::uint16_t[]> m_prefix;
};

// The PayloadSums of the innermost bulk or helper-driven scan of this thread.
PayloadSums*& CurrentScanSums();

// Installs a shared PayloadSums for the duration of a bulk scan.
class ScanScope {
public:
    ScanScope(const void* buf, unsigned int len)
        : m_sums(static_cast<const unsigned char*>(buf), len), m_prev(CurrentScanSums()) {
        CurrentScanSums() = &m_sums;
    }
    ~ScanScope() { CurrentScanSums() = m_prev; }
    ScanScope(const ScanScope&) = delete;
    ScanScope& operator=(const ScanScope&) = delete;

private:
    PayloadSums m_sums;
    PayloadSums* m_prev;
};

// What one lookup uses for its checksums: the enclosing scan's PayloadSums
// when it covers the same buffer, otherwise its own. The thread-local pointer
// is read on the first checksum only, so a lookup that never reaches one
// never looks.
class LookupSums {
public:
    LookupSums(const unsigned char* buf, unsigned int len) : m_own(buf, len) {}

    std::uint16_t Sum(unsigned int off, unsigned int n) {
        if (n < PayloadSums::kDirect) return Checksum(m_own.Buffer() + off, n);
        return LargeSum(off, n);
    }

private:
    __attribute__((noinline)) std::uint16_t LargeSum(unsigned int off, unsigned int n) {
        if (m_active == nullptr) Attach();
        return m_active->Sum(off, n);
    }

    void Attach() {
        PayloadSums* shared = CurrentScanSums();
        const bool same = shared != nullptr && shared->Buffer() == m_own.Buffer() && shared->Length() == m_own.Length();
        m_active = same ? shared : &m_own;
    }

    PayloadSums m_own;
    PayloadSums* m_active = nullptr;
};

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_COMMON_BLOCK_SUMS_H
