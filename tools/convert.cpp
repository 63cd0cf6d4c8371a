// ulvex convert: every record rewritten into the other form.
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "command.h"
#include "progress.h"
#include "scan.h"
#include "ulvex/ulvex.h"

namespace ulvex_cli {
namespace {

struct ConvertOptions {
    std::vector<std::string> files{"-"};
    bool toText = false, toBinary = false;
    unsigned threads = 0;
    int progress = -1;  // --progress: 1, --no-progress: 0
};

void ConvertFile(const ConvertOptions& o, const std::string& file, Output& out, Progress& progress);

// The records of every file, in the order given, into one output.
int RunConvert(const ConvertOptions& o) {
    if (o.toText == o.toBinary) throw UsageError("convert needs exactly one of --to-text and --to-binary");
    RejectDirectories(o.files);
    Output out;
    const std::uint64_t total = FileBytes(o.files);
    Progress progress(ProgressWanted(o.progress, total), "ulvex convert", total);
    for (const std::string& file : o.files) ConvertFile(o, file, out, progress);
    progress.Stop();
    out.Finish();
    return 0;
}

void ConvertFile(const ConvertOptions& o, const std::string& file, Output& out, Progress& progress) {
    Input in;
    OpenInput(in, file, "convert");
    std::unique_ptr<IUlvexEncoderBin> bin(IUlvexEncoderBin::CreateMe());
    std::unique_ptr<IUlvexEncoderTxt> txt(IUlvexEncoderTxt::CreateMe());
    std::vector<unsigned char> record, payload;
    const unsigned char* const data = in.Data();
    std::uint64_t done = 0;
    ScanRecords(
        data, in.Size(), o.toText ? ulvex::RecordForm::Binary : ulvex::RecordForm::Text, o.threads, nullptr,
        [&](const ulvex::Record* r, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i) {
                const std::string name = ulvex::RecordName(r[i]);
                const unsigned char* p = data + r[i].payloadOffset;
                record.clear();
                try {
                    if (o.toText) {
                        if (r[i].version == 14) WarnTextVersion14("convert");
                        payload.assign(p, p + r[i].payloadLen);
                        txt->AddTagTxt(record, name.c_str(), payload, r[i].version);
                    } else {
                        // Spaces ending a text name stand for zero name bytes.
                        bin->AddTagBin(record, ulvex::TrimTextName(name).c_str(), const_cast<unsigned char*>(p),
                                       r[i].payloadLen, r[i].version);
                    }
                } catch (const std::length_error&) {
                    throw Failure(file + ": record at offset " + Num(r[i].offset) + " is too long for the text form");
                }
                out.Write(record);
            }
            if (n != 0) {
                const std::uint64_t end = r[n - 1].offset + r[n - 1].recordLen;
                progress.Add(end - done, n);
                done = end;
            }
            return n;
        });
    progress.Add(in.Size() - done, 0);
    CheckInput(in);
}

}  // namespace

void AddConvertCommand(Commands& commands) {
    auto o = std::make_shared<ConvertOptions>();
    CLI::App* convert = commands.Add("convert",
                                     "Rewrite every record into the other form, in order, "
                                     "dropping the bytes between records",
                                     [o] { return RunConvert(*o); });
    CLI::Option* toText = convert->add_flag("--to-text", o->toText, "Binary records in, text records out");
    CLI::Option* toBinary = convert->add_flag("--to-binary", o->toBinary, "Text records in, binary records out");
    toText->excludes(toBinary);
    convert->add_option("FILE", o->files, kFilesHelp);
    AddThreadsOption(*convert, o->threads);
    AddProgressOptions(*convert, o->progress);
    convert->footer("The text form cannot hold version 14: such records are written as version 15 (with a warning).");
}

}  // namespace ulvex_cli
