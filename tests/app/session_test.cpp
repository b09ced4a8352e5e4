#include "app/constants.h"
#include "app/geral.h"
#include "app/unidade_de_trabalho.h"
#include "app_fixture.h"
#include "core/errors.h"
#include "db/query.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

namespace edi {
namespace {

using test::AppFixture;

TEST(Session, ServerDatesGeneratorsAndTheDeleteQuestion) {
    AppFixture f;
    const Timestamp day = f.dm->GetDate();
    const Timestamp now = f.dm->GetDateTime();
    EXPECT_EQ(day.time.units, 0u);
    EXPECT_EQ(day.date, now.date);
    f.dm->DB().execute("create generator GEN_EDI");
    f.dm->Commit();
    EXPECT_EQ(f.dm->GeraCodigo("GEN_EDI"), 1);
    EXPECT_EQ(f.dm->GeraCodigo("GEN_EDI"), 2);
    EXPECT_THROW(f.dm->GeraCodigo("GEN_NADA"), DatabaseError);

    f.ui.answerYes = false;
    EXPECT_THROW(f.dm->ConfirmaDelecao(), Abort);
    f.ui.answerYes = true;
    EXPECT_NO_THROW(f.dm->ConfirmaDelecao());
    EXPECT_EQ(f.ui.of("question").front(), "Excluir: Deseja Excluir este registro?");
}

TEST(Session, GetDateWithoutItsRowShowsTheErrorBoxAndAbortsSilently) {
    AppFixture f;
    f.dm->DB().execute("delete from DUAL");
    f.dm->Commit();
    EXPECT_THROW(f.dm->GetDate(), Abort);
    EXPECT_THROW(f.dm->GetDateTime(), Abort);
    EXPECT_EQ(f.ui.of("error"),
              (std::vector<std::string>{"Erro GetDate : select Cast('now' as date) from dual",
                                        "Erro GetDateTime : select Cast('now' as timeStamp) from dual"}));
}

// Confirmed work survives the scope left by an exception, the rest is undone once; what others do to the session
// transaction under a unit is told to it.
TEST(Session, AUnitOfWorkUndoesOnlyWhatItDidNotConfirm) {
    AppFixture f;
    auto grava = [&](int n) { f.dm->DB().execute("insert into PARAMETRO values (" + std::to_string(n) + ", 'x')"); };
    try {
        UnidadeDeTrabalho unidade(*f.dm);
        grava(1);
        unidade.confirma();
        grava(2);
        throw std::runtime_error("falhou");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(f.scalarText("select list(CD_PARAMETRO) from PARAMETRO where CD_PARAMETRO < 29"), "1");

    const uint64_t reversoes = f.dm->TS().rollbackCount();
    try {
        UnidadeDeTrabalho unidade(*f.dm);
        grava(3);
        unidade.desfaz();
        throw std::runtime_error("falhou");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(f.dm->TS().rollbackCount(), reversoes + 1);

    {
        UnidadeDeTrabalho unidade(*f.dm);
        grava(4); // left without an exception: the owner decides
    }
    EXPECT_EQ(f.scalarText("select count(*) from PARAMETRO where CD_PARAMETRO = 4"), "1");

    UnidadeDeTrabalho unidade(*f.dm);
    unidade.confirma();
    EXPECT_FALSE(unidade.confirmadaPorOutro());
    f.dm->Commit();
    EXPECT_TRUE(unidade.confirmadaPorOutro());
    EXPECT_FALSE(unidade.desfeitaPorOutro());
    f.dm->Rollback();
    EXPECT_TRUE(unidade.desfeitaPorOutro());
    unidade.recomeca();
    EXPECT_FALSE(unidade.confirmadaPorOutro() || unidade.desfeitaPorOutro());
}

TEST(Parameters, LoadOnceWithTheUndefinedAndCentralDefaults) {
    AppFixture f;
    f.scratch.run("insert into PARAMETRO values (1, null)\n;\ninsert into PARAMETRO values (2, '2.1.0-04')");
    UGeral g;
    EXPECT_EQ(g.prmUnidade, "-999");
    InicializaParametros(*f.dm, g);
    EXPECT_EQ(g.prmUnidade, "");
    EXPECT_EQ(g.prmVersao, "2.1.0-04");
    EXPECT_EQ(g.prmUnidadeCentral, "31");
    EXPECT_EQ(g.prmTabRespLab, "-999");
    EXPECT_EQ(g.prmBloqueio, "x");

    f.scratch.run(
        "update PARAMETRO set VALOR = '12' where CD_PARAMETRO = 1\n;\ninsert into PARAMETRO values (27, '7')");
    InicializaParametros(*f.dm, g); // a loaded value, even empty, is not reloaded
    EXPECT_EQ(g.prmUnidade, "");
    EXPECT_EQ(g.prmUnidadeCentral, "31");
    EXPECT_EQ(ValorParametro(*f.dm, 27), "7");
    EXPECT_EQ(ValorParametro(*f.dm, 4444), "-999");
    ASSERT_EQ(Parametros().size(), 25u);
    EXPECT_EQ(Parametros()[1].numero, nParImpressora);
}

TEST(Parameters, UnitNameAndKeyedValues) {
    AppFixture f;
    f.scratch.run("insert into PARAMETRO values (1, '12')\n;\ninsert into UNIDADE values (12, 'Hospital Central')\n;\n"
                  "insert into UNIDADE values (3, 'Posto')");
    EXPECT_EQ(SelectNomeUnidadeParametro(*f.dm), "12-Hospital Central");
    UGeral g;
    InicializaParametros(*f.dm, g);
    InicializaDados(*f.dm, g);
    EXPECT_EQ(g.sUnidadeDefautDescricao, "Hospital Central");
    EXPECT_EQ(
        PegaValor(*f.dm, "DS_UNIDADE", "UNIDADE", {"CD_UNIDADE", "DS_UNIDADE"}, {Value::int32(3), Value::text("Posto")})
            .asText(),
        "Posto");
    EXPECT_FALSE(PegaValor(*f.dm, "DS_UNIDADE", "UNIDADE", {}, {}).isNull()); // no key: the first row
    EXPECT_THROW(PegaValor(*f.dm, "NADA", "UNIDADE", {}, {}), DatabaseError);

    db::Query q(f.dm->DB(), "select DS_UNIDADE from UNIDADE where CD_UNIDADE = :C");
    EXPECT_EQ(ExecutaSQL(q, {"C"}, {Value::int32(12)}), &q);
    EXPECT_EQ(q.value(0).asText(), "Hospital Central");
    EXPECT_EQ(ExecutaSQL(q, {"NAO_HA"}, {Value::int32(12)}), nullptr);
    // Any failure gives nothing, not only the program's own errors: here the SQL trace's consumer fails.
    f.dm->DB().setTraceListener([](const db::TraceEvent&) { throw std::runtime_error("registo cheio"); });
    EXPECT_EQ(ExecutaSQL(q, {"C"}, {Value::int32(12)}), nullptr);
    f.dm->DB().setTraceListener({});
}

TEST(Folders, ValidaDiretorioCreatesEveryLevelAndReportsWhatItCannot) {
    test::TempDir dir;
    const auto deep = dir.path() / "a" / "b" / "c";
    EXPECT_TRUE(ValidaDiretorio(deep));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(ValidaDiretorio(deep)); // already there
    std::ofstream(dir / "ficheiro") << "x";
    EXPECT_THROW(ValidaDiretorio(dir.path() / "ficheiro" / "sub"), IoError);

    UGeral g;
    g.definePastas(dir.path());
    EXPECT_EQ(g.sPathIn, dir.path() / "EDI" / "IN" / "");
    EXPECT_EQ(g.sPathTemp.filename(), "");
    EXPECT_EQ(g.sDominio, sDominioPadrao);
    EXPECT_EQ(Protocolo[8], "Relatório de Coinfecção");
}

} // namespace
} // namespace edi
