#include "transport/zip_extract.h"

#include "support/temp_dir.h"
#include "support/zip_archive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

namespace edi::transport {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// A run killed in the middle of an extraction leaves its staging folder; a later extraction into the same folder
// removes it once it is a day old, and leaves a recent one (another extraction may still be using it).
TEST(ZipStaging, AnAbandonedStagingFolderIsRemovedOnceADayOld) {
    test::TempDir dir;
    const fs::path destino = dir / "app";
    for (const char* nome : {".unzip-velho", ".unzip-recente"}) {
        fs::create_directories(destino / nome);
        std::ofstream(destino / nome / "edi") << "metade";
    }
    fs::last_write_time(destino / ".unzip-velho", fs::file_time_type::clock::now() - std::chrono::hours(25));
    test::makeZip(dir / "u.zip", {{"edi", "novo"}});

    Descompactar(dir / "u.zip", destino);
    EXPECT_THAT(test::filesIn(destino), ElementsAre(".unzip-recente", "edi"));
}

} // namespace
} // namespace edi::transport
