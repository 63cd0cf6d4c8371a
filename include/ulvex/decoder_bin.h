// The binary tag decoder: finds binary tag records in a caller's buffer.
//
// Scans resynchronise byte by byte: a candidate that fails any check (header
// markers, fit inside the buffer, footer markers and name, checksum) is
// passed over and the very next byte is tried. The single lookups return 0
// when nothing is found, otherwise the offset just past the found record's
// footer, to be passed back as the next start. No operation reads outside
// [buf, buf + len).
#ifndef ULVEX_DECODER_BIN_H
#define ULVEX_DECODER_BIN_H

#include <list>
#include <string>
#include <vector>

#include "ulvex/export.h"
#include "ulvex/external_helper.h"
#include "ulvex/stag.h"

class ULVEX_API IUlvexDecoderBin {
public:
    virtual ~IUlvexDecoderBin();

    // Check the record at offset 0 against `name` and copy its payload into
    // `dest`, which must be exactly as long as the payload.
    virtual bool DecodeTag(const void* buf, unsigned int len, const char* name, void* dest, unsigned int destLen,
                           unsigned char& version) = 0;
    // The first record named `name` at or after `start`; `payload` is
    // emptied at entry and receives a copy of the payload on success.
    virtual unsigned int FindTag(const void* buf, unsigned int len, const char* name,
                                 std::vector<unsigned char>& payload, unsigned char& version, unsigned int start) = 0;
    // Every record whose header and footer names are each in `names`,
    // appended in buffer order.
    virtual void FindAllTagPtr(const void* buf, unsigned int len, const std::list<std::string>& names,
                               std::vector<STag>& tags) = 0;
    virtual void FindAllTagPtr(const void* buf, unsigned int len, const std::list<std::string>& names,
                               std::list<STag>& tags) = 0;
    // Every valid record of any name, appended in buffer order.
    virtual void FindAllTagPtrAnyName(const void* buf, unsigned int len, std::vector<STag>& tags) = 0;
    virtual void FindAllTagPtrAnyName(const void* buf, unsigned int len, std::list<STag>& tags) = 0;
    // Repeats FindTagPtrAnyNameConHelper over the buffer: true when the scan
    // reached the end, false when the helper stopped it.
    virtual bool FindAllTagPtrAnyNameConHelper(const void* buf, unsigned int len, IExternalHelper* helper) = 0;
    // The first valid record of any name at or after `start`.
    virtual unsigned int FindTagPtrAnyName(const void* buf, unsigned int len, STag& tag, unsigned int start) = 0;
    // A scan where the helper chooses the step at every position that does
    // not start a valid record and accepts or rejects each record found.
    // Returns 0 at the end, 0xFFFFFFFF when the helper stopped the scan,
    // otherwise the offset just past the accepted record.
    virtual unsigned int FindTagPtrAnyNameConHelper(const void* buf, unsigned int len, unsigned int start,
                                                    IExternalHelper* helper) = 0;

    // A new CUlvexDecoder, owned by the caller (delete through this interface).
    static IUlvexDecoderBin* CreateMe();
    static unsigned int GetSizeHeader();  // 12
    static unsigned int GetSizeFooter();  // 8
};

class ULVEX_API CUlvexDecoder : public IUlvexDecoderBin {
public:
    CUlvexDecoder();
    virtual ~CUlvexDecoder();

    virtual bool DecodeTag(const void* buf, unsigned int len, const char* name, void* dest, unsigned int destLen,
                           unsigned char& version);
    virtual unsigned int FindTag(const void* buf, unsigned int len, const char* name,
                                 std::vector<unsigned char>& payload, unsigned char& version, unsigned int start);
    virtual void FindAllTagPtr(const void* buf, unsigned int len, const std::list<std::string>& names,
                               std::vector<STag>& tags);
    virtual void FindAllTagPtr(const void* buf, unsigned int len, const std::list<std::string>& names,
                               std::list<STag>& tags);
    virtual void FindAllTagPtrAnyName(const void* buf, unsigned int len, std::vector<STag>& tags);
    virtual void FindAllTagPtrAnyName(const void* buf, unsigned int len, std::list<STag>& tags);
    virtual bool FindAllTagPtrAnyNameConHelper(const void* buf, unsigned int len, IExternalHelper* helper);
    virtual unsigned int FindTagPtrAnyName(const void* buf, unsigned int len, STag& tag, unsigned int start);
    virtual unsigned int FindTagPtrAnyNameConHelper(const void* buf, unsigned int len, unsigned int start,
                                                    IExternalHelper* helper);

    // The first record at or after `start` whose header and footer each
    // carry a name of `names` (checked separately).
    virtual unsigned int FindTagPtr(const void* buf, unsigned int len, const std::list<std::string>& names, STag& tag,
                                    unsigned int start);
};

#endif  // ULVEX_DECODER_BIN_H
