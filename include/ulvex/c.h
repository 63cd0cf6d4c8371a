/* The C interface of libulvex: plain functions over plain types, for C
   programs and for every language with a foreign function interface.

   Conventions:
   - Every function that can fail returns a status: ULVEX_OK (0) or one of
     the negative ULVEX_ERR_ codes below. No exception ever leaves the
     library.
   - Output goes to memory the caller owns. When a function fails, its
     outputs are left as they were, except that ULVEX_ERR_SPACE stores the
     size needed in *written (or *count), and that a failed ulvex_scan may
     have written to its record array (and reports the records it wrote).
   - Pointers handed back (record payloads, entry keys and values) point into
     the caller's own input, or into a stream's buffer for as long as the
     stream function says.
   - A handle (ulvex_stream) is created and freed by the library. One handle
     serves one thread at a time; the other functions share no state (but
     ulvex_scan's per-thread continuation, below).

   Binary records are a 12-byte header ('<' 'h' name[4] length(le32)
   version '>'), the payload and an 8-byte footer ('<' name[4]
   checksum(le16) '>'). Text records are the same in printable form. Payload
   entries are "key=value|\r\n" laid end to end. */
#ifndef ULVEX_C_H
#define ULVEX_C_H

#include <stddef.h>
#include <stdint.h>

#include "ulvex/export.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ULVEX_OK 0
#define ULVEX_ERR_NOMEM (-1) /* out of memory; outputs unchanged */
#define ULVEX_ERR_ARG (-2)   /* a null pointer or a value out of range */
#define ULVEX_ERR_RANGE (-3) /* a length the record format cannot hold */
#define ULVEX_ERR_SPACE (-4) /* output too small: *written gives the size needed */
#define ULVEX_ERR_FAIL (-5)  /* any other failure: a thread could not be started, a callback threw */

/* The record forms. */
typedef enum ulvex_form { ULVEX_BINARY = 0, ULVEX_TEXT = 1 } ulvex_form;

/* One record found in an input. */
typedef struct ulvex_record {
    uint64_t offset;         /* the record's first byte in the input */
    uint64_t payload_offset; /* its first payload byte (text form: first data byte) */
    uint32_t payload_len;    /* payload bytes (text form: data bytes) */
    uint32_t record_len;     /* header through footer (text form: without the closing CR LF) */
    unsigned char name[4];   /* the four name bytes as the binary header holds them (text form: the
                                header's four characters, spaces included) */
    unsigned char version;   /* the header's version byte */
} ulvex_record;

/* The library's version, "MAJOR.MINOR.PATCH" ("0.1.0"). */
ULVEX_API const char* ulvex_version(void);

/* A short English description of a status code; never NULL (unknown codes
   get "unknown error"). */
ULVEX_API const char* ulvex_strerror(int code);

/* ---- Finding records ---------------------------------------------------- */

/* Lists records of data[0, size) starting the scan at *pos, into
   out[0, cap); *count gets how many. *pos moves just past the last record
   listed (it stays when none is), so calling again continues the same scan;
   *count < cap means the scan reached the end. threads: 0 = all cores.

   The records are exactly those of one byte-by-byte scan from *pos that
   tries each position in turn and continues just past every record it finds,
   for any thread count. No record starts in the last 20 (binary) or 30
   (text) bytes of the input. A *pos beyond size lists nothing. data must stay
   unchanged during the call.

   A call that stops at cap keeps, for its thread, where the scan stands
   (the records found and not yet listed, the checksum table), and a call on
   the same thread with the same form, data and size from the *pos it
   returned continues from there: a loop of calls does the work of one call
   for everything, whatever the cap and the thread count. That state is let
   go when a scan reaches the end, when the thread scans another input or
   from another position, and when the thread ends. The bytes must stay
   unchanged between the calls of such a loop: if they change, the records
   listed may differ from a fresh scan's, but nothing is read outside
   data[0, size).

   Records go straight into out. On an error (ULVEX_ERR_NOMEM,
   ULVEX_ERR_FAIL) after some were written, *count gives how many and *pos
   is just past the last of them, so that calling again continues the scan;
   when none was, *pos and *count are unchanged (out[0, cap) may still have
   been written).
   ULVEX_ERR_ARG: form unknown, or data (with size > 0), pos, count or out
   (with cap > 0) is NULL. ULVEX_ERR_FAIL: a thread could not be started.
   More threads than 256, or than chunks of the input, count as that many. */
ULVEX_API int ulvex_scan(ulvex_form form, const void* data, uint64_t size, uint64_t* pos, ulvex_record* out, size_t cap,
                         size_t* count, unsigned threads);

/* ---- Writing records ---------------------------------------------------- */

/* One record framing payload[0, len), written to out[0, cap); *written =
   its length: len + 20 (binary) or len + 34 (text). The name is taken up to
   its first zero byte; the bytes after it are written as zeros (in the text
   form as spaces). The bytes are those of the library's C++ encoders.

   ULVEX_ERR_RANGE: the record would be longer than 0xFFFFFFFF bytes.
   ULVEX_ERR_SPACE: cap is below the length, stored in *written; nothing is
   written to out.
   ULVEX_ERR_ARG: form unknown, name or written NULL, payload NULL with
   len > 0, out NULL with cap > 0. */
ULVEX_API int ulvex_encode(ulvex_form form, const unsigned char name[4], unsigned char version, const void* payload,
                           uint32_t len, void* out, size_t cap, size_t* written);

/* ---- Reading records from a stream ------------------------------------- */

/* A reader for records that arrive in pieces (a socket, a pipe). Feed each
   piece as it comes and take the complete records with ulvex_stream_next
   until it returns 0. The records, and their offsets in the stream, are those
   a whole-input ulvex_scan of the same form would list, for every way the
   stream is cut, except that a header announcing a payload longer than
   max_payload is passed over at once, as a damaged record would be. */
typedef struct ulvex_stream ulvex_stream;

/* A maximum payload that suits most links: 16 MiB. */
#define ULVEX_DEFAULT_MAX_PAYLOAD ((uint64_t)16 * 1024 * 1024)

/* A new reader; NULL when out of memory or when form is unknown. */
ULVEX_API ulvex_stream* ulvex_stream_new(ulvex_form form, uint64_t max_payload);
/* Frees a reader; NULL: nothing. */
ULVEX_API void ulvex_stream_free(ulvex_stream* s);

/* Takes the next n bytes of the stream. They are read in place: keep them
   unchanged until ulvex_stream_next returns 0. Ignored after
   ulvex_stream_finish. ULVEX_ERR_NOMEM: the bytes were not taken (feed them
   again). ULVEX_ERR_ARG: s NULL, or data NULL with n > 0. */
ULVEX_API int ulvex_stream_feed(ulvex_stream* s, const void* data, size_t n);

/* Ends the stream: records that only its end decides become available.
   ULVEX_ERR_ARG: s NULL. */
ULVEX_API int ulvex_stream_finish(ulvex_stream* s);

/* 1: a record, *rec and *payload (valid until the next feed) filled; 0: none
   until more bytes arrive (after finish: the end); negative: an error code.
   rec->offset is the stream offset of the record's first byte. payload may be
   NULL when the payload pointer is not wanted. ULVEX_ERR_NOMEM: nothing was
   delivered (call again). ULVEX_ERR_ARG: s or rec NULL. */
ULVEX_API int ulvex_stream_next(ulvex_stream* s, ulvex_record* rec, const unsigned char** payload);

/* Link diagnostics: records delivered, bytes passed over as not belonging to
   any delivered record, and rejected candidates (well-formed headers whose
   record was not delivered: too long, damaged, or cut off by the end of the
   stream). Each output may be NULL. ULVEX_ERR_ARG: s NULL. */
ULVEX_API int ulvex_stream_counters(const ulvex_stream* s, uint64_t* records, uint64_t* garbage_bytes,
                                    uint64_t* rejected);

/* ---- Reading payload entries ------------------------------------------- */

/* One key=value entry of a payload. key and value point into the payload. */
typedef struct ulvex_entry {
    const unsigned char* key;
    size_t key_len; /* never 0 */
    const unsigned char* value;
    size_t value_len;
} ulvex_entry;

/* The entries of payload[0, len), as the C++ entry reader reads them into
   its map: each key once, keys in ascending byte order (a shorter key before
   its extensions), the value of the key's last entry, each value cut at its
   first zero byte. An entry without '=' takes the rest of the payload as its
   key, with an empty value. */

/* Calls fn(context, &entry) for each entry. A nonzero return stops the walk
   and is returned (positive values keep clear of the error codes).
   ULVEX_ERR_ARG: fn NULL, or payload NULL with len > 0. */
typedef int (*ulvex_entry_fn)(void* context, const ulvex_entry* entry);
ULVEX_API int ulvex_entries_each(const void* payload, size_t len, ulvex_entry_fn fn, void* context);

/* Writes the entries to out[0, cap); *count = how many.
   ULVEX_ERR_SPACE: more than cap entries, how many stored in *count; out is
   not written. ULVEX_ERR_ARG: count NULL, payload NULL with len > 0, out NULL
   with cap > 0. */
ULVEX_API int ulvex_entries(const void* payload, size_t len, ulvex_entry* out, size_t cap, size_t* count);

/* ---- Writing payload entries ------------------------------------------- */

/* Each writer writes one entry "key=value|\r\n" to out[0, cap) and stores
   its length in *written; a payload is entries written one after another.
   Numbers are written as the library's C++ formatter writes them (under the
   process's global C++ locale): integers in decimal, float and double with
   at most 9 significant digits ("%.9g"), hex as "0x" and 8 lowercase digits.
   Keys are NUL-terminated; ulvex_entry_bytes takes any bytes.

   ULVEX_ERR_SPACE: cap is below the entry's length, stored in *written;
   nothing is written to out. ULVEX_ERR_ARG: key, value or written NULL
   (ulvex_entry_bytes: key or value NULL with a nonzero length), out NULL
   with cap > 0. */
ULVEX_API int ulvex_entry_bytes(const void* key, size_t key_len, const void* value, size_t value_len, void* out,
                                size_t cap, size_t* written);
ULVEX_API int ulvex_entry_str(const char* key, const char* value, void* out, size_t cap, size_t* written);
ULVEX_API int ulvex_entry_i8(const char* key, int8_t value, void* out, size_t cap, size_t* written);
ULVEX_API int ulvex_entry_u8(const char* key, uint8_t value, void* out, size_t cap, size_t* written);
ULVEX_API int ulvex_entry_i16(const char* key, int16_t value, void* out, size_t cap, size_t* written);
ULVEX_API int ulvex_entry_u16(const char* key, uint16_t value, void* out, size_t cap, size_t* written);
ULVEX_API int ulvex_entry_i32(const char* key, int32_t value, void* out, size_t cap, size_t* written);
ULVEX_API int ulvex_entry_u32(const char* key, uint32_t value, void* out, size_t cap, size_t* written);
ULVEX_API int ulvex_entry_i64(const char* key, int64_t value, void* out, size_t cap, size_t* written);
ULVEX_API int ulvex_entry_u64(const char* key, uint64_t value, void* out, size_t cap, size_t* written);
ULVEX_API int ulvex_entry_float(const char* key, float value, void* out, size_t cap, size_t* written);
ULVEX_API int ulvex_entry_double(const char* key, double value, void* out, size_t cap, size_t* written);
ULVEX_API int ulvex_entry_hex(const char* key, uint32_t value, void* out, size_t cap, size_t* written);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ULVEX_C_H */
