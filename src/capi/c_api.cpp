// The C interface: thin wrappers over the C++ classes. Each function checks
// its arguments, does its work into local storage, and only then writes the
// caller's outputs, so that a failure (reported as a status code, never as
// an exception) leaves them as they were.
#include "ulvex/c.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "formatter/entry_reader.h"
#include "scan/chunk_size.h"
#include "ulvex/data_formatter.h"
#include "ulvex/encoder_bin.h"
#include "ulvex/encoder_txt.h"
#include "ulvex/scan.h"
#include "ulvex/stream_reader.h"

// The scan's records are handed over as they are.
static_assert(sizeof(ulvex_record) == sizeof(ulvex::Record), "ulvex_record and ulvex::Record differ");
static_assert(offsetof(ulvex_record, offset) == offsetof(ulvex::Record, offset), "offset");
static_assert(offsetof(ulvex_record, payload_offset) == offsetof(ulvex::Record, payloadOffset), "payload_offset");
static_assert(offsetof(ulvex_record, payload_len) == offsetof(ulvex::Record, payloadLen), "payload_len");
static_assert(offsetof(ulvex_record, record_len) == offsetof(ulvex::Record, recordLen), "record_len");
static_assert(offsetof(ulvex_record, name) == offsetof(ulvex::Record, name), "name");
static_assert(offsetof(ulvex_record, version) == offsetof(ulvex::Record, version), "version");
static_assert(static_cast<int>(ULVEX_BINARY) == static_cast<int>(ulvex::RecordForm::Binary), "binary form");
static_assert(static_cast<int>(ULVEX_TEXT) == static_cast<int>(ulvex::RecordForm::Text), "text form");

struct ulvex_stream {
    explicit ulvex_stream(ulvex::RecordForm form, std::size_t maxPayload) : reader(form, maxPayload) {}
    ulvex::StreamReader reader;
};

namespace {

// The status of the exception being handled.
int Status() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return ULVEX_ERR_NOMEM;
    } catch (...) {
        return ULVEX_ERR_FAIL;
    }
}

// A C caller may pass any int as the form: its bytes are read as that int,
// never as the enumeration (whose range holds only the known forms).
bool KnownForm(const ulvex_form& form) {
    std::underlying_type<ulvex_form>::type v;
    std::memcpy(&v, &form, sizeof v);
    return v == ULVEX_BINARY || v == ULVEX_TEXT;
}

// Copies a finished output of `bytes.size()` bytes to the caller's buffer.
int Deliver(const std::vector<unsigned char>& bytes, void* out, std::size_t cap, std::size_t* written) {
    *written = bytes.size();
    if (bytes.size() > cap) return ULVEX_ERR_SPACE;
    if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
    return ULVEX_OK;
}

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
            static_cast<const unsigned char*>(payload), len,
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

// The scan's batch receiver: copies records into the caller's array, up to
// its capacity. The record types have the same layout (checked above).
struct ScanSink {
    ulvex_record* out;
    std::size_t cap;
    std::size_t count;

    static std::size_t Take(void* context, const ulvex::Record* batch, std::size_t n) {
        ScanSink& sink = *static_cast<ScanSink*>(context);
        const std::size_t take = std::min(n, sink.cap - sink.count);
        if (take != 0) std::memcpy(sink.out + sink.count, batch, take * sizeof(ulvex_record));
        sink.count += take;
        return take;
    }
};

}  // namespace

extern "C" {

ULVEX_API const char* ulvex_version(void) { return "0.1.0"; }

ULVEX_API const char* ulvex_strerror(int code) {
    switch (code) {
        case ULVEX_OK:
            return "success";
        case ULVEX_ERR_NOMEM:
            return "out of memory";
        case ULVEX_ERR_ARG:
            return "invalid argument";
        case ULVEX_ERR_RANGE:
            return "length out of the record format's range";
        case ULVEX_ERR_SPACE:
            return "output buffer too small";
        case ULVEX_ERR_FAIL:
            return "operation failed";
        default:
            return "unknown error";
    }
}

ULVEX_API int ulvex_scan(ulvex_form form, const void* data, uint64_t size, uint64_t* pos, ulvex_record* out, size_t cap,
                         size_t* count, unsigned threads) {
    if (!KnownForm(form) || (data == nullptr && size != 0) || pos == nullptr || count == nullptr ||
        (out == nullptr && cap != 0))
        return ULVEX_ERR_ARG;
    if (cap == 0) {
        *count = 0;
        return ULVEX_OK;
    }
    ScanSink sink = {out, cap, 0};
    std::uint64_t at = *pos;
    int status = ULVEX_OK;
    try {
        ulvex::ScanOptions options;
        options.threads = threads;
        options.chunkSize = ulvex::detail::ChunkForRecordLimit(static_cast<ulvex::RecordForm>(form), cap, threads);
        ulvex::Scan(static_cast<ulvex::RecordForm>(form), data, size, at, options, &ScanSink::Take, &sink);
    } catch (...) {
        status = Status();
        // Records written before the failure are reported, so that calling
        // again continues after them; otherwise the outputs stay as they were.
        if (sink.count == 0) return status;
    }
    *count = sink.count;
    *pos = at;
    return status;
}

ULVEX_API int ulvex_encode(ulvex_form form, const unsigned char name[4], unsigned char version, const void* payload,
                           uint32_t len, void* out, size_t cap, size_t* written) {
    if (!KnownForm(form) || name == nullptr || written == nullptr || (payload == nullptr && len != 0) ||
        (out == nullptr && cap != 0))
        return ULVEX_ERR_ARG;
    const std::uint64_t total = ulvex::RecordLength(static_cast<ulvex::RecordForm>(form), len);
    if (total > ulvex::kMaxRecordLength) return ULVEX_ERR_RANGE;
    if (total > cap) {
        *written = static_cast<std::size_t>(total);
        return ULVEX_ERR_SPACE;
    }
    try {
        const char* n = reinterpret_cast<const char*>(name);
        std::vector<unsigned char> record;
        if (form == ULVEX_BINARY) {
            CUlvexEncoder encoder;
            static_cast<IUlvexEncoderBin&>(encoder).AddTagBin(record, n, const_cast<void*>(payload), len, version);
        } else {
            const unsigned char* p = static_cast<const unsigned char*>(payload);
            const std::vector<unsigned char> bytes(p, p + len);
            CUlvexEncoderTxt encoder;
            static_cast<IUlvexEncoderTxt&>(encoder).AddTagTxt(record, n, bytes, version);
        }
        return Deliver(record, out, cap, written);
    } catch (...) {
        return Status();
    }
}

ULVEX_API ulvex_stream* ulvex_stream_new(ulvex_form form, uint64_t max_payload) {
    if (!KnownForm(form)) return nullptr;
    const std::size_t maxPayload = static_cast<std::size_t>(std::min<std::uint64_t>(max_payload, SIZE_MAX));
    try {
        return new ulvex_stream(static_cast<ulvex::RecordForm>(form), maxPayload);
    } catch (...) {
        return nullptr;
    }
}

ULVEX_API void ulvex_stream_free(ulvex_stream* s) { delete s; }

ULVEX_API int ulvex_stream_feed(ulvex_stream* s, const void* data, size_t n) {
    if (s == nullptr || (data == nullptr && n != 0)) return ULVEX_ERR_ARG;
    try {
        s->reader.Feed(data, n);
        return ULVEX_OK;
    } catch (...) {
        return Status();
    }
}

ULVEX_API int ulvex_stream_finish(ulvex_stream* s) {
    if (s == nullptr) return ULVEX_ERR_ARG;
    s->reader.Finish();
    return ULVEX_OK;
}

ULVEX_API int ulvex_stream_next(ulvex_stream* s, ulvex_record* rec, const unsigned char** payload) {
    if (s == nullptr || rec == nullptr) return ULVEX_ERR_ARG;
    try {
        // The record types have the same layout (checked above); the padding
        // bytes the caller gets are zero.
        ulvex::Record r;
        std::memset(&r, 0, sizeof r);
        const unsigned char* p = nullptr;
        if (!s->reader.Next(r, p)) return 0;
        std::memcpy(rec, &r, sizeof r);
        if (payload != nullptr) *payload = p;
        return 1;
    } catch (...) {
        return Status();
    }
}

ULVEX_API int ulvex_stream_counters(const ulvex_stream* s, uint64_t* records, uint64_t* garbage_bytes,
                                    uint64_t* rejected) {
    if (s == nullptr) return ULVEX_ERR_ARG;
    if (records != nullptr) *records = s->reader.RecordsDelivered();
    if (garbage_bytes != nullptr) *garbage_bytes = s->reader.GarbageBytes();
    if (rejected != nullptr) *rejected = s->reader.RejectedCandidates();
    return ULVEX_OK;
}

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
