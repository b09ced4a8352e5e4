// Runs the archive fuzz target over seed archives made here with libzip (plain, compressed, hostile names,
// links, a bomb, damaged) and deterministic mutations of each, where libFuzzer is not available; registered as
// a test. With a folder argument it also writes the seeds there, as a corpus for the libFuzzer target.
#include "mutations.h"

#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

struct Entry {
    std::string name;
    std::string content;
    unsigned mode = 0; // Unix mode with type bits; 0: made on a system that records none
    bool deflate = false;
};

std::string archiveOf(const std::vector<Entry>& entries) {
    const auto path = std::filesystem::temp_directory_path() / ("zip-seed-" + std::to_string(::getpid()) + ".zip");
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z)
        throw std::runtime_error("zip_open");
    for (const Entry& e : entries) {
        zip_source_t* source = zip_source_buffer(z, e.content.data(), e.content.size(), 0);
        const zip_int64_t i = zip_file_add(z, e.name.c_str(), source, ZIP_FL_ENC_RAW);
        if (i < 0) { // a name libzip will not store twice
            zip_source_free(source);
            continue;
        }
        const auto index = static_cast<zip_uint64_t>(i);
        zip_set_file_compression(z, index, e.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
        zip_file_set_external_attributes(z, index, 0, e.mode ? ZIP_OPSYS_UNIX : ZIP_OPSYS_DOS,
                                         e.mode ? e.mode << 16 : 0x20u);
    }
    if (zip_close(z) != 0)
        throw std::runtime_error("zip_close");
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    return bytes;
}

std::vector<std::string> seeds() {
    return {
        archiveOf({{"prog", "#!/bin/sh\necho novo\n", 0100755}, {"lib/ajuda.txt", "ajuda", 0100644}}),
        archiveOf({{"leia.txt", std::string(3000, 'a') + "fim", 0, true}, {"sub/leia.txt", "outra", 0, true}}),
        archiveOf(
            {{"../fora.txt", "x"}, {"/abs.txt", "x"}, {"..\\fora2.txt", "x"}, {"C:/d.txt", "x"}, {"ok.txt", "ok"}}),
        archiveOf({{"link", "/etc/passwd", 0120777}, {"pipe", "", 0010644}, {"ok", "ok", 0100600}}),
        archiveOf({{"bomba", std::string(4 << 20, '\0'), 0, true}}),
        archiveOf({{"a", "1"}, {"sub/a", "2"}, {"dir/", ""}, {".", "x"}, {"", "vazio"}}),
        archiveOf({}),
    };
}

} // namespace

int main(int argc, char** argv) {
    const auto seed = seeds();
    if (argc == 2) {
        std::filesystem::create_directories(argv[1]);
        for (size_t i = 0; i < seed.size(); ++i)
            std::ofstream(std::filesystem::path(argv[1]) / ("seed" + std::to_string(i) + ".zip"), std::ios::binary)
                << seed[i];
    }
    std::mt19937 rng(20240611);
    size_t runs = 0;
    const auto run = [&](const std::string& input) {
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++runs;
    };
    for (size_t i = 0; i < seed.size(); ++i) {
        run(seed[i]);
        for (const auto& m : edi::fuzz::mutationsOf(seed[i], seed[(i + 1) % seed.size()], rng, 300, 4))
            run(m);
    }
    std::cout << "replayed " << runs << " archives from " << seed.size() << " seeds\n";
    return 0;
}
