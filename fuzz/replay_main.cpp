// Runs a harness on files, as the fuzzer replays inputs, for builds without
// the fuzzer (g++, the sanitizer builds): every argument is a file or a
// folder of files. The corpus and the regression inputs thus run in every
// test run, and a failed invariant fails the test (the harness aborts).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_input.h"

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else {
            files.push_back(path);
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no input files: a replay that runs nothing proves nothing\n");
        return 1;
    }
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 1;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // A copy of exactly the input's bytes, so the sanitizers see any read past it.
        std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
        std::uint8_t* data = input.empty() ? nullptr : input.data();
        LLVMFuzzerTestOneInput(data, input.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
