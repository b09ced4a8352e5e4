// Runs the fuzz target over every sample packet and deterministic mutations of each, where libFuzzer is not
// available; registered as a test so that every build exercises the reader with hostile input.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<std::string> samples(const std::filesystem::path &folder) {
    std::vector<std::filesystem::path> paths;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> contents;
    for (const auto &p : paths) {
        std::ifstream in(p, std::ios::binary);
        contents.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return contents;
}

std::vector<std::string> mutationsOf(const std::string &seed, const std::string &other, std::mt19937 &rng) {
    std::vector<std::string> out;
    const auto at = [&](size_t bound) { return bound ? std::uniform_int_distribution<size_t>(0, bound - 1)(rng) : 0; };
    for (size_t k = 1; k < 8; ++k)
        out.push_back(seed.substr(0, seed.size() * k / 8));
    static const char specials[] = {'<', '>', '"', '\'', '&', '/', '=', ';', '#', '\0', '\r', '\x80', '\xC3', '\xFF'};
    for (int k = 0; k < 96 && !seed.empty(); ++k) {
        std::string m = seed;
        m[at(m.size())] = k % 3 ? specials[at(sizeof specials)] : static_cast<char>(at(256));
        out.push_back(std::move(m));
    }
    for (int k = 0; k < 6 && !seed.empty(); ++k) {
        std::string m = seed;
        const size_t from = at(m.size());
        m.erase(from, at(64) + 1);
        out.push_back(std::move(m));
        std::string d = seed;
        const size_t start = at(d.size());
        d.insert(at(d.size()), d.substr(start, at(200) + 1));
        out.push_back(std::move(d));
    }
    out.push_back(seed.substr(0, seed.size() / 2) + other.substr(other.size() / 2));
    return out;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " SAMPLE_FOLDER\n";
        return 2;
    }
    const auto seeds = samples(argv[1]);
    std::mt19937 rng(20240315);
    size_t runs = 0;
    const auto run = [&](const std::string &input) {
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
        ++runs;
    };
    for (size_t i = 0; i < seeds.size(); ++i) {
        run(seeds[i]);
        for (const auto &m : mutationsOf(seeds[i], seeds[(i + 1) % seeds.size()], rng))
            run(m);
    }
    std::cout << "replayed " << runs << " inputs from " << seeds.size() << " sample files\n";
    return seeds.empty() ? 1 : 0;
}
