// Record scanning of inputs of any size.
//
// Text form: the library's streaming reader, fed the input in slices. It
// reports exactly what one listing over the whole input reports, among
// records no longer than the window (a longer record's header is passed over
// like a damaged one, as the windowed scan below passes it over), in time
// linear in the input and holding only the bytes an undecided record needs.
//
// Binary form: windows, as follows.
//
// The reference is one scan over the whole input: from search position s it
// takes the first position p >= s, below (input length - m), where a valid
// record starts, reports it and goes on at the record's end (m is 20: the
// binary lookups never try the last 20 positions). Whether a record of length T is valid at p depends only on the
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
#include "ulvex/records.h"
#include "ulvex/stream_reader.h"

namespace ulvex_cli {
namespace {

const unsigned int kStop = 0xFFFFFFFFu;

struct Window {
    std::uint64_t offset;       // the input offset of its first byte
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
    std::uint64_t next = 0;  // where the next window starts, relative to this one
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
        const std::uint64_t pos = static_cast<std::uint64_t>(tag.PtrTag - m_w.base);
        m_lastEnd = pos + tag.TagLen;
        if (!m_sink(tag, m_w.offset + pos)) m_sinkStopped = true;
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

const std::uint64_t kTextFraming = 32;  // text header, separator and footer around the data

bool ScanText(const unsigned char* data, std::uint64_t size, std::uint64_t window, const RecordSink& sink) {
    ulvex::StreamReader reader(ulvex::StreamReader::Text, static_cast<std::size_t>(window - kTextFraming));
    const std::uint64_t slice = std::uint64_t{1} << 20;
    STag tag;
    std::uint64_t offset = 0;
    for (std::uint64_t at = 0;;) {
        const bool last = at >= size;
        if (last) {
            reader.Finish();
        } else {
            const std::uint64_t n = std::min(slice, size - at);
            reader.Feed(data + at, static_cast<std::size_t>(n));  // mapped bytes: unchanged until drained
            at += n;
        }
        while (reader.Next(tag, offset))
            if (!sink(tag, offset)) return false;
        if (last) return true;
    }
}

}  // namespace

bool ScanRecords(const unsigned char* data, std::uint64_t size, Form form, std::uint64_t window,
                 const RecordSink& sink) {
    window = std::min(std::max(window, kMinWindow), kMaxWindow);
    if (form == Form::Text) return ScanText(data, size, window, sink);
    std::uint64_t start = 0;
    while (start < size) {
        Window w;
        w.offset = start;
        w.base = data + start;
        w.rest = size - start;
        w.last = w.rest <= window;
        w.len = static_cast<unsigned int>(std::min(w.rest, window));
        w.maxRecord = window;
        const Outcome out = BinaryWindowScan(w, sink).Run();
        if (out.sinkStopped) return false;
        if (w.last) break;
        start += out.next;  // at least 1, see above
    }
    return true;
}

}  // namespace ulvex_cli
