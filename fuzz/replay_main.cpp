// A stand-in for libFuzzer's driver where it is not available: runs
// LLVMFuzzerTestOneInput once on every file named on the command line and on
// every file of every directory named (in name order), each from a heap
// buffer of exactly its size. Arguments that start with '-' (libFuzzer
// options) are ignored, so one command line serves both kinds of build.
// Exits 1 when an argument cannot be read or no input was found; a mismatch
// aborts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool Replay(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    // A buffer of exactly the input's size, so that an overread is caught by
    // the sanitizers when they are on.
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    LLVMFuzzerTestOneInput(copy.get(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!arg.empty() && arg[0] == '-') continue;
        std::error_code ec;
        std::vector<fs::path> files;
        if (fs::is_directory(arg, ec)) {
            for (fs::directory_iterator it(arg, ec), end; !ec && it != end; it.increment(ec))
                if (it->is_regular_file(ec)) files.push_back(it->path());
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(arg);
        }
        if (ec) {
            std::fprintf(stderr, "%s: %s\n", arg.c_str(), ec.message().c_str());
            return 1;
        }
        for (const fs::path& f : files) {
            if (!Replay(f)) {
                std::fprintf(stderr, "%s: cannot be read\n", f.c_str());
                return 1;
            }
            ++inputs;
        }
    }
    if (inputs == 0) {
        std::fprintf(stderr, "usage: %s FILE|DIR...  (no input found)\n", argv[0]);
        return 1;
    }
    std::printf("%zu inputs replayed, no mismatch\n", inputs);
    return 0;
}
