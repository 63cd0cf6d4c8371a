// ulvex stats: per record name and in total, what the inputs hold.
#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture_stats.h"
#include "command.h"
#include "progress.h"
#include "ulvex/scan.h"

namespace ulvex_cli {
namespace {

struct StatsOptions {
    std::vector<std::string> files{"-"};
    bool text = false, json = false;
    unsigned threads = 0;
    int progress = -1;  // --progress: 1, --no-progress: 0
};

// The inputs are read `threads` at a time, each by a stream reader of its
// own and opened only then; the counts are added up in argument order.
int RunStats(const StatsOptions& o) {
    const std::uint64_t total = FileBytes(o.files);
    Progress progress(ProgressWanted(o.progress, total), "ulvex stats", total);
    const ulvex::RecordForm form = FormOf(o.text);
    const std::size_t files = o.files.size();
    std::vector<CaptureStats> counts(files);
    std::vector<std::exception_ptr> errors(files);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next++) < files;) {
            try {
                Input in;
                OpenInput(in, o.files[i], "stats");
                counts[i] = CountCapture(in.Data(), in.Size(), form, progress);
                // Counts only of inputs that held still.
                CheckInput(in);
            } catch (...) {
                errors[i] = std::current_exception();
            }
        }
    };
    const std::size_t workers = std::min<std::size_t>(ulvex::ScanThreads(o.threads), files);
    std::vector<std::thread> threads;
    for (std::size_t t = 1; t < workers; ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    progress.Stop();
    CaptureStats all;
    for (std::size_t i = 0; i < files; ++i) {
        if (errors[i]) std::rethrow_exception(errors[i]);
        all.Add(counts[i]);
    }
    Output out;
    out.Write(o.json ? StatsJson(all) : StatsTable(all));
    out.Finish();
    return 0;
}

}  // namespace

void AddStatsCommand(Commands& commands) {
    auto o = std::make_shared<StatsOptions>();
    CLI::App* stats = commands.Add("stats",
                                   "Summarise the inputs: records, versions and payload sizes per name, "
                                   "then totals with the rejected candidates",
                                   [o] { return RunStats(*o); });
    stats->add_flag("--text", o->text, "Read the text form instead of the binary one");
    stats->add_flag("--json", o->json, "One JSON object instead of the table");
    stats->add_option("FILE", o->files, "Input files, or - for standard input (the default)");
    stats->add_option("--threads", o->threads, "Files read at once; 0, the default, for one per core")
        ->check(NotNegative() & CLI::Range(0u, 1024u));
    AddProgressOptions(*stats, o->progress);
    stats->footer(
        "Rejected candidates are well-formed headers whose record is not valid: damaged, cut off by the end of\n"
        "the input, or too long. Bytes passed over are those outside every record.");
}

}  // namespace ulvex_cli
