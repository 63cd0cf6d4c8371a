// A progress line on standard error while files are read: bytes done of the
// total, the rate and the records found so far.
#ifndef ULVEX_TOOLS_PROGRESS_H
#define ULVEX_TOOLS_PROGRESS_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ulvex_cli {

// Whether to show progress: `option` is 1 for --progress, 0 for
// --no-progress and -1 when neither was given; then it is shown when standard
// error is a terminal, standard output is not, and the input is at least
// 1 GiB.
bool ProgressWanted(int option, std::uint64_t inputBytes);

// The line is redrawn a few times a second by a thread of its own and
// cleared by Stop (or the destructor). It goes to standard error only, and
// uses no terminal escapes: a carriage return and spaces redraw it.
class Progress {
public:
    // `who` starts the line ("ulvex list"); a disabled meter does nothing.
    Progress(bool enabled, std::string who, std::uint64_t totalBytes);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Counts more bytes done and records found; any thread may call it.
    void Add(std::uint64_t bytes, std::uint64_t records) {
        if (!m_enabled) return;
        m_bytes.fetch_add(bytes, std::memory_order_relaxed);
        m_records.fetch_add(records, std::memory_order_relaxed);
    }

    // Ends the meter and clears its line.
    void Stop();

private:
    void Run();
    void Draw(bool last);

    const bool m_enabled;
    const std::string m_who;
    const std::uint64_t m_total;
    std::atomic<std::uint64_t> m_bytes{0}, m_records{0};
    std::chrono::steady_clock::time_point m_start;
    std::size_t m_shown = 0;  // characters of the line on screen
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// The bytes of the regular files among `files` (standard input, "-", and
// other files count 0): the total a progress line shows.
std::uint64_t FileBytes(const std::vector<std::string>& files);

// A byte count for people: "512 B", "1.5 KiB", "3.25 GiB".
std::string HumanBytes(double bytes);

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_PROGRESS_H
