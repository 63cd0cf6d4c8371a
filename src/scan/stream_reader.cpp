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
#include "text/text_record.h"
#include "ulvex/decoder_txt.h"
#include "ulvex/records.h"
#include "ulvex/stream_reader.h"

namespace ulvex {
namespace detail {

namespace {

// Payload checksums, linear in the stream length whatever the stream holds.
// Ordinary streams sum each candidate's payload directly. A stream built so
// that many headers announce payloads ending at one shared footer with a
// wrong checksum would make that quadratic; once the bytes summed exceed four
// times the bytes fed, the sums switch to a table of running 16-bit sums per
// 64-byte block, aligned on stream offsets. Candidates are decided in stream
// order, so payloads are queried at increasing offsets: the table only ever
// grows at its end and forgets its beginning.
class StreamSums {
public:
    // The sum of the `n` bytes at `p`, which hold the stream from offset `off` on.
    std::uint16_t Sum(const unsigned char* p, std::uint64_t off, std::size_t n, std::uint64_t fed) {
        if (!m_active) {
            m_work += n;
            if (m_work <= 4 * fed + (1u << 16) || n < 2 * kBlock) return Checksum(p, n);
            m_active = true;
            Restart(RoundUp(off));
        }
        const std::uint64_t lo = RoundUp(off), hi = (off + n) / kBlock * kBlock;
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
        std::uint16_t s =
            static_cast<std::uint16_t>(m_prefix[(hi - m_first) / kBlock] - m_prefix[(lo - m_first) / kBlock]);
        s = static_cast<std::uint16_t>(s + Checksum(p, lo - off));
        s = static_cast<std::uint16_t>(s + Checksum(p + (hi - off), off + n - hi));
        return s;
    }

private:
    static const unsigned int kBlock = 64;
    static std::uint64_t RoundUp(std::uint64_t v) { return (v + kBlock - 1) / kBlock * kBlock; }
    void Restart(std::uint64_t first) {
        m_first = first;
        m_prefix.assign(1, 0);
    }

    bool m_active = false;
    std::uint64_t m_work = 0;
    std::uint64_t m_first = 0;  // stream offset of the block boundary m_prefix[0] stands for
    std::vector<std::uint16_t> m_prefix;
};

// What one examined position turned out to be. Missing: its decision needs
// bytes beyond those at hand (`need` of them from the position on).
enum class Verdict { NotRecord, Rejected, Record, Missing };

}  // namespace

class StreamState {
public:
    StreamState(bool text, std::size_t maxPayload)
        : m_text(text),
          // Lengths stay far enough below 2^32 for TagLen to hold them.
          m_max(std::min<std::uint64_t>(maxPayload, 0xFFFFFFFFull - 64)) {}

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

    bool Next(STag& tag, std::uint64_t& offset) {
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
            Verdict v = Examine(p, avail, tag, len, need, candidate);
            while (v == Verdict::Missing && own && m_origin + m_hi < m_end) {
                p = Extend(static_cast<std::size_t>(std::min<std::uint64_t>(need - avail, m_end - m_origin - m_hi)));
                avail = static_cast<std::size_t>(m_origin + m_hi - m_scan);
                v = Examine(p, avail, tag, len, need, candidate);
            }
            if (v == Verdict::Missing) {
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
            offset = m_scan;
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

    Verdict Examine(const unsigned char* p, std::size_t avail, STag& tag, std::uint64_t& len, std::uint64_t& need,
                    bool& candidate) {
        return m_text ? ExamineText(p, avail, tag, len, need, candidate)
                      : ExamineBinary(p, avail, tag, len, need, candidate);
    }

    Verdict ExamineBinary(const unsigned char* h, std::size_t avail, STag& tag, std::uint64_t& len, std::uint64_t& need,
                          bool& candidate) {
        candidate = false;
        if (h[0] != '<' || (avail > 1 && h[1] != 'h') || (avail > 11 && h[11] != '>')) return Verdict::NotRecord;
        need = kHeaderSize;
        if (avail < need) return Verdict::Missing;
        candidate = true;
        const std::uint32_t L = LoadLe32(h + 6);
        if (L > m_max) return Verdict::Rejected;
        // A record without payload needs one more byte after it: the listing
        // tries only positions with more than a header and footer behind them.
        need = std::uint64_t(kFrameSize) + L + (L == 0 ? 1 : 0);
        if (avail < need) return Verdict::Missing;
        const unsigned char* f = h + kHeaderSize + L;
        if (!FooterMarkersOk(f) || !NameMatchesPrefix(f + 1, reinterpret_cast<const char*>(h + 2)))
            return Verdict::Rejected;
        if (m_sums.Sum(h + kHeaderSize, m_scan + kHeaderSize, L, m_end) != LoadLe16(f + 5)) return Verdict::Rejected;
        FillBinaryTag(tag, h, 0, L);
        len = tag.TagLen;
        return Verdict::Record;
    }

    // The text form, read with the text decoder's own conversions so that
    // both agree on every byte: a header is "<h" and the converted length L
    // counts the separator and the data.
    Verdict ExamineText(const unsigned char* t, std::size_t avail, STag& tag, std::uint64_t& len, std::uint64_t& need,
                        bool& candidate) {
        candidate = false;
        if (t[0] != '<' || (avail > 1 && t[1] != 'h')) return Verdict::NotRecord;
        need = kTextHeaderSize;
        if (avail < need) return Verdict::Missing;
        CHeader header;
        m_txt.CUlvexDecoderTxt::AssegnaHeader(header, t);
        const unsigned char* h = header.GetBytes();
        if (!HeaderMarkersOk(h)) return Verdict::NotRecord;
        candidate = true;
        const std::uint64_t L = LoadLe32(h + 6);
        if (L < kTextSeparatorSize || L - kTextSeparatorSize > m_max) return Verdict::Rejected;
        need = kTextHeaderSize + L + kTextFooterSize;
        if (avail < need) return Verdict::Missing;
        CFooter footer;
        m_txt.CUlvexDecoderTxt::AssegnaFooter(footer, t + kTextHeaderSize + L);
        const unsigned char* f = footer.GetBytes();
        if (!FooterMarkersOk(f) || std::memcmp(f + 1, h + 2, 4) != 0) return Verdict::Rejected;
        const std::size_t n = static_cast<std::size_t>(L);
        if (m_sums.Sum(t + kTextHeaderSize, m_scan + kTextHeaderSize, n, m_end) != LoadLe16(f + 5))
            return Verdict::Rejected;
        len = FillTextTag(tag, t, 0, h + 2, h[10], kTextHeaderSize, L, kTextFooterSize, kTextSeparatorSize);
        return Verdict::Record;
    }

    const bool m_text;
    const std::uint64_t m_max;
    CUlvexDecoderTxt m_txt;
    StreamSums m_sums;

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
};

}  // namespace detail

const std::size_t StreamReader::kDefaultMaxPayload;

StreamReader::StreamReader(Form form, std::size_t maxPayload)
    : m_state(new detail::StreamState(form == Text, maxPayload)) {}

StreamReader::~StreamReader() { delete m_state; }

void StreamReader::Feed(const void* data, std::size_t n) { m_state->Feed(static_cast<const unsigned char*>(data), n); }

void StreamReader::Finish() { m_state->Finish(); }

bool StreamReader::Next(STag& tag, std::uint64_t& offset) { return m_state->Next(tag, offset); }

std::uint64_t StreamReader::RecordsDelivered() const { return m_state->Delivered(); }
std::uint64_t StreamReader::GarbageBytes() const { return m_state->Garbage(); }
std::uint64_t StreamReader::RejectedCandidates() const { return m_state->Rejected(); }
std::size_t StreamReader::RetainedBytes() const { return m_state->Retained(); }
std::size_t StreamReader::Capacity() const { return m_state->Capacity(); }

}  // namespace ulvex
