// What every subcommand of the tool shares: its errors, standard output,
// opening an input, and the registry the subcommands join.
//
// A subcommand lives in a file of its own that defines one AddXxxCommand
// (declared at the end of this header) and is registered by one line in
// main.cpp.
#ifndef ULVEX_TOOLS_COMMAND_H
#define ULVEX_TOOLS_COMMAND_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "input.h"
#include "output.h"
#include "ulvex/format.h"

namespace ulvex_cli {

// A usage error found after parsing (exit 2) and a failure to do the job (exit 1).
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Opens `path` ("-": standard input) for subcommand `sub`; throws Failure.
void OpenInput(Input& in, const std::string& path, const char* sub);

// After the input's bytes were used: throws Failure when the file shrank or
// was rewritten meanwhile.
void CheckInput(const Input& in);

std::string Num(std::uint64_t v);

// A tag name given as an option (\xNN escapes); throws UsageError.
std::string ParseNameOption(const std::string& text);

// The form a --text flag chooses.
inline ulvex::RecordForm FormOf(bool text) { return text ? ulvex::RecordForm::Text : ulvex::RecordForm::Binary; }

// The help of the FILE argument, and of FILE... where several are taken.
extern const char kFileHelp[];
extern const char kFilesHelp[];

// Throws UsageError naming the first of `files` that is a directory.
void RejectDirectories(const std::vector<std::string>& files);

// Adds the --threads option every scanning subcommand has.
void AddThreadsOption(CLI::App& sub, unsigned& threads);

// Adds --progress and --no-progress: `choice` becomes 1 or 0 when one is
// given and stays as it is (-1) otherwise; see ProgressWanted.
void AddProgressOptions(CLI::App& sub, int& choice);

// CLI11 would wrap "-1" around into a huge unsigned value.
CLI::Validator NotNegative();

// CLI11 would take a number above 2^64 - 1 as 2^64 - 1.
CLI::Validator FitsIn64Bits();

// Text records cannot hold version 14 (its character would close the
// header): the encoder writes 15. Says so on standard error, once per run.
void WarnTextVersion14(const char* sub);

// The subcommands of the tool, each with what it runs once the command line
// is parsed.
class Commands {
public:
    explicit Commands(CLI::App& app) : m_app(app) {}

    // Adds subcommand `name`; `run` does its work (and returns the exit
    // status) when it is the one chosen.
    CLI::App* Add(const std::string& name, const std::string& description, std::function<int()> run);

    // Runs the chosen subcommand.
    int RunChosen() const;

private:
    CLI::App& m_app;
    std::vector<std::pair<CLI::App*, std::function<int()>>> m_runs;
};

// The subcommands, one file each.
void AddListCommand(Commands& commands);
void AddExtractCommand(Commands& commands);
void AddPackCommand(Commands& commands);
void AddEntriesCommand(Commands& commands);
void AddConvertCommand(Commands& commands);
void AddStatsCommand(Commands& commands);
void AddTableCommand(Commands& commands);

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_COMMAND_H
