#include "input.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ulvex_cli {
namespace {

// Reads the whole stream into `out`; 0 or an errno value.
int ReadAll(int fd, std::vector<unsigned char>& out) {
    std::size_t used = 0;
    out.resize(1 << 16);
    for (;;) {
        if (used == out.size()) out.resize(out.size() * 2);
        const ssize_t n = ::read(fd, out.data() + used, out.size() - used);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        used += static_cast<std::size_t>(n);
    }
    out.resize(used);
    out.shrink_to_fit();
    return 0;
}

}  // namespace

Input::~Input() {
    if (m_map != nullptr) ::munmap(m_map, static_cast<std::size_t>(m_size));
}

bool Input::Open(const std::string& path, std::string& error) {
    const bool isStdin = path == "-";
    const std::string shown = isStdin ? "standard input" : path;
    const int fd = isStdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int err = 0;
    struct stat st;
    if (fd < 0) {
        err = errno;
    } else if (::fstat(fd, &st) != 0) {
        err = errno;
    } else if (S_ISDIR(st.st_mode)) {
        err = EISDIR;
    } else if (S_ISREG(st.st_mode) && st.st_size > 0) {
        const std::size_t size = static_cast<std::size_t>(st.st_size);
        void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            ::madvise(map, size, MADV_SEQUENTIAL);
            m_map = map;
            m_data = static_cast<const unsigned char*>(map);
            m_size = size;
        } else {
            err = ReadAll(fd, m_buffer);  // e.g. a file system without mmap
        }
    } else {
        err = ReadAll(fd, m_buffer);
    }
    if (m_map == nullptr && err == 0) {
        m_data = m_buffer.data();
        m_size = m_buffer.size();
    }
    if (fd >= 0 && !isStdin) ::close(fd);
    if (err != 0) error = shown + ": " + std::strerror(err);
    return err == 0;
}

}  // namespace ulvex_cli
