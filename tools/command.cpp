#include "command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "arguments.h"

namespace ulvex_cli {

Output::Output() { std::setvbuf(stdout, nullptr, _IOFBF, 1 << 20); }

void Output::Write(const void* p, std::size_t n) {
    if (n != 0 && std::fwrite(p, 1, n, stdout) != n && m_errno == 0) m_errno = errno != 0 ? errno : EIO;
}

void Output::Flush() {
    if (std::fflush(stdout) != 0 && m_errno == 0) m_errno = errno != 0 ? errno : EIO;
}

void Output::Finish() {
    Flush();
    if (m_errno != 0) throw Failure(std::string("standard output: ") + std::strerror(m_errno));
}

void OpenInput(Input& in, const std::string& path, const char* sub) {
    std::string error;
    if (!in.Open(path, std::string("ulvex ") + sub, error)) throw Failure(error);
}

void CheckInput(const Input& in) {
    std::string error;
    if (!in.CheckUnchanged(error)) throw Failure(error);
}

std::string Num(std::uint64_t v) { return std::to_string(v); }

std::string ParseNameOption(const std::string& text) {
    std::string name, error;
    if (!ParseName(text, name, error)) throw UsageError(error);
    return name;
}

const char kFileHelp[] = "Input file, or - for standard input (the default)";

void AddThreadsOption(CLI::App& sub, unsigned& threads) {
    const unsigned kMaxThreads = 1024;
    sub.add_option("--threads", threads,
                   "Threads to scan (and for list, to format) with; 0, the default, for one per core")
        ->check(NotNegative() & CLI::Range(0u, kMaxThreads));
}

CLI::Validator NotNegative() {
    return CLI::Validator(
        [](std::string& value) { return value.compare(0, 1, "-") == 0 ? "must not be negative" : std::string(); }, "",
        "NotNegative");
}

CLI::App* Commands::Add(const std::string& name, const std::string& description, std::function<int()> run) {
    CLI::App* sub = m_app.add_subcommand(name, description);
    m_runs.emplace_back(sub, std::move(run));
    return sub;
}

int Commands::RunChosen() const {
    for (const auto& r : m_runs)
        if (*r.first) return r.second();
    throw UsageError("no subcommand given");
}

}  // namespace ulvex_cli
