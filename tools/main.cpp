// ulvex: inspect, extract, pack and convert tag records from the command line.
//
// Exit status: 0 on success (also when an input holds no record), 1 when an
// input cannot be read or changes while read, output cannot be written or the
// asked-for record is missing, 2 for usage errors.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "format.h"
#include "input.h"
#include "listing.h"
#include "ordered_writer.h"
#include "scan.h"
#include "ulvex/ulvex.h"

namespace {

using ulvex_cli::Form;

// A usage error found after parsing (exit 2) and a failure to do the job (exit 1).
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Standard output, remembering the first write error.
class Output {
public:
    Output() { std::setvbuf(stdout, nullptr, _IOFBF, 1 << 20); }
    void Write(const void* p, std::size_t n) {
        if (n != 0 && std::fwrite(p, 1, n, stdout) != n && m_errno == 0) m_errno = errno != 0 ? errno : EIO;
    }
    void Write(const std::string& s) { Write(s.data(), s.size()); }
    void Write(const std::vector<unsigned char>& v) { Write(v.data(), v.size()); }
    void Flush() {
        if (std::fflush(stdout) != 0 && m_errno == 0) m_errno = errno != 0 ? errno : EIO;
    }
    void Finish() {
        if (std::fflush(stdout) != 0 && m_errno == 0) m_errno = errno != 0 ? errno : EIO;
        if (m_errno != 0) throw Failure(std::string("standard output: ") + std::strerror(m_errno));
    }

private:
    int m_errno = 0;
};

// The longest record: the formats' lengths are 32-bit.
const std::uint64_t kMaxRecord = 0xFFFFFFFFull;

void OpenInput(ulvex_cli::Input& in, const std::string& path, const char* sub) {
    std::string error;
    if (!in.Open(path, std::string("ulvex ") + sub, error)) throw Failure(error);
}

// After the input's bytes were used: fails when the file shrank or was
// rewritten meanwhile.
void CheckInput(const ulvex_cli::Input& in) {
    std::string error;
    if (!in.CheckUnchanged(error)) throw Failure(error);
}

std::string Num(std::uint64_t v) { return std::to_string(v); }

// A text record's name keeps the spaces that stand for zero name bytes.
std::string TrimSpaces(std::string name) {
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

std::string ParseNameOption(const std::string& text) {
    std::string name, error;
    if (!ulvex_cli::ParseName(text, name, error)) throw UsageError(error);
    return name;
}

struct ListOptions {
    std::string file = "-";
    bool text = false, entries = false, json = false;
    unsigned threads = 0;
    std::uint64_t maxPayload = ulvex::StreamReader::kDefaultMaxPayload;
};

ulvex_cli::ListStyle StyleOf(const ListOptions& o) {
    ulvex_cli::ListStyle style;
    style.json = o.json;
    style.entries = o.entries;
    return style;
}

// Standard input that is a pipe, a socket or a terminal is followed live:
// read in chunks, each record printed as soon as it is complete.
bool StdinIsStream(const std::string& file) {
    struct stat st;
    return file == "-" && (fstat(STDIN_FILENO, &st) != 0 || !S_ISREG(st.st_mode));
}

int RunListStream(const ListOptions& o) {
    Output out;
    const ulvex_cli::ListStyle style = StyleOf(o);
    ulvex_cli::RecordFormatter formatter(style);
    out.Write(ulvex_cli::ListHeading(style));
    ulvex::StreamReader reader(o.text ? ulvex::StreamReader::Text : ulvex::StreamReader::Binary,
                               static_cast<std::size_t>(o.maxPayload));
    std::vector<unsigned char> chunk(64 * 1024);
    std::uint64_t total = 0, records = 0, recordBytes = 0;
    STag tag;
    std::uint64_t offset = 0;
    std::string line;
    auto print = [&] {
        bool any = false;
        while (reader.Next(tag, offset)) {
            const ulvex_cli::ListedRecord r{
                offset,         offset + static_cast<std::uint64_t>(tag.PtrPayload - tag.PtrTag),
                &tag.TagName,   tag.Version,
                tag.PtrPayload, tag.PayloadLen,
                tag.TagLen};
            line.clear();
            formatter.Append(r, line);
            out.Write(line);
            ++records;
            recordBytes += tag.TagLen;
            any = true;
        }
        return any;
    };
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Failure(std::string("standard input: ") + std::strerror(errno));
        if (n == 0) break;
        total += static_cast<std::uint64_t>(n);
        // The reader reads the chunk in place: it stays untouched until drained.
        reader.Feed(chunk.data(), static_cast<std::size_t>(n));
        if (print()) out.Flush();
    }
    reader.Finish();
    print();
    out.Write(ulvex_cli::ListSummary(style, records, recordBytes, total));
    out.Finish();
    return 0;
}

// A file is scanned by the library's parallel scan; its batches of records
// are formatted on as many threads and written in input order.
int RunList(const ListOptions& o) {
    if (StdinIsStream(o.file)) return RunListStream(o);
    ulvex_cli::Input in;
    OpenInput(in, o.file, "list");
    Output out;
    const ulvex_cli::ListStyle style = StyleOf(o);
    out.Write(ulvex_cli::ListHeading(style));
    const unsigned threads = ulvex_cli::ThreadCount(o.threads);
    std::vector<std::unique_ptr<ulvex_cli::RecordFormatter>> formatters;
    for (unsigned i = 0; i < threads; ++i) formatters.emplace_back(new ulvex_cli::RecordFormatter(style));
    const unsigned char* const data = in.Data();
    ulvex_cli::OrderedWriter writer(
        threads,
        [&](unsigned worker, const ulvex::Record* r, std::size_t n, std::string& text) {
            ulvex_cli::RecordFormatter& formatter = *formatters[worker];
            for (std::size_t i = 0; i < n; ++i) {
                const std::string name = ulvex_cli::RecordName(r[i]);
                formatter.Append({r[i].offset, r[i].payloadOffset, &name, r[i].version, data + r[i].payloadOffset,
                                  r[i].payloadLen, r[i].recordLen},
                                 text);
            }
        },
        [&](const std::string& text) { out.Write(text); });
    std::uint64_t records = 0, recordBytes = 0;
    ulvex_cli::ScanRecords(data, in.Size(), o.text ? Form::Text : Form::Binary, o.threads,
                           [&](const ulvex::Record* r, std::size_t n) {
                               for (std::size_t i = 0; i < n; ++i) recordBytes += r[i].recordLen;
                               records += n;
                               writer.Add(r, n);
                               return n;
                           });
    writer.Finish();
    // The summary only for an input that held still.
    CheckInput(in);
    out.Write(ulvex_cli::ListSummary(style, records, recordBytes, in.Size()));
    out.Finish();
    return 0;
}

struct ExtractOptions {
    std::string file = "-", name;
    std::uint64_t index = 0;
    bool text = false;
    unsigned threads = 0;
};

int RunExtract(const ExtractOptions& o) {
    const std::string name = ParseNameOption(o.name);
    const std::string wanted = o.text ? TrimSpaces(name) : name;
    ulvex_cli::Input in;
    OpenInput(in, o.file, "extract");
    Output out;
    std::uint64_t seen = 0;
    bool found = false;
    ulvex::Record record{};
    ulvex_cli::ScanRecords(in.Data(), in.Size(), o.text ? Form::Text : Form::Binary, o.threads,
                           [&](const ulvex::Record* r, std::size_t n) -> std::size_t {
                               if (found) return 0;
                               for (std::size_t i = 0; i < n; ++i) {
                                   const std::string got = ulvex_cli::RecordName(r[i]);
                                   if ((o.text ? TrimSpaces(got) : got) != wanted || seen++ < o.index) continue;
                                   record = r[i];
                                   found = true;
                                   return i + 1;
                               }
                               return n;
                           });
    CheckInput(in);
    if (!found) {
        const std::string shown = "\"" + ulvex_cli::Escape(name, true) + "\"";
        throw Failure(seen == 0 ? "no record named " + shown
                                : "index " + Num(o.index) + " is out of range: " + Num(seen) + " record" +
                                      (seen == 1 ? "" : "s") + " named " + shown);
    }
    out.Write(in.Data() + record.payloadOffset, record.payloadLen);
    CheckInput(in);
    out.Finish();
    return 0;
}

struct PackOptions {
    std::string file = "-", name;
    unsigned int version = 0;
    bool text = false;
};

int RunPack(const PackOptions& o) {
    const std::string name = ParseNameOption(o.name);
    ulvex_cli::Input in;
    OpenInput(in, o.file, "pack");
    // A record is at most 2^32 - 1 bytes: 20 bytes of framing in binary, 34 in text.
    const std::uint64_t framing = o.text ? 34 : 20;
    if (in.Size() > kMaxRecord - framing)
        throw Failure("payload of " + Num(in.Size()) + " bytes is too long for one record (at most " +
                      Num(kMaxRecord - framing) + ")");
    Output out;
    std::vector<unsigned char> record;
    const auto version = static_cast<unsigned char>(o.version);
    if (o.text) {
        std::unique_ptr<IUlvexEncoderTxt> enc(IUlvexEncoderTxt::CreateMe());
        const std::vector<unsigned char> payload(in.Data(), in.Data() + in.Size());
        enc->AddTagTxt(record, name.c_str(), payload, version);
    } else {
        std::unique_ptr<IUlvexEncoderBin> enc(IUlvexEncoderBin::CreateMe());
        // The encoder only reads the payload.
        enc->AddTagBin(record, name.c_str(), const_cast<unsigned char*>(in.Data()),
                       static_cast<unsigned int>(in.Size()), version);
    }
    CheckInput(in);
    out.Write(record);
    out.Finish();
    return 0;
}

int RunEntries(const std::vector<std::string>& args) {
    std::unique_ptr<IUlvexDataFormatter> fmt(IUlvexDataFormatter::CreateMe());
    std::vector<unsigned char> payload, entry;
    for (const std::string& arg : args) {
        std::string error;
        if (!ulvex_cli::FormatEntry(*fmt, arg, entry, error)) throw UsageError(error);
        payload.insert(payload.end(), entry.begin(), entry.end());
    }
    Output out;
    out.Write(payload);
    out.Finish();
    return 0;
}

struct ConvertOptions {
    std::string file = "-";
    bool toText = false, toBinary = false;
    unsigned threads = 0;
};

int RunConvert(const ConvertOptions& o) {
    if (o.toText == o.toBinary) throw UsageError("convert needs exactly one of --to-text and --to-binary");
    ulvex_cli::Input in;
    OpenInput(in, o.file, "convert");
    Output out;
    std::unique_ptr<IUlvexEncoderBin> bin(IUlvexEncoderBin::CreateMe());
    std::unique_ptr<IUlvexEncoderTxt> txt(IUlvexEncoderTxt::CreateMe());
    std::vector<unsigned char> record, payload;
    const unsigned char* const data = in.Data();
    ulvex_cli::ScanRecords(
        data, in.Size(), o.toText ? Form::Binary : Form::Text, o.threads, [&](const ulvex::Record* r, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i) {
                const std::string name = ulvex_cli::RecordName(r[i]);
                const unsigned char* p = data + r[i].payloadOffset;
                record.clear();
                try {
                    if (o.toText) {
                        payload.assign(p, p + r[i].payloadLen);
                        txt->AddTagTxt(record, name.c_str(), payload, r[i].version);
                    } else {
                        // Spaces ending a text name stand for zero name bytes.
                        bin->AddTagBin(record, TrimSpaces(name).c_str(), const_cast<unsigned char*>(p), r[i].payloadLen,
                                       r[i].version);
                    }
                } catch (const std::length_error&) {
                    throw Failure("record at offset " + Num(r[i].offset) + " is too long for the text form");
                }
                out.Write(record);
            }
            return n;
        });
    CheckInput(in);
    out.Finish();
    return 0;
}

const char kFileHelp[] = "Input file, or - for standard input (the default)";
const char kThreadsHelp[] = "Threads to scan (and for list, to format) with; 0, the default, for one per core";

const unsigned kMaxThreads = 1024;

// CLI11 would wrap "-1" around into a huge unsigned value.
CLI::Validator NotNegative() {
    return CLI::Validator(
        [](std::string& value) { return value.compare(0, 1, "-") == 0 ? "must not be negative" : std::string(); }, "",
        "NotNegative");
}

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

    ListOptions lo;
    CLI::App* list = app.add_subcommand("list", "List every valid record of the input, then a summary line");
    list->add_flag("--text", lo.text, "Read the text form instead of the binary one");
    list->add_flag("--entries", lo.entries, "Also print each payload's key=value entries");
    list->add_flag("--json", lo.json,
                   "One JSON object per line: a \"record\" object per record, a \"summary\" object last");
    list->add_option("FILE", lo.file, kFileHelp);
    list->add_option("--threads", lo.threads, kThreadsHelp)->check(NotNegative() & CLI::Range(0u, kMaxThreads));
    list->add_option("--max-payload", lo.maxPayload,
                     "When following a pipe on standard input: the longest payload waited for, in bytes "
                     "(default 16 MiB); a header announcing more is passed over at once")
        ->check(CLI::Range(std::uint64_t{0}, std::uint64_t{0xFFFFFFFF}));
    list->footer(
        "Names are quoted; printable ASCII and UTF-8 are shown as they are, other bytes, \\ and \" as \\xNN.\n"
        "JSON strings keep UTF-8; any other byte b becomes \\udcXX (U+DC00 + b).\n"
        "A file is listed as it was when opened; one that shrinks or is rewritten meanwhile fails.\n"
        "A pipe on standard input is followed live: each record is printed as soon as it is complete.");

    ExtractOptions xo;
    CLI::App* extract = app.add_subcommand("extract", "Write the payload of one record to standard output, raw");
    extract->add_option("--name", xo.name, "Tag name (up to 4 bytes; \\xNN for any byte)")->required();
    extract->add_option("--index", xo.index, "Which record of that name, counting from 0 (default 0)")
        ->check(NotNegative());
    extract->add_flag("--text", xo.text, "Read the text form instead of the binary one");
    extract->add_option("FILE", xo.file, kFileHelp);
    extract->add_option("--threads", xo.threads, kThreadsHelp)->check(NotNegative() & CLI::Range(0u, kMaxThreads));

    PackOptions po;
    CLI::App* pack = app.add_subcommand("pack", "Frame the input bytes as one record on standard output");
    pack->add_option("--name", po.name, "Tag name (up to 4 bytes; \\xNN for any byte)")->required();
    pack->add_option("--version", po.version, "Version byte, 0-255 (default 0)")->check(CLI::Range(0, 255));
    pack->add_flag("--text", po.text, "Write the text form instead of the binary one");
    pack->add_option("FILE", po.file, kFileHelp);
    pack->footer("Records are appended by concatenating outputs: ulvex pack ... >> capture.bin");

    std::vector<std::string> entryArgs;
    CLI::App* entries = app.add_subcommand("entries", "Write a payload of key=value entries to standard output");
    entries
        ->add_option("ENTRY", entryArgs,
                     "KEY=VALUE, or KEY:TYPE=VALUE with TYPE one of str, int, uint, "
                     "i64, u64, float, double, hex")
        ->required();
    entries->footer("Example: ulvex entries room=kitchen temp:double=21.5 delta:int=-5 flags:hex=255");

    ConvertOptions co;
    CLI::App* convert = app.add_subcommand("convert",
                                           "Rewrite every record into the other form, in order, "
                                           "dropping the bytes between records");
    CLI::Option* toText = convert->add_flag("--to-text", co.toText, "Binary records in, text records out");
    CLI::Option* toBinary = convert->add_flag("--to-binary", co.toBinary, "Text records in, binary records out");
    toText->excludes(toBinary);
    convert->add_option("FILE", co.file, kFileHelp);
    convert->add_option("--threads", co.threads, kThreadsHelp)->check(NotNegative() & CLI::Range(0u, kMaxThreads));

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
        if (*list) return RunList(lo);
        if (*extract) return RunExtract(xo);
        if (*pack) return RunPack(po);
        if (*entries) return RunEntries(entryArgs);
        return RunConvert(co);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "ulvex %s: %s (see 'ulvex %s --help')\n", sub.c_str(), e.what(), sub.c_str());
        return 2;
    } catch (const Failure& e) {
        std::fprintf(stderr, "ulvex %s: %s\n", sub.c_str(), e.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "ulvex %s: out of memory\n", sub.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ulvex %s: %s\n", sub.c_str(), e.what());
    }
    return 1;
}
