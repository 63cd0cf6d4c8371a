/* A C program using only ulvex/c.h: writes a capture (two records of typed
   entries, garbage and a damaged record between them) to FILE, reads it back
   with ulvex_scan and a stream fed a byte at a time, and checks both. The
   capture is then listed by the C example. */
#include <stdio.h>
#include <string.h>

#include "ulvex/c.h"

static int failures = 0;

#define CHECK(cond)                                                    \
    do {                                                               \
        if (!(cond)) {                                                 \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                \
        }                                                              \
    } while (0)

/* The length of the entry just written (read after the call that sets it). */
static size_t put(int rc, const size_t* n) {
    CHECK(rc == ULVEX_OK);
    return rc == ULVEX_OK ? *n : 0;
}

int main(int argc, char** argv) {
    unsigned char payload[256], capture[1024];
    const unsigned char temp[4] = {'T', 'E', 'M', 'P'}, conf[4] = {'C', 'O', 'N', 'F'};
    size_t len = 0, size = 0, n = 0, count = 0, i;
    ulvex_record r[4], s;
    ulvex_entry e[4];
    uint64_t pos = 0, garbage = 0;
    ulvex_stream* st;
    const unsigned char* p;
    FILE* f;

    if (argc != 2) return 2;
    len += put(ulvex_entry_str("room", "kitchen", payload + len, sizeof payload - len, &n), &n);
    len += put(ulvex_entry_double("temp", 21.5, payload + len, sizeof payload - len, &n), &n);
    len += put(ulvex_entry_i32("delta", -5, payload + len, sizeof payload - len, &n), &n);
    CHECK(ulvex_encode(ULVEX_BINARY, temp, 1, payload, (uint32_t)len, capture, sizeof capture, &n) == ULVEX_OK);
    size += n;
    memcpy(capture + size, "<h\0\x01garbage", 11);
    size += 11;
    CHECK(ulvex_encode(ULVEX_BINARY, temp, 1, payload, (uint32_t)len, capture + size, sizeof capture - size, &n) ==
          ULVEX_OK);
    capture[size + 15] ^= 1; /* damaged: a payload byte changed */
    size += n;
    len = put(ulvex_entry_hex("flags", 255, payload, sizeof payload, &n), &n);
    len += put(ulvex_entry_str("mode", "eco", payload + len, sizeof payload - len, &n), &n);
    CHECK(ulvex_encode(ULVEX_BINARY, conf, 2, payload, (uint32_t)len, capture + size, sizeof capture - size, &n) ==
          ULVEX_OK);
    size += n;
    capture[size++] = 0; /* a byte after the last record */

    CHECK(ulvex_scan(ULVEX_BINARY, capture, size, &pos, r, 4, &count, 1) == ULVEX_OK);
    CHECK(count == 2);
    CHECK(pos == size - 1);
    CHECK(memcmp(r[1].name, "CONF", 4) == 0);
    CHECK(ulvex_entries(capture + r[1].payload_offset, r[1].payload_len, e, 4, &count) == ULVEX_OK);
    CHECK(count == 2);
    CHECK(e[0].value_len == 10);
    CHECK(memcmp(e[0].value, "0x000000ff", 10) == 0);

    st = ulvex_stream_new(ULVEX_BINARY, ULVEX_DEFAULT_MAX_PAYLOAD);
    CHECK(st != NULL);
    if (st == NULL) return 1;
    count = 0;
    for (i = 0; i < size; ++i) {
        CHECK(ulvex_stream_feed(st, capture + i, 1) == ULVEX_OK);
        while (ulvex_stream_next(st, &s, &p) == 1) {
            CHECK(count < 2 && s.offset == r[count].offset);
            CHECK(memcmp(p, capture + s.payload_offset, s.payload_len) == 0);
            ++count;
        }
    }
    CHECK(ulvex_stream_finish(st) == ULVEX_OK);
    CHECK(ulvex_stream_next(st, &s, &p) == 0);
    CHECK(count == 2);
    CHECK(ulvex_stream_counters(st, NULL, &garbage, NULL) == ULVEX_OK);
    CHECK(garbage == size - r[0].record_len - r[1].record_len);
    ulvex_stream_free(st);

    f = fopen(argv[1], "wb");
    CHECK(f != NULL);
    if (f == NULL) return 1;
    CHECK(fwrite(capture, 1, size, f) == size);
    CHECK(fclose(f) == 0);
    return failures != 0;
}
