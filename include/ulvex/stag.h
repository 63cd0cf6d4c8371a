// STag: the description of one tag record found in a caller's buffer.
#ifndef ULVEX_STAG_H
#define ULVEX_STAG_H

#include <string>

// Filled by the binary and text decoders. The pointers point into the
// caller's buffer and are valid only while that buffer lives unchanged.
struct STag {
    STag() : PtrTag(0), PtrPayload(0), PayloadLen(0), TagLen(0), Version(0) {}

    // The header's name bytes up to the first NUL, at most four characters.
    std::string TagName;
    // The record's first byte (the header's '<').
    const unsigned char* PtrTag;
    // The first payload byte (for the text form: the first data byte).
    const unsigned char* PtrPayload;
    // Payload length in bytes (for the text form: the data bytes only).
    unsigned int PayloadLen;
    // The whole record's length, header through footer.
    unsigned int TagLen;
    // The header's version byte.
    unsigned char Version;
};

#endif  // ULVEX_STAG_H
