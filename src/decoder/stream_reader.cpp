// ulvex::StreamReader: the whole-buffer any-name listing, run incrementally
// over a stream that arrives in chunks.
//
// The listing tries positions one after another and decides each from the
// bytes of its own record only; the one thing the end of the buffer adds is
// that a record must fit (and a record without payload needs one more byte
// after it). So the reader examines positions in order from the scan
// position and, at each one, either rejects it, reports a record, or finds a
// plausible header whose record has not fully arrived. In that last case it
// stops and remembers how many bytes the decision needs; nothing behind that
// position can be reported before it is decided, and nothing before it will
// ever be needed again. Each position is thus decided once, from the same
// bytes the listing would look at.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "record/record_detail.h"
#include "text/text_detail.h"
#include "ulvex/decoder_txt.h"
#include "ulvex/records.h"
#include "ulvex/stream_reader.h"

namespace ulvex {
namespace detail {

namespace {

// Payload checksums over the retained bytes, linear in the stream length
// whatever the stream holds. Ordinary streams sum each candidate's payload
// directly. A stream built so that many headers announce payloads ending at
// one shared footer with a wrong checksum would make that quadratic; once the
// bytes summed exceed four times the bytes fed, the sums switch to a table of
// running 16-bit sums per 64-byte block, aligned on stream offsets, extended
// as queries reach further and trimmed as the buffer drops bytes.
class StreamSums {
public:
    // The sum of the `n` bytes at stream offset `off`; `buf` holds the
    // stream from offset `base` on and covers the queried bytes.
    std::uint16_t Sum(const unsigned char* buf, std::uint64_t base, std::uint64_t off, std::size_t n,
                      std::uint64_t fed) {
        const unsigned char* p = buf + (off - base);
        if (!m_active) {
            m_work += n;
            if (m_work <= 4 * fed + (1u << 16) || n < 2 * kBlock) return Checksum(p, n);
            m_active = true;
            m_first = RoundUp(off);
            m_prefix.assign(1, 0);
        }
        const std::uint64_t lo = RoundUp(off), hi = (off + n) / kBlock * kBlock;
        if (lo >= hi || lo < m_first) return Checksum(p, n);
        while (m_first + (m_prefix.size() - 1) * kBlock < hi) {
            const std::uint64_t b = m_first + (m_prefix.size() - 1) * kBlock;
            m_prefix.push_back(static_cast<std::uint16_t>(m_prefix.back() + Checksum(buf + (b - base), kBlock)));
        }
        std::uint16_t s = static_cast<std::uint16_t>(m_prefix[(hi - m_first) / kBlock] -
                                                     m_prefix[(lo - m_first) / kBlock]);
        s = static_cast<std::uint16_t>(s + Checksum(p, lo - off));
        s = static_cast<std::uint16_t>(s + Checksum(buf + (hi - base), off + n - hi));
        return s;
    }

    // Forgets the blocks that start before stream offset `off`.
    void Drop(std::uint64_t off) {
        if (!m_active || off <= m_first) return;
        const std::uint64_t k = (off - m_first + kBlock - 1) / kBlock;
        if (k >= m_prefix.size()) {
            m_first = RoundUp(off);
            m_prefix.assign(1, 0);
        } else {
            m_prefix.erase(m_prefix.begin(), m_prefix.begin() + static_cast<std::ptrdiff_t>(k));
            m_first += k * kBlock;
        }
    }

private:
    static const unsigned int kBlock = 64;
    static std::uint64_t RoundUp(std::uint64_t v) { return (v + kBlock - 1) / kBlock * kBlock; }

    bool m_active = false;
    std::uint64_t m_work = 0;
    std::uint64_t m_first = 0;  // stream offset of the boundary m_prefix[0] stands for
    std::vector<std::uint16_t> m_prefix;
};

enum class Verdict { NotRecord, Record, Wait };

}  // namespace

class StreamState {
public:
    StreamState(bool text, std::size_t maxPayload)
        : m_text(text),
          // Lengths stay far enough below 2^32 for TagLen to hold them.
          m_max(std::min<std::uint64_t>(maxPayload, 0xFFFFFFFFull - 64)) {}

    void Feed(const unsigned char* data, std::size_t n) {
        if (n == 0 || m_finished) return;
        m_sums.Drop(m_base + m_scan);
        const std::size_t live = m_end - m_scan;
        if (n > m_cap - m_end) {
            // Slide the kept bytes to the front when that leaves room for half
            // as much again (so moves cost at most two bytes per byte fed);
            // otherwise reallocate with that much room.
            if (m_cap >= live + n + live / 2) {
                std::memmove(m_buf.get(), m_buf.get() + m_scan, live);
            } else {
                const std::size_t cap = live + n + live / 2 + 4096;
                std::unique_ptr<unsigned char[]> buf(new unsigned char[cap]);
                if (live != 0) std::memcpy(buf.get(), m_buf.get() + m_scan, live);
                m_buf.swap(buf);
                m_cap = cap;
            }
            m_base += m_scan;
            m_end = live;
            m_scan = 0;
        }
        m_begin = m_scan;
        std::memcpy(m_buf.get() + m_end, data, n);
        m_end += n;
        m_fed += n;
    }

    bool Next(STag& tag, std::uint64_t& offset) {
        // A candidate that waits for its end costs nothing until it arrives.
        if (!m_finished && m_waitFor > m_base + m_end) return false;
        while (m_scan < m_end) {
            // Every record starts with '<': the bytes before the next one are
            // garbage whatever follows them.
            const unsigned char* b = m_buf.get();
            const void* q = std::memchr(b + m_scan, '<', m_end - m_scan);
            const std::size_t p = q ? static_cast<std::size_t>(static_cast<const unsigned char*>(q) - b) : m_end;
            m_garbage += p - m_scan;
            m_scan = p;
            if (p == m_end) break;
            std::uint64_t len = 0;
            const Verdict v = m_text ? ExamineText(p, tag, len) : ExamineBinary(p, tag, len);
            if (v == Verdict::Wait) return false;
            if (v == Verdict::NotRecord) {
                ++m_garbage;
                ++m_scan;
                continue;
            }
            offset = m_base + p;
            m_scan = p + static_cast<std::size_t>(len);
            ++m_delivered;
            return true;
        }
        return false;
    }

    void Finish() { m_finished = true; }

    std::uint64_t Delivered() const { return m_delivered; }
    std::uint64_t Garbage() const { return m_garbage; }
    std::uint64_t Rejected() const { return m_rejected; }
    std::size_t Retained() const { return m_end - m_begin; }
    std::size_t Capacity() const { return m_cap; }

private:
    // The `need` bytes from `p` on have not all arrived: the position waits
    // for them or, once the stream has ended, is passed over (a candidate
    // whose record does not fit is rejected).
    Verdict Missing(std::size_t p, std::uint64_t need, bool candidate) {
        if (!m_finished) {
            m_waitFor = m_base + p + need;
            return Verdict::Wait;
        }
        if (candidate) ++m_rejected;
        return Verdict::NotRecord;
    }

    Verdict Reject() {
        ++m_rejected;
        return Verdict::NotRecord;
    }

    Verdict ExamineBinary(std::size_t p, STag& tag, std::uint64_t& len) {
        const unsigned char* h = m_buf.get() + p;
        const std::size_t avail = m_end - p;
        if ((avail > 1 && h[1] != 'h') || (avail > 11 && h[11] != '>')) return Verdict::NotRecord;
        if (avail < kHeaderSize) return Missing(p, kHeaderSize, false);
        const std::uint32_t L = LoadLe32(h + 6);
        if (L > m_max) return Reject();
        // A record without payload needs one more byte after it: the listing
        // tries only positions with more than a header and footer behind them.
        const std::uint64_t need = std::uint64_t(kFrameSize) + L + (L == 0 ? 1 : 0);
        if (avail < need) return Missing(p, need, true);
        const unsigned char* f = h + kHeaderSize + L;
        if (!FooterMarkersOk(f) || !NameMatchesPrefix(f + 1, reinterpret_cast<const char*>(h + 2))) return Reject();
        if (m_sums.Sum(m_buf.get(), m_base, m_base + p + kHeaderSize, L, m_fed) != LoadLe16(f + 5)) return Reject();
        NameToString(h + 2, tag.TagName);
        tag.PtrTag = h;
        tag.PtrPayload = h + kHeaderSize;
        tag.PayloadLen = L;
        tag.TagLen = L + kFrameSize;
        tag.Version = h[10];
        len = tag.TagLen;
        return Verdict::Record;
    }

    // The text form, read with the text decoder's own conversions so that
    // both agree on every byte: a header is "<h" and the converted length L
    // counts the separator and the data.
    Verdict ExamineText(std::size_t p, STag& tag, std::uint64_t& len) {
        const unsigned char* t = m_buf.get() + p;
        const std::size_t avail = m_end - p;
        if (avail > 1 && t[1] != 'h') return Verdict::NotRecord;
        if (avail < kTextHeaderSize) return Missing(p, kTextHeaderSize, false);
        CHeader header;
        m_txt.CUlvexDecoderTxt::AssegnaHeader(header, t);
        const unsigned char* h = header.GetBytes();
        if (!HeaderMarkersOk(h)) return Verdict::NotRecord;
        const std::uint64_t L = LoadLe32(h + 6);
        if (L < kTextSeparatorSize || L - kTextSeparatorSize > m_max) return Reject();
        const std::uint64_t need = kTextHeaderSize + L + kTextFooterSize;
        if (avail < need) return Missing(p, need, true);
        CFooter footer;
        m_txt.CUlvexDecoderTxt::AssegnaFooter(footer, t + kTextHeaderSize + L);
        const unsigned char* f = footer.GetBytes();
        if (!FooterMarkersOk(f) || std::memcmp(f + 1, h + 2, 4) != 0) return Reject();
        const std::size_t n = static_cast<std::size_t>(L);
        if (m_sums.Sum(m_buf.get(), m_base, m_base + p + kTextHeaderSize, n, m_fed) != LoadLe16(f + 5))
            return Reject();
        NameToString(h + 2, tag.TagName);
        tag.PtrTag = t;
        tag.PtrPayload = t + kTextHeaderSize + kTextSeparatorSize;
        tag.PayloadLen = static_cast<unsigned int>(L - kTextSeparatorSize);
        tag.TagLen = static_cast<unsigned int>(L + kTextHeaderSize + kTextFooterSize);
        tag.Version = h[10];
        len = tag.TagLen;
        return Verdict::Record;
    }

    const bool m_text;
    const std::uint64_t m_max;
    CUlvexDecoderTxt m_txt;
    StreamSums m_sums;

    // The stream from offset m_base on is held in m_buf[0, m_end); positions
    // before m_scan are decided. m_begin marks what the last Feed kept.
    std::unique_ptr<unsigned char[]> m_buf;
    std::size_t m_cap = 0, m_begin = 0, m_scan = 0, m_end = 0;
    std::uint64_t m_base = 0;
    std::uint64_t m_waitFor = 0;  // stream offset the candidate at m_scan needs
    std::uint64_t m_fed = 0;
    bool m_finished = false;

    std::uint64_t m_delivered = 0, m_garbage = 0, m_rejected = 0;
};

}  // namespace detail

const std::size_t StreamReader::kDefaultMaxPayload;

StreamReader::StreamReader(Form form, std::size_t maxPayload)
    : m_state(new detail::StreamState(form == Text, maxPayload)) {}

StreamReader::~StreamReader() { delete m_state; }

void StreamReader::Feed(const void* data, std::size_t n) {
    m_state->Feed(static_cast<const unsigned char*>(data), n);
}

void StreamReader::Finish() { m_state->Finish(); }

bool StreamReader::Next(STag& tag, std::uint64_t& offset) { return m_state->Next(tag, offset); }

std::uint64_t StreamReader::RecordsDelivered() const { return m_state->Delivered(); }
std::uint64_t StreamReader::GarbageBytes() const { return m_state->Garbage(); }
std::uint64_t StreamReader::RejectedCandidates() const { return m_state->Rejected(); }
std::size_t StreamReader::RetainedBytes() const { return m_state->Retained(); }
std::size_t StreamReader::Capacity() const { return m_state->Capacity(); }

}  // namespace ulvex
