#include "command.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

#include "arguments.h"

namespace ulvex_cli {

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
const char kFilesHelp[] = "Input files, read in the order given, or - for standard input (the default)";

void RejectDirectories(const std::vector<std::string>& files) {
    struct stat st;
    for (const std::string& f : files)
        if (f != "-" && stat(f.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            throw UsageError(f + " is a directory: give the files in it, such as " + f + "/*");
}

void AddThreadsOption(CLI::App& sub, unsigned& threads) {
    const unsigned kMaxThreads = 1024;
    sub.add_option("--threads", threads,
                   "Threads to scan (and for list, to format) with; 0, the default, for one per core")
        ->check(NotNegative() & CLI::Range(0u, kMaxThreads));
}

void AddProgressOptions(CLI::App& sub, int& choice) {
    CLI::Option* on = sub.add_flag_callback(
        "--progress", [&choice] { choice = 1; },
        "Show the bytes read, the rate and the records so far on standard error (the default when standard "
        "error is a terminal, standard output is not and the input is at least 1 GiB)");
    CLI::Option* off = sub.add_flag_callback(
        "--no-progress", [&choice] { choice = 0; }, "Show no progress");
    on->excludes(off);
}

CLI::Validator NotNegative() {
    return CLI::Validator(
        [](std::string& value) { return value.compare(0, 1, "-") == 0 ? "must not be negative" : std::string(); }, "",
        "NotNegative");
}

CLI::Validator FitsIn64Bits() {
    return CLI::Validator(
        [](std::string& value) {
            errno = 0;
            std::strtoull(value.c_str(), nullptr, 10);
            return errno == ERANGE ? "must be at most 18446744073709551615" : std::string();
        },
        "", "FitsIn64Bits");
}

void WarnTextVersion14(const char* sub) {
    static bool warned = false;
    if (warned) return;
    warned = true;
    std::fprintf(stderr, "ulvex %s: warning: a text record cannot hold version 14; it is written as 15\n", sub);
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
