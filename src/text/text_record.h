// The text record form's geometry and version character, shared by the text
// encoder and decoder.
#ifndef ULVEX_SRC_TEXT_TEXT_RECORD_H
#define ULVEX_SRC_TEXT_TEXT_RECORD_H

#include <string>

#include "common/wire.h"
#include "ulvex/stag.h"

namespace ulvex {
namespace detail {

constexpr unsigned int kTextHeaderSize = 18;
constexpr unsigned int kTextFooterSize = 12;
constexpr unsigned int kTextSeparatorSize = 2;
// Header, separator, footer and the closing CR LF around the data.
constexpr unsigned int kTextRecordOverhead = kTextHeaderSize + kTextSeparatorSize + kTextFooterSize + 2;

// The version byte v is written as (v + '0') mod 256 so that versions 0-9 are
// digits; reading takes the character minus '0'. Version 14 would be written
// as '>', which ends the length field early and makes the record unreadable,
// so it is written as '?' instead and reads back as 15.
inline unsigned char VersionToChar(unsigned char version) {
    const unsigned char c = static_cast<unsigned char>(version + '0');
    return c == '>' ? static_cast<unsigned char>('?') : c;
}

inline unsigned char CharToVersion(unsigned char c) { return static_cast<unsigned char>(c - '0'); }

// Fills `tag` for the text record at `p` with payload length L (separator
// included), given the converted header's name bytes and version, and
// returns the offset just past its text footer.
inline unsigned int FillTextTag(STag& tag, const unsigned char* b, unsigned long long p, const unsigned char* name,
                                unsigned char version, unsigned long long H, unsigned long long L, unsigned long long F,
                                unsigned long long D) {
    NameToString(name, tag.TagName);
    tag.PtrTag = b + p;
    tag.PtrPayload = b + p + H + D;
    tag.PayloadLen = static_cast<unsigned int>(L - D);
    tag.TagLen = static_cast<unsigned int>(H + L + F);
    tag.Version = version;
    return static_cast<unsigned int>(p + H + L + F);
}

}  // namespace detail
}  // namespace ulvex

#endif  // ULVEX_SRC_TEXT_TEXT_RECORD_H
