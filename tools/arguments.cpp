#include "arguments.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "ulvex/data_formatter.h"

namespace ulvex_cli {
namespace {

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
