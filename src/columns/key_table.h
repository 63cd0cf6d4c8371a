// A hash table from key bytes to a small number, for the keys of payload
// entries. The table keeps pointers to the key bytes, which must outlive it.
#ifndef ULVEX_SRC_COLUMNS_KEY_TABLE_H
#define ULVEX_SRC_COLUMNS_KEY_TABLE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/byte_search.h"

namespace ulvex {
namespace detail {

inline std::uint64_t KeyHash(const unsigned char* k, std::size_t n) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
    for (; n >= 8; k += 8, n -= 8) {
        std::uint64_t w;
        std::memcpy(&w, k, 8);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    std::uint64_t w = 0;
    std::memcpy(&w, k, n);
    h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 29);
}

// Whether the `n` bytes at `a` and `b` are equal: keys are short, and up to
// eight bytes are compared as one word when both have eight bytes before
// `end`.
inline bool SameKey(const unsigned char* a, const unsigned char* b, std::size_t n, const unsigned char* end) {
    if (n > 8 || a + 8 > end || b + 8 > end) return std::memcmp(a, b, n) == 0;
    const std::uint64_t diff = LoadLe64(a) ^ LoadLe64(b);
    return (n == 8 ? diff : diff & ((std::uint64_t(1) << (8 * n)) - 1)) == 0;
}

class KeyTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    KeyTable() : m_slots(16), m_used(0) {}

    // The number stored for the key, or kNone.
    std::uint32_t Find(const unsigned char* k, std::size_t n) const {
        return m_slots[Probe(k, n, KeyHash(k, n))].value;
    }

    // Stores `value` for the key unless it is there already; returns the
    // number the key has now.
    std::uint32_t Insert(const unsigned char* k, std::size_t n, std::uint32_t value) {
        if (2 * (m_used + 1) > m_slots.size()) Grow();
        const std::uint64_t h = KeyHash(k, n);
        Slot& s = m_slots[Probe(k, n, h)];
        if (s.value != kNone) return s.value;
        s = Slot{k, n, h, value};
        ++m_used;
        return value;
    }

private:
    struct Slot {
        const unsigned char* key;
        std::size_t len;
        std::uint64_t hash;
        std::uint32_t value = kNone;
    };

    // The slot holding the key, or the empty slot where it would go.
    std::size_t Probe(const unsigned char* k, std::size_t n, std::uint64_t h) const {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = static_cast<std::size_t>(h) & mask;; i = (i + 1) & mask) {
            const Slot& s = m_slots[i];
            if (s.value == kNone) return i;
            if (s.hash == h && s.len == n && (n == 0 || std::memcmp(s.key, k, n) == 0)) return i;
        }
    }

    void Grow() {
        std::vector<Slot> old(2 * m_slots.size());
        old.swap(m_slots);
        for (const Slot& s : old)
            if (s.value != kNone) m_slots[Probe(s.key, s.len, s.hash)] = s;
    }

    std::vector<Slot> m_slots;  // a power of two of them, at most half used
    std::size_t m_used;
};

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_COLUMNS_KEY_TABLE_H
