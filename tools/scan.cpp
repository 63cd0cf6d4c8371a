// Windowed record scanning.
//
// The reference is one scan over the whole input: from search position s it
// takes the first position p >= s, below (input length - m), where a valid
// record starts, reports it and goes on at the record's end (m is 20 for the
// binary form, 30 for the text form; the decoders never try the last m
// positions). Whether a record of length T is valid at p depends only on the
// bytes p .. p+T-1 and on those bytes lying inside the buffer.
//
// A window is the input from the current search position s on, at most
// `window` bytes long, and is scanned with the library's own lookups starting
// at its first byte. A position the window's lookup rejects may still start a
// valid record of the input when that record runs past the window's end. Such
// a position shows a well-formed header whose length ends past the window but
// inside the input: a "straddling candidate". The tool looks for straddling
// candidates itself at every position the lookup rejected. The window's
// results count up to its first straddling candidate x, or, when it has none,
// up to the lookup's limit (window length - m):
//
// - Each record reported before that point is the reference's next record:
//   every earlier position either lies inside a reported record (which the
//   reference skips too) or was rejected by the lookup without being a
//   straddling candidate, so no valid record of the input starts there.
// - The next window starts at x, or else at the later of the end of the last
//   record reported and the lookup limit: exactly the reference's search
//   position. So no record is reported twice (a window never restarts inside
//   a reported record) and none is missed (positions not judged are scanned
//   again by the next window).
// - Every window advances: a straddling candidate at the window's first byte
//   would be longer than the window, and records longer than the window are
//   not reported at all; the lookup limit lies past the first byte because a
//   window is longer than m.
// - The last window ends at the input's end, where its lookup limit is the
//   reference's, so it is scanned plainly.
//
// With the default window, 2^32 - 1 bytes, an input below 4 GiB is a single
// window, and only records beyond the decoders' 32-bit lengths are out of
// reach (the library cannot describe or write those anyway).
#include "scan.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "ulvex/decoder_bin.h"
#include "ulvex/decoder_txt.h"
#include "ulvex/records.h"

namespace ulvex_cli {
namespace {

const unsigned int kStop = 0xFFFFFFFFu;

struct Window {
    const unsigned char* base;  // the window's first byte
    unsigned int len;           // its length
    std::uint64_t rest;         // bytes from its first byte to the input's end
    std::uint64_t maxRecord;    // the longest record reported
    bool last;                  // the window reaches the input's end

    // Whether a record of `recordLen` bytes announced at `pos` ends past the
    // window but inside the input, and is not too long to be reported.
    bool Straddles(std::uint64_t pos, std::uint64_t recordLen) const {
        const std::uint64_t end = pos + recordLen;
        return !last && recordLen <= maxRecord && end > len && end <= rest;
    }
};

struct Outcome {
    std::uint64_t next = 0;     // where the next window starts, relative to this one
    bool sinkStopped = false;
};

// The binary form: the helper-driven scan tells us of every position where no
// record starts, which is where straddling candidates are looked for. It skips
// to the next '<', the first header byte, as the plain lookup does.
class BinaryWindowScan : public IExternalHelper {
public:
    BinaryWindowScan(const Window& w, const RecordSink& sink) : m_w(w), m_sink(sink) {
        const unsigned int frame = IUlvexDecoderBin::GetSizeHeader() + IUlvexDecoderBin::GetSizeFooter();
        m_limit = w.len > frame ? w.len - frame : 0;
        m_frame = frame;
    }

    Outcome Run() {
        Outcome out;
        const std::unique_ptr<IUlvexDecoderBin> dec(IUlvexDecoderBin::CreateMe());
        const bool reachedEnd = dec->FindAllTagPtrAnyNameConHelper(m_w.base, m_w.len, this);
        out.sinkStopped = m_sinkStopped;
        out.next = reachedEnd ? std::max<std::uint64_t>(m_lastEnd, m_limit) : m_straddle;
        return out;
    }

    bool OnTagFound(const STag& tag) override {
        m_lastEnd = static_cast<std::uint64_t>(tag.PtrTag - m_w.base) + tag.TagLen;
        if (!m_sink(tag)) m_sinkStopped = true;
        return !m_sinkStopped;
    }

    unsigned int GetSkipLen(const void*, unsigned int len, unsigned int pos) override {
        // pos < len - 20: the 12 header bytes are inside the window.
        const CPtrHeader header(m_w.base + pos);
        if (header.IsCoerentAnyName() && m_w.Straddles(pos, std::uint64_t{m_frame} + header.GetPayloadLen())) {
            m_straddle = pos;
            return kStop;
        }
        const unsigned char* from = m_w.base + pos + 1;
        const void* next = pos + 1 < m_limit ? std::memchr(from, '<', m_limit - pos - 1) : nullptr;
        if (next == nullptr) return len - pos;  // past the limit: the scan ends
        return static_cast<unsigned int>(static_cast<const unsigned char*>(next) - from) + 1;
    }

private:
    const Window& m_w;
    const RecordSink& m_sink;
    unsigned int m_limit = 0;
    unsigned int m_frame = 0;
    std::uint64_t m_lastEnd = 0;
    std::uint64_t m_straddle = 0;
    bool m_sinkStopped = false;
};

// The text form has no helper-driven scan: after each lookup, the positions it
// passed over are searched for straddling candidates before its record counts.
Outcome ScanTextWindow(const Window& w, const RecordSink& sink) {
    CUlvexDecoderTxt dec;
    const unsigned int frame = dec.GetSizeHeader() + dec.GetSizeFooter();
    const unsigned int limit = w.len > frame ? w.len - frame : 0;
    CHeader header;
    // The first straddling candidate in [from, to), or `to`. Positions are
    // below the limit, so the converted header's bytes are inside the window.
    auto firstStraddle = [&](unsigned int from, unsigned int to) -> unsigned int {
        for (unsigned int q = from; q < to; ++q) {
            const void* lt = std::memchr(w.base + q, '<', to - q);
            if (lt == nullptr) break;
            q = static_cast<unsigned int>(static_cast<const unsigned char*>(lt) - w.base);
            dec.AssegnaHeader(header, w.base + q);
            if (header.IsCoerentAnyName() && w.Straddles(q, std::uint64_t{frame} + header.GetPayloadLen()))
                return q;
        }
        return to;
    };
    Outcome out;
    if (w.last) {
        // Nothing can straddle the last window: one bulk listing, which keeps
        // the checksum work linear across the whole window on hostile input.
        std::vector<STag> tags;
        dec.FindAllTagPtrAnyName(w.base, w.len, tags);
        for (const STag& t : tags) {
            if (!sink(t)) {
                out.sinkStopped = true;
                return out;
            }
        }
        return out;
    }
    STag tag;
    unsigned int pos = 0;
    while (pos < limit) {
        const unsigned int end = dec.FindTagPtrAnyName(w.base, w.len, tag, pos);
        const unsigned int found = end != 0 ? static_cast<unsigned int>(tag.PtrTag - w.base) : limit;
        const unsigned int x = firstStraddle(pos, found);
        if (x < found) {
            out.next = x;
            return out;
        }
        if (end == 0) break;
        if (!sink(tag)) {
            out.sinkStopped = true;
            return out;
        }
        pos = end;
    }
    out.next = std::max(pos, limit);
    return out;
}

}  // namespace

bool ScanRecords(const unsigned char* data, std::uint64_t size, Form form, std::uint64_t window,
                 const RecordSink& sink) {
    window = std::min(std::max(window, kMinWindow), kMaxWindow);
    std::uint64_t start = 0;
    while (start < size) {
        Window w;
        w.base = data + start;
        w.rest = size - start;
        w.last = w.rest <= window;
        w.len = static_cast<unsigned int>(std::min(w.rest, window));
        w.maxRecord = window;
        const Outcome out = form == Form::Binary ? BinaryWindowScan(w, sink).Run() : ScanTextWindow(w, sink);
        if (out.sinkStopped) return false;
        if (w.last) break;
        start += out.next;  // at least 1, see above
    }
    return true;
}

}  // namespace ulvex_cli
