// ulvex entries: a payload of key=value entries from the command line.
#include <memory>
#include <string>
#include <vector>

#include "arguments.h"
#include "command.h"
#include "ulvex/data_formatter.h"

namespace ulvex_cli {
namespace {

int RunEntries(const std::vector<std::string>& args) {
    std::unique_ptr<IUlvexDataFormatter> fmt(IUlvexDataFormatter::CreateMe());
    std::vector<unsigned char> payload, entry;
    for (const std::string& arg : args) {
        std::string error;
        if (!FormatEntry(*fmt, arg, entry, error)) throw UsageError(error);
        payload.insert(payload.end(), entry.begin(), entry.end());
    }
    Output out;
    out.Write(payload);
    out.Finish();
    return 0;
}

}  // namespace

void AddEntriesCommand(Commands& commands) {
    auto args = std::make_shared<std::vector<std::string>>();
    CLI::App* entries = commands.Add("entries", "Write a payload of key=value entries to standard output",
                                     [args] { return RunEntries(*args); });
    entries
        ->add_option("ENTRY", *args,
                     "KEY=VALUE, or KEY:TYPE=VALUE with TYPE one of str, int, uint, "
                     "i64, u64, float, double, hex")
        ->required();
    entries->footer("Example: ulvex entries room=kitchen temp:double=21.5 delta:int=-5 flags:hex=255");
}

}  // namespace ulvex_cli
