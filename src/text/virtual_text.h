// The text decoder's reading of a derived class's records, through its
// virtual operations: a conversion policy for the text record engine of
// text/text_record.h, which stands below the decoder class.
#ifndef ULVEX_SRC_TEXT_VIRTUAL_TEXT_H
#define ULVEX_SRC_TEXT_VIRTUAL_TEXT_H

#include <cstdint>
#include <cstring>

#include "common/wire.h"
#include "text/text_record.h"
#include "ulvex/decoder_txt.h"
#include "ulvex/records.h"

namespace ulvex {
namespace detail {

// A derived class's reading: every conversion and size through the virtual
// operations, then the record classes' own checks (IsCoerentAnyName, the
// footer's name against all four header name bytes) written out on the
// converted bytes.
class VirtualText {
public:
    static constexpr bool kDirect = false;
    explicit VirtualText(CUlvexDecoderTxt& self)
        : m_self(self), m_H(self.GetSizeHeader()), m_F(self.GetSizeFooter()), m_D(self.GetTagDataSeparator()) {}
    std::uint64_t HeaderSize() const { return m_H; }
    std::uint64_t FooterSize() const { return m_F; }
    std::uint64_t Separator() const { return m_D; }
    bool Header(const unsigned char* t, std::uint32_t& L, unsigned char* name, unsigned char& version) {
        m_self.AssegnaHeader(m_header, t);
        const unsigned char* h = m_header.GetBytes();
        if (!HeaderMarkersOk(h)) return false;
        L = LoadLe32(h + 6);
        std::memcpy(name, h + 2, 4);
        version = h[10];
        return true;
    }
    bool Footer(const unsigned char* t, const unsigned char* name, std::uint16_t& checksum) {
        m_self.AssegnaFooter(m_footer, t);
        const unsigned char* f = m_footer.GetBytes();
        if (!FooterMarkersOk(f) || std::memcmp(f + 1, name, 4) != 0) return false;
        checksum = LoadLe16(f + 5);
        return true;
    }

private:
    CUlvexDecoderTxt& m_self;
    std::uint64_t m_H, m_F, m_D;
    CHeader m_header;
    CFooter m_footer;
};

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_TEXT_VIRTUAL_TEXT_H
