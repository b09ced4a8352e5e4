// Runs the fuzz target over every sample packet and deterministic mutations of each, where libFuzzer is not
// available; registered as a test so that every build exercises the reader with hostile input.
#include "mutations.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> samples(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> contents;
    for (const auto& p : paths) {
        std::ifstream in(p, std::ios::binary);
        contents.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return contents;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " SAMPLE_FOLDER\n";
        return 2;
    }
    const auto seeds = samples(argv[1]);
    std::mt19937 rng(20240315);
    size_t runs = 0;
    const auto run = [&](const std::string& input) {
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++runs;
    };
    for (size_t i = 0; i < seeds.size(); ++i) {
        run(seeds[i]);
        for (const auto& m : edi::fuzz::mutationsOf(seeds[i], seeds[(i + 1) % seeds.size()], rng))
            run(m);
    }
    std::cout << "replayed " << runs << " inputs from " << seeds.size() << " sample files\n";
    return seeds.empty() ? 1 : 0;
}
