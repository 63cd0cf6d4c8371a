#include "escape.h"

namespace ulvex_cli {
namespace {

const char kHex[] = "0123456789abcdef";

// Whether a code point beyond ASCII is shown as it is in the plain listing:
// not a control, format, line or paragraph separator, private-use or
// noncharacter code point, none of which a terminal shows as a glyph of
// its own (and some of which reorder or hide the text around them).
bool IsPrintable(char32_t cp) {
    if (cp < 0xA0 || cp == 0xAD) return false;                                     // C1 controls, soft hyphen
    if ((cp >= 0x600 && cp <= 0x605) || cp == 0x61C || cp == 0x6DD) return false;  // Arabic format
    if (cp == 0x70F || cp == 0x8E2 || cp == 0x180E) return false;
    if (cp >= 0x200B && cp <= 0x200F) return false;  // zero width, direction marks
    if (cp >= 0x2028 && cp <= 0x202E) return false;  // separators, embeddings, overrides
    if (cp >= 0x2060 && cp <= 0x206F) return false;  // invisible operators, isolates
    if (cp >= 0xE000 && cp <= 0xF8FF) return false;  // private use
    if (cp >= 0xFDD0 && cp <= 0xFDEF) return false;  // noncharacters
    if (cp == 0xFEFF || (cp >= 0xFFF9 && cp <= 0xFFFB)) return false;
    if ((cp & 0xFFFE) == 0xFFFE) return false;         // U+xxFFFE, U+xxFFFF
    if (cp >= 0xE0000 && cp <= 0xE007F) return false;  // tag characters
    if (cp >= 0xF0000) return false;                   // private use planes
    return true;
}

}  // namespace

std::size_t Utf8Sequence(const unsigned char* p, std::size_t n, char32_t& cp) {
    const unsigned char c = p[0];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;  // below: overlong
        if (c == 0xED) hi = 0x9F;  // above: U+D800-U+DFFF
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;  // below: overlong
        if (c == 0xF4) hi = 0x8F;  // above: beyond U+10FFFF
    } else {
        return 0;
    }
    if (n < len || p[1] < lo || p[1] > hi) return 0;
    char32_t v = c & (0x7Fu >> len);
    for (std::size_t k = 1; k < len; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        v = (v << 6) | (p[k] & 0x3Fu);
    }
    cp = v;
    return len;
}

std::string Escape(const std::string& bytes, bool quote) {
    std::string out;
    out.reserve(bytes.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c >= 0x20 && c < 0x7f && c != '\\' && !(quote && c == '"')) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t len = c >= 0x80 ? Utf8Sequence(p + i, n - i, cp) : 0;
        if (len != 0 && IsPrintable(cp)) {
            out.append(bytes, i, len);
            i += len;
            continue;
        }
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
        ++i;
    }
    return out;
}

}  // namespace ulvex_cli
