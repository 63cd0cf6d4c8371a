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
#include <utility>
#include <vector>

#include "capi/status.h"
#include "scan/chunk_size.h"
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

using ulvex::detail::Deliver;
using ulvex::detail::Status;

namespace {

bool KnownForm(ulvex_form form) { return form == ULVEX_BINARY || form == ULVEX_TEXT; }

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
    try {
        ScanSink sink = {out, cap, 0};
        ulvex::ScanOptions options;
        options.threads = threads;
        options.chunkSize = ulvex::detail::ChunkForRecordLimit(static_cast<ulvex::RecordForm>(form), cap, threads);
        std::uint64_t at = *pos;
        ulvex::Scan(static_cast<ulvex::RecordForm>(form), data, size, at, options, &ScanSink::Take, &sink);
        *count = sink.count;
        *pos = at;
        return ULVEX_OK;
    } catch (...) {
        return Status();
    }
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

}  // extern "C"
