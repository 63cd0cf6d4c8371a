// Tag record framing: the binary header and footer of one tag record.
//
// A tag record is a 12-byte header, the payload, and an 8-byte footer:
//
//   header  '<' 'h' name[4] payloadLen(le32) version '>'
//   footer  '<' name[4] checksum(le16) '>'
//
// The checksum is the sum of the payload bytes modulo 65536. Names are four
// raw bytes; a text name takes its characters up to the first NUL (at most
// four), an integer name is stored least significant byte first.
//
// CHeader / CFooter own their bytes (held in wire order, nothing else), while
// CPtrHeader / CPtrFooter are non-owning views over bytes in a caller's
// buffer. A view never checks that its 12 (or 8) bytes lie inside the
// buffer: the decoders do that before pointing one at a position.
#ifndef ULVEX_RECORDS_H
#define ULVEX_RECORDS_H

#include <list>
#include <string>
#include <vector>

#include "ulvex/export.h"

// The 12-byte binary header, as a value.
class ULVEX_API CHeader {
public:
    // A header whose bytes are all zero; a target for code that fills them
    // afterwards (the text decoder does).
    CHeader();
    CHeader(unsigned int name, unsigned char version, unsigned int payloadLen);
    CHeader(const char* name, unsigned char version, unsigned int payloadLen);

    // Writes a complete header with an all-zero name.
    void Inizializza(unsigned char version, unsigned int payloadLen);

    // '<' at 0, 'h' at 1 and '>' at 11; name and length are not looked at.
    bool IsCoerentAnyName() const;
    // Markers, and the name bytes as a little-endian number equal `name`.
    bool IsCoerent(unsigned int name) const;
    // Markers, and all four name bytes equal the first four bytes at `name`
    // (a NUL does not end the comparison: `name` must have 4 readable bytes).
    bool IsCoerent(const char* name) const;

    // The four name bytes inside the object (not NUL-terminated).
    const char* GetPtrTagName() const;
    // The name bytes up to the first NUL, at most four.
    void GetTagName(std::string& out) const;
    // All four name bytes, NUL bytes included.
    void GetTagName(std::vector<char>& out) const;

    unsigned int GetPayloadLen() const;
    void SetPayloadLen(unsigned int payloadLen);
    unsigned char GetVersion() const;
    unsigned int GetHeaderSize() const;

    // The 12 header bytes in wire order.
    const unsigned char* GetBytes() const { return m_bytes; }
    unsigned char* GetBytes() { return m_bytes; }

private:
    unsigned char m_bytes[12];
};

// The 8-byte binary footer, as a value.
class ULVEX_API CFooter {
public:
    // A footer whose bytes are all zero (see CHeader()).
    CFooter();
    CFooter(unsigned int name, const unsigned char* payload, unsigned int payloadLen);
    CFooter(const char* name, const unsigned char* payload, unsigned int payloadLen);

    // Writes a complete footer with an all-zero name and the payload's checksum.
    void Inizializza(const unsigned char* payload, unsigned int payloadLen);

    // The byte sum of `len` bytes at `data` modulo 65536; 0 for null or 0 bytes.
    unsigned short CalcolaChecksum(const unsigned char* data, unsigned int len) const;
    // The stored checksum equals CalcolaChecksum(data, len).
    bool VerifyChecksumOn(const unsigned char* data, unsigned int len) const;

    // '<' at 0 and '>' at 7.
    bool IsCoerentAnyName() const;
    bool IsCoerent(unsigned int name) const;
    // All four name bytes equal the first four bytes at `name`.
    bool IsCoerent(const char* name) const;

    unsigned int GetFooterSize() const;

    // The 8 footer bytes in wire order.
    const unsigned char* GetBytes() const { return m_bytes; }
    unsigned char* GetBytes() { return m_bytes; }

private:
    unsigned char m_bytes[8];
};

// A view of a 12-byte header inside a caller's buffer; null means empty, and
// an empty view answers every check with false and every read with 0/null.
class ULVEX_API CPtrHeader {
public:
    CPtrHeader();
    explicit CPtrHeader(const unsigned char* p);

    void Inizializza(const unsigned char* p);

    bool IsCoerentAnyName() const;
    // Markers, then the name compared byte by byte up to the first NUL of
    // `name` (at most four bytes; the NUL itself must match).
    bool IsCoerent(const char* name) const;
    // Markers, then any entry whose first four bytes (NUL-padded) equal all
    // four name bytes.
    bool IsCoerent(const std::list<std::string>& names) const;
    bool IsCoerent(unsigned int name) const;

    const char* GetPtrTagName() const;
    void GetTagName(std::string& out) const;
    unsigned int GetPayloadLen() const;
    // Writes into the viewed buffer, which must therefore be writable.
    void SetPayloadLen(unsigned int payloadLen);
    unsigned char GetVersion() const;
    unsigned int GetHeaderSize() const;

private:
    const unsigned char* m_p;
};

// A view of an 8-byte footer inside a caller's buffer; null means empty.
class ULVEX_API CPtrFooter {
public:
    CPtrFooter();
    explicit CPtrFooter(const unsigned char* p);

    void Inizializza(const unsigned char* p);

    // Markers ('<' at 0, '>' at 7), then the name up to the first NUL of `name`.
    bool IsCoerent(const char* name) const;
    bool IsCoerent(const std::list<std::string>& names) const;
    bool IsCoerent(unsigned int name) const;

    unsigned short CalcolaChecksum(const unsigned char* data, unsigned int len) const;
    bool VerifyChecksumOn(const unsigned char* data, unsigned int len) const;
    unsigned int GetFooterSize() const;

private:
    const unsigned char* m_p;
};

#endif  // ULVEX_RECORDS_H
