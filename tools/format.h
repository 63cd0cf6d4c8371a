// Text the tool prints and reads: escaped names and values, JSON strings,
// names given on the command line, and typed payload entries.
#ifndef ULVEX_TOOLS_FORMAT_H
#define ULVEX_TOOLS_FORMAT_H

#include <cstddef>
#include <string>
#include <vector>

class IUlvexDataFormatter;

namespace ulvex_cli {

// Printable ASCII and well-formed UTF-8 sequences of printable characters
// stay as they are; every other byte, the backslash and (when `quote` is set)
// the double quote become \xNN with two lowercase hex digits.
std::string Escape(const std::string& bytes, bool quote);

// Appends `bytes` as a JSON string literal. Well-formed UTF-8 stays as it is
// (no overlong forms, surrogates or code points above U+10FFFF); each other
// byte b becomes the lone surrogate U+DC00 + b (\udc80 to \udcff), which
// Python turns back into the byte with encode("utf-8", "surrogateescape").
// Controls are escaped, and so are '"' and '\'.
void AppendJson(std::string& out, const std::string& bytes);

// A tag name as given on the command line: \xNN and \\ stand for one byte;
// at most four bytes, none of them zero. False with `error` set otherwise.
bool ParseName(const std::string& text, std::string& name, std::string& error);

// One `KEY=VALUE` or `KEY:TYPE=VALUE` argument written as one entry by the
// formatter's writer for TYPE: str (the default), int, uint, i64, u64, float,
// double, hex. False with `error` set when the argument is malformed or the
// value does not fit the type.
bool FormatEntry(IUlvexDataFormatter& formatter, const std::string& arg, std::vector<unsigned char>& entry,
                 std::string& error);

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_FORMAT_H
