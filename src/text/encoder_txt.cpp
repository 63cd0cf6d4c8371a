// CUlvexEncoderTxt: appends printable text records to a byte vector.
#include <cstring>
#include <stdexcept>

#include "common/checksum.h"
#include "common/wire.h"
#include "text/text_record.h"
#include "ulvex/encoder_txt.h"

using namespace ulvex::detail;

namespace {

// Writes `value` as exactly `width` decimal digits, zero-filled on the left.
void PutDecimal(char* dst, unsigned int value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        dst[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

char NameChar(unsigned char b) { return b == 0 ? ' ' : static_cast<char>(b); }

}  // namespace

IUlvexEncoderTxt::~IUlvexEncoderTxt() {}

IUlvexEncoderTxt* IUlvexEncoderTxt::CreateMe() { return new CUlvexEncoderTxt(); }

CUlvexEncoderTxt::CUlvexEncoderTxt() : m_header(kTextHeaderSize, '\0'), m_footer(kTextFooterSize, '\0') {}

CUlvexEncoderTxt::CUlvexEncoderTxt(const CUlvexEncoderTxt&)
    : IUlvexEncoderTxt(), m_header(kTextHeaderSize, '\0'), m_footer(kTextFooterSize, '\0') {}

CUlvexEncoderTxt& CUlvexEncoderTxt::operator=(const CUlvexEncoderTxt&) { return *this; }

CUlvexEncoderTxt::~CUlvexEncoderTxt() {}

void CUlvexEncoderTxt::HeaderToTxtNew(std::string& txt, const CHeader& header) {
    if (txt.size() < kTextHeaderSize) txt.resize(kTextHeaderSize);
    const unsigned char* h = header.GetBytes();
    char* t = &txt[0];
    t[0] = static_cast<char>(h[0]);
    t[1] = static_cast<char>(h[1]);
    for (int k = 0; k < 4; ++k) t[2 + k] = NameChar(h[2 + k]);
    PutDecimal(t + 6, LoadLe32(h + 6), 10);
    t[16] = static_cast<char>(VersionToChar(h[10]));
    t[17] = static_cast<char>(h[11]);
}

void CUlvexEncoderTxt::FooterToTxtNew(std::string& txt, const CFooter& footer) {
    if (txt.size() < kTextFooterSize) txt.resize(kTextFooterSize);
    const unsigned char* f = footer.GetBytes();
    char* t = &txt[0];
    t[0] = static_cast<char>(f[0]);
    for (int k = 1; k <= 4; ++k) t[k] = NameChar(f[k]);
    PutDecimal(t + 5, LoadLe16(f + 5), 6);
    t[11] = static_cast<char>(f[7]);
}

bool CUlvexEncoderTxt::AddTagTxt(std::vector<unsigned char>& out, const char* name,
                                 const std::vector<unsigned char>& payload, unsigned char version) {
    const std::size_t old = out.size();
    const std::size_t n = payload.size();
    const unsigned long long newSize = static_cast<unsigned long long>(old) + n + kTextRecordOverhead;
    if (newSize > ulvex::kMaxRecordLength) throw std::length_error("ulvex: text record buffer would exceed 4 GiB");

    // The record's payload is CR LF followed by the data; its checksum is
    // summed without building that block.
    const unsigned int payloadLen = static_cast<unsigned int>(n) + kTextSeparatorSize;
    CFooter footer(name, nullptr, 0);
    StoreLe16(footer.GetBytes() + 5, static_cast<std::uint16_t>('\r' + '\n' + Checksum(payload.data(), n)));
    HeaderToTxtNew(m_header, CHeader(name, version, payloadLen));
    FooterToTxtNew(m_footer, footer);

    // When `payload` is `out` itself, its former content stays at the front
    // of the grown vector and is copied from there.
    const bool self = &payload == &out;
    out.resize(static_cast<std::size_t>(newSize));
    unsigned char* dst = out.data() + old;
    const unsigned char* src = self ? out.data() : payload.data();
    std::memcpy(dst, m_header.data(), kTextHeaderSize);
    dst[kTextHeaderSize] = '\r';
    dst[kTextHeaderSize + 1] = '\n';
    if (n != 0) std::memcpy(dst + kTextHeaderSize + kTextSeparatorSize, src, n);
    std::memcpy(dst + kTextHeaderSize + kTextSeparatorSize + n, m_footer.data(), kTextFooterSize);
    dst[n + 32] = '\r';
    dst[n + 33] = '\n';
    return true;
}
