#include "progress.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

namespace ulvex_cli {

namespace {

const std::chrono::milliseconds kInterval(250);

void WriteAll(const std::string& s) {
    const char* p = s.data();
    std::size_t n = s.size();
    while (n != 0) {
        const ssize_t w = write(STDERR_FILENO, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;  // a progress line is not worth failing for
        p += w;
        n -= static_cast<std::size_t>(w);
    }
}

}  // namespace

bool ProgressWanted(int option, std::uint64_t inputBytes) {
    if (option >= 0) return option != 0;
    return isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO) && inputBytes >= (std::uint64_t{1} << 30);
}

std::uint64_t FileBytes(const std::vector<std::string>& files) {
    std::uint64_t total = 0;
    for (const std::string& file : files) {
        struct stat st;
        if (file != "-" && stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            total += static_cast<std::uint64_t>(st.st_size);
    }
    return total;
}

std::string HumanBytes(double bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    std::size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) bytes /= 1024, ++unit;
    char buf[32];
    if (unit == 0)
        std::snprintf(buf, sizeof buf, "%.0f B", bytes);
    else
        std::snprintf(buf, sizeof buf, "%.*f %s", bytes < 10 ? 2 : bytes < 100 ? 1 : 0, bytes, kUnits[unit]);
    return buf;
}

Progress::Progress(bool enabled, std::string who, std::uint64_t totalBytes)
    : m_enabled(enabled), m_who(std::move(who)), m_total(totalBytes), m_start(std::chrono::steady_clock::now()) {
    if (m_enabled) m_thread = std::thread([this] { Run(); });
}

Progress::~Progress() { Stop(); }

void Progress::Stop() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void Progress::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    Draw(false);
    while (!m_wake.wait_for(lock, kInterval, [this] { return m_stop; })) Draw(false);
    Draw(true);
}

void Progress::Draw(bool last) {
    std::string line = "\r";
    if (!last) {
        const std::uint64_t done = m_bytes.load(std::memory_order_relaxed);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        char buf[160];
        std::snprintf(buf, sizeof buf, "%s: %s of %s (%.0f%%), %s/s, %" PRIu64 " records", m_who.c_str(),
                      HumanBytes(static_cast<double>(done)).c_str(), HumanBytes(static_cast<double>(m_total)).c_str(),
                      m_total != 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(m_total) : 100.0,
                      HumanBytes(seconds > 0 ? static_cast<double>(done) / seconds : 0).c_str(),
                      m_records.load(std::memory_order_relaxed));
        line += buf;
    }
    // Spaces cover what is left of a longer line; the last drawing is blank.
    const std::size_t width = line.size() - 1;
    if (width < m_shown) line.append(m_shown - width, ' ');
    if (last) {
        if (m_shown == 0) return;
        line += '\r';
    }
    m_shown = width;
    WriteAll(line);
}

}  // namespace ulvex_cli
