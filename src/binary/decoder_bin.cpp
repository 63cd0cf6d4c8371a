// CUlvexDecoder: single lookups, bulk listings and helper-driven scans over
// binary tag records.
#include <cstdint>
#include <cstring>

#include "binary/binary_record.h"
#include "ulvex/decoder_bin.h"

using namespace ulvex::detail;

namespace {

const unsigned int kStop = 0xFFFFFFFFu;

struct TextName {
    const char* name;
    bool operator()(const unsigned char* nb) const { return NameMatchesPrefix(nb, name); }
    bool operator()(const unsigned char*, const unsigned char* nb) const { return NameMatchesPrefix(nb, name); }
};

struct ListName {
    const std::list<std::string>* names;
    bool operator()(const unsigned char* nb) const { return NameMatchesList(nb, *names); }
    bool operator()(const unsigned char*, const unsigned char* nb) const { return NameMatchesList(nb, *names); }
};

// The bulk loops: repeat a lookup through the object's virtual operation,
// each time from just past the previous record, appending every tag found.
template <class Out>
void ListAnyName(CUlvexDecoder& self, const void* buf, unsigned int len, Out& out) {
    ScanScope scope(buf, len);
    STag tag;
    unsigned int pos = 0;
    while ((pos = self.FindTagPtrAnyName(buf, len, tag, pos)) != 0) out.push_back(tag);
}

template <class Out>
void ListNamed(CUlvexDecoder& self, const void* buf, unsigned int len, const std::list<std::string>& names, Out& out) {
    ScanScope scope(buf, len);
    STag tag;
    unsigned int pos = 0;
    while ((pos = self.FindTagPtr(buf, len, names, tag, pos)) != 0) out.push_back(tag);
}

}  // namespace

IUlvexDecoderBin::~IUlvexDecoderBin() {}

IUlvexDecoderBin* IUlvexDecoderBin::CreateMe() { return new CUlvexDecoder(); }
unsigned int IUlvexDecoderBin::GetSizeHeader() { return kHeaderSize; }
unsigned int IUlvexDecoderBin::GetSizeFooter() { return kFooterSize; }

CUlvexDecoder::CUlvexDecoder() {}
CUlvexDecoder::~CUlvexDecoder() {}

bool CUlvexDecoder::DecodeTag(const void* buf, unsigned int len, const char* name, void* dest, unsigned int destLen,
                              unsigned char& version) {
    const unsigned char* b = static_cast<const unsigned char*>(buf);
    if (len <= kFrameSize) return false;
    const TextName match = {name};
    LookupSums sums(b, len);
    std::uint32_t L = 0;
    std::uint64_t need = 0;
    if (ExamineBinary(b, len, kAnyPayload, match, match, sums, 0, L, need) != Verdict::Record) return false;
    // The destination must be exactly as long as the payload.
    if (L != destLen) return false;
    if (L != 0) std::memcpy(dest, b + kHeaderSize, L);
    version = b[10];
    return true;
}

unsigned int CUlvexDecoder::FindTag(const void* buf, unsigned int len, const char* name,
                                    std::vector<unsigned char>& payload, unsigned char& version, unsigned int start) {
    payload.clear();
    const unsigned char* b = static_cast<const unsigned char*>(buf);
    const TextName match = {name};
    // The first name byte is fixed too (a NUL there means a NUL name byte).
    const BytePattern<3> pat = {{'<', 'h', static_cast<unsigned char>(name[0])}, {0, 1, 2}};
    LookupSums sums(b, len);
    std::uint64_t pos = 0;
    std::uint32_t L = 0;
    if (!FindBinary<3>(b, len, start, len, kAnyPayload, pat, match, match, sums, pos, L)) return 0;
    const unsigned char* p = b + pos + kHeaderSize;
    payload.insert(payload.end(), p, p + L);
    version = b[pos + 10];
    return static_cast<unsigned int>(pos + kFrameSize + L);
}

void CUlvexDecoder::FindAllTagPtr(const void* buf, unsigned int len, const std::list<std::string>& names,
                                  std::vector<STag>& tags) {
    ListNamed(*this, buf, len, names, tags);
}

void CUlvexDecoder::FindAllTagPtr(const void* buf, unsigned int len, const std::list<std::string>& names,
                                  std::list<STag>& tags) {
    ListNamed(*this, buf, len, names, tags);
}

void CUlvexDecoder::FindAllTagPtrAnyName(const void* buf, unsigned int len, std::vector<STag>& tags) {
    ListAnyName(*this, buf, len, tags);
}

void CUlvexDecoder::FindAllTagPtrAnyName(const void* buf, unsigned int len, std::list<STag>& tags) {
    ListAnyName(*this, buf, len, tags);
}

bool CUlvexDecoder::FindAllTagPtrAnyNameConHelper(const void* buf, unsigned int len, IExternalHelper* helper) {
    ScanScope scope(buf, len);
    unsigned int pos = 0;
    for (;;) {
        pos = FindTagPtrAnyNameConHelper(buf, len, pos, helper);
        if (pos == kStop) return false;
        if (pos == 0) return true;
    }
}

unsigned int CUlvexDecoder::FindTagPtrAnyName(const void* buf, unsigned int len, STag& tag, unsigned int start) {
    const unsigned char* b = static_cast<const unsigned char*>(buf);
    LookupSums sums(b, len);
    std::uint64_t pos = 0;
    std::uint32_t L = 0;
    if (!FindBinary<2>(b, len, start, len, kAnyPayload, kHeaderStart, AnyName(), SameNameAsHeader(), sums, pos, L))
        return 0;
    FillBinaryTag(tag, b + pos, L);
    return static_cast<unsigned int>(pos + kFrameSize + L);
}

unsigned int CUlvexDecoder::FindTagPtrAnyNameConHelper(const void* buf, unsigned int len, unsigned int start,
                                                       IExternalHelper* helper) {
    if (len <= kFrameSize) return 0;
    const unsigned int limit = len - kFrameSize;
    if (start >= limit) return 0;
    const unsigned char* b = static_cast<const unsigned char*>(buf);
    LookupSums sums(b, len);
    STag tag;
    unsigned int p = start;
    for (;;) {
        std::uint32_t L = 0;
        std::uint64_t need = 0;
        if (ExamineBinary(b + p, len - p, kAnyPayload, AnyName(), SameNameAsHeader(), sums, p, L, need) ==
            Verdict::Record) {
            FillBinaryTag(tag, b + p, L);
            if (!helper->OnTagFound(tag)) return kStop;
            return p + kFrameSize + L;
        }
        const unsigned int step = helper->GetSkipLen(buf, len, p);
        if (step == kStop) return kStop;
        p += step;  // unsigned 32-bit addition: a step that wraps moves the position back
        if (p >= limit) return 0;
    }
}

unsigned int CUlvexDecoder::FindTagPtr(const void* buf, unsigned int len, const std::list<std::string>& names,
                                       STag& tag, unsigned int start) {
    const unsigned char* b = static_cast<const unsigned char*>(buf);
    const ListName match = {&names};
    LookupSums sums(b, len);
    std::uint64_t pos = 0;
    std::uint32_t L = 0;
    if (!FindBinary<2>(b, len, start, len, kAnyPayload, kHeaderStart, match, match, sums, pos, L)) return 0;
    FillBinaryTag(tag, b + pos, L);
    return static_cast<unsigned int>(pos + kFrameSize + L);
}
