// ulvex::StreamReader: the whole-buffer any-name listing, run incrementally
// over a stream that arrives in chunks.
//
// The listing tries positions one after another and decides each from the
// bytes of its own record only; the one thing the end of the buffer adds is
// that a record must fit (and a record without payload needs one more byte
// after it). So the reader examines positions in order from the scan
// position and, at each one, either passes over it, reports a record, or
// finds a plausible header whose record has not fully arrived. In that last
// case it stops and remembers how many bytes the decision needs; nothing
// behind that position can be reported before it is decided, and nothing
// before it will ever be needed again. Each position is decided once, from
// the same bytes the listing would look at.
//
// Bytes are read where they are: positions inside the caller's chunk are
// examined in the chunk itself, and only the undecided rest of a chunk is
// copied into the reader's own buffer when Next runs out of records. Records
// that start in that rest are read from the own buffer, extended with just as
// many bytes of the next chunk as their decision needs.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "binary/binary_record.h"
#include "common/block_sums.h"
#include "text/text_record.h"
#include "ulvex/stream_reader.h"

namespace ulvex {
namespace detail {

class StreamState {
public:
    StreamState(bool text, std::size_t maxPayload)
        : m_text(text),
          // Lengths stay far enough below 2^32 for TagLen to hold them.
          m_max(std::min<std::uint64_t>(maxPayload, StreamReader::kLargestMaxPayload)) {}

    void Feed(const unsigned char* data, std::size_t n) {
        if (n == 0 || m_finished) return;
        m_appendOnly = false;  // the records delivered so far may go now
        Release();             // a chunk that was not drained is still intact now
        // The undecided bytes are all in the own buffer. Records may then be
        // read from it, so until the next Feed it only grows at its end,
        // within room made now. What this chunk adds there: bytes that
        // positions before the chunk need (up to the longest record past the
        // chunk's start), then at most the undecided rest of the chunk, which
        // starts before the end of those or is shorter than a longest record.
        const std::size_t live = static_cast<std::size_t>(m_end - m_scan);
        m_appendOnly = live != 0;
        if (live == 0) {
            m_lo = m_hi = 0;
            m_origin = m_end;
        } else {
            Keep(live + static_cast<std::size_t>(std::min<std::uint64_t>(n, 2 * m_max + 128)));
        }
        m_chunk = data;
        m_chunkOff = m_end;
        m_end += n;
    }

    bool Next(Record& record, const unsigned char*& payload) {
        // A candidate that waits for its end costs nothing until it arrives.
        if (!m_finished && m_waitFor > m_end) return Release();
        while (m_scan < m_end) {
            const bool own = m_chunk == nullptr || m_scan < m_chunkOff;
            // Positions are examined in the own buffer up to where the chunk
            // begins, then in the chunk.
            const std::uint64_t limit = own && m_chunk ? m_chunkOff : m_end;
            const unsigned char* p = own ? m_buf.get() + (m_scan - m_origin) : m_chunk + (m_scan - m_chunkOff);
            std::size_t avail = static_cast<std::size_t>((own ? m_origin + m_hi : m_end) - m_scan);
            // Every record starts with "<h": the bytes before the next such
            // pair are garbage whatever follows them. A position whose second
            // byte is not at hand yet is examined on its own.
            const std::size_t span =
                static_cast<std::size_t>(std::min<std::uint64_t>(limit - m_scan, avail == 0 ? 0 : avail - 1));
            const unsigned char* q = FindPattern<2>(p, p + span, kHeaderStart);
            const std::size_t skip = static_cast<std::size_t>(q - p);
            m_garbage += skip;
            m_scan += skip;
            if (m_scan >= limit) continue;
            p = q;
            avail -= skip;
            std::uint64_t len = 0, need = 0;
            bool candidate = false;
            Verdict v = Examine(p, avail, record, len, need, candidate);
            while (v == Verdict::NeedMore && own && m_origin + m_hi < m_end) {
                p = Extend(static_cast<std::size_t>(std::min<std::uint64_t>(need - avail, m_end - m_origin - m_hi)));
                avail = static_cast<std::size_t>(m_origin + m_hi - m_scan);
                v = Examine(p, avail, record, len, need, candidate);
            }
            if (v == Verdict::NeedMore) {
                if (!m_finished) {
                    m_waitFor = m_scan + need;
                    return Release();
                }
                // The stream has ended: the record does not fit.
                v = candidate ? Verdict::Rejected : Verdict::NotRecord;
            }
            if (v != Verdict::Record) {
                m_rejected += v == Verdict::Rejected ? 1 : 0;
                ++m_garbage;
                ++m_scan;
                continue;
            }
            payload = p + (record.payloadOffset - record.offset);
            m_scan += len;
            ++m_delivered;
            return true;
        }
        return Release();
    }

    void Finish() { m_finished = true; }

    std::uint64_t Delivered() const { return m_delivered; }
    std::uint64_t Garbage() const { return m_garbage; }
    std::uint64_t Rejected() const { return m_rejected; }
    std::size_t Retained() const { return m_hi - m_lo; }
    std::size_t Capacity() const { return m_cap; }

private:
    // Lets go of the caller's chunk, copying its undecided bytes into the
    // own buffer. Returns false, for Next to return.
    bool Release() {
        if (m_chunk == nullptr) return false;
        const std::uint64_t ownEnd = m_origin + m_hi;
        if (m_scan < m_end) {
            if (m_scan >= ownEnd) {
                // Nothing undecided in the own buffer: start it at m_scan,
                // behind what records may still point to.
                const std::size_t at = m_appendOnly ? m_hi : 0;
                m_lo = m_hi = at;
                m_origin = m_scan - at;
            }
            const std::uint64_t from = std::max(m_scan, ownEnd);
            Append(m_chunk + (from - m_chunkOff), static_cast<std::size_t>(m_end - from));
        }
        m_chunk = nullptr;
        return false;
    }

    // Copies the next `n` bytes of the chunk behind the own buffer's end;
    // returns where the position m_scan now is.
    const unsigned char* Extend(std::size_t n) {
        Append(m_chunk + (m_origin + m_hi - m_chunkOff), n);
        return m_buf.get() + (m_scan - m_origin);
    }

    void Append(const unsigned char* data, std::size_t n) {
        if (n == 0) return;
        if (m_cap - m_hi < n) Keep(m_hi - static_cast<std::size_t>(m_scan - m_origin) + n);
        std::memcpy(m_buf.get() + m_hi, data, n);
        m_hi += n;
    }

    // Makes the own buffer hold its bytes from m_scan on with room for
    // `total` bytes from there.
    void Keep(std::size_t total) {
        const std::size_t i = static_cast<std::size_t>(m_scan - m_origin);
        const std::size_t live = m_hi - i;
        if (m_cap - i >= total) {
            m_lo = i;
            return;
        }
        // Slide to the front when that leaves room for half as much again
        // (so moves cost at most two bytes per byte fed); otherwise
        // reallocate with that much room.
        if (m_cap >= total + live / 2) {
            std::memmove(m_buf.get(), m_buf.get() + i, live);
        } else {
            Grow(total + live / 2 + 4096, m_buf.get() + i, live);
        }
        m_origin = m_scan;
        m_lo = 0;
        m_hi = live;
    }

    void Grow(std::size_t cap, const unsigned char* keep, std::size_t live) {
        std::unique_ptr<unsigned char[]> buf(new unsigned char[cap]);
        if (live != 0) std::memcpy(buf.get(), keep, live);
        m_buf.swap(buf);
        m_cap = cap;
    }

    // Decides the position m_scan, whose bytes start at `p`, with the record
    // test of the stream's form. `candidate`: its header is well-formed.
    Verdict Examine(const unsigned char* p, std::size_t avail, Record& record, std::uint64_t& len, std::uint64_t& need,
                    bool& candidate) {
        Verdict v;
        if (m_text) {
            TextFound found;
            v = ExamineText(m_direct, p, avail, m_max, m_sums, m_scan, found, need);
            candidate = avail >= kTextHeaderSize && v != Verdict::NotRecord;
            if (v == Verdict::Record) FillTextRecord(record, m_scan, found);
        } else {
            std::uint32_t L = 0;
            v = ExamineBinary(p, avail, m_max, AnyName(), SameNameAsHeader(), m_sums, m_scan, L, need);
            candidate = avail >= kHeaderSize && v != Verdict::NotRecord;
            if (v == Verdict::Record) FillBinaryRecord(record, m_scan, p, L);
        }
        if (v == Verdict::Record) len = record.recordLen;
        return v;
    }

    const bool m_text;
    const std::uint64_t m_max;
    DirectText m_direct;

    // Stream offsets: m_scan is the first undecided position, m_end is just
    // past the last byte fed. The own buffer's bytes [m_lo, m_hi) hold the
    // stream from offset m_origin + m_lo on; the caller's chunk, while held,
    // holds it from m_chunkOff to m_end.
    std::unique_ptr<unsigned char[]> m_buf;
    std::size_t m_cap = 0, m_lo = 0, m_hi = 0;
    std::uint64_t m_origin = 0;
    bool m_appendOnly = false;  // records may point into the own buffer
    const unsigned char* m_chunk = nullptr;
    std::uint64_t m_chunkOff = 0;
    std::uint64_t m_scan = 0, m_end = 0;
    std::uint64_t m_waitFor = 0;  // stream offset the candidate at m_scan needs
    bool m_finished = false;

    std::uint64_t m_delivered = 0, m_garbage = 0, m_rejected = 0;
    // Declared after m_end, whose address it keeps: the budget of direct
    // checksums grows with the bytes fed.
    PassSums m_sums{m_end};
};

}  // namespace detail

const std::size_t StreamReader::kDefaultMaxPayload;
const std::size_t StreamReader::kLargestMaxPayload;

StreamReader::StreamReader(RecordForm form, std::size_t maxPayload)
    : m_state(new detail::StreamState(form == RecordForm::Text, maxPayload)) {}

// Programs built when the form had an enum of its own here call the
// constructor under that enum's name. It was passed as the same int, so the
// old names stay, as aliases of this constructor (complete and base object).
#define ULVEX_OLD_NAME(kind)              \
    ".globl _ZN5ulvex12StreamReader" kind \
    "ENS0_4FormEm\n"                      \
    ".type _ZN5ulvex12StreamReader" kind  \
    "ENS0_4FormEm, %function\n"           \
    ".set _ZN5ulvex12StreamReader" kind "ENS0_4FormEm, _ZN5ulvex12StreamReader" kind "ENS_10RecordFormEm\n"
__asm__(ULVEX_OLD_NAME("C1") ULVEX_OLD_NAME("C2"));
#undef ULVEX_OLD_NAME

StreamReader::~StreamReader() { delete m_state; }

void StreamReader::Feed(const void* data, std::size_t n) { m_state->Feed(static_cast<const unsigned char*>(data), n); }

void StreamReader::Finish() { m_state->Finish(); }

bool StreamReader::Next(Record& record, const unsigned char*& payload) { return m_state->Next(record, payload); }

bool StreamReader::Next(STag& tag, std::uint64_t& offset) {
    Record r;
    const unsigned char* payload = nullptr;
    if (!m_state->Next(r, payload)) return false;
    detail::NameToString(r.name, tag.TagName);
    tag.PtrTag = payload - (r.payloadOffset - r.offset);
    tag.PtrPayload = payload;
    tag.PayloadLen = r.payloadLen;
    tag.TagLen = r.recordLen;
    tag.Version = r.version;
    offset = r.offset;
    return true;
}

std::uint64_t StreamReader::RecordsDelivered() const { return m_state->Delivered(); }
std::uint64_t StreamReader::GarbageBytes() const { return m_state->Garbage(); }
std::uint64_t StreamReader::RejectedCandidates() const { return m_state->Rejected(); }
std::size_t StreamReader::RetainedBytes() const { return m_state->Retained(); }
std::size_t StreamReader::Capacity() const { return m_state->Capacity(); }

}  // namespace ulvex
