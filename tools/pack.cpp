// ulvex pack: the input bytes framed as one record.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "ulvex/ulvex.h"

namespace ulvex_cli {
namespace {

struct PackOptions {
    std::string file = "-", name;
    unsigned int version = 0;
    bool text = false;
};

int RunPack(const PackOptions& o) {
    const std::string name = ParseNameOption(o.name);
    Input in;
    OpenInput(in, o.file, "pack");
    const std::uint64_t most = ulvex::MaxPayloadLength(FormOf(o.text));
    if (in.Size() > most)
        throw Failure("payload of " + Num(in.Size()) + " bytes is too long for one record (at most " + Num(most) + ")");
    Output out;
    std::vector<unsigned char> record;
    const auto version = static_cast<unsigned char>(o.version);
    if (o.text) {
        if (version == 14) WarnTextVersion14("pack");
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

}  // namespace

void AddPackCommand(Commands& commands) {
    auto o = std::make_shared<PackOptions>();
    CLI::App* pack =
        commands.Add("pack", "Frame the input bytes as one record on standard output", [o] { return RunPack(*o); });
    pack->add_option("--name", o->name, "Tag name (up to 4 bytes; \\xNN for any byte)")->required();
    pack->add_option("--version", o->version,
                     "Version byte, 0-255 (default 0); the text form cannot hold 14 and writes 15 (with a warning)")
        ->check(CLI::Range(0, 255));
    pack->add_flag("--text", o->text, "Write the text form instead of the binary one");
    pack->add_option("FILE", o->file, kFileHelp);
    pack->footer("Records are appended by concatenating outputs: ulvex pack ... >> capture.bin");
}

}  // namespace ulvex_cli
