#include "follow.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ulvex/format.h"
#include "ulvex/stream_reader.h"

namespace ulvex_cli {
namespace {

const std::size_t kChunk = 64 * 1024;

// SIGINT and SIGTERM set the flag and wake the wait through a pipe, so a
// signal arriving just before the wait is not missed.
volatile std::sig_atomic_t g_stop = 0;
int g_wakeWrite = -1;

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    g_stop = 1;
    const char byte = 0;
    if (write(g_wakeWrite, &byte, 1) < 0) {
        // The pipe is full: a wake-up is pending anyway.
    }
    errno = saved;
}

std::string Reason(const std::string& path) { return path + ": " + std::strerror(errno); }

// Waits for a change in the file's directory (a write, a new file, a rename)
// or a stop signal; without inotify, for a tenth of a second.
class Waiter {
public:
    explicit Waiter(const std::string& path) {
        int p[2];
        if (pipe2(p, O_NONBLOCK | O_CLOEXEC) != 0) throw Failure(std::string("pipe: ") + std::strerror(errno));
        m_wakeRead = p[0];
        g_wakeWrite = p[1];
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_handler = OnStopSignal;
        sa.sa_flags = static_cast<int>(SA_RESETHAND);  // a second signal ends the process at once
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);

        const std::string::size_type slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify >= 0 && inotify_add_watch(m_inotify, dir.c_str(),
                                                IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO |
                                                    IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF) < 0) {
            close(m_inotify);
            m_inotify = -1;
        }
    }
    ~Waiter() {
        if (m_inotify >= 0) close(m_inotify);
        close(m_wakeRead);
    }

    void Wait() {
        struct pollfd fds[2] = {{m_wakeRead, POLLIN, 0}, {m_inotify, POLLIN, 0}};
        // With inotify the timeout is only a safety net (file systems that
        // report no events); without it, the poll interval.
        if (poll(fds, m_inotify >= 0 ? 2 : 1, m_inotify >= 0 ? 1000 : 100) <= 0) return;
        char events[4096];
        if (m_inotify >= 0)
            while (read(m_inotify, events, sizeof events) > 0) {
            }
    }

private:
    int m_wakeRead = -1;
    int m_inotify = -1;
};

// The file being followed and the stream reader of its bytes.
class Followed {
public:
    Followed(const FollowOptions& o, Output& out) : m_o(o), m_out(out), m_formatter(o.style), m_chunk(kChunk) {}
    ~Followed() {
        if (m_fd >= 0) close(m_fd);
    }

    // Opens the path (anew); false when it does not exist now.
    bool Open(bool mustExist) {
        const int fd = open(m_o.path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0) {
            if (mustExist || errno != ENOENT) throw Failure(Reason(m_o.path));
            if (fd >= 0) close(fd);
            return false;
        }
        if (m_fd >= 0) close(m_fd);
        m_fd = fd;
        m_dev = st.st_dev;
        m_ino = st.st_ino;
        m_regular = S_ISREG(st.st_mode);
        Restart();
        return true;
    }

    // Reads and lists what the file has beyond what was read.
    void ReadOn() {
        for (;;) {
            const ssize_t n = read(m_fd, m_chunk.data(), m_chunk.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw Failure(Reason(m_o.path));
            if (n == 0) return;
            m_pos += static_cast<std::uint64_t>(n);
            m_inputBytes += static_cast<std::uint64_t>(n);
            // The reader reads the chunk in place: it stays untouched until drained.
            m_reader->Feed(m_chunk.data(), static_cast<std::size_t>(n));
            Drain();
        }
    }

    // True when the file is now shorter than what was read of it.
    bool Shrank() const {
        struct stat st;
        return m_regular && fstat(m_fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) < m_pos;
    }

    // True when the path now names another file than the one open.
    bool Replaced() const {
        struct stat st;
        return stat(m_o.path.c_str(), &st) == 0 && (st.st_dev != m_dev || st.st_ino != m_ino);
    }

    // Lists the records that the bytes read so far decide, and starts over
    // at the file's beginning.
    void Restart() {
        EndStream();
        if (lseek(m_fd, 0, SEEK_SET) < 0 && errno != ESPIPE) throw Failure(Reason(m_o.path));
        m_pos = 0;
        m_reader.reset(new ulvex::StreamReader(FormOf(m_o.text), m_o.maxPayload));
    }

    void EndStream() {
        if (!m_reader) return;
        m_reader->Finish();
        Drain();
        m_reader.reset();
    }

    void Say(const char* what) {
        m_out.Flush();
        std::fprintf(stderr, "ulvex list: %s: %s\n", m_o.path.c_str(), what);
    }

    std::string Summary() const { return ListSummary(m_o.style, m_records, m_recordBytes, m_inputBytes); }

private:
    void Drain() {
        ulvex::Record r;
        const unsigned char* payload = nullptr;
        bool any = false;
        while (m_reader->Next(r, payload)) {
            m_name = ulvex::RecordName(r);
            m_line.clear();
            m_formatter.Append({r.offset, r.payloadOffset, &m_name, r.version, payload, r.payloadLen, r.recordLen},
                               m_line);
            m_out.Write(m_line);
            ++m_records;
            m_recordBytes += r.recordLen;
            any = true;
        }
        if (any) m_out.Flush();
    }

    const FollowOptions& m_o;
    Output& m_out;
    RecordFormatter m_formatter;
    std::vector<unsigned char> m_chunk;
    std::unique_ptr<ulvex::StreamReader> m_reader;
    std::string m_line, m_name;
    int m_fd = -1;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    bool m_regular = false;
    std::uint64_t m_pos = 0, m_inputBytes = 0, m_records = 0, m_recordBytes = 0;
};

}  // namespace

int Follow(const FollowOptions& o, Output& out) {
    Followed file(o, out);
    file.Open(true);
    Waiter waiter(o.path);
    out.Write(ListHeading(o.style));
    out.Flush();
    // A stop is taken only after a look that found nothing new, so what was
    // written before the signal is listed.
    for (;;) {
        file.ReadOn();
        if (file.Shrank()) {
            file.EndStream();
            file.Say("file truncated; listing it again from its start");
            file.Restart();
            continue;
        }
        if (file.Replaced()) {
            file.ReadOn();
            if (file.Open(false)) {
                file.Say("replaced by a new file; following that from its start");
                continue;
            }
        }
        if (g_stop) break;
        waiter.Wait();
    }
    file.EndStream();
    out.Write(file.Summary());
    out.Finish();
    return 0;
}

}  // namespace ulvex_cli
