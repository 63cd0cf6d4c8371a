// The bytes of an input file or of standard input, as one read-only block.
#ifndef ULVEX_TOOLS_INPUT_H
#define ULVEX_TOOLS_INPUT_H

#include <cstdint>
#include <string>
#include <vector>

namespace ulvex_cli {

// Regular files are mapped read-only (so inputs of many gigabytes cost no
// memory of their own); pipes, terminals and other streams are read into
// memory. "-" names standard input, which is read from its current offset.
//
// A mapped file is read as it was when opened: bytes appended later are not
// seen. A file that shrinks while mapped would fault on the pages it lost;
// that fault ends the process with status 1 and the message
// "WHO: NAME: the file shrank while being read" (for up to 64 mapped inputs
// at a time).
class Input {
public:
    Input() = default;
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // False with `error` set to "NAME: reason" when the input cannot be read.
    // `who` starts the message of a fault on the mapped file ("ulvex list").
    bool Open(const std::string& path, const std::string& who, std::string& error);

    const unsigned char* Data() const { return m_data; }
    std::uint64_t Size() const { return m_size; }

    // For a mapped file, after its bytes have been used: false with `error`
    // set to "NAME: the file shrank while being read" when it is now shorter
    // than when opened, or "... changed while being read" when it has the
    // same size but a new modification time. A file that only grew passes.
    bool CheckUnchanged(std::string& error) const;

private:
    const unsigned char* m_data = nullptr;
    std::uint64_t m_size = 0;
    void* m_map = nullptr;
    std::size_t m_mapLength = 0;
    std::uint64_t m_start = 0;  // the file offset of Data()[0]
    int m_fd = -1;              // of the mapped file
    int m_watchSlot = -1;       // of the SIGBUS handler, which reports its lost pages
    std::string m_shown;
    std::string m_faultMessage;
    long long m_mtimeSec = 0, m_mtimeNsec = 0;
    std::vector<unsigned char> m_buffer;
};

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_INPUT_H
