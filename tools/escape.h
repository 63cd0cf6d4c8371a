// UTF-8 and the escaped text the tool prints for names and values.
#ifndef ULVEX_TOOLS_ESCAPE_H
#define ULVEX_TOOLS_ESCAPE_H

#include <cstddef>
#include <string>

namespace ulvex_cli {

// The length of the well-formed UTF-8 sequence at `p` (at most `n` bytes
// available) and its code point in `cp`; 0 when the bytes there are not
// one: a stray continuation byte, an overlong form, a surrogate, a code
// point above U+10FFFF, or a sequence cut short.
std::size_t Utf8Sequence(const unsigned char* p, std::size_t n, char32_t& cp);

// Printable ASCII and well-formed UTF-8 sequences of printable characters
// stay as they are; every other byte, the backslash and (when `quote` is set)
// the double quote become \xNN with two lowercase hex digits.
std::string Escape(const std::string& bytes, bool quote);

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_ESCAPE_H
