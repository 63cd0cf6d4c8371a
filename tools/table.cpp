// ulvex table: the records and their entries as CSV, one row per record.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "escape.h"
#include "progress.h"
#include "scan.h"
#include "ulvex/ulvex.h"

namespace ulvex_cli {
namespace {

struct TableOptions {
    std::vector<std::string> files{"-"};
    bool text = false;
    std::vector<std::string> names;
    std::string keys;
    unsigned threads = 0;
    int progress = -1;  // --progress: 1, --no-progress: 0
};

// A CSV field: well-formed UTF-8 as it is, every other byte and the
// backslash as \xNN; quoted (with '"' doubled) when it holds ',', '"', CR or
// LF.
void AppendField(std::string& out, const unsigned char* p, std::size_t n) {
    static const char hex[] = "0123456789abcdef";
    const std::size_t start = out.size();
    bool quote = false;
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        char32_t cp = 0;
        const std::size_t len = c >= 0x80 ? Utf8Sequence(p + i, n - i, cp) : 1;
        if (c == '\\' || len == 0) {
            out += {'\\', 'x', hex[c >> 4], hex[c & 15]};
            ++i;
            continue;
        }
        quote = quote || c == ',' || c == '"' || c == '\r' || c == '\n';
        if (c == '"') out += '"';
        out.append(reinterpret_cast<const char*>(p + i), len);
        i += len;
    }
    if (quote) {
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(start), '"');
        out += '"';
    }
}

void AppendField(std::string& out, const std::string& s) {
    AppendField(out, reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

// --keys: names separated by commas; \xNN and \\ stand for one byte.
std::vector<std::string> ParseKeys(const std::string& text) {
    std::vector<std::string> keys(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ',') {
            keys.emplace_back();
        } else if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            keys.back() += '\\';
            ++i;
        } else if (c == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            keys.back() += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else if (c == '\\') {
            throw UsageError("--keys: a backslash starts \\xNN or \\\\");
        } else {
            keys.back() += c;
        }
    }
    for (const std::string& k : keys)
        if (k.empty()) throw UsageError("--keys: empty key name");
    return keys;
}

// The records of one input that the table lists, and their names.
struct Listed {
    std::vector<ulvex::Record> records;
    std::vector<std::string> names;
};

// With `progress`, the bytes scanned and the records found are counted there.
Listed Collect(const TableOptions& o, const std::vector<std::string>& wanted, const Input& in,
               Progress* progress = nullptr) {
    Listed l;
    std::uint64_t done = 0;
    ScanRecords(in.Data(), in.Size(), FormOf(o.text), o.threads, nullptr, [&](const ulvex::Record* r, std::size_t n) {
        if (progress != nullptr && n != 0) {
            const std::uint64_t end = r[n - 1].offset + r[n - 1].recordLen;
            progress->Add(end - done, n);
            done = end;
        }
        for (std::size_t i = 0; i < n; ++i) {
            std::string name = ulvex::RecordName(r[i]);
            const std::string key = o.text ? ulvex::TrimTextName(name) : name;
            bool keep = wanted.empty();
            for (const std::string& w : wanted) keep = keep || w == key;
            if (!keep) continue;
            l.records.push_back(r[i]);
            l.names.push_back(std::move(name));
        }
        return n;
    });
    if (progress != nullptr) progress->Add(in.Size() - done, 0);
    return l;
}

// Adds the keys of the listed records not in `keys` yet, in the order first seen.
void AddKeys(const TableOptions& o, const Input& in, const Listed& l, std::vector<std::string>& keys) {
    std::vector<ulvex::ByteSpan> found;
    ulvex::ListKeys(in.Data(), in.Size(), l.records.data(), l.records.size(), found, o.threads);
    for (const ulvex::ByteSpan& k : found) {
        std::string key(reinterpret_cast<const char*>(in.Data() + k.offset), k.length);
        bool known = false;
        for (const std::string& have : keys) known = known || have == key;
        if (!known) keys.push_back(std::move(key));
    }
}

// The rows of one input, each starting with `file` when one is given.
void WriteRows(const TableOptions& o, const Input& in, const Listed& l, const std::vector<std::string>& keys,
               const std::string* file, Output& out) {
    const unsigned char* const data = in.Data();
    const std::size_t n = l.records.size();
    std::vector<ulvex::Column> cols(keys.size());
    std::vector<unsigned char> present(keys.size() * n);
    std::vector<ulvex::ByteSpan> spans(keys.size() * n);
    for (std::size_t c = 0; c < keys.size(); ++c) {
        cols[c].key = keys[c].data();
        cols[c].keyLen = keys[c].size();
        cols[c].type = ulvex::ColumnType::Bytes;
        cols[c].present = present.data() + c * n;
        cols[c].spans = spans.data() + c * n;
    }
    ulvex::ColumnOptions options;
    options.threads = o.threads;
    ulvex::ReadColumns(data, in.Size(), l.records.data(), n, cols.data(), cols.size(), options, nullptr);
    std::string line;
    for (std::size_t i = 0; i < n; ++i) {
        if (file != nullptr) AppendField(line, *file), line += ',';
        line += Num(l.records[i].offset);
        AppendField(line += ',', l.names[i]);
        line += ',' + Num(l.records[i].version) + ',' + Num(l.records[i].payloadLen);
        for (std::size_t c = 0; c < keys.size(); ++c) {
            line += ',';
            const ulvex::ByteSpan& s = spans[c * n + i];
            if (present[c * n + i]) AppendField(line, data + s.offset, s.length);
        }
        line += '\n';
        if (line.size() >= (1u << 16)) {
            out.Write(line);
            line.clear();
        }
    }
    out.Write(line);
}

int RunTable(const TableOptions& o) {
    RejectDirectories(o.files);
    std::vector<std::string> wanted;
    for (const std::string& n : o.names)
        wanted.push_back(o.text ? ulvex::TrimTextName(ParseNameOption(n)) : ParseNameOption(n));
    std::vector<std::string> keys = o.keys.empty() ? std::vector<std::string>() : ParseKeys(o.keys);
    const bool several = o.files.size() > 1;
    // Without --keys, the keys of every file come first, for the one heading.
    for (std::size_t f = 0; o.keys.empty() && f < o.files.size(); ++f) {
        Input in;
        OpenInput(in, o.files[f], "table");
        AddKeys(o, in, Collect(o, wanted, in), keys);
        CheckInput(in);
    }
    Output out;
    std::string line = several ? "file,offset,name,version,payload_length" : "offset,name,version,payload_length";
    for (const std::string& k : keys) AppendField(line += ',', k);
    out.Write(line += '\n');
    const std::uint64_t total = FileBytes(o.files);
    Progress progress(ProgressWanted(o.progress, total), "ulvex table", total);
    for (const std::string& file : o.files) {
        Input in;
        OpenInput(in, file, "table");
        WriteRows(o, in, Collect(o, wanted, in, &progress), keys, several ? &file : nullptr, out);
        // Rows only from an input that held still.
        CheckInput(in);
    }
    progress.Stop();
    out.Finish();
    return 0;
}

}  // namespace

void AddTableCommand(Commands& commands) {
    auto o = std::make_shared<TableOptions>();
    CLI::App* table = commands.Add("table", "Write the records and their entries as CSV, one row per record",
                                   [o] { return RunTable(*o); });
    table->add_flag("--text", o->text, "Read the text form instead of the binary one");
    table->add_option("--name", o->names, "Only records of this name (repeatable; \\xNN for any byte)");
    table->add_option("--keys", o->keys,
                      "The entry columns, separated by commas (\\xNN and \\\\ for any byte); default: every key "
                      "found, in the order first seen");
    table->add_option("FILE", o->files, kFilesHelp);
    AddThreadsOption(*table, o->threads);
    AddProgressOptions(*table, o->progress);
    table->footer(
        "CSV (RFC 4180, LF line ends): offset,name,version,payload_length, then one column per key;\n"
        "with several files, a file column first.\n"
        "A missing entry is an empty field. Well-formed UTF-8 is written as it is (quoted when it holds\n"
        "a comma, a double quote, CR or LF); any other byte, and \\ itself, as \\xNN.");
}

}  // namespace ulvex_cli
