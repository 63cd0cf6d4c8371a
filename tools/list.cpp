// ulvex list: every valid record of the input, then a summary line.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "command.h"
#include "follow.h"
#include "listing.h"
#include "ordered_writer.h"
#include "progress.h"
#include "scan.h"
#include "ulvex/ulvex.h"

namespace ulvex_cli {
namespace {

struct ListOptions {
    std::vector<std::string> files{"-"};
    bool text = false, entries = false, json = false, follow = false;
    int progress = -1;  // --progress: 1, --no-progress: 0
    unsigned threads = 0;
    std::uint64_t maxPayload = ulvex::StreamReader::kDefaultMaxPayload;
};

ListStyle StyleOf(const ListOptions& o) {
    ListStyle style;
    style.json = o.json;
    style.entries = o.entries;
    return style;
}

// An input that is not a regular file (a pipe, socket, terminal, FIFO or
// device, on standard input or named) is followed live: read in chunks, each
// record printed as soon as it is complete, in bounded memory. Sets `fd`
// (opened here for a named one) and `shown`; false for a regular file, a
// directory or a name that cannot be opened (OpenInput reports those).
bool IsStream(const std::string& file, int& fd, std::string& shown) {
    const bool isStdin = file == "-";
    fd = isStdin ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
        if (!isStdin) ::close(fd);
        return false;
    }
    shown = isStdin ? "standard input" : file;
    return true;
}

int RunListStream(const ListOptions& o, int fd, const std::string& shown) {
    Output out;
    const ListStyle style = StyleOf(o);
    RecordFormatter formatter(style);
    out.Write(ListHeading(style));
    ulvex::StreamReader reader(FormOf(o.text), static_cast<std::size_t>(o.maxPayload));
    std::vector<unsigned char> chunk(64 * 1024);
    std::uint64_t total = 0, records = 0, recordBytes = 0;
    ulvex::Record r;
    const unsigned char* payload = nullptr;
    std::string line, name;
    auto print = [&] {
        bool any = false;
        while (reader.Next(r, payload)) {
            name = ulvex::RecordName(r);
            line.clear();
            formatter.Append({r.offset, r.payloadOffset, &name, r.version, payload, r.payloadLen, r.recordLen}, line);
            out.Write(line);
            ++records;
            recordBytes += r.recordLen;
            any = true;
        }
        return any;
    };
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Failure(shown + ": " + std::strerror(errno));
        if (n == 0) break;
        total += static_cast<std::uint64_t>(n);
        // The reader reads the chunk in place: it stays untouched until drained.
        reader.Feed(chunk.data(), static_cast<std::size_t>(n));
        if (print()) out.Flush();
    }
    reader.Finish();
    print();
    out.Write(ListSummary(style, records, recordBytes, total));
    out.Finish();
    return 0;
}

// Sums over the files listed.
struct ListTotals {
    std::uint64_t records = 0, recordBytes = 0, inputBytes = 0;
};

// A file is scanned by the library's parallel scan and its batches of
// records are formatted, both on `pool` (null: all on this thread), and
// written in input order by this thread.
void ListFile(const ListOptions& o, const std::string& file, const ListStyle& style, ulvex::ThreadPool* pool,
              Output& out, ListTotals& totals, Progress& progress) {
    Input in;
    OpenInput(in, file, "list");
    out.Write(ListHeading(style));
    std::vector<std::unique_ptr<RecordFormatter>> formatters;
    for (unsigned i = 0; i < (pool ? pool->Size() : 1); ++i) formatters.emplace_back(new RecordFormatter(style));
    const unsigned char* const data = in.Data();
    OrderedWriter writer(
        pool,
        [&](unsigned worker, const ulvex::Record* r, std::size_t n, std::string& text) {
            RecordFormatter& formatter = *formatters[worker];
            for (std::size_t i = 0; i < n; ++i) {
                const std::string name = ulvex::RecordName(r[i]);
                formatter.Append({r[i].offset, r[i].payloadOffset, &name, r[i].version, data + r[i].payloadOffset,
                                  r[i].payloadLen, r[i].recordLen},
                                 text);
            }
        },
        [&](const std::string& text) { out.Write(text); });
    std::uint64_t records = 0, recordBytes = 0, done = 0;
    ScanRecords(data, in.Size(), FormOf(o.text), 1, pool, [&](const ulvex::Record* r, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) recordBytes += r[i].recordLen;
        records += n;
        writer.Add(r, n);
        if (n != 0) {
            const std::uint64_t end = r[n - 1].offset + r[n - 1].recordLen;
            progress.Add(end - done, n);
            done = end;
        }
        return n;
    });
    writer.Finish();
    progress.Add(in.Size() - done, 0);
    // The summary only for an input that held still.
    CheckInput(in);
    out.Write(ListSummary(style, records, recordBytes, in.Size()));
    totals.records += records;
    totals.recordBytes += recordBytes;
    totals.inputBytes += in.Size();
}

// Files one after another, on one pool of `--threads` workers (for 1: all on
// this thread).
int RunList(const ListOptions& o) {
    if (o.follow) {
        if (o.files.size() != 1 || o.files[0] == "-") throw UsageError("--follow needs one FILE");
        FollowOptions f;
        f.path = o.files[0];
        f.text = o.text;
        f.style = StyleOf(o);
        f.maxPayload = static_cast<std::size_t>(o.maxPayload);
        Output out;
        return Follow(f, out);
    }
    RejectDirectories(o.files);
    int fd = -1;
    std::string shown;
    if (o.files.size() == 1 && IsStream(o.files[0], fd, shown)) {
        struct Closer {
            int fd;
            ~Closer() {
                if (fd != STDIN_FILENO) ::close(fd);
            }
        } closer{fd};
        return RunListStream(o, fd, shown);
    }
    const unsigned threads = ulvex::ScanThreads(o.threads);
    std::unique_ptr<ulvex::ThreadPool> pool(threads > 1 ? new ulvex::ThreadPool(threads) : nullptr);
    Output out;
    ListStyle style = StyleOf(o);
    ListTotals totals;
    const std::uint64_t total = FileBytes(o.files);
    Progress progress(ProgressWanted(o.progress, total), "ulvex list", total);
    for (const std::string& file : o.files) {
        if (o.files.size() > 1) style.file = &file;
        ListFile(o, file, style, pool.get(), out, totals, progress);
    }
    progress.Stop();
    if (o.files.size() > 1)
        out.Write(ListTotal(style, o.files.size(), totals.records, totals.recordBytes, totals.inputBytes));
    out.Finish();
    return 0;
}

}  // namespace

void AddListCommand(Commands& commands) {
    auto o = std::make_shared<ListOptions>();
    CLI::App* list =
        commands.Add("list", "List every valid record of the inputs, then a summary line per input (and a total)",
                     [o] { return RunList(*o); });
    list->add_flag("--text", o->text, "Read the text form instead of the binary one");
    list->add_flag("--entries", o->entries, "Also print each payload's key=value entries");
    list->add_flag("--json", o->json,
                   "One JSON object per line: a \"record\" object per record, a \"summary\" object last; "
                   "with several files, a \"file\" field in each and a \"total\" object at the end");
    list->add_option("FILE", o->files, kFilesHelp);
    list->add_flag("--follow", o->follow,
                   "List the file, then wait for more and list each record as soon as it is complete, until "
                   "SIGINT or SIGTERM; a truncated or replaced file is listed again from its start");
    AddThreadsOption(*list, o->threads);
    list->add_option(
            "--max-payload", o->maxPayload,
            "When following a pipe, FIFO, device or a file (--follow): the longest payload waited for, in bytes "
            "(default 16 MiB); a header announcing more is passed over at once")
        ->check(CLI::Range(std::uint64_t{0}, ulvex::kMaxRecordLength));
    AddProgressOptions(*list, o->progress);
    list->footer(
        "Names are quoted; printable ASCII and UTF-8 are shown as they are, other bytes, \\ and \" as \\xNN.\n"
        "JSON strings keep UTF-8; any other byte b becomes \\udcXX (U+DC00 + b).\n"
        "A file is listed as it was when opened; one that shrinks or is rewritten meanwhile fails.\n"
        "A pipe, FIFO or device (as FILE or on standard input) is followed live: each record is printed as soon\n"
        "as it is complete; so is a file with --follow, as tail -F follows a name. Standard input that is a file\n"
        "is read from its current offset.");
}

}  // namespace ulvex_cli
