// ulvex::Scan: every record of a buffer of any length, on any number of
// threads.
//
//     std::vector<ulvex::Record> records;
//     ulvex::ScanOptions options;
//     options.threads = 0;  // all cores
//     ulvex::Scan(ulvex::RecordForm::Binary, data, size, records, options);
//
// The contract: the records listed, in order, are exactly those of one
// byte-by-byte scan of the whole buffer from the start position, which tries
// each position in turn, passes over every failed candidate to the next byte,
// and continues just past every record it finds. That holds for every thread
// count and chunk size. For a buffer below 4 GiB scanned from 0 it is exactly
// the list of FindAllTagPtrAnyName of CUlvexDecoder (binary) or
// CUlvexDecoderTxt (text); beyond, the same rules with 64-bit positions (a
// record's own lengths stay 32-bit, as the formats hold them). As there, no
// record starts in the last 20 (binary) or 30 (text) bytes of the buffer, so
// a binary record without payload that ends the buffer is not listed. A
// header announcing a record longer than 4 GiB - 1 bytes, which no 32-bit
// length can describe, is passed over like a damaged one.
//
// How: the buffer is cut into chunks that the threads scan independently,
// each from its own first byte. The results are joined in order: where a
// record of one chunk runs into the next chunk, the join scans on from that
// record's end until it meets a position the next chunk's own scan passed
// through, and takes that chunk's records from there. Nothing is guessed.
// A chunk whose checksums grow expensive (inputs built so that many headers
// share one far footer) is left to the join, which scans it on in order: the
// total work stays within about twice the sequential scan's, whatever the
// input holds.
//
// Memory grows with the records found (and with the chunks in flight, a few
// per thread), not with the buffer. The buffer is only read, never copied:
// it must stay unchanged during the call.
#ifndef ULVEX_SCAN_H
#define ULVEX_SCAN_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ulvex/export.h"
#include "ulvex/format.h"
#include "ulvex/thread_pool.h"

namespace ulvex {

struct ScanOptions {
    ScanOptions() : threads(1), chunkSize(0) {}
    // Threads to scan with: 0 for one per core. 1 scans on the calling
    // thread only. No more threads start than the input has chunks, nor more
    // than 256.
    unsigned threads;
    // Bytes per chunk: 0 chooses a size from the buffer length and the
    // threads. Any size from 1 gives the same records; tests use small ones
    // to put chunk boundaries everywhere.
    std::uint64_t chunkSize;
};

// Receives the records found, in buffer order, a batch at a time, on the
// thread that called Scan. Returns how many of the `count` records it takes;
// fewer than `count` stops the scan after those.
typedef std::size_t (*RecordBatchFn)(void* context, const Record* records, std::size_t count);

// Scans `size` bytes at `data` from position `pos` on, handing the records to
// `fn`. On return `pos` is just past the last record taken (unchanged when
// none was), whatever ends the scan, an exception included, so calling again
// from there continues the same scan. Returns true when the scan reached the
// end of the buffer, false when `fn` stopped it. A `pos` beyond `size` lists
// nothing. Throws what `fn` throws (the records of that batch count as not
// taken), std::bad_alloc when memory runs out and std::system_error when a
// thread cannot be started.
//
// A scan that `fn` stops keeps, for its thread, where it stands: the records
// found and not yet taken (a few chunks' worth at most) and its checksum
// table. A call on the same thread with the same form, data and size from
// the `pos` it returned continues from there, so a loop of calls does the
// work of one scan, whatever `fn` takes each time. That state is let go when
// a scan reaches the end, when the thread starts another scan (of another
// buffer, or from another position), and when the thread ends. The bytes
// must stay unchanged between the calls of such a loop: if they change, the
// records listed may differ from a fresh scan's, but nothing is read outside
// the buffer.
ULVEX_API bool Scan(RecordForm form, const void* data, std::uint64_t size, std::uint64_t& pos,
                    const ScanOptions& options, RecordBatchFn fn, void* context);

// The same on the workers of `pool` and the calling thread, which hands the
// records to `fn`; options.threads is not used. The chunks are tasks of the
// pool, so other work queued there runs between them.
ULVEX_API bool Scan(RecordForm form, const void* data, std::uint64_t size, std::uint64_t& pos,
                    const ScanOptions& options, ThreadPool& pool, RecordBatchFn fn, void* context);

// Appends every record of the buffer, from position 0, to `records`.
ULVEX_API void Scan(RecordForm form, const void* data, std::uint64_t size, std::vector<Record>& records,
                    const ScanOptions& options = ScanOptions());

// The threads that ScanOptions::threads = 0 stands for (at least 1):
// ThreadPool::DefaultThreads().
ULVEX_API unsigned DefaultScanThreads();

// The threads a thread count stands for: itself, or for 0 one per core.
inline unsigned ScanThreads(unsigned threads) { return threads != 0 ? threads : DefaultScanThreads(); }

}  // namespace ulvex

#endif  // ULVEX_SCAN_H
