// ulvex extract: the raw payload of one record.
#include <cstdint>
#include <memory>
#include <string>

#include "command.h"
#include "escape.h"
#include "scan.h"

namespace ulvex_cli {
namespace {

struct ExtractOptions {
    std::string file = "-", name;
    std::uint64_t index = 0;
    bool text = false;
    unsigned threads = 0;
};

int RunExtract(const ExtractOptions& o) {
    const std::string name = ParseNameOption(o.name);
    const std::string wanted = o.text ? ulvex::TrimTextName(name) : name;
    Input in;
    OpenInput(in, o.file, "extract");
    Output out;
    std::uint64_t seen = 0;
    bool found = false;
    ulvex::Record record{};
    ScanRecords(in.Data(), in.Size(), FormOf(o.text), o.threads, nullptr,
                [&](const ulvex::Record* r, std::size_t n) -> std::size_t {
                    if (found) return 0;
                    for (std::size_t i = 0; i < n; ++i) {
                        const std::string got = ulvex::RecordName(r[i]);
                        if ((o.text ? ulvex::TrimTextName(got) : got) != wanted || seen++ < o.index) continue;
                        record = r[i];
                        found = true;
                        return i + 1;
                    }
                    return n;
                });
    CheckInput(in);
    if (!found) {
        const std::string shown = "\"" + Escape(name, true) + "\"";
        throw Failure(seen == 0 ? "no record named " + shown
                                : "index " + Num(o.index) + " is out of range: " + Num(seen) + " record" +
                                      (seen == 1 ? "" : "s") + " named " + shown);
    }
    try {
        out.Write(in.Data() + record.payloadOffset, record.payloadLen);
    } catch (const OutputError&) {
        CheckInput(in);  // a write from lost pages fails: the file shrank
        throw;
    }
    CheckInput(in);
    out.Finish();
    return 0;
}

}  // namespace

void AddExtractCommand(Commands& commands) {
    auto o = std::make_shared<ExtractOptions>();
    CLI::App* extract = commands.Add("extract", "Write the payload of one record to standard output, raw",
                                     [o] { return RunExtract(*o); });
    extract->add_option("--name", o->name, "Tag name (up to 4 bytes; \\xNN for any byte)")->required();
    extract->add_option("--index", o->index, "Which record of that name, counting from 0 (default 0)")
        ->check(NotNegative() & FitsIn64Bits());
    extract->add_flag("--text", o->text, "Read the text form instead of the binary one");
    extract->add_option("FILE", o->file, kFileHelp);
    AddThreadsOption(*extract, o->threads);
}

}  // namespace ulvex_cli
