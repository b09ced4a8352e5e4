#include "platform/ini_file.h"

#include "support/temp_dir.h"

#include "core/errors.h"
#include "core/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace edi::platform {
namespace {

namespace fs = std::filesystem;

// A file as an operator keeps it: CRLF line ends, comments, blank lines, odd spacing and case.
const std::string kWindowsFile = "; configuration of this unit\r\n"
                                 "[Geral]\r\n"
                                 "DB=C:\\dados\\UNIDADE.FDB\r\n"
                                 "\r\n"
                                 "[edi]\r\n"
                                 "# switched on 2012\r\n"
                                 "Exportar=SIM\r\n"
                                 "  update =  01-01-1900  \r\n"
                                 "Tempo=30\r\n"
                                 "\r\n"
                                 "[Email]\r\n"
                                 "Host=smtp.unit.test\r\n";

class IniFileTest : public ::testing::Test {
protected:
    fs::path write(const std::string& text) {
        writeFileAtomically(path, text);
        return path;
    }
    test::TempDir dir;
    fs::path path = dir / "jaq.ini";
};

TEST_F(IniFileTest, ReadsSectionsAndKeysWithoutRegardToCase) {
    const IniFile ini(write(kWindowsFile + "[EDI]\r\nTempo=99\r\nIMPORTAR=\"SIM\"\r\n"));
    EXPECT_EQ(ini.readString("geral", "db", ""), "C:\\dados\\UNIDADE.FDB");
    EXPECT_EQ(ini.readString("EDI", "Update", "x"), "01-01-1900");
    EXPECT_EQ(ini.readString("EDI", "Exportar", "NAO"), "SIM");
    EXPECT_EQ(ini.readInteger("EDI", "Tempo", 60), 30) << "the first of two equal sections counts";
    EXPECT_EQ(ini.readString("EDI", "Importar", "NAO"), "NAO");
    EXPECT_EQ(ini.readString("Email", "Host", ""), "smtp.unit.test");
    EXPECT_EQ(ini.readString("EDI", "# switched on 2012", "none"), "none");
    EXPECT_EQ(ini.readString("Nada", "DB", "default"), "default");
}

TEST_F(IniFileTest, ValuesLoseBlanksAndOnePairOfQuotesAndBadNumbersGiveTheDefault) {
    const IniFile ini(
        write("\xEF\xBB\xBF[EDI]\nA= \"quoted value\" \nB='x'\nC=\"half\nTempo=abc\nT2= 15 \nT3=99999999999\n"
              "T4=-5\nEmpty=\n"));
    EXPECT_EQ(ini.readString("EDI", "A", ""), "quoted value") << "the byte-order mark must not hide the section";
    EXPECT_EQ(ini.readString("EDI", "B", ""), "x");
    EXPECT_EQ(ini.readString("EDI", "C", ""), "\"half");
    EXPECT_EQ(ini.readInteger("EDI", "Tempo", 60), 60);
    EXPECT_EQ(ini.readInteger("EDI", "T2", 60), 15);
    EXPECT_EQ(ini.readInteger("EDI", "T3", 60), 60);
    EXPECT_EQ(ini.readInteger("EDI", "T4", 60), -5);
    EXPECT_EQ(ini.readString("EDI", "Empty", "default"), "");
    EXPECT_EQ(ini.readInteger("EDI", "Empty", 60), 60);
}

TEST_F(IniFileTest, AMissingFileReadsAsEmpty) {
    const IniFile ini(path);
    EXPECT_EQ(ini.readString("EDI", "Update", "01-01-1900"), "01-01-1900");
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(IniFileTest, WritingAKeyChangesOnlyItsValue) {
    IniFile ini(write(kWindowsFile));
    ini.writeString("EDI", "UPDATE", "2013-05-04 10:22:31");

    std::string expected = kWindowsFile;
    const std::string old = "  update =  01-01-1900  \r\n";
    expected.replace(expected.find(old), old.size(), "  update =  2013-05-04 10:22:31\r\n");
    EXPECT_EQ(readFile(path), expected);
    EXPECT_EQ(IniFile(path).readString("EDI", "Update", ""), "2013-05-04 10:22:31");
    EXPECT_EQ(ini.readString("EDI", "Update", ""), "2013-05-04 10:22:31");
}

TEST_F(IniFileTest, AMissingKeyGoesAtTheEndOfItsSectionInTheFilesLineEnds) {
    IniFile ini(write(kWindowsFile));
    ini.writeString("Geral", "Usuario", "SYSDBA");
    std::string expected = kWindowsFile;
    const std::string dbLine = "DB=C:\\dados\\UNIDADE.FDB\r\n";
    expected.insert(expected.find(dbLine) + dbLine.size(), "Usuario=SYSDBA\r\n");
    EXPECT_EQ(readFile(path), expected);

    write("[EDI]\nExportar=SIM\n\n\n[Geral]\nDB=x");
    IniFile(path).writeString("Geral", "Senha", "s");
    EXPECT_EQ(readFile(path), "[EDI]\nExportar=SIM\n\n\n[Geral]\nDB=x\nSenha=s\n");
}

TEST_F(IniFileTest, AMissingSectionOrFileIsAddedAtTheEnd) {
    write("[Geral]\r\nDB=x");
    IniFile(path).writeString("EDI", "Update", "2011-03-04 17:20:05");
    EXPECT_EQ(readFile(path), "[Geral]\r\nDB=x\r\n[EDI]\r\nUpdate=2011-03-04 17:20:05\r\n");

    const fs::path fresh = dir / "new.ini";
    IniFile(fresh).writeString("EDI", "Update", "v");
    EXPECT_EQ(readFile(fresh), "[EDI]\nUpdate=v\n");
}

TEST_F(IniFileTest, AWriteKeepsWhatOthersChangedMeanwhileAndTheFilesPermissions) {
    IniFile ini(write("[EDI]\nUpdate=old\n"));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    writeFileAtomically(path, "[EDI]\nUpdate=old\nTempo=5\n"); // an operator's edit after the file was read
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);

    ini.writeString("EDI", "Update", "new");
    EXPECT_EQ(readFile(path), "[EDI]\nUpdate=new\nTempo=5\n");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IniFileTest, ALineBreakInAValueIsRefusedAndTheFileStaysAsItWas) {
    IniFile ini(write(kWindowsFile));
    EXPECT_THROW(ini.writeString("EDI", "Update", "x\r\n[Geral]\r\nDB=evil"), Error);
    EXPECT_THROW(ini.writeString("EDI", "a=b", "x"), Error);
    EXPECT_THROW(ini.writeString("E]DI", "Update", "x"), Error);
    EXPECT_EQ(readFile(path), kWindowsFile);
}

} // namespace
} // namespace edi::platform
