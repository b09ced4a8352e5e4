#include "app/ciclo.h"
#include "app_fixture.h"
#include "core/errors.h"
#include "db/query.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <utility>

namespace edi {
namespace {

// A cycle whose stage bodies only record that they ran; status writes are read from the database trace.
struct CycleFixture : test::AppFixture {
    std::vector<std::string> ran;
    std::vector<std::string> statuses;
    std::vector<bool> timer;
    bool online = true;
    std::unique_ptr<CicloEDI> ciclo;

    CycleFixture() {
        dm->DB().setTraceListener([this](const db::TraceEvent& e) {
            const std::string prefix = "Update PARAMETRO set VALOR = '";
            if (e.kind == db::TraceKind::Execute && e.text.rfind(prefix, 0) == 0)
                statuses.emplace_back(e.text.substr(prefix.size(), e.text.find('\'', prefix.size()) - prefix.size()));
        });
        ciclo = std::make_unique<CicloEDI>(*dm, ui, corpos());
        ciclo->pausaMs = 5;
        ciclo->estaNaInternet = [this] { return online; };
        ciclo->habilitaTimer = [this](bool on) { timer.push_back(on); };
    }
    std::function<void()> recorder(const std::string& name) {
        return [this, name] { ran.push_back(name); };
    }
    CorposDasEtapas corpos() {
        return {recorder("exportar"),   recorder("enviar"),    recorder("versoes"),    recorder("receber"),
                recorder("importar"),   recorder("aplicacao"), recorder("protocolos"), recorder("limpaMarcas"),
                recorder("reimportar"), recorder("censo"),     recorder("censoJa")};
    }
    void replace(CorposDasEtapas c) {
        ciclo = std::make_unique<CicloEDI>(*dm, ui, std::move(c));
        ciclo->pausaMs = 5;
        ciclo->estaNaInternet = [this] { return online; };
        ciclo->habilitaTimer = [this](bool on) { timer.push_back(on); };
    }
};

TEST(Cycle, EveryStageEndIsToldWithTheErrorThatEndedIt) {
    struct Fins : EventosDoIntercambio {
        std::vector<std::pair<std::string, std::string>> fins;
        void etapaTerminou(const std::string& etapa, const std::string& erro) override {
            fins.emplace_back(etapa, erro);
        }
        void falhaNaEtapa(const std::string&) override {}
        void pacoteAndou(const std::string&, PassoDoPacote, long long) override {}
    } fins;
    CycleFixture f;
    CorposDasEtapas c = f.corpos();
    c.importar = [] { throw Error("disco cheio"); };
    f.replace(c);
    f.ciclo->eventos = &fins;
    f.ciclo->executa("export");
    EXPECT_THROW(f.ciclo->executa("import"), Error);
    f.online = false;
    f.ciclo->executa("send");
    using Fim = std::pair<std::string, std::string>;
    EXPECT_EQ(fins.fins,
              (std::vector<Fim>{
                  {"export", ""}, {"import", "disco cheio"}, {"send", "sem comunicação com o servidor central"}}));
}

TEST(Cycle, StartUpRunsEveryStageInOrderAndEndsWithInicio) {
    CycleFixture f;
    f.ciclo->ExecucaoInicial("12");
    EXPECT_EQ(f.ran,
              (std::vector<std::string>{"censo", "exportar", "enviar", "versoes", "receber", "importar", "aplicacao"}));
    EXPECT_EQ(f.statuses, (std::vector<std::string>{"Exportar!", "Enviar!", "Receber!", "Importar!",
                                                    "EDI - Fim:", "EDI - Inicio:"}));
    EXPECT_EQ(f.scalarText("select VALOR from PARAMETRO where CD_PARAMETRO = 29"), "EDI - Inicio:");
    EXPECT_EQ(f.ui.unit, "12");
    EXPECT_EQ(f.ui.of("pause").size(), 8u); // two per stage that got past its busy check
    EXPECT_FALSE(f.ciclo->bAtivo);
    EXPECT_TRUE(f.timer.empty()); // the start-up run leaves the timer alone
}

TEST(Cycle, OfflineStartUpRefusesSendAndReceiveSkipsTheUpdateAndStillEndsWithInicio) {
    CycleFixture f;
    f.online = false;
    f.ciclo->ExecucaoInicial("12");
    EXPECT_EQ(f.ran, (std::vector<std::string>{"censo", "exportar", "importar"}));
    EXPECT_EQ(f.statuses,
              (std::vector<std::string>{"Exportar!", "Erro:", "Erro:", "Importar!", "EDI - Fim:", "EDI - Inicio:"}));
    const auto warnings = f.ui.of("warning");
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "Atenção: Não foi possivel efetuar a comunicação com o Servidor WEB.\n"
                           "Verifique a conexão com a Internet e Tente novamente!");

    f.ran.clear();
    f.ciclo->executa("update"); // from the menu too: nothing, and no box
    f.ciclo->tmEDITimer();
    EXPECT_TRUE(f.ran.empty());
    EXPECT_EQ(f.ui.of("warning").size(), 2u);
}

TEST(Cycle, TimerRunFollowsTheConfigurationAndReenablesTheTimer) {
    {
        CycleFixture f;
        f.ciclo->tmEDITimer();
        EXPECT_EQ(f.ran, std::vector<std::string>{"aplicacao"});
        EXPECT_TRUE(f.statuses.empty());
        EXPECT_EQ(f.scalarText("select VALOR from PARAMETRO where CD_PARAMETRO = 29"), "x");
        EXPECT_EQ(f.timer, (std::vector<bool>{false, true}));
        EXPECT_EQ(f.ui.message().rfind("Próxima execução ", 0), 0u);
    }
    {
        CycleFixture f;
        f.ciclo->bImportar = f.ciclo->bExportar = true;
        f.ciclo->tmEDITimer();
        EXPECT_EQ(f.ran, (std::vector<std::string>{"versoes", "receber", "importar", "censo", "exportar", "enviar",
                                                   "aplicacao"}));
        EXPECT_EQ(f.statuses.back(), "Enviar!");
    }
    {
        CycleFixture f;
        f.ciclo->bImportar = true;
        f.ciclo->tmEDITimer();
        EXPECT_EQ(f.statuses.back(), "EDI - Fim:");
    }
}

TEST(Cycle, AStageIsNeverEnteredAgainWhileItRuns) {
    CycleFixture f;
    CorposDasEtapas c = f.corpos();
    c.exportar = [&] {
        f.ran.push_back("exportar");
        const auto pausesBefore = f.ui.of("pause").size();
        f.ciclo->executa("export"); // a click while exporting does nothing at all
        EXPECT_EQ(f.ui.of("pause").size(), pausesBefore);
        f.ciclo->executa("receive"); // another stage may nest; the first flag in order wins panel 1
        EXPECT_EQ(f.ui.stage, "Exportando...");
    };
    f.replace(c);
    f.ciclo->executa("export");
    EXPECT_EQ(f.ran, (std::vector<std::string>{"exportar", "versoes", "receber"}));
    EXPECT_EQ(f.statuses, (std::vector<std::string>{"Receber!", "Exportar!"}));
    EXPECT_EQ(f.ui.stage, "");

    // Offline, a click on receive is refused with its box even while receiving.
    f.online = false;
    f.ciclo->bRecebendo = true;
    f.ciclo->executa("receive");
    EXPECT_EQ(f.statuses.back(), "Erro:");
    EXPECT_EQ(f.ui.of("warning").size(), 1u);
}

TEST(Cycle, AFailingStageSkipsTheRestOfTheRunAndRunsAgainNextTime) {
    CycleFixture f;
    int failures = 1;
    CorposDasEtapas c = f.corpos();
    c.importar = [&] {
        f.ran.push_back("importar");
        if (failures-- > 0)
            throw std::runtime_error("disco cheio");
    };
    f.replace(c);
    f.ciclo->bImportar = f.ciclo->bExportar = true;
    EXPECT_THROW(f.ciclo->tmEDITimer(), std::runtime_error);
    EXPECT_EQ(f.ran, (std::vector<std::string>{"versoes", "receber", "importar"}));
    EXPECT_EQ(f.timer, (std::vector<bool>{false, true}));
    EXPECT_EQ(f.ui.message().rfind("Próxima execução ", 0), 0u);
    EXPECT_FALSE(f.ciclo->bImportando);
    EXPECT_FALSE(f.ciclo->bAtivo);

    f.ran.clear();
    f.ciclo->tmEDITimer();
    EXPECT_EQ(f.ran,
              (std::vector<std::string>{"versoes", "receber", "importar", "censo", "exportar", "enviar", "aplicacao"}));
}

// The oldest transaction still active in the database, as another attachment sees it.
int64_t oldestActive(test::ScratchDatabase& scratch) {
    auto other = scratch.attachAgain();
    db::Query q(*other, "select MON$OLDEST_ACTIVE from MON$DATABASE");
    q.open();
    return q.value(0).asInt64();
}

// What the stages found for a person to act on is raised once the run is over, never holding back a stage; an
// import run on its own raises it after the import.
TEST(Cycle, AlertsAreRaisedAfterTheWholeRun) {
    CycleFixture f;
    f.ciclo->alertas = [&f] {
        f.ran.push_back("alertas");
        throw Error("alerta");
    };
    EXPECT_THROW(f.ciclo->ExecucaoInicial("12"), Error);
    EXPECT_EQ(f.ran, (std::vector<std::string>{"censo", "exportar", "enviar", "versoes", "receber", "importar",
                                               "aplicacao", "alertas"}));
    f.ran.clear();
    EXPECT_THROW(f.ciclo->executa("import"), Error);
    EXPECT_EQ(f.ran, (std::vector<std::string>{"importar", "alertas"}));
}

TEST(Cycle, EveryRunEndsTheSessionTransactionSoTheEngineCanCleanUp) {
    CycleFixture f;
    f.scratch->transaction().commit(); // from here on only the session holds a transaction
    const int64_t start = oldestActive(f.scratch);
    f.ciclo->ExecucaoInicial("12");
    const int64_t afterStartUp = oldestActive(f.scratch);
    EXPECT_GT(afterStartUp, start);
    f.ciclo->tmEDITimer();
    const int64_t afterTimer = oldestActive(f.scratch);
    EXPECT_GT(afterTimer, afterStartUp);
    EXPECT_EQ(f.scalarText("select VALOR from PARAMETRO where CD_PARAMETRO = 29"), "EDI - Inicio:");

    // A timer run while a stage runs (a tick during its loop) leaves the transaction alone: the stage may be
    // walking a cursor of it.
    f.scratch.run("insert into PARAMETRO values (1, 'a')\n;\ninsert into PARAMETRO values (2, 'b')");
    f.scratch->transaction().commit();
    CorposDasEtapas c = f.corpos();
    std::vector<std::string> lidos;
    c.exportar = [&] {
        db::Query q(f.dm->DB(), "select VALOR from PARAMETRO order by CD_PARAMETRO");
        q.open();
        lidos.push_back(q.value(0).asText());
        const int64_t before = oldestActive(f.scratch);
        f.ciclo->tmEDITimer();
        EXPECT_EQ(oldestActive(f.scratch), before);
        for (q.next(); !q.eof(); q.next())
            lidos.push_back(q.value(0).asText());
    };
    f.replace(c);
    f.ciclo->executa("export");
    EXPECT_EQ(lidos, (std::vector<std::string>{"a", "b", "EDI - Inicio:"}));
}

// edi-sync, the menu and panel 1 find stages through these: each name, menu entry and menu place is one stage's.
TEST(Stages, NamesMenuEntriesAndPlacesBelongToOneStageEach) {
    std::set<std::string> nomes, objetos;
    std::set<std::pair<GrupoDoMenu, int>> lugares;
    for (const Etapa& e : etapas()) {
        EXPECT_TRUE(nomes.insert(e.nome).second) << e.nome;
        EXPECT_EQ(etapaPorNome(e.nome), &e);
        EXPECT_FALSE(e.corpos.empty()) << e.nome;
        EXPECT_TRUE(!e.ocupado || *e.textoOcupado) << e.nome;
        if (e.menu.grupo != GrupoDoMenu::Nenhum) {
            EXPECT_TRUE(objetos.insert(e.menu.objeto).second) << e.nome;
            EXPECT_TRUE(lugares.insert({e.menu.grupo, e.menu.ordem}).second) << e.nome;
        }
    }
    EXPECT_EQ(etapaPorNome("exportar"), nullptr);
    EXPECT_THROW(etapa("exportar"), Error);
}

TEST(Cycle, NextRunTextUsesHoursMinutesWithoutZeroAndSeconds) {
    const std::string text = CicloEDI::textoProximaExecucao(0);
    ASSERT_EQ(text.rfind("Próxima execução ", 0), 0u);
    const std::string time = text.substr(std::string("Próxima execução ").size());
    ASSERT_GE(time.size(), 7u);
    EXPECT_EQ(time[2], ':');
    EXPECT_TRUE(time[3] != '0' || time[4] == ':') << time; // minutes carry no leading zero
}

} // namespace
} // namespace edi
