// Tag names and typed payload entries given on the command line.
#ifndef ULVEX_TOOLS_ARGUMENTS_H
#define ULVEX_TOOLS_ARGUMENTS_H

#include <string>
#include <vector>

class IUlvexDataFormatter;

namespace ulvex_cli {

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

#endif  // ULVEX_TOOLS_ARGUMENTS_H
