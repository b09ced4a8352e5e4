// Registrations, the per-unit lists, acknowledgements, dropped references and unit versions.
#include "central_rig.h"

#include "central/web_root.h"
#include "core/files.h"

#include <httplib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace edi::central::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::Pair;
using ::testing::SizeIs;

std::vector<std::string> namesIn(const std::vector<std::pair<std::string, std::string>>& rows) {
    std::vector<std::string> names;
    for (const auto& [id, path] : rows)
        names.push_back(path.substr(path.rfind('\\') + 1));
    return names;
}

ServerConfig withUnits(std::vector<UnitSeed> units) {
    ServerConfig c;
    c.units = std::move(units);
    return c;
}

TEST(CentralRouting, AFileFromAUnitWaitsForTheCentralUnitOnly) {
    CentralRig rig(withUnits({{12, {}}, {14, {}}}));
    EXPECT_EQ(rig.send("PACIENTE12010124120000.xml", 12), 200);

    EXPECT_THAT(rig.waiting(31), ElementsAre(Pair("1", uploadedPath("PACIENTE12010124120000.xml"))));
    EXPECT_THAT(rig.waiting(12), IsEmpty());
    EXPECT_THAT(rig.waiting(14), IsEmpty());
}

TEST(CentralRouting, AFileFromTheCentralUnitWaitsForEveryUnitAlsoOnesThatFirstCallLater) {
    CentralRig rig(withUnits({{12, {}}}));
    rig.waiting(14); // unit 14 becomes known by calling
    EXPECT_EQ(rig.send("MUNICIPIO31010124120000.xml", 31), 200);
    EXPECT_EQ(rig.send("UNIDADE31010124120000.xml", 31), 200);
    EXPECT_EQ(rig.send("MUNICIPIO31010124120000.xml", 31), 200); // registered again: still one entry per unit

    EXPECT_THAT(namesIn(rig.waiting(12)), ElementsAre("UNIDADE31010124120000.xml", "MUNICIPIO31010124120000.xml"));
    EXPECT_THAT(namesIn(rig.waiting(14)), ElementsAre("UNIDADE31010124120000.xml", "MUNICIPIO31010124120000.xml"));
    EXPECT_THAT(rig.waiting(31), IsEmpty());
    EXPECT_THAT(rig.log().text(),
                HasSubstr("registrado MUNICIPIO31010124120000.xml da unidade 31 para a(s) unidade(s) 12,14"));
    // Units that call for the first time later, also after a restart, get every central file.
    EXPECT_THAT(namesIn(rig.waiting(16)), ElementsAre("UNIDADE31010124120000.xml", "MUNICIPIO31010124120000.xml"));
    rig.restart();
    EXPECT_THAT(namesIn(rig.waiting(18)), ElementsAre("UNIDADE31010124120000.xml", "MUNICIPIO31010124120000.xml"));
    EXPECT_THAT(rig.waiting(31), IsEmpty());
}

TEST(CentralRouting, TheNetworkPageShowsEachUnitsContactWaitingVersionAndUploadAndMarksSilentOnes) {
    CentralRig rig(withUnits({{40, "2.0.0"}})); // known from the command line, never called
    rig.mustGet("/dbUnidade.php?op=S&unidade=12&versao=2.1.0");
    rig.mustGet("/dbArquivo.php?op=S&unidade=31"); // the central unit is listed once it calls
    EXPECT_EQ(rig.send("PACIENTE12010124120000.xml", 12), 200);
    rig.restart(); // what the page shows survives a restart

    const std::string page = rig.mustGet("/rede");
    EXPECT_THAT(page, HasSubstr("<tr><td>12</td><td>"));
    EXPECT_THAT(page, HasSubstr("</td><td>0</td><td>2.1.0</td><td>"));
    EXPECT_THAT(page, Not(HasSubstr("<tr><td>12</td><td>nunca")));
    EXPECT_THAT(page, HasSubstr("<tr><td>31</td><td>"));
    EXPECT_THAT(page, HasSubstr("</td><td>1</td><td></td><td>nunca</td><td></td></tr>")); // the file of 12 waits
    EXPECT_THAT(page,
                HasSubstr("<tr class=\"silenciosa\"><td>40</td><td>nunca</td><td>0</td><td>2.0.0</td><td>nunca</td>"
                          "<td>silenciosa há mais de um dia</td></tr>"));
}

TEST(CentralRouting, TheCentralCodeComesFromTheConfiguration) {
    ServerConfig c;
    c.centralUnit = 1;
    CentralRig rig(c);
    rig.waiting(31);
    EXPECT_EQ(rig.send("A.xml", 31), 200);
    EXPECT_THAT(namesIn(rig.waiting(1)), ElementsAre("A.xml"));
    EXPECT_THAT(rig.waiting(31), IsEmpty());
}

TEST(CentralRouting, TheListIsADataPacketWithAnIntegerIdentifierAndAServerPath) {
    CentralRig rig;
    rig.send("B.xml", 12);
    rig.send("A.xml", 12);

    const std::string body = rig.mustGet("/dbArquivo.php?op=S&unidade=31");
    EXPECT_EQ(body.rfind("<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">", 0), 0u);
    PacketTable list = PacketTable::loadFromString(body);
    ASSERT_EQ(list.fieldCount(), 2u);
    EXPECT_EQ(list.field(0).type, FieldType::Integer);
    EXPECT_TRUE(isTextType(list.field(1).type));
    ASSERT_EQ(list.recordCount(), 2u);
    list.first();
    EXPECT_EQ(list.value(0).asInt64(), 1);
    EXPECT_EQ(list.value(1).asText(), "E:\\Home\\quelmar\\Web\\edi\\out\\B.xml");
    list.next();
    EXPECT_EQ(list.value(0).asInt64(), 2);
    EXPECT_EQ(list.value(1).asText(), "E:\\Home\\quelmar\\Web\\edi\\out\\A.xml");
}

TEST(CentralRouting, PacketAnswersAreServedAsXml) {
    CentralRig rig;
    httplib::Client raw("127.0.0.1", rig.server().port());
    raw.set_basic_auth("quelmar", "dorven");
    for (const char* path :
         {"/dbArquivo.php?op=S&unidade=12", "/dbUnidade.php?op=S", "/dbArquivo.php?op=APP&data='01-01-1900'"}) {
        const auto res = raw.Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/xml") << path;
    }
}

TEST(CentralRouting, AnAcknowledgedEntryLeavesOnlyThatUnitsList) {
    CentralRig rig(withUnits({{12, {}}, {14, {}}}));
    rig.send("REF.xml", 31);
    const auto for12 = rig.waiting(12);
    ASSERT_THAT(for12, SizeIs(1));

    EXPECT_EQ(rig.acknowledge(for12[0].first, 14), 404); // not unit 14's entry
    EXPECT_EQ(rig.acknowledge(for12[0].first, 12), 200);
    EXPECT_THAT(rig.waiting(12), IsEmpty());
    EXPECT_THAT(namesIn(rig.waiting(14)), ElementsAre("REF.xml"));
    // Again, as after an answer lost on the way: still done, and the entry stays received once.
    EXPECT_EQ(rig.acknowledge(for12[0].first, 12), 200);
    EXPECT_THAT(rig.waiting(12), IsEmpty());
    EXPECT_EQ(rig.acknowledge("999", 12), 404);
}

TEST(CentralRouting, ADroppedReferenceIsDroppedWaitingOrReceivedAndAnsweredOk) {
    CentralRig rig(withUnits({{12, {}}, {14, {}}}));
    rig.send("BROKEN.xml", 31);
    rig.send("GOOD.xml", 31);
    rig.send("READ.xml", 31);

    rig.get("/dbArquivo.php?op=D&nome=BROKEN.xml&unidade=12");
    EXPECT_EQ(rig.status(), 200);
    EXPECT_THAT(namesIn(rig.waiting(12)), ElementsAre("GOOD.xml", "READ.xml"));
    EXPECT_THAT(namesIn(rig.waiting(14)), ElementsAre("BROKEN.xml", "GOOD.xml", "READ.xml"));

    // The real flow: the unit downloaded and acknowledged the file, then found it unreadable.
    const auto for12 = rig.waiting(12);
    ASSERT_EQ(rig.acknowledge(for12[1].first, 12), 200);
    rig.get("/dbArquivo.php?op=D&nome=READ.xml&unidade=12");
    EXPECT_EQ(rig.status(), 200);
    rig.get("/dbArquivo.php?op=D&nome=READ.xml&unidade=12"); // nothing left to drop: still done
    EXPECT_EQ(rig.status(), 200);
    std::vector<std::string> records;
    for (const Delivery& d : rig.server().store().deliveries())
        if (d.to == 12)
            records.push_back(d.name + (d.status == Delivery::Status::Dropped ? " dropped" : " kept"));
    EXPECT_THAT(records, ElementsAre("BROKEN.xml dropped", "GOOD.xml kept", "READ.xml dropped"));
    EXPECT_THAT(namesIn(rig.waiting(14)), SizeIs(3));
}

TEST(CentralRouting, RegisteringAgainReplacesTheWaitingEntryInsteadOfAddingOne) {
    CentralRig rig;
    rig.send("PACIENTE12.xml", 12, "<first/>");
    const auto before = rig.waiting(31);
    ASSERT_THAT(before, SizeIs(1));

    // The unit crashed after the registration and sends the file again.
    rig.send("PACIENTE12.xml", 12, "<second/>");
    const auto after = rig.waiting(31);
    ASSERT_THAT(after, SizeIs(1));
    EXPECT_NE(after[0].first, before[0].first);
    // The server keeps one file per name: the newer one.
    EXPECT_EQ(rig.mustGet("/edi/out/PACIENTE12.xml"), "<second/>");
    // Acknowledging the entry listed before the replacement does not hide the newer content.
    EXPECT_EQ(rig.acknowledge(before[0].first, 31), 404);
    EXPECT_THAT(rig.waiting(31), SizeIs(1));

    // Once received, the same name registered again is a new delivery.
    EXPECT_EQ(rig.acknowledge(after[0].first, 31), 200);
    rig.send("PACIENTE12.xml", 12, "<third/>");
    EXPECT_THAT(rig.waiting(31), SizeIs(1));
}

TEST(CentralRouting, ConcurrentRegistrationsOfOneNameLeaveOneEntryAndOfManyNamesLoseNone) {
    CentralRig rig;
    ASSERT_TRUE(rig.upload("SAME.xml", "<x/>"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            transport::HttpClient client(clientOptions());
            for (int i = 0; i < 5; ++i) {
                client.getText(rig.url("/dbArquivo.php?op=I&nome=SAME.xml&unidade=12"));
                const std::string name = "F" + std::to_string(t) + "_" + std::to_string(i) + ".xml";
                writeFileAtomically(rig.scratch() / name, "<x/>");
                client.BlockingUpload(rig.url("/edi/ReceiveUpload.aspx"), rig.scratch() / name);
                client.getText(rig.url("/dbArquivo.php?op=I&nome=" + name + "&unidade=12"));
            }
        });
    for (auto& t : threads)
        t.join();

    const auto rows = rig.waiting(31);
    EXPECT_THAT(rows, SizeIs(31));
    std::set<std::string> ids, names;
    for (const auto& [id, path] : rows) {
        ids.insert(id);
        names.insert(path);
    }
    EXPECT_EQ(ids.size(), 31u);
    EXPECT_EQ(names.size(), 31u);
    rig.restart();
    EXPECT_THAT(rig.waiting(31), SizeIs(31));
}

TEST(CentralRouting, AFileThatWasNeverUploadedIsNotRegistered) {
    CentralRig rig;
    EXPECT_EQ(rig.registerFile("GHOST.xml", 12), 404);
    EXPECT_THAT(rig.waiting(31), IsEmpty());
}

TEST(CentralRouting, BadRequestsAreRefusedWithAShortText) {
    ServerConfig c;
    c.sharedSql = true;
    CentralRig rig(c);
    rig.upload("A.xml", "<x/>");
    const std::vector<std::string> bad = {
        "/dbArquivo.php?unidade=12",                      // no op
        "/dbArquivo.php?op=X&unidade=12",                 // unknown op
        "/dbArquivo.php?op=S",                            // no unit
        "/dbArquivo.php?op=S&unidade=abc",                // not a unit code
        "/dbArquivo.php?op=S&unidade=-999",               // an installation without a unit code
        "/dbArquivo.php?op=I&unidade=12",                 // no name
        "/dbArquivo.php?op=I&nome=..%2FA.xml&unidade=12", // leaves the folder
        "/dbArquivo.php?op=I&nome=&unidade=12",
        "/dbArquivo.php?op=A&edi=x&unidade=12",
        "/dbArquivo.php?op=A&unidade=12",
        "/dbArquivo.php?op=APP",
        "/dbArquivo.php?op=APP&data='yesterday'",
        "/dbArquivo.php?op=APP&data='2013-02-30%2010:00:00'",
        "/dbArquivoProtocolo.php?op=X&nome=A.xml&unidade=12",
        "/dbUnidade.php?op=X",
        "/dbSQL.php?op=&sql=select",
        "/dbSQL.php?op=S",
    };
    for (const std::string& path : bad) {
        EXPECT_FALSE(rig.get(path).has_value()) << path;
        EXPECT_EQ(rig.status(), 400) << path;
    }
    httplib::Client raw("127.0.0.1", rig.server().port());
    raw.set_basic_auth("quelmar", "dorven");
    const auto res = raw.Get("/dbArquivo.php?op=X&unidade=12");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "op desconhecida \"X\"\n");
    EXPECT_THAT(rig.waiting(31), IsEmpty());
    EXPECT_TRUE(rig.log().waitFor("GET /dbSQL.php?op=S 400"));
}

TEST(CentralRouting, StateSurvivesARestart) {
    CentralRig rig(withUnits({{12, "2.0.9"}}));
    rig.send("UP.xml", 12);
    rig.send("DOWN.xml", 31);
    rig.send("DOWN2.xml", 31);
    const auto for12 = rig.waiting(12);
    ASSERT_THAT(for12, SizeIs(2));
    rig.acknowledge(for12[0].first, 12);
    rig.upload("Protocolo12_010124120000.html", "<table></table>");
    rig.get("/dbArquivoProtocolo.php?op=I&nome=Protocolo12_010124120000.html&unidade=12");
    rig.get("/dbUnidade.php?op=S&unidade=14&versao=2.1.0-05");

    rig.restart();
    EXPECT_THAT(namesIn(rig.waiting(31)), ElementsAre("UP.xml"));
    EXPECT_THAT(namesIn(rig.waiting(12)), ElementsAre("DOWN2.xml"));
    ASSERT_THAT(rig.server().store().protocols(), SizeIs(1));
    EXPECT_EQ(rig.server().store().protocols()[0].name, "Protocolo12_010124120000.html");
    // Identifiers keep rising across the restart (4 and 5 went to unit 14 for the two central files).
    rig.send("LATER.xml", 12);
    const auto for31 = rig.waiting(31);
    ASSERT_THAT(for31, SizeIs(2));
    EXPECT_EQ(for31[1].first, "6");
    PacketTable units = rig.packet("/dbUnidade.php?op=S");
    std::vector<std::string> seen;
    for (units.first(); !units.eof(); units.next())
        seen.push_back(units.value("UNIDADE").asText() + "=" + units.value("VERSAO").asText());
    EXPECT_THAT(seen, ElementsAre("12=2.0.9", "14=2.1.0-05", "31=2.1.0-04"));
}

TEST(CentralRouting, AStateFileThatCannotBeReadStopsTheServerFromStarting) {
    if (onPostgres())
        GTEST_SKIP() << "o estado não está num arquivo";
    CentralRig rig;
    rig.send("A.xml", 12);
    rig.stop();
    writeFileAtomically(WebRoot(rig.root()).stateFile(), "<central><delivery id=");
    ServerConfig c;
    c.root = rig.root();
    EXPECT_THROW(CentralServer server(c), Error);
}

TEST(CentralUnits, VersionsComeFromTheRequestsTheCommandLineOrTheDefault) {
    CentralRig rig(withUnits({{12, "2.0.1"}, {14, {}}}));
    rig.get("/dbArquivo.php?op=S&unidade=16&versao=2.1.0-07");
    rig.get("/dbArquivo.php?op=S&unidade=12"); // no version: keeps the one it has

    PacketTable units = rig.packet("/dbUnidade.php?op=S");
    ASSERT_GE(units.fieldIndex("UNIDADE"), 0);
    ASSERT_GE(units.fieldIndex("VERSAO"), 0);
    EXPECT_EQ(units.field(units.fieldIndex("UNIDADE")).type, FieldType::Integer);
    std::vector<std::string> seen;
    for (units.first(); !units.eof(); units.next())
        seen.push_back(std::to_string(units.value("UNIDADE").asInt32()) + "=" + units.value("VERSAO").asText());
    EXPECT_THAT(seen, ElementsAre("12=2.0.1", "14=2.1.0-04", "16=2.1.0-07"));

    rig.get("/dbArquivo.php?op=S&unidade=12&versao=2.1.0-08");
    units = rig.packet("/dbUnidade.php?op=S");
    units.first();
    EXPECT_EQ(units.value("VERSAO").asText(), "2.1.0-08");
}

TEST(CentralProtocols, ASummaryIsRecordedOnlyOnceUploaded) {
    CentralRig rig;
    rig.get("/dbArquivoProtocolo.php?op=I&nome=Protocolo12_040513102231.html&unidade=12");
    EXPECT_EQ(rig.status(), 404);
    EXPECT_THAT(rig.server().store().protocols(), IsEmpty());

    ASSERT_TRUE(rig.upload("Protocolo12_345.xml", "<doc/>"));
    ASSERT_TRUE(rig.upload("Protocolo12_040513102231.html", "<table></table>"));
    rig.get("/dbArquivoProtocolo.php?op=I&nome=Protocolo12_040513102231.html&unidade=12");
    EXPECT_EQ(rig.status(), 200);
    const auto protocols = rig.server().store().protocols();
    ASSERT_THAT(protocols, SizeIs(1));
    EXPECT_EQ(protocols[0].name, "Protocolo12_040513102231.html");
    EXPECT_EQ(protocols[0].unit, 12);
    EXPECT_THAT(rig.log().text(), HasSubstr("resumo de protocolo Protocolo12_040513102231.html da unidade 12"));
    // A summary is not routed to any unit, and its links to the documents work.
    EXPECT_THAT(rig.waiting(31), IsEmpty());
    EXPECT_EQ(rig.mustGet("/edi/central/in/Protocolo12_345.xml"), "<doc/>");
}

} // namespace
} // namespace edi::central::test
