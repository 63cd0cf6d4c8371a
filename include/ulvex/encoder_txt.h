// The text tag encoder: frames a payload as one printable text record.
//
// A text record for n data bytes is n + 34 bytes:
//
//   "<h" name[4] length[10 digits] version-char ">"   18-byte text header
//   CR LF                                             separator
//   data[n]
//   "<" name[4] checksum[6 digits] ">"                12-byte text footer
//   CR LF
//
// The length counts the separator and the data (n + 2); the checksum is the
// byte sum of those same bytes modulo 65536. Zero name bytes are written as
// spaces. The version v is written as the byte (v + '0') mod 256, so versions
// 0-9 are the digits "0"-"9"; version 14 would be the closing '>' and is
// written as '?' instead, which reads back as version 15.
#ifndef ULVEX_ENCODER_TXT_H
#define ULVEX_ENCODER_TXT_H

#include <string>
#include <vector>

#include "ulvex/export.h"
#include "ulvex/records.h"

class ULVEX_API IUlvexEncoderTxt {
public:
    virtual ~IUlvexEncoderTxt();

    // Append one text record framing `payload` to `out`; always true.
    // Throws std::length_error, leaving `out` unchanged, when the vector's
    // new size would exceed 0xFFFFFFFF bytes.
    virtual bool AddTagTxt(std::vector<unsigned char>& out, const char* name, const std::vector<unsigned char>& payload,
                           unsigned char version) = 0;

    // A new CUlvexEncoderTxt, owned by the caller (delete through this interface).
    static IUlvexEncoderTxt* CreateMe();
};

// Holds two scratch buffers that every AddTagTxt overwrites: one object
// serves one thread at a time.
class ULVEX_API CUlvexEncoderTxt : public IUlvexEncoderTxt {
public:
    CUlvexEncoderTxt();
    CUlvexEncoderTxt(const CUlvexEncoderTxt& other);
    CUlvexEncoderTxt& operator=(const CUlvexEncoderTxt& other);
    virtual ~CUlvexEncoderTxt();

    virtual bool AddTagTxt(std::vector<unsigned char>& out, const char* name, const std::vector<unsigned char>& payload,
                           unsigned char version);

    // Writes the 18-character text header over positions 0-17 of `txt`
    // (grown to 18 characters first if shorter; later characters are kept).
    void HeaderToTxtNew(std::string& txt, const CHeader& header);
    // Writes the 12-character text footer over positions 0-11 of `txt`
    // (grown to 12 characters first if shorter).
    void FooterToTxtNew(std::string& txt, const CFooter& footer);

private:
    std::string m_header;  // always 18 characters
    std::string m_footer;  // always 12 characters
};

#endif  // ULVEX_ENCODER_TXT_H
