// De-Para between an embedded database and one on the loopback server.
#include "core/errors.h"
#include "db/query.h"
#include "support/db/dois_bancos.h"
#include "tools/depara.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace edi::tools {
namespace {

using ::testing::ElementsAre;

class DeParaTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.edDe = bancos.conexaoDe();
        form.edPara = bancos.conexaoPara();
        form.btDeClick();
        form.btParaClick();
        log.clear();
    }
    // Rows 1-3 of province 1 in months 202401/202402, row 4 in another month, row 5 in another province.
    void preencheDe(const std::string& tabela = "REGISTRO_TARV") {
        std::string s;
        const char* linhas[] = {"1, 10, 1, 202401, 'Conceição', '2024-01-05 08:30:00'", "2, 10, 1, 202402, null, null",
                                "3, 11, 1, 202401, 'três', '2024-01-31'", "4, 10, 1, 202403, 'março', null",
                                "5, 10, 2, 202401, 'outra', null"};
        for (const char* l : linhas)
            s += "insert into " + tabela + " values (" + l + ")\n;\n";
        test::runScript(bancos.de(), s);
    }
    int64_t linhasPara(const std::string& onde = "") {
        return test::DoisBancos::conta(bancos.para(), "select count(*) from REGISTRO_TARV " + onde);
    }
    void filtraProvincia1() {
        form.filtro.tabela = "REGISTRO_TARV";
        form.filtro.provincia = "1";
        form.filtro.mesano = "202401,202402";
    }

    test::DoisBancos bancos;
    std::vector<std::string> log;
    std::vector<int64_t> posicoes;
    int64_t maximo = -1;
    DePara form{bancos.login(),
                {[this](const std::string& l) { log.push_back(l); }, [this](int64_t m) { maximo = m; },
                 [this](int64_t p) { posicoes.push_back(p); }, [] {}}};
};

TEST(MontaFiltro, ClausesInOrderVerbatimAndStatementEndersRefused) {
    EXPECT_EQ(MontaFiltro({"REGISTRO_PTV", "", "", "", "", ""}), "select * from REGISTRO_PTV where (1=1)  ");
    EXPECT_EQ(MontaFiltro({"T", "1", "2", "3", "4", "202401, 202402"}),
              "select * from T where (1=1)   and cd_provincia = 1 and vl_mesano in (202401, 202402)"
              " and cd_municipio = 2 and cd_unidade = 3 and cd_und = 4");
    EXPECT_EQ(MontaFiltro({"T", "", "", "'0101'", "", ""}), "select * from T where (1=1)   and cd_unidade = '0101'");
    for (const char* mau : {"1; delete from T", "1 -- resto", "1 /* resto */"}) {
        try {
            MontaFiltro({"T", "", "", "", mau, ""});
            ADD_FAILURE() << mau;
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "O filtro \"Und:\" não pode conter \";\", \"--\" nem \"/*\": escreva só o valor "
                                   "(um texto leva as suas próprias aspas).");
        }
    }
    EXPECT_THROW(MontaFiltro({"T; drop table T", "", "", "", "", ""}), Error);
}

TEST_F(DeParaTest, OpenCountsBothSidesAndTheGridReadsOnlyWhatItIsAskedFor) {
    preencheDe();
    test::runScript(bancos.para(), "insert into REGISTRO_TARV values (9, 10, 1, 202402, null, null)");
    filtraProvincia1();
    form.btAbrirClick();
    form.filtro = {"REGISTRO_TARV", "", "", "", "", ""};
    form.btAbrirClick();
    EXPECT_THAT(log, ElementsAre("Tabela: REGISTRO_TARV De: 3 Para: 1", "Tabela: REGISTRO_TARV De: 5 Para: 1"));

    LinhasLidas& grade = *form.gradeDe();
    EXPECT_EQ(grade.lidas(), 0u);
    EXPECT_EQ(grade.buscaMais(2), 2u);
    EXPECT_TRUE(grade.haMais());
    EXPECT_EQ(grade.buscaMais(10), 3u);
    EXPECT_FALSE(grade.haMais());
    EXPECT_EQ(grade.campos().at(4).name, "DS_NOTA");
    EXPECT_EQ(grade.linha(0).at(4), Value::text("Conceição"));
    EXPECT_EQ(form.gradePara()->buscaMais(10), 1u);
}

TEST_F(DeParaTest, CopiesTheFilteredRowsOnceAndASecondCopyInsertsNothing) {
    preencheDe();
    filtraProvincia1();
    form.btAbrirClick();
    form.btDeParaClick();
    EXPECT_EQ(maximo, 3);
    EXPECT_THAT(posicoes, ElementsAre(1, 2, 3));
    EXPECT_EQ(linhasPara(), 3);
    {
        db::Query q(bancos.para(), "select DS_NOTA, DT_REGISTRO from REGISTRO_TARV where CD_REGISTRO = 1");
        q.open();
        EXPECT_EQ(q.value(0), Value::text("Conceição"));
        EXPECT_EQ(q.value(1).asText(), "05/01/2024 08:30:00");
    }
    EXPECT_EQ(linhasPara("where DS_NOTA is null and DT_REGISTRO is null"), 1);

    log.clear();
    form.btAbrirClick();
    form.btDeParaClick();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "Tabela: REGISTRO_TARV De: 3 Para: 3");
    for (size_t i = 1; i < log.size(); ++i) {
        EXPECT_EQ(log[i].rfind("RecNo:" + std::to_string(i) + "Erro: ", 0), 0u) << log[i];
        EXPECT_NE(log[i].find("PRIMARY"), std::string::npos) << log[i];
    }
    EXPECT_EQ(linhasPara(), 3);
}

TEST_F(DeParaTest, ARowWhoseCommitFailsIsLoggedAndTheNextRowsAreStillCopied) {
    preencheDe();
    // The Para database refuses to commit while row 2 is there.
    test::runScript(bancos.para(), "create exception SEM_DOIS 'linha 2 recusada'\n;\n"
                                   "create trigger RECUSA_DOIS on transaction commit as\n"
                                   "begin\n"
                                   "  if (exists(select 1 from REGISTRO_TARV where CD_REGISTRO = 2)) then\n"
                                   "    exception SEM_DOIS;\n"
                                   "end");
    form.btParaClick(); // an attachment loads the database's triggers when it opens
    log.clear();
    filtraProvincia1();
    form.btAbrirClick();
    form.btDeParaClick();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].rfind("RecNo:2Erro: ", 0), 0u) << log[1];
    EXPECT_NE(log[1].find("linha 2 recusada"), std::string::npos) << log[1];
    EXPECT_EQ(linhasPara(), 2);
    EXPECT_EQ(linhasPara("where CD_REGISTRO in (1, 3)"), 2);
}

TEST_F(DeParaTest, DeleteRemovesOnlyTheRowsTheLastOpenShowed) {
    preencheDe();
    form.filtro.tabela = "REGISTRO_TARV";
    form.btAbrirClick();
    form.btDeParaClick();
    ASSERT_EQ(linhasPara(), 5);
    filtraProvincia1();
    form.btAbrirClick();
    form.filtro.provincia = "2"; // typed after "Abrir": not what the delete works on
    log.clear();
    form.btDelParaClick();
    EXPECT_THAT(log, ElementsAre("Exclusao Para - Realizado"));
    EXPECT_EQ(linhasPara(), 2);
    EXPECT_EQ(linhasPara("where CD_REGISTRO in (4, 5)"), 2);
    EXPECT_EQ(form.gradePara()->buscaMais(10), 0u);

    form.btDelParaClick(); // nothing left to delete
    EXPECT_THAT(log, ElementsAre("Exclusao Para - Realizado", "Exclusao Para - Realizado"));
    EXPECT_EQ(linhasPara(), 2);
}

TEST_F(DeParaTest, CompareLogsTheNineRegistersAndLeavesTheLastOne) {
    test::runScript(bancos.de(), "insert into REGISTRO_ATV values (1, 10, 1, 202401, null, null)\n;\n"
                                 "insert into REGISTRO_ATV values (2, 10, 1, 202401, null, null)\n;\n"
                                 "insert into REGISTRO_TESTES_POSITIVOS values (1, 10, 1, 202401, null, null)");
    test::runScript(bancos.para(), "insert into REGISTRO_PTV values (7, 10, 1, 202401, null, null)");
    form.btCompararClick();
    EXPECT_THAT(log,
                ElementsAre("Tabela: REGISTRO_ATV De: 2 Para: 0", "Tabela: REGISTRO_COINFECCAO De: 0 Para: 0",
                            "Tabela: REGISTRO_PROGRAMA De: 0 Para: 0", "Tabela: REGISTRO_PTV De: 0 Para: 1",
                            "Tabela: REGISTRO_TARV De: 0 Para: 0", "Tabela: REGISTRO_TARV_ACOMP De: 0 Para: 0",
                            "Tabela: REGISTRO_TARV_CD4 De: 0 Para: 0", "Tabela: REGISTRO_TARV_ESQUEMA De: 0 Para: 0",
                            "Tabela: REGISTRO_TESTES_POSITIVOS De: 1 Para: 0"));
    EXPECT_EQ(form.filtro.tabela, "REGISTRO_TESTES_POSITIVOS");
    EXPECT_EQ(form.gradeDe()->buscaMais(10), 1u);
}

TEST_F(DeParaTest, ATableWithoutKeyOrInAnotherCaseFailsOpenWithoutALogLine) {
    test::runScript(bancos.de(), "create table LOG_X (DS varchar(10))");
    test::runScript(bancos.para(), "create table LOG_X (DS varchar(10))");
    for (const char* tabela : {"LOG_X", "registro_tarv"}) {
        form.filtro.tabela = tabela;
        try {
            form.btAbrirClick();
            ADD_FAILURE() << tabela;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), std::string("Erro:") + tabela + "\rCampo Chave nao definido!");
        }
    }
    EXPECT_TRUE(log.empty());
    EXPECT_THROW(form.btDeParaClick(), Error); // nothing was opened
}

} // namespace
} // namespace edi::tools
