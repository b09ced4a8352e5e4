#include "app/diario_do_intercambio.h"
#include "core/files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace edi {
namespace {

constexpr std::time_t kDia = 86400;

// A journal on a clock the test moves.
struct Diario {
    test::TempDir dir;
    std::filesystem::path arquivo = dir / "DiarioIntercambio.txt";
    DiarioDoIntercambio diario{arquivo};
    std::time_t agora = std::time(nullptr);
    Diario() {
        diario.agora = [this] { return agora; };
    }
    DiarioLido le() const { return leDiario(arquivo, agora); }
};

TEST(Diario, CountsRowsPerDayKeepsEachStagesLastOutcomeAndThePacketsRoad) {
    Diario d;
    d.agora -= kDia;
    d.diario.pacoteAndou("PACIENTE31", PassoDoPacote::Importado, 5);
    d.diario.etapaTerminou("import", "");
    d.agora += kDia;
    d.diario.pacoteAndou("PACIENTE12", PassoDoPacote::Exportado, 3);
    d.diario.pacoteAndou("NOTIFICACAO12", PassoDoPacote::Exportado, 4);
    d.diario.etapaTerminou("export", "");
    d.diario.pacoteAndou("PACIENTE12", PassoDoPacote::Enviado);
    d.diario.falhaNaEtapa("NOTIFICACAO12: o servidor não respondeu");
    d.diario.falhaNaEtapa("outra falha");
    d.diario.etapaTerminou("send", ""); // survived a failure: the first one is its error
    d.diario.etapaTerminou("import", "sem espaço");

    const DiarioLido l = d.le();
    ASSERT_EQ(l.linhasPorDia.size(), static_cast<size_t>(DiarioDoIntercambio::kDiasDoGrafico));
    EXPECT_EQ(l.linhasPorDia.back().enviadas, 7);
    EXPECT_EQ(l.linhasPorDia.back().recebidas, 0);
    EXPECT_EQ(l.linhasPorDia[l.linhasPorDia.size() - 2].recebidas, 5);

    ASSERT_EQ(l.etapas.size(), 3u); // in the stages' own order
    EXPECT_EQ(l.etapas[0].etapa, "export");
    EXPECT_TRUE(l.etapas[0].ultimoSucesso && !l.etapas[0].ultimoErro);
    EXPECT_EQ(l.etapas[1].etapa, "send");
    EXPECT_EQ(l.etapas[1].textoDoErro, "NOTIFICACAO12: o servidor não respondeu");
    EXPECT_FALSE(l.etapas[1].ultimoSucesso);
    EXPECT_EQ(l.etapas[2].etapa, "import");
    EXPECT_EQ(*l.etapas[2].ultimoSucesso, d.agora - kDia);
    EXPECT_EQ(l.etapas[2].textoDoErro, "sem espaço");

    ASSERT_EQ(l.pacotes.size(), 3u);
    EXPECT_EQ(l.pacotes[0].pacote, "PACIENTE12"); // the last to move comes first
    ASSERT_EQ(l.pacotes[0].passos.size(), 2u);
    EXPECT_EQ(l.pacotes[0].passos[0].passo, PassoDoPacote::Exportado);
    EXPECT_EQ(l.pacotes[0].passos[0].linhas, 3);
    EXPECT_EQ(l.pacotes[0].passos[1].passo, PassoDoPacote::Enviado);
}

TEST(Diario, ATornLastLineIsSkippedAndTheNextEventsStillRead) {
    Diario d;
    d.diario.pacoteAndou("PACIENTE12", PassoDoPacote::Exportado, 3);
    // A kill in the middle of a line: its rows must not count, even when the cut leaves a number.
    writeFileAtomically(d.arquivo, readFile(d.arquivo) + "P\t" + std::to_string(d.agora) + "\texportado\tPAC\t12");
    EXPECT_EQ(d.le().linhasPorDia.back().enviadas, 3);
    d.diario.pacoteAndou("NOTIFICACAO12", PassoDoPacote::Exportado, 4);
    const DiarioLido l = d.le();
    EXPECT_EQ(l.linhasPorDia.back().enviadas, 7);
    ASSERT_EQ(l.pacotes.size(), 2u);
    EXPECT_EQ(l.pacotes[0].pacote, "NOTIFICACAO12");
}

TEST(Diario, StaysBoundedAndKeepsTheDayTotalsTheRecentPacketsAndTheStages) {
    Diario d;
    d.diario.tamanhoMaximo = 6000; // rewritten many times within the test
    d.agora -= 60 * kDia;
    d.diario.etapaTerminou("receive", "recusado pelo servidor");
    long long ultimas4Semanas = 0;
    for (int i = 0; i < 180; ++i) {
        d.agora += 60 * kDia / 180;
        d.diario.pacoteAndou("PACIENTE12_" + std::to_string(i), PassoDoPacote::Exportado, 2);
        d.diario.pacoteAndou("PACIENTE31_" + std::to_string(i), PassoDoPacote::Importado, 1);
    }
    for (const LinhasDoDia& l : d.le().linhasPorDia)
        ultimas4Semanas += l.enviadas;
    EXPECT_LE(std::filesystem::file_size(d.arquivo), d.diario.tamanhoMaximo + 100);
    const DiarioLido l = d.le();
    EXPECT_EQ(l.pacotes.size(), static_cast<size_t>(DiarioDoIntercambio::kPacotesRecentes));
    EXPECT_EQ(l.pacotes[0].pacote, "PACIENTE31_179");
    EXPECT_EQ(l.pacotes[0].passos[0].linhas, 1);
    // Three packets a day, two rows each: the chart's days keep their rows through the rewrites.
    EXPECT_NEAR(static_cast<double>(ultimas4Semanas), 28 * 6, 4);
    EXPECT_EQ(l.linhasPorDia[10].enviadas, 2 * l.linhasPorDia[10].recebidas);
    ASSERT_EQ(l.etapas.size(), 1u);
    EXPECT_EQ(l.etapas[0].textoDoErro, "recusado pelo servidor");
}

} // namespace
} // namespace edi
