#include "json.h"

#include "escape.h"

namespace ulvex_cli {
namespace {

const char kHex[] = "0123456789abcdef";

}  // namespace

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

}  // namespace ulvex_cli
