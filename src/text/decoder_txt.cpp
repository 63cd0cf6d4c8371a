// CUlvexDecoderTxt: finds text records by converting candidate text headers
// and footers into binary records and checking those.
#include <cstdint>
#include <cstring>
#include <typeinfo>

#include "common/block_sums.h"
#include "text/text_record.h"
#include "text/virtual_text.h"
#include "ulvex/decoder_txt.h"

using namespace ulvex::detail;

IUlvexDecoderTxt::~IUlvexDecoderTxt() {}

IUlvexDecoderTxt* IUlvexDecoderTxt::CreateMe() { return new CUlvexDecoderTxt(); }

CUlvexDecoderTxt::CUlvexDecoderTxt() {}
CUlvexDecoderTxt::~CUlvexDecoderTxt() {}

unsigned int CUlvexDecoderTxt::GetSizeHeader() { return kTextHeaderSize; }
unsigned int CUlvexDecoderTxt::GetSizeFooter() { return kTextFooterSize; }
unsigned int CUlvexDecoderTxt::GetTagDataSeparator() { return kTextSeparatorSize; }

unsigned int CUlvexDecoderTxt::CalcolaValore(unsigned int& value, const unsigned char* txt, bool header) {
    std::uint32_t v = 0;
    const unsigned int i = header ? ReadNumber<true>(v, txt) : ReadNumber<false>(v, txt);
    value = v;
    return i;
}

unsigned int CUlvexDecoderTxt::AssegnaHeader(CHeader& header, const unsigned char* txt) {
    return ConvertHeader(header.GetBytes(), txt);
}

unsigned int CUlvexDecoderTxt::AssegnaFooter(CFooter& footer, const unsigned char* txt) {
    return ConvertFooter(footer.GetBytes(), txt);
}

namespace {

// The lookup over positions [start, N - H - F), through a conversion policy.
template <class Conv>
unsigned int FindText(Conv& conv, const void* buf, unsigned int len, STag& tag, unsigned int start) {
    const unsigned char* b = static_cast<const unsigned char*>(buf);
    LookupSums sums(b, len);
    std::uint64_t pos = 0;
    TextFound found;
    if (!FindTextRecord(conv, b, len, start, len, kAnyPayload, sums, pos, found)) return 0;
    return static_cast<unsigned int>(FillTextTag(tag, b + pos, conv, found) + pos);
}

}  // namespace

unsigned int CUlvexDecoderTxt::FindTagPtrAnyName(const void* buf, unsigned int len, STag& tag, unsigned int start) {
    // An object of this class itself reads the text directly; a derived
    // class's overrides of the conversions and sizes define the form it sees.
    if (typeid(*this) == typeid(CUlvexDecoderTxt)) {
        DirectText conv;
        return FindText(conv, buf, len, tag, start);
    }
    VirtualText conv(*this);
    return FindText(conv, buf, len, tag, start);
}

void CUlvexDecoderTxt::FindAllTagPtrAnyName(const void* buf, unsigned int len, std::vector<STag>& tags) {
    ScanScope scope(buf, len);
    STag tag;
    unsigned int pos = 0;
    while ((pos = FindTagPtrAnyName(buf, len, tag, pos)) != 0) tags.push_back(tag);
}
