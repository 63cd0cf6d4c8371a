#include "output.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <unistd.h>

namespace ulvex_cli {
namespace {

constexpr std::size_t kBuffer = std::size_t{1} << 20;

// A write under way, and whether a fault handler has stopped all writes.
// Sequentially consistent: either the writer sees the hold, or the handler
// sees the write under way and waits for it to end.
std::atomic<bool> g_writing{false};
std::atomic<bool> g_held{false};

// Writes all of p[0, n) to standard output; 0 or an errno value.
int WriteAll(const char* p, std::size_t n) {
    g_writing.store(true);
    if (g_held.load()) {
        g_writing.store(false);
        for (;;) ::pause();  // the process is ending
    }
    int err = 0;
    while (n != 0) {
        const ssize_t w = ::write(STDOUT_FILENO, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            err = w < 0 ? errno : EIO;
            break;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    g_writing.store(false);
    return err;
}

void Check(int err) {
    if (err != 0) throw OutputError(std::string("standard output: ") + std::strerror(err));
}

}  // namespace

void HoldOutput() {
    g_held.store(true);
    while (g_writing.load()) {
        const struct timespec pause = {0, 1000000};
        ::nanosleep(&pause, nullptr);
    }
}

Output::Output() : m_buffer(kBuffer) {}

Output::~Output() {
    if (m_used != 0) WriteAll(m_buffer.data(), m_used);
}

void Output::Write(const void* p, std::size_t n) {
    const char* bytes = static_cast<const char*>(p);
    if (m_used + n > m_buffer.size()) Flush();
    if (n > m_buffer.size()) {
        Check(WriteAll(bytes, n));
        return;
    }
    if (n != 0) std::memcpy(m_buffer.data() + m_used, bytes, n);
    m_used += n;
}

void Output::Flush() {
    const std::size_t n = m_used;
    m_used = 0;  // dropped if the write fails: the command ends
    if (n != 0) Check(WriteAll(m_buffer.data(), n));
}

}  // namespace ulvex_cli
