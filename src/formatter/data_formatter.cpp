// CUlvexDataFormatter: key=value payload entries, their typed writers and
// their readers.
#include <charconv>
#include <cstring>
#include <locale>
#include <sstream>
#include <utility>

#include "common/byte_search.h"
#include "formatter/entry_reader.h"
#include "ulvex/data_formatter.h"

namespace {

const unsigned char kTerminator[3] = {'|', '\r', '\n'};

using ulvex::detail::ValueEnd;

// The first position of the `n` bytes at `d` where the `keyLen` key bytes
// and then '=' stand, or null. Candidates are the positions holding the
// key's first two bytes, its last byte and the '=' (or all of them for a
// short key), found with a vector search; the rest of the key is compared
// there. Positions are tried in order, so the first match is the one a
// byte-by-byte search finds.
const unsigned char* FindKey(const unsigned char* d, std::size_t n, const unsigned char* key, std::size_t keyLen) {
    using ulvex::detail::BytePattern;
    using ulvex::detail::FindPattern;
    if (keyLen + 1 > n) return nullptr;
    const unsigned char* const end = d + n - keyLen;  // the last place where key and '=' fit, plus one
    const unsigned char* q = nullptr;
    switch (keyLen) {
        case 0:
            return static_cast<const unsigned char*>(std::memchr(d, '=', n));
        case 1:
            q = FindPattern<2>(d, end, BytePattern<2>{{key[0], '='}, {0, 1}});
            return q == end ? nullptr : q;
        case 2:
            q = FindPattern<3>(d, end, BytePattern<3>{{key[0], key[1], '='}, {0, 1, 2}});
            return q == end ? nullptr : q;
        default:
            break;
    }
    const BytePattern<4> pat = {{key[0], key[1], key[keyLen - 1], '='}, {0, 1, keyLen - 1, keyLen}};
    for (q = d;; ++q) {
        q = FindPattern<4>(q, end, pat);
        if (q == end) return nullptr;
        if (std::memcmp(q + 2, key + 2, keyLen - 3) == 0) return q;
    }
}

// Whether formatted stream output would use the classic locale's
// punctuation, so that std::to_chars gives the same text as a stream.
bool GlobalLocaleIsClassic() { return std::locale() == std::locale::classic(); }

template <class T>
std::string StreamText(T value, std::streamsize precision) {
    std::ostringstream os;  // imbued with the global locale
    if (precision != 0) os.precision(precision);
    os << value;
    return os.str();
}

template <class T>
std::string IntegerText(T value) {
    if (!GlobalLocaleIsClassic()) return StreamText(value, 0);
    char buf[24];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

// A stream's general notation with precision 9 is printf's "%.9g", which is
// what std::to_chars gives for chars_format::general with precision 9.
std::string DoubleText(double value) {
    if (!GlobalLocaleIsClassic()) return StreamText(value, 9);
    char buf[40];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 9);
    return std::string(buf, r.ptr);
}

std::string HexText(unsigned int value) {
    if (!GlobalLocaleIsClassic()) {
        std::ostringstream os;
        os << "0x";
        os.width(8);
        os.fill('0');
        os << std::hex << value;
        return os.str();
    }
    static const char digits[] = "0123456789abcdef";
    char buf[10] = {'0', 'x'};
    for (int i = 9; i >= 2; --i, value >>= 4) buf[i] = digits[value & 0xFu];
    return std::string(buf, sizeof buf);
}

}  // namespace

IUlvexDataFormatter::~IUlvexDataFormatter() {}

IUlvexDataFormatter* IUlvexDataFormatter::CreateMe() { return new CUlvexDataFormatter(); }

CUlvexDataFormatter::CUlvexDataFormatter() {}
CUlvexDataFormatter::~CUlvexDataFormatter() {}

bool CUlvexDataFormatter::FormatData(std::vector<unsigned char>& data, const std::string& key,
                                     const std::string& value) {
    const std::size_t total = key.size() + value.size() + 4;
    // Reuse the storage when it is large enough; otherwise fill a new vector
    // and swap it in, so a failed allocation leaves `data` as it was.
    std::vector<unsigned char> fresh;
    if (data.capacity() < total) fresh.resize(total);
    std::vector<unsigned char>& out = data.capacity() < total ? fresh : data;
    out.resize(total);
    unsigned char* p = out.data();
    if (!key.empty()) std::memcpy(p, key.data(), key.size());
    p += key.size();
    *p++ = '=';
    if (!value.empty()) std::memcpy(p, value.data(), value.size());
    p += value.size();
    std::memcpy(p, kTerminator, sizeof kTerminator);
    if (&out == &fresh) data.swap(fresh);
    return true;
}

// The 8- and 16-bit writers widen and go through the int / unsigned int
// writers' virtual slots; the others render the text and go through the
// string writer's slot, so an override there serves every typed writer.
bool CUlvexDataFormatter::FormatData(std::vector<unsigned char>& data, const std::string& key, signed char value) {
    return FormatData(data, key, static_cast<int>(value));
}
bool CUlvexDataFormatter::FormatData(std::vector<unsigned char>& data, const std::string& key, unsigned char value) {
    return FormatData(data, key, static_cast<unsigned int>(value));
}
bool CUlvexDataFormatter::FormatData(std::vector<unsigned char>& data, const std::string& key, short value) {
    return FormatData(data, key, static_cast<int>(value));
}
bool CUlvexDataFormatter::FormatData(std::vector<unsigned char>& data, const std::string& key, unsigned short value) {
    return FormatData(data, key, static_cast<unsigned int>(value));
}
bool CUlvexDataFormatter::FormatData(std::vector<unsigned char>& data, const std::string& key, int value) {
    return FormatData(data, key, IntegerText(value));
}
bool CUlvexDataFormatter::FormatData(std::vector<unsigned char>& data, const std::string& key, unsigned int value) {
    return FormatData(data, key, IntegerText(value));
}
bool CUlvexDataFormatter::FormatData(std::vector<unsigned char>& data, const std::string& key, long long value) {
    return FormatData(data, key, IntegerText(value));
}
bool CUlvexDataFormatter::FormatData(std::vector<unsigned char>& data, const std::string& key,
                                     unsigned long long value) {
    return FormatData(data, key, IntegerText(value));
}
bool CUlvexDataFormatter::FormatData(std::vector<unsigned char>& data, const std::string& key, float value) {
    return FormatData(data, key, DoubleText(static_cast<double>(value)));
}
bool CUlvexDataFormatter::FormatData(std::vector<unsigned char>& data, const std::string& key, double value) {
    return FormatData(data, key, DoubleText(value));
}
bool CUlvexDataFormatter::FormatDataHex(std::vector<unsigned char>& data, const std::string& key, unsigned int value) {
    return FormatData(data, key, HexText(value));
}

bool CUlvexDataFormatter::FindInData(const std::vector<unsigned char>& data, const char* key, std::string& text) {
    // The key is read in full before `text` is emptied: it may be `text`'s own
    // characters (a lookup of the key found by the previous one).
    const unsigned char* d = data.data();
    const unsigned char* hit =
        data.empty() ? nullptr : FindKey(d, data.size(), reinterpret_cast<const unsigned char*>(key), std::strlen(key));
    text.clear();
    if (hit == nullptr) return false;
    const std::size_t i = static_cast<std::size_t>(hit - d);
    const std::size_t end = ValueEnd(d, data.size(), i);
    text.assign(reinterpret_cast<const char*>(d + i), end - i);
    return true;
}

bool CUlvexDataFormatter::FindInDataAllEntry(const unsigned char* data, unsigned int dataLen,
                                             std::map<std::string, std::string>& entries) {
    entries.clear();
    ulvex::detail::ForEachEntry(
        data, dataLen, dataLen,
        [&](const unsigned char* k, std::size_t kLen, const unsigned char* v, std::size_t vLen) {
            // Key and value are built before the map is touched, so a failed
            // allocation never leaves an entry with a partial value behind.
            std::string key(reinterpret_cast<const char*>(k), kLen);
            std::string value(reinterpret_cast<const char*>(v), vLen);
            entries[std::move(key)].swap(value);
        });
    return true;
}
