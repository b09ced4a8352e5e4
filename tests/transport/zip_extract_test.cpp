#include "transport/zip_extract.h"

#include "support/temp_dir.h"
#include "support/zip_archive.h"

#include "core/errors.h"
#include "core/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zip.h>

#include <random>

namespace edi::transport {
namespace {

namespace fs = std::filesystem;
using edi::test::filesIn;
using test::folder;
using test::makeZip;
using test::ZipEntry;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

class ZipExtractTest : public ::testing::Test {
protected:
    test::TempDir dir;
    fs::path archive = dir / "update.zip";
    fs::path destination = dir / "app" / "bin";
};

TEST_F(ZipExtractTest, EveryFileLandsUnderItsBareNameAndTheLaterOfTwoEqualNamesWins) {
    fs::create_directories(destination);
    writeFileAtomically(destination / "edi.cfg", "installed before");
    writeFileAtomically(destination / "untouched.txt", "stays");
    makeZip(archive, {{"a.txt", "top level a"},
                      folder("sub/"),
                      {"sub/deeper/edi.cfg", "new config"},
                      {"sub/a.txt", "a from sub"},
                      {"win\\style\\b.dll", "b"}});

    const ExtractionResult result = Descompactar(archive, destination);

    EXPECT_THAT(result.written, ElementsAre("a.txt", "edi.cfg", "b.dll"));
    EXPECT_TRUE(result.refused.empty());
    EXPECT_EQ(readFile(destination / "a.txt"), "a from sub");
    EXPECT_EQ(readFile(destination / "edi.cfg"), "new config");
    EXPECT_EQ(readFile(destination / "b.dll"), "b");
    EXPECT_EQ(readFile(destination / "untouched.txt"), "stays");
    EXPECT_EQ(filesIn(destination), (std::vector<std::string>{"a.txt", "b.dll", "edi.cfg", "untouched.txt"}))
        << "no folders and no staging leftovers";
}

TEST_F(ZipExtractTest, NamesThatCouldLeaveTheFolderAreRefusedAndNothingIsWrittenOutside) {
    std::random_device random;
    const fs::path absoluteTarget = fs::temp_directory_path() / ("edi-zip-abs-" + std::to_string(random()) + ".txt");
    makeZip(archive, {{"../escaped.txt", "x"},
                      {"sub/../../escaped2.txt", "x"},
                      {"..\\escaped3.txt", "x"},
                      {absoluteTarget.string(), "x"},
                      {"\\rooted.txt", "x"},
                      {"C:/drive.txt", "x"},
                      {"c:drive-relative.txt", "x"},
                      {"", "x"},
                      {"sub/..", "x"},
                      {"good.txt", "good"},
                      {"version..1.txt", "dots inside a name are fine"}});

    const ExtractionResult result = Descompactar(archive, destination);

    EXPECT_THAT(result.written, ElementsAre("good.txt", "version..1.txt"));
    EXPECT_THAT(result.refused, UnorderedElementsAre("../escaped.txt", "sub/../../escaped2.txt", "..\\escaped3.txt",
                                                     absoluteTarget.string(), "\\rooted.txt", "C:/drive.txt",
                                                     "c:drive-relative.txt", "", "sub/.."));
    EXPECT_FALSE(fs::exists(absoluteTarget));
    EXPECT_EQ(filesIn(destination), (std::vector<std::string>{"good.txt", "version..1.txt"}));
    EXPECT_EQ(filesIn(dir.path() / "app"), std::vector<std::string>{"bin"});
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"app", "update.zip"}));
}

TEST_F(ZipExtractTest, AFileThatIsNotAnArchiveIsAClearError) {
    writeFileAtomically(archive, "<html>404 Not Found</html>");
    try {
        Descompactar(archive, destination);
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_THAT(e.what(), HasSubstr("não é um arquivo ZIP"));
        EXPECT_THAT(e.what(), HasSubstr("update.zip"));
    }
    EXPECT_THROW(Descompactar(dir / "missing.zip", destination), IoError);
}

TEST_F(ZipExtractTest, AnEmptyArchiveWritesNothing) {
    // The end-of-central-directory record alone: a valid archive with no entries.
    writeFileAtomically(archive, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    const ExtractionResult result = Descompactar(archive, destination);
    EXPECT_TRUE(result.written.empty());
    EXPECT_TRUE(result.refused.empty());
    EXPECT_TRUE(filesIn(destination).empty());
}

fs::perms modeOf(const fs::path& file) {
    return fs::status(file).permissions() & fs::perms::all;
}

TEST_F(ZipExtractTest, TheRecordedUnixModeIsKeptAndAnEntryWithoutOneKeepsTheReplacedFilesMode) {
    fs::create_directories(destination);
    writeFileAtomically(destination / "start.sh", "old script");
    fs::permissions(destination / "start.sh", fs::perms(0750));
    writeFileAtomically(destination / "secret.cfg", "old");
    fs::permissions(destination / "secret.cfg", fs::perms(0600));
    makeZip(archive, {test::withMode("edi", "program", 0755),
                      {"start.sh", "new script"},
                      test::withMode("secret.cfg", "new", 0640)});

    EXPECT_THAT(Descompactar(archive, destination).written, ElementsAre("edi", "start.sh", "secret.cfg"));
    EXPECT_EQ(modeOf(destination / "edi"), fs::perms(0755));
    EXPECT_EQ(modeOf(destination / "start.sh"), fs::perms(0750));
    EXPECT_EQ(modeOf(destination / "secret.cfg"), fs::perms(0640));
    EXPECT_EQ(readFile(destination / "start.sh"), "new script");
}

TEST_F(ZipExtractTest, ADamagedEntryReplacesNothing) {
    fs::create_directories(destination);
    writeFileAtomically(destination / "first.txt", "old first");
    writeFileAtomically(destination / "second.txt", "old second");
    const std::string secondContent(4096, 'S');
    makeZip(archive, {{"first.txt", "new first"}, {"second.txt", secondContent}});

    std::string bytes = readFile(archive);
    const auto pos = bytes.find(secondContent);
    ASSERT_NE(pos, std::string::npos);
    bytes[pos + 100] = 'X'; // the stored checksum no longer matches
    writeFileAtomically(archive, bytes);

    EXPECT_THROW(Descompactar(archive, destination), IoError);
    EXPECT_EQ(readFile(destination / "first.txt"), "old first");
    EXPECT_EQ(readFile(destination / "second.txt"), "old second");
    EXPECT_EQ(filesIn(destination), (std::vector<std::string>{"first.txt", "second.txt"}));
}

} // namespace
} // namespace edi::transport
