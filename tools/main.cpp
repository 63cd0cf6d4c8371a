// ulvex: inspect, extract, pack and convert tag records from the command line.
//
// Exit status: 0 on success (also when an input holds no record), 1 when an
// input cannot be read or changes while read, output cannot be written or the
// asked-for record is missing, 2 for usage errors.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "command.h"

namespace {

std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\n') c = ' ';
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("Inspect, extract, pack and convert tag records.", "ulvex");
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("ulvex ") + ULVEX_TOOL_VERSION, "Print the version and exit");

    ulvex_cli::Commands commands(app);
    ulvex_cli::AddListCommand(commands);
    ulvex_cli::AddExtractCommand(commands);
    ulvex_cli::AddPackCommand(commands);
    ulvex_cli::AddEntriesCommand(commands);
    ulvex_cli::AddConvertCommand(commands);
    ulvex_cli::AddTableCommand(commands);

    // Set last: subcommands made before it would inherit it.
    app.footer("Run 'ulvex SUBCOMMAND --help' for the options of one subcommand.");

    // Named here, a mistyped subcommand would only be reported as a missing one.
    if (argc > 1 && argv[1][0] != '-') {
        try {
            app.get_subcommand(argv[1]);
        } catch (const CLI::OptionNotFound&) {
            std::fprintf(stderr, "ulvex: unknown subcommand '%s' (see 'ulvex --help')\n", argv[1]);
            return 2;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        const std::vector<CLI::App*> chosen = app.get_subcommands();
        const std::string sub = chosen.empty() ? "" : " " + chosen.front()->get_name();
        std::fprintf(stderr, "ulvex%s: %s (see 'ulvex%s --help')\n", sub.c_str(), OneLine(e.what()).c_str(),
                     sub.c_str());
        return 2;
    }

    const std::string sub = app.get_subcommands().front()->get_name();
    try {
        return commands.RunChosen();
    } catch (const ulvex_cli::UsageError& e) {
        std::fprintf(stderr, "ulvex %s: %s (see 'ulvex %s --help')\n", sub.c_str(), e.what(), sub.c_str());
        return 2;
    } catch (const ulvex_cli::Failure& e) {
        std::fprintf(stderr, "ulvex %s: %s\n", sub.c_str(), e.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "ulvex %s: out of memory\n", sub.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ulvex %s: %s\n", sub.c_str(), e.what());
    }
    return 1;
}
