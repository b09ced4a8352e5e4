#include "installation.h"
#include "packet/packet_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace edi {
namespace {

namespace fs = std::filesystem;
using test::Instalacao;

// Runs the crash helper on an installation whose session is closed; true when it died by SIGKILL.
bool morreEm(Instalacao& i, const char* trabalho, const char* ponto, int n, int lote = kLoteImportacaoPadrao) {
    const char* helper = std::getenv("EDI_CRASH_HELPER");
    if (!helper)
        throw std::runtime_error("EDI_CRASH_HELPER not set");
    i.fecha();
    const std::string db = i.params.database, home = i.home.path().string(), vezes = std::to_string(n),
                      registros = std::to_string(lote);
    const char* args[] = {helper, db.c_str(), home.c_str(), trabalho, ponto, vezes.c_str(), registros.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, helper, nullptr, nullptr, const_cast<char**>(args), environ) != 0)
        throw std::runtime_error("cannot start the crash helper");
    int status = 0;
    waitpid(pid, &status, 0);
    i.abre();
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

void pacientes(Instalacao& u, int n) {
    for (int k = 1; k <= n; ++k)
        u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, NR_PESO) values (" + std::to_string(k) +
              ", 12, 'Paciente " + std::to_string(k) + "', " + std::to_string(k) + ".25)");
}

std::vector<int64_t> codigosNoPacote(const fs::path& f) {
    PacketTable p = PacketTable::loadFromFile(f);
    std::vector<int64_t> out;
    for (p.first(); !p.eof(); p.next())
        out.push_back(p.value("CD_EDI").asInt64());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Crash, KilledBetweenPacketAndCommitTheExportLosesAndDuplicatesNothing) {
    Instalacao u("12"), central("31");
    u.registra("PACIENTE", 1);
    central.registra("PACIENTE", 1);
    pacientes(u, 5);
    ASSERT_TRUE(morreEm(u, "export", "export:packet-written", 1));

    ASSERT_EQ(u.saida().size(), 1u); // the file was complete before the crash
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where DT_EXP is null"), 5); // marks never committed
    std::vector<int64_t> kept;
    db::Query q(u.dm->DB(), "select CD_EDI from PACIENTE order by CD_EDI");
    for (q.open(); !q.eof(); q.next())
        kept.push_back(q.value(0).asInt64());
    EXPECT_EQ(codigosNoPacote(u.saida()[0]), kept); // the codes in the file are the codes the database kept

    sleep(1); // the next packet gets another name
    u.engine->btExportarClick();
    ASSERT_EQ(u.saida().size(), 2u);
    u.entregaPara(central);
    central.engine->btImportarClick();
    EXPECT_EQ(central.linhas("PACIENTE", "CD_PACIENTE", {"DT_EXP"}), u.linhas("PACIENTE", "CD_PACIENTE", {"DT_EXP"}));
}

TEST(Crash, KilledInsideABatchTheNextRunCompletesWithoutDuplicates) {
    Instalacao u("12"), central("31");
    u.registra("PACIENTE", 1);
    central.registra("PACIENTE", 1);
    pacientes(u, 6);
    u.engine->btExportarClick();
    u.entregaPara(central);
    ASSERT_TRUE(morreEm(central, "import", "import:record-written", 5, 2));
    EXPECT_EQ(central.numero("select count(*) from PACIENTE"), 4); // two batches; the third died with the run
    EXPECT_EQ(central.arquivos(central.geral.sPathIn).size(), 1u); // still waiting

    central.engine->btImportarClick();
    EXPECT_EQ(central.linhas("PACIENTE", "CD_PACIENTE", {"DT_EXP"}), u.linhas("PACIENTE", "CD_PACIENTE", {"DT_EXP"}));
}

TEST(Concurrency, AChangeCommittedDuringExportIsNeverLost) {
    Instalacao u("12");
    u.registra("PACIENTE", 1);
    pacientes(u, 4);
    auto entrada = db::Database::open(u.params); // the data-entry application
    bool primeiro = true;
    u.engine->pontoDeTeste = [&](const char* ponto) {
        if (std::string(ponto) != "export:row" || !primeiro)
            return;
        primeiro = false;
        // Every row changes and commits before any is marked; row 4 is held by an open change.
        entrada->execute("update PACIENTE set NM_PACIENTE = NM_PACIENTE || ' (revisto)' where CD_PACIENTE < 4");
        entrada->transaction().commitRetaining();
        entrada->execute("update PACIENTE set NM_PACIENTE = 'em edição' where CD_PACIENTE = 4");
    };
    u.engine->btExportarClick();
    entrada->transaction().commitRetaining();

    EXPECT_NE(u.engine->lbLog().find("PACIENTE:"), std::string::npos); // row 4 was locked
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where NM_PACIENTE like '% (revisto)'"), 3);
    EXPECT_EQ(u.texto("select NM_PACIENTE || '/' || case when DT_EXP is null then 'pendente' else 'marcado' end from "
                      "PACIENTE where CD_PACIENTE = 4"),
              "em edição/pendente");
    PacketTable p = PacketTable::loadFromFile(u.saida().at(0));
    ASSERT_EQ(p.recordCount(), 3u);
    for (p.first(); !p.eof(); p.next())
        EXPECT_NE(p.value("NM_PACIENTE").asText().find("(revisto)"), std::string::npos);
}

} // namespace
} // namespace edi
