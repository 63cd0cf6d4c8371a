// A stand-in for libFuzzer's driver where it is not available: runs
// LLVMFuzzerTestOneInput once on every file named on the command line and on
// every file of every directory named (in name order), each from a heap
// buffer of exactly its size so that the sanitizers catch an overread.
// Arguments that start with '-' (libFuzzer options) are ignored, so one
// command line serves both kinds of build. Exits 1 when an argument cannot be
// read or no input was found; a mismatch aborts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') continue;
        std::error_code ec;
        const std::size_t first = files.size();
        const bool dir = fs::is_directory(argv[i], ec);
        if (dir)
            for (fs::directory_iterator it(argv[i], ec), end; !ec && it != end; it.increment(ec))
                if (it->is_regular_file(ec)) files.push_back(it->path());
        if (!dir) files.push_back(argv[i]);
        std::sort(files.begin() + std::ptrdiff_t(first), files.end());
        if (ec) return std::fprintf(stderr, "%s: %s\n", argv[i], ec.message().c_str()), 1;
    }
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.is_open() || in.bad()) return std::fprintf(stderr, "%s: cannot be read\n", f.c_str()), 1;
        std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[std::max<std::size_t>(bytes.size(), 1)]);
        std::copy(bytes.begin(), bytes.end(), copy.get());
        LLVMFuzzerTestOneInput(copy.get(), bytes.size());
    }
    if (files.empty()) return std::fprintf(stderr, "usage: %s FILE|DIR...  (no input found)\n", argv[0]), 1;
    std::printf("%zu inputs replayed, no mismatch\n", files.size());
    return 0;
}
