// JSON string literals of arbitrary bytes.
#ifndef ULVEX_TOOLS_JSON_H
#define ULVEX_TOOLS_JSON_H

#include <string>

namespace ulvex_cli {

// Appends `bytes` as a JSON string literal. Well-formed UTF-8 stays as it is
// (no overlong forms, surrogates or code points above U+10FFFF); each other
// byte b becomes the lone surrogate U+DC00 + b (\udc80 to \udcff), which
// Python turns back into the byte with encode("utf-8", "surrogateescape").
// Controls are escaped, and so are '"' and '\'.
void AppendJson(std::string& out, const std::string& bytes);

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_JSON_H
