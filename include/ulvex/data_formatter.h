// The payload data formatter: key=value entries inside a payload.
//
// An entry is: key, '=', value, then the terminator '|' CR LF. There is no
// escaping; a payload is entries laid end to end. Every writer replaces the
// vector's content with exactly one entry: the caller joins entries itself.
//
// Typed writers render the number as a fresh std::ostringstream would under
// the process's global locale (floating point with precision 9, hex as "0x"
// and 8 lowercase digits) and hand the text to the string writer through the
// virtual table; 8- and 16-bit types go through the int / unsigned int
// writers.
//
// Readers end a value at the first position p where fewer than three bytes
// remain, or data[p] is '|', or data[p+1] is CR, or data[p+2] is LF.
#ifndef ULVEX_DATA_FORMATTER_H
#define ULVEX_DATA_FORMATTER_H

#include <map>
#include <string>
#include <vector>

#include "ulvex/export.h"

class ULVEX_API IUlvexDataFormatter {
public:
    virtual ~IUlvexDataFormatter();

    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, const std::string& value) = 0;
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, signed char value) = 0;
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, unsigned char value) = 0;
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, short value) = 0;
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, unsigned short value) = 0;
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, int value) = 0;
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, unsigned int value) = 0;
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, long long value) = 0;
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, unsigned long long value) = 0;
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, float value) = 0;
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, double value) = 0;
    virtual bool FormatDataHex(std::vector<unsigned char>& data, const std::string& key, unsigned int value) = 0;
    // The text "key=value" of the first place where `key` followed by '='
    // occurs in `data` (anywhere, even inside a longer key); false and an
    // empty `text` when it does not occur.
    virtual bool FindInData(const std::vector<unsigned char>& data, const char* key, std::string& text) = 0;
    // Replaces `entries` with every entry of the `dataLen` bytes at `data`
    // (the last occurrence of a key wins); always true.
    virtual bool FindInDataAllEntry(const unsigned char* data, unsigned int dataLen,
                                    std::map<std::string, std::string>& entries) = 0;

    // A new CUlvexDataFormatter, owned by the caller (delete through this interface).
    static IUlvexDataFormatter* CreateMe();
};

class ULVEX_API CUlvexDataFormatter : public IUlvexDataFormatter {
public:
    CUlvexDataFormatter();
    virtual ~CUlvexDataFormatter();

    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, const std::string& value);
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, signed char value);
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, unsigned char value);
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, short value);
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, unsigned short value);
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, int value);
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, unsigned int value);
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, long long value);
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, unsigned long long value);
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, float value);
    virtual bool FormatData(std::vector<unsigned char>& data, const std::string& key, double value);
    virtual bool FormatDataHex(std::vector<unsigned char>& data, const std::string& key, unsigned int value);
    virtual bool FindInData(const std::vector<unsigned char>& data, const char* key, std::string& text);
    virtual bool FindInDataAllEntry(const unsigned char* data, unsigned int dataLen,
                                    std::map<std::string, std::string>& entries);
};

#endif  // ULVEX_DATA_FORMATTER_H
