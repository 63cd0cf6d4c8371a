// The binary tag encoder: frames a payload as one binary tag record.
#ifndef ULVEX_ENCODER_BIN_H
#define ULVEX_ENCODER_BIN_H

#include <vector>

#include "ulvex/export.h"

class ULVEX_API IUlvexEncoderBin {
public:
    virtual ~IUlvexEncoderBin();

    // Append one record (header, payload, footer) to `out`; always true.
    virtual bool AddTagBin(std::vector<unsigned char>& out, const char* name, const std::vector<unsigned char>& payload,
                           unsigned char version) = 0;
    virtual bool AddTagBin(std::vector<unsigned char>& out, const char* name, void* payload, unsigned int payloadLen,
                           unsigned char version) = 0;
    // Make `out` hold exactly one record, replacing its content; always true.
    virtual bool EncodeTagBin(std::vector<unsigned char>& out, unsigned int name, void* payload,
                              unsigned int payloadLen, unsigned char version) = 0;
    virtual bool EncodeTagBin(std::vector<unsigned char>& out, char* name, void* payload, unsigned int payloadLen,
                              unsigned char version) = 0;

    // A new CUlvexEncoder, owned by the caller (delete through this interface).
    static IUlvexEncoderBin* CreateMe();
};

// All four operations throw std::length_error, leaving `out` unchanged, when
// the vector's new size would exceed 0xFFFFFFFF bytes. Allocation failures
// pass through and also leave `out` unchanged. The payload must not lie
// inside `out`.
class ULVEX_API CUlvexEncoder : public IUlvexEncoderBin {
public:
    CUlvexEncoder();
    CUlvexEncoder(const CUlvexEncoder& other);
    CUlvexEncoder& operator=(const CUlvexEncoder& other);
    virtual ~CUlvexEncoder();

    virtual bool AddTagBin(std::vector<unsigned char>& out, const char* name, const std::vector<unsigned char>& payload,
                           unsigned char version);
    virtual bool AddTagBin(std::vector<unsigned char>& out, const char* name, void* payload, unsigned int payloadLen,
                           unsigned char version);
    virtual bool EncodeTagBin(std::vector<unsigned char>& out, unsigned int name, void* payload,
                              unsigned int payloadLen, unsigned char version);
    virtual bool EncodeTagBin(std::vector<unsigned char>& out, char* name, void* payload, unsigned int payloadLen,
                              unsigned char version);
};

#endif  // ULVEX_ENCODER_BIN_H
