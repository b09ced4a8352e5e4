// Every file the product writes meets a full disk (a child process with a small file-size limit: write() then
// fails with EFBIG, SIGXFSZ being ignored) and an I/O error (a preloaded shim fails the writes and the sync of that
// one file). Sound: no row marked as exported without its complete file, no partial file under a real name,
// jaq.ini never truncated, and an error that names the file.
#include "core/files.h"
#include "interchange/installation.h"
#include "packet/packet_table.h"
#include "support/http/recording_server.h"
#include "support/zip_archive.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace edi {
namespace {

namespace fs = std::filesystem;
using test::Reply;

// A write-back error: the writes go through, and the disk reports the failure only when the file is synced.
enum class Falha { DiscoCheio, ErroDeEntradaSaida, ErroNaSincronizacao };

struct Resultado {
    int codigo = -1;
    std::string saida; // what the helper printed
};

// Runs the helper with its writes failing: a full disk is a file-size limit of 4 KiB for the whole process, or,
// with `soNoArquivo`, only on the files whose path holds `padrao`; an I/O error is always only on those files.
Resultado rodaComFalha(Falha falha, const std::string& padrao, std::vector<std::string> args,
                       bool soNoArquivo = false) {
    const char* helper = std::getenv("EDI_DISK_HELPER");
    const char* shim = std::getenv("EDI_FALHA_ESCRITA_LIB");
    if (!helper || !shim)
        throw std::runtime_error("EDI_DISK_HELPER or EDI_FALHA_ESCRITA_LIB not set");
    test::TempDir d;
    const fs::path saida = d / "saida.txt";
    args.insert(args.begin(), helper);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(saida.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 1);
        if (falha == Falha::DiscoCheio && !soNoArquivo) {
            std::signal(SIGXFSZ, SIG_IGN); // write() then fails with EFBIG instead of killing the process
            const rlimit limite{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limite);
        } else {
            ::setenv("LD_PRELOAD", shim, 1);
            ::setenv("EDI_FALHA_ESCRITA", padrao.c_str(), 1);
            ::setenv("EDI_FALHA_ERRNO", std::to_string(falha == Falha::DiscoCheio ? ENOSPC : EIO).c_str(), 1);
            if (falha == Falha::ErroNaSincronizacao)
                ::setenv("EDI_FALHA_SO_FSYNC", "1", 1);
        }
        ::execv(helper, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Resultado r;
    r.codigo = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.saida = readFile(saida);
    return r;
}

const char* motivo(Falha f) {
    return f == Falha::DiscoCheio ? "arquivo maior que" : "erro de entrada/saída";
}

// Nothing but `esperados` in the folder: no temporary or partial file.
void soEstes(const fs::path& pasta, const std::vector<std::string>& esperados) {
    EXPECT_EQ(test::filesIn(pasta), esperados) << pasta;
}

class Disco : public ::testing::TestWithParam<Falha> {};

TEST_P(Disco, APacketThatCannotBeWrittenLeavesNoFileAndNoRowMarked) {
    test::Instalacao u("12");
    u.registra("PACIENTE", 1);
    for (int k = 1; k <= 400; ++k) // a packet well above the limit
        u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE) values (" + std::to_string(k) +
              ", 12, 'Paciente com um nome comprido para encher o pacote " + std::to_string(k) + "')");
    u.fecha();
    // The database is written by the engine in the same process: only the packet folder fails.
    const Resultado r =
        rodaComFalha(GetParam(), "/EDI/OUT/", {"packet", u.params.database, u.home.path().string()}, true);
    u.abre();
    EXPECT_EQ(r.codigo, 1) << r.saida;
    EXPECT_NE(r.saida.find("PACIENTE"), std::string::npos) << r.saida;
    EXPECT_NE(r.saida.find(u.geral.sPathOut.string()), std::string::npos) << r.saida; // names the file
    EXPECT_NE(r.saida.find(GetParam() == Falha::DiscoCheio ? "disco cheio" : motivo(GetParam())), std::string::npos)
        << r.saida;
    soEstes(u.geral.sPathOut, {});
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where DT_EXP is null"), 400);

    u.engine->btExportarClick(); // the disk has room again
    ASSERT_EQ(u.saida().size(), 1u);
    EXPECT_EQ(PacketTable::loadFromFile(u.saida()[0]).recordCount(), 400u);
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where DT_EXP is null"), 0);
}

// The installation's state (the packet's moment, the codes issued) is durable before a packet exists: when it
// cannot be written, no packet and no row marked.
TEST_P(Disco, AnInstallationStateThatCannotBeWrittenLeavesNoPacketAndNoRowMarked) {
    test::Instalacao u("12");
    u.registra("PACIENTE", 1);
    u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE) values (1, 12, 'Paciente')");
    u.fecha();
    const Resultado r =
        rodaComFalha(GetParam(), "EstadoInstalacao", {"packet", u.params.database, u.home.path().string()}, true);
    u.abre();
    EXPECT_EQ(r.codigo, 1) << r.saida;
    EXPECT_NE(r.saida.find("EstadoInstalacao.txt"), std::string::npos) << r.saida;
    soEstes(u.geral.sPathOut, {});
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where DT_EXP is null"), 1);
}

TEST_P(Disco, AKeptPacketThatCannotBeWrittenLeavesItsPacketInTheIncomingFolder) {
    test::Instalacao c("31");
    c.registra("REGISTRO_TARV_ACOMP", 1);
    const std::string F = "REGISTRO_TARV_ACOMP12010124080000.xml";
    PacketTable t({{"CD_REGISTRO", FieldType::Integer},
                   {"CD_UND", FieldType::Integer},
                   {"NR_QTD", FieldType::Integer},
                   {"CD_EDI", FieldType::Integer}});
    for (int qtd : {1, -1}) { // the check refuses -1
        t.append();
        for (const char* campo : {"CD_REGISTRO", "CD_EDI", "NR_QTD"})
            t.setValue(campo, Value::int32(std::string(campo) == "NR_QTD" ? qtd : 2 + qtd));
        t.setValue("CD_UND", Value::int32(12));
        t.post();
    }
    t.saveToFile(c.geral.sPathIn / F);
    c.fecha();
    const Resultado r =
        rodaComFalha(GetParam(), "/EDI/IN/retidos/", {"import", c.params.database, c.home.path().string()}, true);
    c.abre();
    EXPECT_NE(r.saida.find("retidos/1-" + F), std::string::npos) << r.saida; // names the file
    EXPECT_NE(r.saida.find(GetParam() == Falha::DiscoCheio ? "disco cheio" : motivo(GetParam())), std::string::npos)
        << r.saida;
    EXPECT_TRUE(fs::exists(c.geral.sPathIn / F)) << r.saida;
    soEstes(c.geral.sPathIn / "retidos", {});

    c.engine->btImportarClick(); // the disk has room again
    EXPECT_FALSE(fs::exists(c.geral.sPathIn / F));
    soEstes(c.geral.sPathIn / "retidos", {"1-" + F});
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV_ACOMP"), 1);
}

TEST_P(Disco, ADownloadThatCannotBeWrittenKeepsTheOldFile) {
    test::RecordingServer servidor;
    servidor.on("/edi/out/A.xml", Reply::text(test::patternedBytes(64 * 1024)));
    test::TempDir d;
    writeFileAtomically(d / "A.xml", "versão anterior");
    const Resultado r =
        rodaComFalha(GetParam(), "/.A.xml.tmp", {"download", servidor.url("/edi/out/A.xml"), (d / "A.xml").string()});
    EXPECT_EQ(r.codigo, 1) << r.saida;
    EXPECT_NE(r.saida.find((d / "A.xml").string()), std::string::npos) << r.saida;
    EXPECT_NE(r.saida.find(motivo(GetParam())), std::string::npos) << r.saida;
    EXPECT_EQ(readFile(d / "A.xml"), "versão anterior");
    soEstes(d.path(), {"A.xml"});
}

TEST_P(Disco, AnExtractionThatCannotBeWrittenReplacesNothing) {
    test::TempDir d;
    fs::create_directories(d / "bin");
    writeFileAtomically(d / "bin" / "prog", "versão anterior");
    test::makeZip(d / "novo.zip", {{"leia.txt", "leia"}, {"prog", test::patternedBytes(64 * 1024)}});
    const Resultado r = rodaComFalha(GetParam(), "/prog", {"extract", (d / "novo.zip").string(), (d / "bin").string()});
    EXPECT_EQ(r.codigo, 1) << r.saida;
    EXPECT_NE(r.saida.find("prog"), std::string::npos) << r.saida;
    EXPECT_NE(r.saida.find(motivo(GetParam())), std::string::npos) << r.saida;
    EXPECT_EQ(readFile(d / "bin" / "prog"), "versão anterior");
    soEstes(d / "bin", {"prog"});
}

TEST_P(Disco, TheUpdateStateAndJaqIniAreNeverTruncated) {
    test::TempDir d;
    const std::string estado = "Update=2013-05-04 10:22:31\naplicada\tE:\\a.zip\t/*APP*/a\n";
    writeFileAtomically(d / "EstadoUpdate.txt", estado);
    std::string ini = "[Geral]\nDB=/var/lib/edi/u12.fdb\n[EDI]\nUpdate=01-01-1900\n";
    ini += "; " + std::string(5000, '-') + "\n"; // larger than the limit, as a commented jaq.ini may be
    writeFileAtomically(d / "jaq.ini", ini);

    for (const auto& [trabalho, arquivo, conteudo] :
         {std::tuple{"estado", "EstadoUpdate.txt", estado}, std::tuple{"ini", "jaq.ini", ini}}) {
        const Resultado r =
            rodaComFalha(GetParam(), std::string("/.") + arquivo, {trabalho, (d / arquivo).string(), "-"});
        EXPECT_EQ(r.codigo, 1) << trabalho << ": " << r.saida;
        EXPECT_NE(r.saida.find((d / arquivo).string()), std::string::npos) << r.saida;
        EXPECT_NE(r.saida.find(motivo(GetParam())), std::string::npos) << r.saida;
        EXPECT_EQ(readFile(d / arquivo), conteudo) << trabalho;
    }
    soEstes(d.path(), {"EstadoUpdate.txt", "jaq.ini"});
}

INSTANTIATE_TEST_SUITE_P(Falhas, Disco,
                         ::testing::Values(Falha::DiscoCheio, Falha::ErroDeEntradaSaida, Falha::ErroNaSincronizacao),
                         [](const auto& p) {
                             return p.param == Falha::DiscoCheio           ? "DiscoCheio"
                                    : p.param == Falha::ErroDeEntradaSaida ? "ErroES"
                                                                           : "ErroNaSincronizacao";
                         });

} // namespace
} // namespace edi
