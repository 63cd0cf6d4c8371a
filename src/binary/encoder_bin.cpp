// CUlvexEncoder: appends binary tag records to a byte vector, or makes a
// vector hold exactly one.
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "common/wire.h"
#include "ulvex/encoder_bin.h"
#include "ulvex/records.h"

using namespace ulvex::detail;

namespace {

// Whether the `len` bytes at `p` lie (even partly) in the storage of `v`.
// Compared as integers: the pointers may belong to unrelated objects.
bool InStorage(const std::vector<unsigned char>& v, const unsigned char* p, unsigned int len) {
    if (len == 0 || v.capacity() == 0) return false;
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(v.data());
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(p);
    return at < begin + v.capacity() && begin < at + len;
}

// Writes one record for `payload` at offset `at` of `out`, after checking that
// the vector may grow to at + len + 20 bytes. The header and footer are built
// before the vector is touched, so a failed resize leaves `out` as it was.
// A payload taken from `out` itself is copied first: the resize may move the
// storage, and the header may land on payload bytes not yet copied.
template <class Name>
void WriteRecord(std::vector<unsigned char>& out, std::size_t at, Name name, const void* payload, unsigned int len,
                 unsigned char version) {
    const unsigned long long newSize = static_cast<unsigned long long>(at) + len + kFrameSize;
    if (newSize > ulvex::kMaxRecordLength) throw std::length_error("ulvex: tag record buffer would exceed 4 GiB");
    const unsigned char* p = static_cast<const unsigned char*>(payload);
    std::vector<unsigned char> own;
    if (InStorage(out, p, len)) {
        own.assign(p, p + len);
        p = own.data();
    }
    const CHeader header(name, version, len);
    const CFooter footer(name, p, len);
    out.resize(static_cast<std::size_t>(newSize));
    unsigned char* dst = out.data() + at;
    std::memcpy(dst, header.GetBytes(), kHeaderSize);
    if (len != 0) std::memcpy(dst + kHeaderSize, p, len);
    std::memcpy(dst + kHeaderSize + len, footer.GetBytes(), kFooterSize);
}

}  // namespace

IUlvexEncoderBin::~IUlvexEncoderBin() {}

IUlvexEncoderBin* IUlvexEncoderBin::CreateMe() { return new CUlvexEncoder(); }

CUlvexEncoder::CUlvexEncoder() {}
CUlvexEncoder::CUlvexEncoder(const CUlvexEncoder&) : IUlvexEncoderBin() {}
CUlvexEncoder& CUlvexEncoder::operator=(const CUlvexEncoder&) { return *this; }
CUlvexEncoder::~CUlvexEncoder() {}

bool CUlvexEncoder::AddTagBin(std::vector<unsigned char>& out, const char* name,
                              const std::vector<unsigned char>& payload, unsigned char version) {
    if (payload.size() > std::numeric_limits<unsigned int>::max())
        throw std::length_error("ulvex: payload exceeds 4 GiB");
    WriteRecord(out, out.size(), name, payload.data(), static_cast<unsigned int>(payload.size()), version);
    return true;
}

bool CUlvexEncoder::AddTagBin(std::vector<unsigned char>& out, const char* name, void* payload, unsigned int payloadLen,
                              unsigned char version) {
    WriteRecord(out, out.size(), name, payload, payloadLen, version);
    return true;
}

bool CUlvexEncoder::EncodeTagBin(std::vector<unsigned char>& out, unsigned int name, void* payload,
                                 unsigned int payloadLen, unsigned char version) {
    WriteRecord(out, 0, name, payload, payloadLen, version);
    return true;
}

bool CUlvexEncoder::EncodeTagBin(std::vector<unsigned char>& out, char* name, void* payload, unsigned int payloadLen,
                                 unsigned char version) {
    WriteRecord(out, 0, static_cast<const char*>(name), payload, payloadLen, version);
    return true;
}
