// Standard output for the tool's commands: written in whole pieces, and a
// failed write ends the command at once.
#ifndef ULVEX_TOOLS_OUTPUT_H
#define ULVEX_TOOLS_OUTPUT_H

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace ulvex_cli {

// A failed write: "standard output: REASON".
struct OutputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Each Write is a piece (a listing writes whole lines); pieces are gathered
// and written with write(2), never a piece cut between two writes except one
// larger than the buffer. So when the process ends on a fault (HoldOutput),
// no line is left cut. The first failed write throws OutputError.
class Output {
public:
    Output();
    ~Output();  // writes what is left, ignoring errors: the command already failed
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void Write(const void* p, std::size_t n);
    void Write(const std::string& s) { Write(s.data(), s.size()); }
    void Write(const std::vector<unsigned char>& v) { Write(v.data(), v.size()); }
    // Writes everything gathered (a live listing after each input chunk, and
    // at the end of a command).
    void Flush();
    void Finish() { Flush(); }

private:
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
};

// For a fault handler about to end the process: waits until no write is
// under way and lets none begin. Async-signal-safe.
void HoldOutput();

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_OUTPUT_H
