// The text tag decoder: finds text records (see encoder_txt.h) in a buffer.
//
// At every candidate position the text header is converted into a CHeader
// and, where the record fits, the text footer into a CFooter; the binary
// checks then decide (header markers, fit, footer name equal to the header's
// four name bytes, checksum). Resynchronisation is byte by byte. A record
// whose length field reads below the separator size is never reported.
#ifndef ULVEX_DECODER_TXT_H
#define ULVEX_DECODER_TXT_H

#include <vector>

#include "ulvex/export.h"
#include "ulvex/records.h"
#include "ulvex/stag.h"

class ULVEX_API IUlvexDecoderTxt {
public:
    virtual ~IUlvexDecoderTxt();

    // Every text record of the buffer, appended to `tags` in buffer order.
    virtual void FindAllTagPtrAnyName(const void* buf, unsigned int len, std::vector<STag>& tags) = 0;
    // The first text record at or after `start`: 0 when none, otherwise the
    // offset just past its text footer. `tag` is touched only on success;
    // PtrPayload/PayloadLen then describe the data after the separator.
    virtual unsigned int FindTagPtrAnyName(const void* buf, unsigned int len, STag& tag, unsigned int start) = 0;
    virtual unsigned int GetSizeHeader() = 0;  // 18
    virtual unsigned int GetSizeFooter() = 0;  // 12

    // A new CUlvexDecoderTxt, owned by the caller (delete through this interface).
    static IUlvexDecoderTxt* CreateMe();
};

// The lookups call the sizes, AssegnaHeader and AssegnaFooter through the
// object's virtual operations: a derived class that overrides them changes
// the form that both lookups recognise.
class ULVEX_API CUlvexDecoderTxt : public IUlvexDecoderTxt {
public:
    CUlvexDecoderTxt();
    virtual ~CUlvexDecoderTxt();

    virtual void FindAllTagPtrAnyName(const void* buf, unsigned int len, std::vector<STag>& tags);
    virtual unsigned int FindTagPtrAnyName(const void* buf, unsigned int len, STag& tag, unsigned int start);
    virtual unsigned int GetSizeHeader();
    virtual unsigned int GetSizeFooter();

    // Fills all 12 bytes of `header` from the 18-byte text header at `txt`
    // (reads positions 0-16); returns the position of the version character.
    virtual unsigned int AssegnaHeader(CHeader& header, const unsigned char* txt);
    // Fills all 8 bytes of `footer` from the 12-byte text footer at `txt`
    // (reads positions 0-11); returns where the checksum digits ended.
    virtual unsigned int AssegnaFooter(CFooter& footer, const unsigned char* txt);
    virtual unsigned int GetTagDataSeparator();  // 2

    // Reads the decimal number of a text header (`header` true: from
    // position 6, stopping before the character that precedes the first '>'
    // at 7-16, at most up to 16) or of a text footer (from position 6 up to
    // the first '>' at 6-11, at most up to 12). Any byte counts as a digit
    // worth its code minus 48, modulo 2^32. Returns where reading stopped.
    unsigned int CalcolaValore(unsigned int& value, const unsigned char* txt, bool header);
};

#endif  // ULVEX_DECODER_TXT_H
