// ulvex::StreamReader: tag records from a byte stream that arrives in chunks
// (a socket, a pipe, a serial line).
//
//     ulvex::StreamReader reader(ulvex::RecordForm::Binary);
//     unsigned char buf[65536];
//     ulvex::Record record;
//     const unsigned char* payload;
//     for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) {
//         reader.Feed(buf, static_cast<std::size_t>(n));
//         while (reader.Next(record, payload)) Use(record, payload);
//     }
//     reader.Finish();
//     while (reader.Next(record, payload)) Use(record, payload);
//
// Feed the chunks as they come, of any size, and after each one call Next
// until it returns false; once the stream has ended, call Finish and drain
// Next again. For every way of cutting a stream into chunks, the records delivered (name,
// version, payload bytes and stream offset) are exactly those that the
// whole-buffer listing FindAllTagPtrAnyName of the same form reports on the
// whole stream held in one buffer, in the same order, with one difference:
// a header announcing a payload longer than the maximum is not a candidate.
// The reader passes over it at once, exactly as over a damaged record, and
// goes on with the next byte; so a record with a longer payload is never
// delivered, and records lying inside its payload are found as they would be
// inside a damaged record. (Equivalently: the reference is the whole-buffer
// listing of a decoder whose single lookup ignores records whose payload is
// longer than the maximum.) For the text form the maximum applies to the
// number of data bytes, PayloadLen of the delivered STag.
//
// Consequences of that contract worth knowing:
//  - A record is delivered only once nothing before it can still turn out to
//    be a record that would hide it. A damaged header that announces a
//    payload of up to the maximum holds back the records behind it until
//    that many bytes have arrived (or until Finish); choose the maximum to
//    suit the link.
//  - The whole-buffer listing never reports a record that ends exactly at
//    the end of the buffer without any payload (a binary record of 20 bytes
//    needs at least one byte after it). Such a record is delivered as soon
//    as one more byte arrives, and not at all if the stream ends first.
//  - After a delivered record the search continues just past it: records
//    inside a delivered record's payload are not delivered; records inside a
//    rejected candidate are.
//
// Chunks are read in place. The reader keeps a copy only of the bytes it
// cannot decide yet when Next returns false: a cut header at the end of the
// chunk, or a record (or a damaged header) waiting for the rest of its
// announced length. A record that arrives split between chunks is therefore
// copied once, so that its bytes are contiguous; one that lies inside a
// chunk is delivered with pointers into the chunk.
//
// Memory: provided Next is drained after every Feed, the reader's buffer
// never grows beyond one and a half times the longest acceptable record
// (the maximum payload plus 32 bytes), plus the largest chunk, plus 4 KiB
// (Capacity() reports it). On streams built to make checksums expensive, a
// table of 1/32 of the bytes retained is added.
//
// Not thread-safe: one reader serves one stream on one thread at a time.
#ifndef ULVEX_STREAM_READER_H
#define ULVEX_STREAM_READER_H

#include <cstddef>
#include <cstdint>

#include "ulvex/export.h"
#include "ulvex/format.h"
#include "ulvex/stag.h"

namespace ulvex {

namespace detail {
class StreamState;
}

class ULVEX_API StreamReader {
public:
    // The form's older spellings here, for code written when the reader had
    // a form type of its own (StreamReader::Form, StreamReader::Binary).
    typedef RecordForm Form;
    static constexpr RecordForm Binary = RecordForm::Binary;
    static constexpr RecordForm Text = RecordForm::Text;

    static const std::size_t kDefaultMaxPayload = 16u * 1024u * 1024u;

    // The largest maxPayload in effect: 2^32 - 65 bytes. A record's lengths
    // are 32-bit (STag::TagLen counts the header and footer too), so a larger
    // maxPayload is lowered to this; any record the formats can hold fits.
    static const std::size_t kLargestMaxPayload = 0xFFFFFFFFu - 64u;

    // Reads records of `form`. `maxPayload`: payloads longer than this (for
    // the text form: more data bytes) are passed over at once; values above
    // kLargestMaxPayload act as kLargestMaxPayload.
    explicit StreamReader(RecordForm form, std::size_t maxPayload = kDefaultMaxPayload);
    ~StreamReader();

    // Takes the next `n` bytes of the stream (0 is allowed and does nothing).
    // The reader reads them in place until Next returns false: keep them
    // alive and unchanged until then (if Feed is called again before that,
    // until that call returns). Invalidates the pointers handed out by
    // Next so far. Ignored after Finish.
    void Feed(const void* data, std::size_t n);

    // Ends the stream: candidates still waiting for bytes are rejected, and
    // the records that the final bytes allow become available to Next.
    void Finish();

    // The next complete record in stream order: fills `tag` and `offset` (the
    // stream offset of the record's first byte) and returns true. Returns
    // false when no further record can be known before more bytes arrive
    // (or, after Finish, when the stream is exhausted). The pointers of
    // `tag` point into the last chunk fed or into the reader's buffer; they
    // stay valid until the next Feed, as long as that chunk is left as it is.
    // (In the loop above: use each record before reading the next chunk.)
    bool Next(STag& tag, std::uint64_t& offset);

    // The same, as plain numbers: `record` with stream offsets, and
    // `payload` pointing at its first payload byte (valid as the STag
    // pointers above are).
    bool Next(Record& record, const unsigned char*& payload);

    // Link diagnostics. Records delivered by Next; bytes passed over as not
    // belonging to any delivered record; candidates rejected, that is
    // positions with a well-formed header whose record was not delivered
    // (too long, damaged, or cut off by the end of the stream). After
    // Finish and a drained Next, GarbageBytes() plus the sum of the
    // delivered TagLen values is the number of bytes fed.
    std::uint64_t RecordsDelivered() const;
    std::uint64_t GarbageBytes() const;
    std::uint64_t RejectedCandidates() const;

    // Bytes held in the reader's buffer (undecided bytes, and records read
    // from it since the last Feed), and the buffer's allocated size.
    std::size_t RetainedBytes() const;
    std::size_t Capacity() const;

    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

private:
    detail::StreamState* m_state;
};

}  // namespace ulvex

#endif  // ULVEX_STREAM_READER_H
