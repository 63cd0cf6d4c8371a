// The C interface's payload entries: readers and typed writers over the
// C++ formatter and entry reader.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "capi/status.h"
#include "formatter/entry_reader.h"
#include "ulvex/c.h"
#include "ulvex/data_formatter.h"

using ulvex::detail::Deliver;
using ulvex::detail::Status;

namespace {

// Runs one of the formatter's writers (through its interface) and delivers
// the entry.
template <class Write>
int WriteEntry(const char* key, void* out, std::size_t cap, std::size_t* written, Write write) {
    if (key == nullptr || written == nullptr || (out == nullptr && cap != 0)) return ULVEX_ERR_ARG;
    try {
        CUlvexDataFormatter formatter;
        IUlvexDataFormatter& f = formatter;
        std::vector<unsigned char> entry;
        write(f, entry, std::string(key));
        return Deliver(entry, out, cap, written);
    } catch (...) {
        return Status();
    }
}

// A key span and the position of its entry, ordered as std::map orders keys
// (bytes compared as unsigned char, a prefix first), then by position.
struct EntrySpan {
    ulvex_entry entry;
    std::size_t index;
};

bool KeyLess(const EntrySpan& a, const EntrySpan& b) {
    const std::size_t n = std::min(a.entry.key_len, b.entry.key_len);
    const int c = std::memcmp(a.entry.key, b.entry.key, n);
    if (c != 0) return c < 0;
    if (a.entry.key_len != b.entry.key_len) return a.entry.key_len < b.entry.key_len;
    return a.index < b.index;
}

bool SameKey(const ulvex_entry& a, const ulvex_entry& b) {
    return a.key_len == b.key_len && std::memcmp(a.key, b.key, a.key_len) == 0;
}

// The entries of a payload as the C++ entry reader's map holds them: each
// key once, in key order, with its last value.
std::vector<ulvex_entry> Entries(const void* payload, std::size_t len) {
    std::vector<EntrySpan> spans;
    if (len != 0) {
        ulvex::detail::ForEachEntry(
            static_cast<const unsigned char*>(payload), len, len,
            [&](const unsigned char* k, std::size_t kLen, const unsigned char* v, std::size_t vLen) {
                spans.push_back(EntrySpan{ulvex_entry{k, kLen, v, vLen}, spans.size()});
            });
    }
    std::sort(spans.begin(), spans.end(), KeyLess);
    std::vector<ulvex_entry> entries;
    entries.reserve(spans.size());
    for (std::size_t i = 0; i < spans.size(); ++i) {
        // Of a run of equal keys, the last (the latest in the payload) wins.
        if (i + 1 < spans.size() && SameKey(spans[i].entry, spans[i + 1].entry)) continue;
        entries.push_back(spans[i].entry);
    }
    return entries;
}

}  // namespace

extern "C" {

ULVEX_API int ulvex_entries_each(const void* payload, size_t len, ulvex_entry_fn fn, void* context) {
    if (fn == nullptr || (payload == nullptr && len != 0)) return ULVEX_ERR_ARG;
    try {
        const std::vector<ulvex_entry> entries = Entries(payload, len);
        for (const ulvex_entry& e : entries) {
            const int r = fn(context, &e);
            if (r != 0) return r;
        }
        return ULVEX_OK;
    } catch (...) {
        return Status();
    }
}

ULVEX_API int ulvex_entries(const void* payload, size_t len, ulvex_entry* out, size_t cap, size_t* count) {
    if (count == nullptr || (payload == nullptr && len != 0) || (out == nullptr && cap != 0)) return ULVEX_ERR_ARG;
    try {
        const std::vector<ulvex_entry> entries = Entries(payload, len);
        *count = entries.size();
        if (entries.size() > cap) return ULVEX_ERR_SPACE;
        std::copy(entries.begin(), entries.end(), out);
        return ULVEX_OK;
    } catch (...) {
        return Status();
    }
}

ULVEX_API int ulvex_entry_bytes(const void* key, size_t key_len, const void* value, size_t value_len, void* out,
                                size_t cap, size_t* written) {
    if ((key == nullptr && key_len != 0) || (value == nullptr && value_len != 0) || written == nullptr ||
        (out == nullptr && cap != 0))
        return ULVEX_ERR_ARG;
    try {
        CUlvexDataFormatter formatter;
        IUlvexDataFormatter& f = formatter;
        std::vector<unsigned char> entry;
        const std::string k(key_len != 0 ? static_cast<const char*>(key) : "", key_len);
        const std::string v(value_len != 0 ? static_cast<const char*>(value) : "", value_len);
        f.FormatData(entry, k, v);
        return Deliver(entry, out, cap, written);
    } catch (...) {
        return Status();
    }
}

ULVEX_API int ulvex_entry_str(const char* key, const char* value, void* out, size_t cap, size_t* written) {
    if (value == nullptr) return ULVEX_ERR_ARG;
    return WriteEntry(key, out, cap, written,
                      [&](IUlvexDataFormatter& f, std::vector<unsigned char>& e, const std::string& k) {
                          f.FormatData(e, k, std::string(value));
                      });
}

#define ULVEX_TYPED_WRITER(suffix, ctype, cxxtype)                                                             \
    ULVEX_API int ulvex_entry_##suffix(const char* key, ctype value, void* out, size_t cap, size_t* written) { \
        return WriteEntry(key, out, cap, written,                                                              \
                          [&](IUlvexDataFormatter& f, std::vector<unsigned char>& e, const std::string& k) {   \
                              f.FormatData(e, k, static_cast<cxxtype>(value));                                 \
                          });                                                                                  \
    }

ULVEX_TYPED_WRITER(i8, int8_t, signed char)
ULVEX_TYPED_WRITER(u8, uint8_t, unsigned char)
ULVEX_TYPED_WRITER(i16, int16_t, short)
ULVEX_TYPED_WRITER(u16, uint16_t, unsigned short)
ULVEX_TYPED_WRITER(i32, int32_t, int)
ULVEX_TYPED_WRITER(u32, uint32_t, unsigned int)
ULVEX_TYPED_WRITER(i64, int64_t, long long)
ULVEX_TYPED_WRITER(u64, uint64_t, unsigned long long)
ULVEX_TYPED_WRITER(float, float, float)
ULVEX_TYPED_WRITER(double, double, double)

#undef ULVEX_TYPED_WRITER

ULVEX_API int ulvex_entry_hex(const char* key, uint32_t value, void* out, size_t cap, size_t* written) {
    return WriteEntry(key, out, cap, written,
                      [&](IUlvexDataFormatter& f, std::vector<unsigned char>& e, const std::string& k) {
                          f.FormatDataHex(e, k, static_cast<unsigned int>(value));
                      });
}

}  // extern "C"
