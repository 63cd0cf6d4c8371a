// The bytes of an input file or of standard input, as one read-only block.
#ifndef ULVEX_TOOLS_INPUT_H
#define ULVEX_TOOLS_INPUT_H

#include <cstdint>
#include <string>
#include <vector>

namespace ulvex_cli {

// Regular files are mapped read-only (so inputs of many gigabytes cost no
// memory of their own); pipes, terminals and other streams are read into
// memory. "-" names standard input.
class Input {
public:
    Input() = default;
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // False with `error` set to "NAME: reason" when the input cannot be read.
    bool Open(const std::string& path, std::string& error);

    const unsigned char* Data() const { return m_data; }
    std::uint64_t Size() const { return m_size; }

private:
    const unsigned char* m_data = nullptr;
    std::uint64_t m_size = 0;
    void* m_map = nullptr;
    std::vector<unsigned char> m_buffer;
};

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_INPUT_H
