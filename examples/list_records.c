/* Lists the records of a capture file with their payload entries, through
   the C interface alone.

     list_records [--text] FILE

   The file is read into memory and scanned a batch of records at a time;
   each record's payload is then read as key=value entries. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ulvex/c.h"

/* Prints bytes, with anything outside printable ASCII, '\' and '"' as \xNN. */
static void print_bytes(const unsigned char* p, size_t n) {
    size_t i;
    for (i = 0; i < n; ++i) {
        if (p[i] >= 0x20 && p[i] < 0x7F && p[i] != '\\' && p[i] != '"')
            putchar(p[i]);
        else
            printf("\\x%02X", p[i]);
    }
}

static int print_entry(void* context, const ulvex_entry* e) {
    (void)context;
    printf("              ");
    print_bytes(e->key, e->key_len);
    putchar('=');
    print_bytes(e->value, e->value_len);
    putchar('\n');
    return 0;
}

/* The whole file in memory; NULL (with a message) when it cannot be read. */
static unsigned char* read_file(const char* path, size_t* size) {
    FILE* f = fopen(path, "rb");
    unsigned char* data = NULL;
    size_t used = 0, cap = 0;
    if (f == NULL) {
        perror(path);
        return NULL;
    }
    for (;;) {
        size_t got;
        if (used == cap) {
            unsigned char* grown;
            cap = cap != 0 ? cap * 2 : 65536;
            grown = (unsigned char*)realloc(data, cap);
            if (grown == NULL) {
                fprintf(stderr, "%s: out of memory\n", path);
                free(data);
                fclose(f);
                return NULL;
            }
            data = grown;
        }
        got = fread(data + used, 1, cap - used, f);
        used += got;
        if (got == 0) break;
    }
    if (ferror(f)) {
        perror(path);
        free(data);
        fclose(f);
        return NULL;
    }
    fclose(f);
    *size = used;
    return data;
}

int main(int argc, char** argv) {
    ulvex_form form = ULVEX_BINARY;
    const char* path;
    unsigned char* data;
    size_t size = 0, count, i;
    uint64_t pos = 0, records = 0, record_bytes = 0;
    ulvex_record batch[64];
    int rc;

    if (argc == 3 && strcmp(argv[1], "--text") == 0) {
        form = ULVEX_TEXT;
        path = argv[2];
    } else if (argc == 2) {
        path = argv[1];
    } else {
        fprintf(stderr, "usage: %s [--text] FILE\n", argv[0]);
        return 2;
    }
    data = read_file(path, &size);
    if (data == NULL) return 1;

    printf("library %s\n", ulvex_version());
    printf("      offset  name       version    payload     record\n");
    do {
        /* Up to 64 records from pos on; pos moves past the last one. */
        rc = ulvex_scan(form, data, size, &pos, batch, sizeof batch / sizeof batch[0], &count, 1);
        if (rc != ULVEX_OK) {
            fprintf(stderr, "scan: %s\n", ulvex_strerror(rc));
            free(data);
            return 1;
        }
        for (i = 0; i < count; ++i) {
            const ulvex_record* r = &batch[i];
            printf("%12llu  \"", (unsigned long long)r->offset);
            print_bytes(r->name, 4);
            printf("\"  %10u %10lu %10lu\n", (unsigned)r->version, (unsigned long)r->payload_len,
                   (unsigned long)r->record_len);
            rc = ulvex_entries_each(data + r->payload_offset, r->payload_len, print_entry, NULL);
            if (rc != ULVEX_OK) {
                fprintf(stderr, "entries: %s\n", ulvex_strerror(rc));
                free(data);
                return 1;
            }
            ++records;
            record_bytes += r->record_len;
        }
    } while (count == sizeof batch / sizeof batch[0]);

    printf("%llu records, %llu bytes in records, %lu bytes read\n", (unsigned long long)records,
           (unsigned long long)record_bytes, (unsigned long)size);
    free(data);
    return 0;
}
