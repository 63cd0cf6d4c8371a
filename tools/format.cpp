#include "format.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <system_error>

#include "ulvex/data_formatter.h"

namespace ulvex_cli {
namespace {

const char kHex[] = "0123456789abcdef";

// The length of the well-formed UTF-8 sequence at `p` (at most `n` bytes
// available) and its code point in `cp`; 0 when the bytes there are not
// one: a stray continuation byte, an overlong form, a surrogate, a code
// point above U+10FFFF, or a sequence cut short.
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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The whole of `text` as a number of type T: decimal, or hexadecimal after
// "0x"; a leading '-' only for signed types.
template <class T>
bool ParseInteger(const std::string& text, T& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    bool negative = false;
    if (first != last && *first == '-' && std::numeric_limits<T>::is_signed) {
        negative = true;
        ++first;
    }
    int base = 10;
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
        base = 16;
        first += 2;
    }
    if (first == last || *first == '-' || *first == '+') return false;
    unsigned long long magnitude = 0;
    const std::from_chars_result r = std::from_chars(first, last, magnitude, base);
    if (r.ec != std::errc() || r.ptr != last) return false;
    const unsigned long long max = static_cast<unsigned long long>(std::numeric_limits<T>::max());
    if (!negative) {
        if (magnitude > max) return false;
        value = static_cast<T>(magnitude);
        return true;
    }
    if (magnitude > max + 1) return false;  // the most negative value is -(max + 1)
    value = magnitude == max + 1 ? std::numeric_limits<T>::min() : static_cast<T>(-static_cast<T>(magnitude));
    return true;
}

template <class T>
bool ParseFloating(const std::string& text, T& value) {
    const char* last = text.data() + text.size();
    const std::from_chars_result r = std::from_chars(text.data(), last, value);
    return !text.empty() && r.ec == std::errc() && r.ptr == last;
}

template <class T>
bool WriteInteger(IUlvexDataFormatter& f, std::vector<unsigned char>& entry, const std::string& key,
                  const std::string& text, bool hex = false) {
    T v{};
    if (!ParseInteger(text, v)) return false;
    if (hex) return f.FormatDataHex(entry, key, static_cast<unsigned int>(v));
    return f.FormatData(entry, key, v);
}

template <class T>
bool WriteFloating(IUlvexDataFormatter& f, std::vector<unsigned char>& entry, const std::string& key,
                   const std::string& text) {
    T v{};
    if (!ParseFloating(text, v)) return false;
    return f.FormatData(entry, key, v);
}

}  // namespace

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

void AppendJson(std::string& out, const std::string& bytes) {
    out += '"';
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c >= 0x80) {
            char32_t cp = 0;
            const std::size_t len = Utf8Sequence(p + i, n - i, cp);
            if (len != 0) {
                out.append(bytes, i, len);
                i += len;
            } else {
                // Not UTF-8: the byte b as the lone surrogate U+DC00 + b.
                out += "\\udc";
                out += kHex[c >> 4];
                out += kHex[c & 15];
                ++i;
            }
            continue;
        }
        ++i;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c >= 0x20 && c < 0x7f) {
                    out += static_cast<char>(c);
                } else {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                }
        }
    }
    out += '"';
}

bool ParseName(const std::string& text, std::string& name, std::string& error) {
    name.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            name += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            name += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && HexDigit(text[i + 2]) >= 0 &&
                   HexDigit(text[i + 3]) >= 0) {
            name += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
            i += 3;
        } else {
            error = "bad escape in tag name '" + text + "' (use \\xNN or \\\\)";
            return false;
        }
    }
    if (name.size() > 4) {
        error = "tag name '" + text + "' is longer than 4 bytes";
        return false;
    }
    if (name.find('\0') != std::string::npos) {
        error = "tag name '" + text + "' contains a zero byte";
        return false;
    }
    return true;
}

bool FormatEntry(IUlvexDataFormatter& f, const std::string& arg, std::vector<unsigned char>& entry,
                 std::string& error) {
    const std::size_t eq = arg.find('=');
    if (eq == std::string::npos) {
        error = "entry '" + arg + "' has no '=' (write KEY=VALUE or KEY:TYPE=VALUE)";
        return false;
    }
    std::string key = arg.substr(0, eq), type = "str";
    const std::string value = arg.substr(eq + 1);
    const std::size_t colon = key.rfind(':');
    if (colon != std::string::npos) {
        type = key.substr(colon + 1);
        key.erase(colon);
    }
    if (key.empty()) {
        error = "entry '" + arg + "' has an empty key";
        return false;
    }
    bool ok = false;
    if (type == "str") {
        ok = f.FormatData(entry, key, value);
    } else if (type == "int") {
        ok = WriteInteger<int>(f, entry, key, value);
    } else if (type == "uint") {
        ok = WriteInteger<unsigned int>(f, entry, key, value);
    } else if (type == "i64") {
        ok = WriteInteger<long long>(f, entry, key, value);
    } else if (type == "u64") {
        ok = WriteInteger<unsigned long long>(f, entry, key, value);
    } else if (type == "hex") {
        ok = WriteInteger<unsigned int>(f, entry, key, value, true);
    } else if (type == "float") {
        ok = WriteFloating<float>(f, entry, key, value);
    } else if (type == "double") {
        ok = WriteFloating<double>(f, entry, key, value);
    } else {
        error = "entry '" + arg + "': unknown type '" + type +
                "' (str, int, uint, i64, u64, float, double, hex; write KEY:str=VALUE for a key with ':')";
        return false;
    }
    if (!ok) error = "entry '" + arg + "': '" + value + "' is not a valid " + type + " value";
    return ok;
}

}  // namespace ulvex_cli
