#include "app/configuracao.h"
#include "app/session.h"
#include "core/files.h"
#include "packet/packet_table.h"
#include "support/db/scratch_database.h"
#include "support/http/recording_server.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"
#include "support/zip_archive.h"
#include "transport/estacao.h"
#include "transport/transporte.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace edi {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Estacao;
using test::kRaiz;
using test::lista;
using test::listaApp;
using test::Reply;

TEST(Send, UploadsNewestFirstRegistersAndArchivesEachPacketAndNothingElse) {
    Estacao e;
    const std::vector<std::string> pacotes = {"A12310101110800.xml", "B_2-999040311172005.xml", "C312040311172005.xml"};
    const std::vector<std::string> outros = {".A12310101110800.xml.tmp4711-0",
                                             "notas.txt",
                                             "A12.xml",
                                             "A12310101110800.XML",
                                             "12310101110800.xml",
                                             "A 12310101110800.xml"};
    for (const auto& nome : pacotes)
        writeFileAtomically(e.geral.sPathOut / nome, "conteúdo de " + nome);
    for (const auto& nome : outros)
        writeFileAtomically(e.geral.sPathOut / nome, "não é pacote");
    e.servidor.on("/edi/ReceiveUpload.aspx", Reply::text("ok"));
    e.servidor.on("/dbArquivo.php", Reply::text(""));
    e.transporte->btnEnviarArquivoClick();

    EXPECT_EQ(e.pedidos(),
              (std::vector<std::string>{
                  "POST /edi/ReceiveUpload.aspx", "GET /dbArquivo.php?op=I&nome=C312040311172005.xml&unidade=12",
                  "POST /edi/ReceiveUpload.aspx", "GET /dbArquivo.php?op=I&nome=B_2-999040311172005.xml&unidade=12",
                  "POST /edi/ReceiveUpload.aspx", "GET /dbArquivo.php?op=I&nome=A12310101110800.xml&unidade=12"}));
    const auto upload = e.servidor.requests()[2];
    ASSERT_EQ(upload.parts.size(), 1u);
    EXPECT_EQ(upload.parts[0].name, "file1");
    EXPECT_EQ(upload.parts[0].filename, "B_2-999040311172005.xml");
    EXPECT_EQ(upload.parts[0].content, "conteúdo de B_2-999040311172005.xml");

    const fs::path dia = e.geral.sPathOut / formatDateTime("ddmmyy", Timestamp::localNow());
    EXPECT_EQ(test::filesIn(dia),
              (std::vector<std::string>{"A12310101110800.bkp", "B_2-999040311172005.bkp", "C312040311172005.bkp"}));
    for (const auto& nome : outros)
        EXPECT_TRUE(fs::exists(e.geral.sPathOut / nome)) << nome;
    EXPECT_EQ(e.ui.message(), "Arquivo enviado com sucesso!");
}

TEST(Send, AFileWhoseUploadOrRegistrationFailsStaysToBeSentAgain) {
    Estacao e;
    writeFileAtomically(e.geral.sPathOut / "A12310101110800.xml", "a");
    e.servidor.on("/edi/ReceiveUpload.aspx", Reply::text("ok"));
    e.servidor.on("/dbArquivo.php", Reply::text("falhou", 500)); // the server took the file but cannot route it
    e.transporte->btnEnviarArquivoClick();
    EXPECT_TRUE(fs::exists(e.geral.sPathOut / "A12310101110800.xml"));
    EXPECT_NE(e.ui.message().find("500"), std::string::npos) << e.ui.message();

    Estacao f;
    writeFileAtomically(f.geral.sPathOut / "A12310101110800.xml", "a");
    writeFileAtomically(f.geral.sPathOut / "B12310101110800.xml", "b");
    f.servidor.requireCredentials("quelmar", "outra");
    f.transporte->btnEnviarArquivoClick();
    EXPECT_EQ(f.servidor.requests().size(), 2u); // the second file is still tried
    EXPECT_TRUE(fs::exists(f.geral.sPathOut / "A12310101110800.xml"));
    EXPECT_NE(f.ui.message().find("401"), std::string::npos) << f.ui.message();

    // A redirect is no answer to the upload: the page it leads to stored nothing.
    Estacao g;
    writeFileAtomically(g.geral.sPathOut / "A12310101110800.xml", "a");
    g.servidor.on("/edi/ReceiveUpload.aspx", Reply::redirect(302, "/manutencao.html"));
    g.servidor.on("/manutencao.html", Reply::text("<html>em manutenção</html>"));
    g.servidor.on("/dbArquivo.php", Reply::text(""));
    g.transporte->btnEnviarArquivoClick();
    EXPECT_EQ(g.pedidos(), std::vector<std::string>{"POST /edi/ReceiveUpload.aspx"});
    EXPECT_TRUE(fs::exists(g.geral.sPathOut / "A12310101110800.xml"));
    EXPECT_NE(g.ui.message().find("302"), std::string::npos) << g.ui.message();
}

TEST(Receive, DownloadsAndAcknowledgesOnlyWhatArrivedAndNeverOverwritesAWaitingFile) {
    Estacao e;
    const std::string raiz = "E:\\Home\\quelmar\\Web\\edi\\out\\";
    e.servidor.on("/dbArquivo.php", Reply::text(lista({{1, raiz + "PACIENTE31010111080000.xml"},
                                                       {2, raiz + "Y.XML"},
                                                       {3, raiz + "FALTA.xml"},
                                                       {4, raiz + "ESPERA.xml"}})));
    e.servidor.on("/edi/out/PACIENTE31010111080000.xml", Reply::text("<pacote/>"));
    e.servidor.on("/edi/out/ESPERA.xml", Reply::text("nova versão"));
    writeFileAtomically(e.geral.sPathIn / "ESPERA.xml", "ainda não importado");
    e.transporte->btnReceberArquivoClick();

    EXPECT_EQ(e.pedidos(),
              (std::vector<std::string>{"GET /dbArquivo.php?op=S&unidade=12", "GET /edi/out/PACIENTE31010111080000.xml",
                                        "GET /dbArquivo.php?op=A&edi=1&unidade=12", "GET /edi/out/FALTA.xml"}));
    EXPECT_EQ(readFile(e.geral.sPathIn / "PACIENTE31010111080000.xml"), "<pacote/>");
    EXPECT_EQ(readFile(e.geral.sPathIn / "ESPERA.xml"), "ainda não importado");
    EXPECT_FALSE(fs::exists(e.geral.sPathIn / "FALTA.xml"));
    EXPECT_TRUE(fs::exists(e.geral.sPathIn / "arquivos.xml"));
}

TEST(Receive, AListThatIsNotAPacketFailsTheStageAndDownloadsNothing) {
    for (const Reply& resposta : {Reply::text(""), Reply::text("<html><body>erro</body></html>"),
                                  Reply::text(lista({{1, "x"}}).substr(0, 120)), Reply::text("x", 503)}) {
        Estacao e;
        e.servidor.on("/dbArquivo.php", resposta);
        EXPECT_THROW(e.transporte->btnReceberArquivoClick(), Error);
        EXPECT_EQ(e.servidor.requests().size(), 1u);
    }
    Estacao mudo;
    mudo.servidor.on("/dbArquivo.php", Reply::with(Reply::Mode::NeverAnswer));
    EXPECT_THROW(mudo.transporte->btnReceberArquivoClick(), TransportError);
    EXPECT_NE(mudo.ui.message().find("127.0.0.1"), std::string::npos) << mudo.ui.message(); // the panel says why
}

TEST(Protocol, ValuesReachTheServerUnchangedAndServerPathsBecomeAddresses) {
    Estacao e;
    e.geral.prmUnidade = "1 2&x=#'\"";
    e.servidor.on("/dbArquivo.php", Reply::text(""));
    EXPECT_EQ(e.transporte->DeleteRefEDI_UNIDADE("A B&C.xml"), "OK");
    const auto r = e.servidor.requests().at(0);
    EXPECT_EQ(r.queryValue("op"), "D");
    EXPECT_EQ(r.queryValue("nome"), "A B&C.xml");
    EXPECT_EQ(r.queryValue("unidade"), "1 2&x=#'\"");
    EXPECT_EQ(e.ui.message(), "Referencia corrigida com sucesso!");

    e.geral.sDominio = "127.0.0.1:1"; // nothing listens: the drop is not reported as done
    EXPECT_EQ(e.transporte->DeleteRefEDI_UNIDADE("A.xml"), "Erro");

    EXPECT_EQ(CaminhoServidorParaUrl("E:\\Home\\quelmar\\Web\\edi\\out\\X.xml", "central.example"),
              "central.example/edi/out/X.xml");
    EXPECT_EQ(CaminhoServidorParaUrl("D:\\outro\\E:\\Home\\quelmar\\Web\\a\\E:\\Home\\quelmar\\Web", "h"),
              "D:/outro/h/a/E:/Home/quelmar/Web");
    EXPECT_EQ(DominioDoServidor("www.edi-central.example"), "edi-central.example");
    EXPECT_EQ(DominioDoServidor("127.0.0.1:8088"), "127.0.0.1:8088");
    EXPECT_EQ(NomeNoUrl("h/edi/out/"), "");
}

TEST(Protocol, DownloadAddressesAreEncodedSegmentBySegmentAndParentStepsRefused) {
    Estacao e;
    const std::string nome = "Ação 1#2?3%4+5.xml";
    e.servidor.on("/edi/out/" + nome, Reply::text("conteúdo"));
    e.servidor.on("/edi/out/Ação 1", Reply::text("outro recurso"));
    e.servidor.on("/dbArquivo.php", Reply::text(lista({{1, kRaiz + "edi\\out\\" + nome}})));
    e.transporte->btnReceberArquivoClick();
    ASSERT_EQ(e.pedidosDe("/edi/out/" + nome), 1u);
    EXPECT_EQ(readFile(e.geral.sPathIn / nome), "conteúdo");
    EXPECT_EQ(e.servidor.requests().back().queryValue("op"), "A");

    const size_t antes = e.servidor.requests().size();
    for (const std::string caminho : {"/edi/../jaq.ini", "/../x.xml", "/edi/out/.."})
        EXPECT_FALSE(e.transporte->ReceberArquivo(e.geral.sDominio + caminho)) << caminho;
    EXPECT_EQ(e.servidor.requests().size(), antes);
    EXPECT_NE(e.ui.message().find(".."), std::string::npos) << e.ui.message();
}

TEST(Update, UnpacksSetsAsideStartsAndStampsTheMoment) {
    Estacao e;
    e.geral.sPathApp = e.geral.sPath;
    fs::create_directories(e.geral.sPath / "bin");
    writeFileAtomically(e.geral.sPath / "bin" / "prog", "versão antiga");
    test::TempDir origem;
    test::makeZip(origem / "pacote.zip", {{"prog", "versão nova"}, {"lib/ajuda.txt", "ajuda"}});
    e.servidor.on("/app/pacote.zip", Reply::text(readFile(origem / "pacote.zip")));
    e.servidor.on("/app/leia.txt", Reply::text("leia-me"));
    e.servidor.on("/dbArquivo.php",
                  Reply::text(listaApp({{"E:\\Home\\quelmar\\Web\\app\\pacote.zip", "/*APP*/bin/prog", "1", "1"},
                                        {"E:\\Home\\quelmar\\Web\\app\\leia.txt", "/*APP*/leia.txt", " 1", "0"}})));
    e.transporte->Aplicao1Click();

    EXPECT_EQ(e.servidor.requests().at(0).queryValue("data"), "'01-01-1900'");
    EXPECT_EQ(readFile(e.geral.sPath / "bin" / "prog"), "versão nova");
    EXPECT_EQ(readFile(e.geral.sPath / "bin" / "prog_"), "versão antiga");
    EXPECT_EQ(readFile(e.geral.sPath / "bin" / "ajuda.txt"), "ajuda");
    EXPECT_FALSE(fs::exists(e.geral.sPathIn / "pacote.zip"));
    EXPECT_EQ(readFile(e.geral.sPathIn / "leia.txt"), "leia-me"); // " 1" is no archive: left where it landed
    EXPECT_FALSE(fs::exists(e.geral.sPath / "leia.txt"));
    EXPECT_EQ(e.iniciados, std::vector<fs::path>{e.geral.sPath / "bin" / "prog"});
    EXPECT_EQ(e.carimbos, 1);
    EXPECT_EQ(e.geral.prmDataUpdate, "2013-05-04 10:22:31");
    EXPECT_EQ(e.ui.message(), "Update conlcuido!");
}

TEST(Update, ARunWithAFailedDownloadOrArchiveDoesNotAdvanceTheMoment) {
    Estacao e;
    e.geral.sPathApp = e.geral.sPath;
    e.geral.prmDataUpdate = "2011-03-04 17:20:05";
    e.servidor.on("/app/ruim.zip", Reply::text("isto não é zip"));
    e.servidor.on("/dbArquivo.php",
                  Reply::text(listaApp({{"E:\\Home\\quelmar\\Web\\app\\falta.zip", "/*APP*/a", "1", "0"},
                                        {"E:\\Home\\quelmar\\Web\\app\\ruim.zip", "/*APP*/b", "1", "0"}})));
    e.transporte->Aplicao1Click();
    EXPECT_EQ(e.servidor.requests().at(0).queryValue("data"), "'2011-03-04 17:20:05'");
    EXPECT_EQ(e.carimbos, 0);
    EXPECT_EQ(e.geral.prmDataUpdate, "2011-03-04 17:20:05");
    EXPECT_TRUE(fs::exists(e.geral.sPathIn / "ruim.zip")); // kept for a look

    Estacao vazio;
    vazio.servidor.on("/dbArquivo.php", Reply::text(listaApp({})));
    vazio.transporte->Aplicao1Click();
    EXPECT_EQ(vazio.carimbos, 1);
    EXPECT_EQ(vazio.ui.message(), "Update conlcuido!");
}

// The destination of each row, set aside only when the new content is known to be good.
TEST(Update, TheOldFileIsSetAsideOnlyForAGoodArchiveAndTheFirstBackupIsKept) {
    Estacao e;
    e.geral.sPathApp = e.geral.sPath;
    const fs::path bin = e.geral.sPath / "bin";
    fs::create_directories(bin);
    for (const char* nome : {"prog", "outro", "vazio"})
        writeFileAtomically(bin / nome, std::string(nome) + " instalado");
    writeFileAtomically(bin / "prog_", "a primeira cópia");
    test::TempDir origem;
    test::makeZip(origem / "novo.zip", {{"prog", "prog novo"}});
    e.servidor.on("/app/novo.zip", Reply::text(readFile(origem / "novo.zip")));
    e.servidor.on("/app/ruim.zip", Reply::text("<html>não é zip</html>"));
    e.servidor.on("/app/vazio.zip", Reply::text(std::string("PK\x05\x06", 4) + std::string(18, '\0')));
    e.servidor.on("/dbArquivo.php", Reply::text(listaApp({{kRaiz + "app\\novo.zip", "/*APP*/bin/prog", "1", "0"},
                                                          {kRaiz + "app\\falta.zip", "/*APP*/bin/outro", "1", "0"},
                                                          {kRaiz + "app\\ruim.zip", "/*APP*/bin/outro", "1", "0"},
                                                          {kRaiz + "app\\vazio.zip", "/*APP*/bin/vazio", "1", "0"}})));
    e.transporte->Aplicao1Click();

    EXPECT_EQ(readFile(bin / "prog"), "prog novo");
    EXPECT_EQ(readFile(bin / "prog_"), "a primeira cópia");
    EXPECT_EQ(readFile(bin / "outro"), "outro instalado");
    EXPECT_EQ(readFile(bin / "vazio"), "vazio instalado");
    EXPECT_EQ(test::filesIn(bin), (std::vector<std::string>{"outro", "prog", "prog_", "vazio"}));
}

TEST(Update, AnAppliedRowIsNotRepeatedAndAFailingRowIsGivenUpAfterThreeRuns) {
    Estacao e;
    e.geral.sPathApp = e.geral.sPath;
    test::TempDir origem;
    test::makeZip(origem / "prog.zip", {test::withMode("prog", "versão nova", 0755)});
    e.servidor.on("/app/prog.zip", Reply::text(readFile(origem / "prog.zip")));
    e.servidor.on("/dbArquivo.php", Reply::text(listaApp({{kRaiz + "app\\prog.zip", "/*APP*/bin/prog", "1", "1"},
                                                          {kRaiz + "app\\falta.zip", "/*APP*/bin/outro", "1", "0"}})));
    for (int execucao = 1; execucao <= 3; ++execucao) {
        e.reinicia();
        e.transporte->Aplicao1Click();
        EXPECT_EQ(e.carimbos, execucao == 3 ? 1 : 0) << execucao;
    }
    EXPECT_EQ(e.pedidosDe("/app/prog.zip"), 1u);
    EXPECT_EQ(e.pedidosDe("/app/falta.zip"), 3u);
    EXPECT_EQ(e.iniciados, std::vector<fs::path>{e.geral.sPath / "bin" / "prog"});
    EXPECT_EQ(fs::status(e.geral.sPath / "bin" / "prog").permissions() & fs::perms::all, fs::perms(0755));
    size_t avisos = 0;
    for (const auto& m : e.ui.of("message"))
        avisos += m.find("falta.zip") != std::string::npos && m.find("abandonad") != std::string::npos;
    EXPECT_EQ(avisos, 1u);
    EXPECT_EQ(e.geral.prmDataUpdate, "2013-05-04 10:22:31");
    EXPECT_EQ(e.ui.message(), "Update conlcuido!");
    for (const auto& nome : test::filesIn(e.geral.sPath))
        EXPECT_EQ(nome.find(".tmp"), std::string::npos) << nome;

    // Once the moment advanced, what the server lists again is new.
    e.reinicia();
    e.transporte->Aplicao1Click();
    EXPECT_EQ(e.servidor.requests().back().path, "/app/falta.zip");
    EXPECT_EQ(e.pedidosDe("/app/prog.zip"), 2u);
}

TEST(Configuration, TransferLimitsAndAuthoritiesComeFromJaqIniAndATricklingPeerIsDropped) {
    test::TempDir pasta;
    const auto padrao = OpcoesHttp(LeConfiguracao(pasta / "jaq.ini"));
    EXPECT_EQ(padrao.connectTimeout, 10s);
    EXPECT_EQ(padrao.lowSpeedLimit, 1024);
    EXPECT_EQ(padrao.lowSpeedTime, 60s);
    EXPECT_EQ(padrao.login, "quelmar");
    EXPECT_EQ(padrao.caFile, "");

    writeFileAtomically(pasta / "jaq.ini", "[EDI]\nTempoConexao=3\nVelocidadeMinima=2000\nTempoVelocidadeMinima=1\n"
                                           "CertificadoCA=/etc/edi/ca.pem\n");
    Estacao e;
    e.opcoes = OpcoesHttp(LeConfiguracao(pasta / "jaq.ini"));
    EXPECT_EQ(e.opcoes.caFile, "/etc/edi/ca.pem");
    EXPECT_EQ(e.opcoes.connectTimeout, 3s);
    EXPECT_EQ(e.opcoes.lowSpeedTime, 1s);
    e.reinicia();
    Reply gotejando = Reply::with(Reply::Mode::Endless, std::string(100, 'x')); // about 1000 bytes/s
    gotejando.pace = 100ms;
    e.servidor.on("/edi/out/lento.xml", gotejando);
    const auto inicio = std::chrono::steady_clock::now();
    EXPECT_FALSE(e.transporte->ReceberArquivo(e.geral.sDominio + "/edi/out/lento.xml"));
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, 4s);
    EXPECT_NE(e.ui.message().find("2000 bytes/s"), std::string::npos) << e.ui.message();
    EXPECT_TRUE(test::filesIn(e.geral.sPathIn).empty());
}

// A package installs the programs where the running program cannot write: such a row is skipped with a
// clear line, not downloaded, and offered again; the rows the program can apply still are.
TEST(Update, ARowForAFolderThatCannotBeWrittenIsSaidAndOfferedAgain) {
    Estacao e;
    e.geral.sPathApp = e.geral.sPath;
    writeFileAtomically(e.geral.sPath / "usr", "a file where the folder would be");
    test::TempDir origem;
    test::makeZip(origem / "pacote.zip", {{"prog", "versão nova"}});
    e.servidor.on("/app/pacote.zip", Reply::text(readFile(origem / "pacote.zip")));
    e.servidor.on("/dbArquivo.php",
                  Reply::text(listaApp({{"E:\\Home\\quelmar\\Web\\app\\sistema.zip", "/*APP*/usr/bin/prog", "1", "1"},
                                        {"E:\\Home\\quelmar\\Web\\app\\pacote.zip", "/*APP*/bin/prog", "1", "0"}})));
    e.transporte->Aplicao1Click();

    const auto linhas = e.ui.of("message");
    const auto dito = std::find_if(linhas.begin(), linhas.end(), [](const std::string& l) {
        return l.find("sistema.zip não foi aplicado") != std::string::npos &&
               l.find("não permite escrita") != std::string::npos;
    });
    EXPECT_NE(dito, linhas.end()) << ::testing::PrintToString(linhas);
    for (const auto& pedido : e.pedidos())
        EXPECT_EQ(pedido.find("sistema.zip"), std::string::npos) << pedido;
    EXPECT_TRUE(e.iniciados.empty());
    EXPECT_EQ(readFile(e.geral.sPath / "bin" / "prog"), "versão nova");
    EXPECT_EQ(e.carimbos, 0);
}

TEST(UnitVersions, TheListIsKeptInTheTemporaryFolderAndLoaded) {
    Estacao e;
    PacketTable cds({{"UNIDADE", FieldType::Integer}, {"VERSAO", FieldType::VarChar, 20}});
    cds.append();
    cds.setValue(0, Value::int32(7));
    cds.setValue(1, Value::text("2.0"));
    cds.post();
    e.servidor.on("/dbUnidade.php", Reply::text(cds.saveToString()));
    PacketTable lida = e.transporte->CarregaLista("/dbUnidade.php?op=S", e.geral.sPathTemp / "Unidades.xml");
    ASSERT_EQ(lida.recordCount(), 1u);
    lida.first();
    EXPECT_EQ(lida.value("VERSAO").asText(), "2.0");
    EXPECT_TRUE(fs::exists(e.geral.sPathTemp / "Unidades.xml"));
}

} // namespace
} // namespace edi
