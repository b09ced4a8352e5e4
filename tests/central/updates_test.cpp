// Application updates: publishing, the manifest and the list by date.
#include "central_rig.h"

#include "central/manifest.h"
#include "central/moment.h"
#include "core/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace edi::central::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

Timestamp at(const std::string& text) {
    return parseMoment(text).value();
}

struct Row {
    std::string nome, destino, tipo, exec;
    bool operator==(const Row&) const = default;
};

void PrintTo(const Row& r, std::ostream* os) {
    *os << "{" << r.nome << ", " << r.destino << ", " << r.tipo << ", " << r.exec << "}";
}

std::vector<Row> updates(CentralRig& rig, const std::string& data) {
    PacketTable list = rig.packet("/dbArquivo.php?op=APP&data=" + transport::encodeQueryValue(data));
    std::vector<Row> rows;
    for (list.first(); !list.eof(); list.next())
        rows.push_back({list.value("NOME").asText(), list.value("DESTINO").asText(), list.value("TIPO").asText(),
                        list.value("EXEC").asText()});
    return rows;
}

class CentralUpdates : public ::testing::Test {
protected:
    void publish(const std::string& name, const std::string& content, const std::string& destino,
                 const std::string& when, const std::string& tipo = "1", const std::string& exec = "0") {
        const fs::path file = rig.scratch() / name;
        writeFileAtomically(file, content);
        publishUpdate(WebRoot(rig.root()), file, Publication{at(when), {}, destino, tipo, exec});
    }

    CentralRig rig;
};

TEST_F(CentralUpdates, ListsWhatWasPublishedAtOrAfterTheMomentGiven) {
    publish("old.zip", "old", "/*APP*/old.dll", "2013-05-01 08:00:00");
    publish("edi.zip", "new", "/*APP*/edi.exe", "2013-05-04 10:22:31", "1", "1");
    publish("report.pdf", "pdf", "C:\\Docs\\report.pdf", "2013-06-01 00:00:00", "0", "0");

    const Row oldZip{"E:\\Home\\quelmar\\Web\\app\\old.zip", "/*APP*/old.dll", "1", "0"};
    const Row ediZip{"E:\\Home\\quelmar\\Web\\app\\edi.zip", "/*APP*/edi.exe", "1", "1"};
    const Row report{"E:\\Home\\quelmar\\Web\\app\\report.pdf", "C:\\Docs\\report.pdf", "0", "0"};
    EXPECT_THAT(updates(rig, "'01-01-1900'"), ElementsAre(oldZip, ediZip, report));
    EXPECT_THAT(updates(rig, "'2013-05-04 10:22:31'"), ElementsAre(ediZip, report));
    EXPECT_THAT(updates(rig, "'2013-05-04 10:22:32'"), ElementsAre(report));
    EXPECT_THAT(updates(rig, "'2013-06-01 00:00:01'"), IsEmpty());
    EXPECT_THAT(updates(rig, "'01/06/2013'"), ElementsAre(report));

    EXPECT_EQ(rig.mustGet("/app/edi.zip"), "new");
}

TEST_F(CentralUpdates, PublishingAgainReplacesTheFileAndItsEntry) {
    publish("edi.zip", "v1", "/*APP*/edi.exe", "2013-05-01 08:00:00");
    publish("edi.zip", "v2", "/*APP*/bin/edi.exe", "2013-05-02 08:00:00", "1", "1");

    EXPECT_THAT(updates(rig, "'2013-01-01 00:00:00'"),
                ElementsAre(Row{"E:\\Home\\quelmar\\Web\\app\\edi.zip", "/*APP*/bin/edi.exe", "1", "1"}));
    EXPECT_EQ(rig.mustGet("/app/edi.zip"), "v2");
    EXPECT_EQ(readManifest(rig.root() / "app" / "manifest.txt").size(), 1u);
}

TEST_F(CentralUpdates, AHandWrittenManifestIsRead) {
    writeFileAtomically(rig.root() / "app" / "tool.exe", "MZ");
    writeFileAtomically(rig.root() / "app" / "manifest.txt",
                        "# PUBLICADO\tNOME\tDESTINO\tTIPO\tEXEC\r\n"
                        "\r\n"
                        "2014-02-03 04:05:06\ttool.exe\t/*APP*/tool.exe\t0\t1\r\n"
                        "2014-02-03 04:05:07\tgone.zip\t/*APP*/gone.exe\t1\t0\r\n");
    EXPECT_THAT(updates(rig, "'01-01-1900'"),
                ElementsAre(Row{"E:\\Home\\quelmar\\Web\\app\\tool.exe", "/*APP*/tool.exe", "0", "1"}));
    EXPECT_TRUE(rig.log().waitFor("o arquivo publicado gone.zip não está em"));
}

TEST_F(CentralUpdates, AMalformedManifestIsAServerErrorNamingTheLine) {
    writeFileAtomically(rig.root() / "app" / "manifest.txt", "2014-02-03 04:05:06\ttool.exe\t/*APP*/tool.exe\n");
    EXPECT_FALSE(rig.get("/dbArquivo.php?op=APP&data='01-01-1900'").has_value());
    EXPECT_EQ(rig.status(), 500);
    EXPECT_TRUE(rig.log().waitFor("APP&data='01-01-1900' 500"));
    EXPECT_THROW(readManifest(rig.root() / "app" / "manifest.txt"), Error);
    try {
        readManifest(rig.root() / "app" / "manifest.txt");
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("linha 1: esperados 5 campos"));
    }
}

TEST_F(CentralUpdates, ValuesTheManifestCannotHoldAreRefusedWhenPublishing) {
    const fs::path manifest = rig.scratch() / "manifest.txt";
    writeFileAtomically(manifest, "x");
    EXPECT_THROW(publishUpdate(WebRoot(rig.root()), manifest, Publication{at("2014-01-01"), {}, "/*APP*/x", "0", "0"}),
                 Error);
    const fs::path file = rig.scratch() / "ok.zip";
    writeFileAtomically(file, "x");
    EXPECT_THROW(publishUpdate(WebRoot(rig.root()), file, Publication{at("2014-01-01"), {}, "a\tb", "0", "0"}), Error);
    EXPECT_THROW(publishUpdate(WebRoot(rig.root()), file, Publication{at("2014-01-01"), {}, "", "0", "0"}), Error);
    EXPECT_THROW(publishUpdate(WebRoot(rig.root()), rig.scratch() / "missing.zip",
                               Publication{at("2014-01-01"), {}, "/*APP*/x", "0", "0"}),
                 IoError);
    EXPECT_THAT(readManifest(rig.root() / "app" / "manifest.txt"), IsEmpty());
}

TEST(CentralMoments, TheFormsUnitsSendAreRead) {
    EXPECT_EQ(parseMoment("2013-05-04 10:22:31"), Timestamp::fromParts(2013, 5, 4, 10, 22, 31));
    EXPECT_EQ(parseMoment("01-01-1900"), Timestamp::fromParts(1900, 1, 1));
    EXPECT_EQ(parseMoment("04/05/2013 10:22"), Timestamp::fromParts(2013, 5, 4, 10, 22));
    EXPECT_EQ(parseMoment("2013-05-04"), Timestamp::fromParts(2013, 5, 4));
    for (const char* bad : {"", "2013-05-04 25:00:00", "2013-02-29", "31-04-2013", "2013-5", "13-05-04",
                            "2013-05-04 10", "2013-05-04 10:22:31:00", "x013-05-04", "2013-05-04  10:22:31"})
        EXPECT_EQ(parseMoment(bad), std::nullopt) << bad;

    EXPECT_EQ(unquoteLiteral("'01-01-1900'"), "01-01-1900");
    EXPECT_EQ(unquoteLiteral("'it''s'"), "it's");
    EXPECT_EQ(unquoteLiteral("2013-05-04"), "2013-05-04");
    EXPECT_EQ(unquoteLiteral("''"), "");
    EXPECT_EQ(unquoteLiteral("'open"), std::nullopt);
    EXPECT_EQ(unquoteLiteral("'it's'"), std::nullopt);
    EXPECT_EQ(unquoteLiteral("'"), std::nullopt);
}

} // namespace
} // namespace edi::central::test
