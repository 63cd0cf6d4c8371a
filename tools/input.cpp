#include "input.h"

#include "output.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

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

// The mapped inputs the SIGBUS handler answers for, a few at once (`ulvex
// stats` reads files on several threads): a slot's message is set before its
// range, and the range cleared before the mapping goes.
struct WatchSlot {
    std::atomic<const char*> begin{nullptr};
    std::atomic<const char*> end{nullptr};
    const char* message = nullptr;
    std::size_t messageLen = 0;
};
const int kWatchSlots = 64;
WatchSlot g_slots[kWatchSlots];
std::mutex g_watchMutex;  // taking and freeing slots, installing the handler
int g_watching = 0;
struct sigaction g_previous;
std::atomic_flag g_reported = ATOMIC_FLAG_INIT;

// A read of a page the file no longer has. Anything else gets the action
// that was in place before.
void OnBusError(int sig, siginfo_t* info, void* context) {
    const char* at = static_cast<const char*>(info->si_addr);
    for (const WatchSlot& slot : g_slots) {
        const char* begin = slot.begin.load();
        if (begin == nullptr || at < begin || at >= slot.end.load()) continue;
        // Several threads may fault at once: one reports, the others wait
        // for the process to end.
        if (g_reported.test_and_set()) {
            for (;;) ::pause();
        }
        HoldOutput();  // no line is left cut
        std::size_t done = 0;
        while (done < slot.messageLen) {
            const ssize_t n = ::write(STDERR_FILENO, slot.message + done, slot.messageLen - done);
            if (n <= 0 && errno != EINTR) break;
            if (n > 0) done += static_cast<std::size_t>(n);
        }
        ::_exit(1);
    }
    if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
        g_previous.sa_sigaction(sig, info, context);
        return;
    }
    if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN && g_previous.sa_handler != nullptr) {
        g_previous.sa_handler(sig);
        return;
    }
    // The default action: returning retries the faulting access, which now
    // ends the process as the signal would have; a sent signal is raised again.
    ::signal(SIGBUS, SIG_DFL);
    if (info->si_code <= 0) ::raise(SIGBUS);
}

// The slot now watching the mapping, or -1 when all are taken.
int WatchMapping(const void* begin, std::size_t size, const std::string& message) {
    std::lock_guard<std::mutex> lock(g_watchMutex);
    for (int i = 0; i < kWatchSlots; ++i) {
        WatchSlot& slot = g_slots[i];
        if (slot.begin.load() != nullptr) continue;
        slot.message = message.data();
        slot.messageLen = message.size();
        slot.end.store(static_cast<const char*>(begin) + size);
        slot.begin.store(static_cast<const char*>(begin));
        if (g_watching++ == 0) {
            struct sigaction sa;
            std::memset(&sa, 0, sizeof sa);
            sa.sa_sigaction = &OnBusError;
            sa.sa_flags = SA_SIGINFO;
            sigemptyset(&sa.sa_mask);
            ::sigaction(SIGBUS, &sa, &g_previous);
        }
        return i;
    }
    return -1;
}

void UnwatchMapping(int i) {
    std::lock_guard<std::mutex> lock(g_watchMutex);
    if (--g_watching == 0) ::sigaction(SIGBUS, &g_previous, nullptr);
    g_slots[i].begin.store(nullptr);
    g_slots[i].end.store(nullptr);
}

// Where reading starts: standard input's current offset, else 0.
std::uint64_t StartOffset(int fd, bool isStdin) {
    if (!isStdin) return 0;
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    return at > 0 ? static_cast<std::uint64_t>(at) : 0;
}

}  // namespace

Input::~Input() {
    if (m_map != nullptr) {
        if (m_watchSlot >= 0) UnwatchMapping(m_watchSlot);
        ::munmap(m_map, m_mapLength);
    }
    if (m_fd >= 0) ::close(m_fd);
}

bool Input::Open(const std::string& path, const std::string& who, std::string& error) {
    const bool isStdin = path == "-";
    m_shown = isStdin ? "standard input" : path;
    const int fd = isStdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int err = 0;
    struct stat st;
    if (fd < 0) {
        err = errno;
    } else if (::fstat(fd, &st) != 0) {
        err = errno;
    } else if (S_ISDIR(st.st_mode)) {
        err = EISDIR;
    } else if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > StartOffset(fd, isStdin)) {
        // Standard input is read from where it stands (a shell may have
        // read part of it already), as a pipe would be; the offsets count
        // from there.
        const std::uint64_t start = StartOffset(fd, isStdin);
        const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
        const std::uint64_t base = start / page * page;
        const std::size_t length = static_cast<std::size_t>(static_cast<std::uint64_t>(st.st_size) - base);
        void* map = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(base));
        if (map != MAP_FAILED) {
            ::madvise(map, length, MADV_SEQUENTIAL);
            m_map = map;
            m_mapLength = length;
            m_start = start;
            m_data = static_cast<const unsigned char*>(map) + (start - base);
            m_size = static_cast<std::uint64_t>(st.st_size) - start;
            // Consumed, as a read would have.
            if (isStdin) ::lseek(fd, static_cast<off_t>(st.st_size), SEEK_SET);
            m_mtimeSec = static_cast<long long>(st.st_mtim.tv_sec);
            m_mtimeNsec = static_cast<long long>(st.st_mtim.tv_nsec);
            m_faultMessage = who + ": " + m_shown + ": the file shrank while being read\n";
            m_watchSlot = WatchMapping(map, length, m_faultMessage);
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
    if (fd >= 0 && !isStdin) {
        if (m_map != nullptr)
            m_fd = fd;  // kept for CheckUnchanged
        else
            ::close(fd);
    }
    if (err != 0) error = m_shown + ": " + std::strerror(err);
    return err == 0;
}

bool Input::CheckUnchanged(std::string& error) const {
    if (m_map == nullptr) return true;
    struct stat st;
    if (::fstat(m_fd >= 0 ? m_fd : STDIN_FILENO, &st) != 0) {
        error = m_shown + ": " + std::strerror(errno);
        return false;
    }
    const std::uint64_t now = static_cast<std::uint64_t>(st.st_size);
    if (now < m_start + m_size) {
        error = m_shown + ": the file shrank while being read";
        return false;
    }
    if (now == m_start + m_size && (static_cast<long long>(st.st_mtim.tv_sec) != m_mtimeSec ||
                                    static_cast<long long>(st.st_mtim.tv_nsec) != m_mtimeNsec)) {
        error = m_shown + ": the file changed while being read";
        return false;
    }
    return true;
}

}  // namespace ulvex_cli
