// Accounts bound to units: what an account may do for which unit, the shared account, the SQL console.
#include "central_rig.h"

#include "central/contas.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

namespace edi::central::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr const char* kPacote = "PACIENTE12010124120000.xml";

// A few iterations keep the tests quick; the iteration count travels in the hash text.
void criaConta(CentralRig& rig, const std::string& login, std::optional<int> unidade, bool operador = false) {
    rig.server().store().gravaConta(Conta{login, hashDeSenha("senha-" + login, 1000), unidade, operador});
}

void entraComo(CentralRig& rig, const std::string& login) {
    rig.client = transport::HttpClient(clientOptions(login, "senha-" + login));
}

// The status and body of a GET, whatever the status.
std::pair<long, std::string> pagina(CentralRig& rig, const std::string& pathAndQuery) {
    const auto page = rig.client.getPage(rig.url(pathAndQuery));
    EXPECT_TRUE(page.has_value()) << pathAndQuery;
    return page ? std::pair(page->status, page->corpo) : std::pair(0L, std::string());
}

TEST(CentralContas, AHashVerifiesOnlyItsPassword) {
    const std::string hash = hashDeSenha("s3gredo", 1000);
    EXPECT_THAT(hash, ::testing::StartsWith("pbkdf2-sha256$1000$"));
    EXPECT_TRUE(senhaConfere("s3gredo", hash));
    EXPECT_FALSE(senhaConfere("S3gredo", hash));
    EXPECT_FALSE(senhaConfere("", hash));
    EXPECT_NE(hashDeSenha("s3gredo", 1000), hash); // salted
    for (const std::string bad : {"", "s3gredo", "md5$1000$00ff$00ff", "pbkdf2-sha256$0$00ff$00ff",
                                  "pbkdf2-sha256$1000$zz$00ff", "pbkdf2-sha256$1000$00ff"})
        EXPECT_FALSE(senhaConfere("s3gredo", bad)) << bad;
}

TEST(CentralContas, ARogueAccountGetsNothingOfAnotherUnit) {
    CentralRig rig;
    criaConta(rig, "u12", 12);
    criaConta(rig, "u31", 31);
    criaConta(rig, "intruso", 14);
    entraComo(rig, "u12");
    ASSERT_EQ(rig.send(kPacote, 12), 200);
    ASSERT_THAT(rig.server().store().deliveries(), SizeIs(1));
    EXPECT_EQ(rig.server().store().deliveries()[0].from, 12);
    entraComo(rig, "u31");
    const auto waiting = rig.waiting(31);
    ASSERT_THAT(waiting, SizeIs(1));
    const std::string id = waiting[0].first;

    // Configured as the central unit with an account of unit 14.
    entraComo(rig, "intruso");
    const auto [status, body] = pagina(rig, "/dbArquivo.php?op=S&unidade=31");
    EXPECT_EQ(status, 403);
    EXPECT_EQ(body, "a conta intruso é da unidade 14 e não pode agir pela unidade 31\n");
    for (const std::string& path :
         {"/edi/out/" + std::string(kPacote), "/edi/central/in/" + std::string(kPacote),
          "/dbArquivo.php?op=A&edi=" + id + "&unidade=31",
          "/dbArquivo.php?op=D&nome=" + std::string(kPacote) + "&unidade=31",
          "/dbArquivo.php?op=I&nome=" + std::string(kPacote) + "&unidade=31",
          "/dbArquivoProtocolo.php?op=I&nome=" + std::string(kPacote) + "&unidade=31",
          // its own unit, but unit 12's file: nor may it pass it off as its own
          "/dbArquivo.php?op=I&nome=" + std::string(kPacote) + "&unidade=14",
          "/dbArquivoProtocolo.php?op=I&nome=" + std::string(kPacote) + "&unidade=14", std::string("/rede")}) {
        EXPECT_FALSE(rig.get(path)) << path;
        EXPECT_EQ(rig.status(), 403) << path;
    }
    EXPECT_THAT(rig.get("/dbArquivo.php?op=S&unidade=31").error(), HasSubstr("não pode agir pela unidade 31"));
    EXPECT_THAT(rig.waiting(14), IsEmpty());
    EXPECT_TRUE(rig.log().waitFor("conta intruso GET /dbArquivo.php?op=S&unidade=31 403"));

    // The central unit still finds it, whole and waiting.
    entraComo(rig, "u31");
    EXPECT_EQ(rig.waiting(31), waiting);
    EXPECT_EQ(rig.mustGet("/edi/out/" + std::string(kPacote)), "<DATAPACKET/>");
    EXPECT_EQ(rig.acknowledge(id, 31), 200);
    EXPECT_THAT(rig.server().store().deliveries(), SizeIs(1));
    EXPECT_THAT(rig.server().store().protocols(), IsEmpty());
}

TEST(CentralContas, AnUploadStaysItsUnitsUntilTheCentralUnitTakesIt) {
    CentralRig rig;
    criaConta(rig, "u12", 12);
    criaConta(rig, "u31", 31);
    criaConta(rig, "intruso", 14);
    entraComo(rig, "u12");
    ASSERT_EQ(rig.send(kPacote, 12, "<DATAPACKET>12</DATAPACKET>"), 200);

    httplib::Client intruso("127.0.0.1", rig.server().port());
    intruso.set_basic_auth("intruso", "senha-intruso");
    const auto refused =
        intruso.Post("/edi/ReceiveUpload.aspx",
                     httplib::MultipartFormDataItems{{"file1", "<DATAPACKET>14</DATAPACKET>", kPacote, ""}});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403);
    EXPECT_EQ(refused->body, "o arquivo " + std::string(kPacote) +
                                 " foi enviado por outra unidade e só ela pode "
                                 "substituí-lo\n");
    EXPECT_EQ(rig.uploaded(kPacote), "<DATAPACKET>12</DATAPACKET>");

    // A unit that crashed after uploading sends again; the shared account replaces as it always did.
    entraComo(rig, "u12");
    ASSERT_TRUE(rig.upload(kPacote, "<DATAPACKET>12 de novo</DATAPACKET>"));
    entraComo(rig, "u31");
    EXPECT_EQ(rig.mustGet("/edi/out/" + std::string(kPacote)), "<DATAPACKET>12 de novo</DATAPACKET>");
    rig.client = transport::HttpClient(clientOptions());
    EXPECT_TRUE(rig.upload(kPacote, "<DATAPACKET>antiga</DATAPACKET>"));
    EXPECT_EQ(rig.uploaded(kPacote), "<DATAPACKET>antiga</DATAPACKET>");
}

TEST(CentralContas, TheSharedAccountWorksOnlyWhereAllowed) {
    ServerConfig c;
    c.sharedAccount = false;
    CentralRig rig(c);
    criaConta(rig, "u12", 12);
    const auto [status, body] = pagina(rig, "/dbArquivo.php?op=S&unidade=12");
    EXPECT_EQ(status, 403);
    EXPECT_THAT(body, HasSubstr("a conta compartilhada está desativada"));
    entraComo(rig, "u12");
    EXPECT_THAT(rig.waiting(12), IsEmpty());
    rig.client = transport::HttpClient(clientOptions("u12", "senha-errada"));
    EXPECT_FALSE(rig.get("/dbArquivo.php?op=S&unidade=12"));
    EXPECT_EQ(rig.status(), 401);
}

TEST(CentralContas, OnlyOperatorsUseTheSqlConsoleAndWhatTheyRanIsLogged) {
    CentralRig rig;
    criaConta(rig, "u12", 12);
    criaConta(rig, "operadora", std::nullopt, true);
    const std::string consulta = "/dbSQL.php?op=S&sql=select%201%0Afrom%20X";
    for (const std::string login : {"", "u12"}) { // the shared account, then a unit's
        if (!login.empty())
            entraComo(rig, login);
        const auto [status, body] = pagina(rig, consulta);
        EXPECT_EQ(status, 403) << login;
        EXPECT_THAT(body, HasSubstr("a consola SQL é só para contas de operador")) << login;
    }
    entraComo(rig, "operadora");
    EXPECT_THAT(rig.mustGet(consulta), HasSubstr("Nenhum banco de dados está configurado"));
    EXPECT_TRUE(rig.log().waitFor("consola SQL, conta operadora, op=S: select 1 from X\n"));
    // An account of no unit acts for none.
    EXPECT_FALSE(rig.get("/dbArquivo.php?op=S&unidade=12"));
    EXPECT_EQ(rig.status(), 403);
}

} // namespace
} // namespace edi::central::test
