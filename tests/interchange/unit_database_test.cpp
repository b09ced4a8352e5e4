#include "domain/create_database.h"
#include "domain/schema.h"
#include "domain/seed.h"
#include "installation.h"

#include <gtest/gtest.h>

namespace edi {
namespace {

using test::Instalacao;

auto baseDaUnidade(int unidade, int pacientes) {
    return [=](const db::ConnectionParams& p) {
        domain::CreateOptions o;
        o.connection = p;
        o.unit = unidade;
        o.central = 31;
        o.forcedWrites = false;
        domain::createDatabase(o);
        if (pacientes > 0) {
            auto db = db::Database::open(p);
            domain::seedDatabase(*db, {pacientes, 7});
        }
    };
}

std::string ordemDaChave(const domain::Table& t) {
    std::string ordem;
    for (const auto& k : t.primaryKey)
        ordem += (ordem.empty() ? "" : ", ") + k;
    return ordem;
}

TEST(UnitDatabases, EveryDataRowOfAUnitReachesTheCentralUnitAndListsFlowBackWithoutBouncing) {
    Instalacao u(baseDaUnidade(12, 40), "u12.fdb");
    Instalacao c(baseDaUnidade(31, 0), "c31.fdb");

    u.engine->btExportarClick();
    EXPECT_EQ(u.engine->lbLog(), "");
    ASSERT_FALSE(u.saida().empty());
    u.entregaPara(c);
    c.engine->btImportarClick();
    EXPECT_EQ(c.ui.message(), "Pronto!");

    size_t comparadas = 0;
    for (const domain::Table* t : domain::registeredTables()) {
        if (t->kind != domain::TableKind::Data)
            continue;
        const auto daUnidade = u.linhas(t->name, ordemDaChave(*t), {"DT_EXP"});
        EXPECT_EQ(c.linhas(t->name, ordemDaChave(*t), {"DT_EXP"}), daUnidade) << t->name;
        comparadas += daUnidade.empty() ? 0 : 1;
    }
    EXPECT_GT(comparadas, 10u);
    // Rows of unit 12 wait at the central unit for its own export, which does not send data tables back.
    EXPECT_GT(c.numero("select count(*) from PACIENTE where DT_EXP is null"), 0);
    c.engine->btExportarClick();
    for (const auto& f : c.saida())
        EXPECT_EQ(f.filename().string().rfind("PACIENTE", 0), std::string::npos) << f;

    // A list the central unit keeps reaches the unit with its mark, so the unit does not send it on.
    for (const auto& f : c.saida())
        std::filesystem::remove(f);
    // A country both sides already hold (marked: not sent again), and a new province of it.
    c.sql("insert into PAIS (CD_PAIS, DS_PAIS, CD_UND, DT_EXP) values (1, 'Angola', 31, current_timestamp)");
    c.sql("insert into PROVINCIA (CD_PROVINCIA, CD_PAIS, DS_PROVINCIA, CD_UND) values (900, 1, 'Província Nova', 31)");
    c.engine->btExportarClick();
    c.entregaPara(u);
    u.engine->btImportarClick();
    EXPECT_EQ(u.texto("select DS_PROVINCIA from PROVINCIA where CD_PROVINCIA = 900 and CD_UND = 31"), "Província Nova");
    EXPECT_EQ(u.numero("select count(*) from PROVINCIA where CD_PROVINCIA = 900 and DT_EXP is null"), 0);

    // A new database records deletions of its own sent rows: a row no other table refers to is deleted.
    const auto semFilhas = [](const domain::Table& t) {
        for (const domain::Table* outra : domain::registeredTables())
            for (const domain::ForeignKey& fk : outra->foreignKeys)
                if (fk.parent == t.name)
                    return false;
        return true;
    };
    for (const domain::Table* t : domain::registeredTables()) {
        const std::string T = t->name;
        if (t->kind != domain::TableKind::Data || !semFilhas(*t) ||
            u.numero("select count(*) from " + T + " where CD_UND = 12 and CD_EDI is not null") == 0)
            continue;
        const std::string codigo = std::to_string(u.numero("select min(CD_EDI) from " + T + " where CD_UND = 12"));
        u.sql("delete from " + T + " where CD_UND = 12 and CD_EDI = " + codigo);
        EXPECT_EQ(u.numero("select count(*) from EDI_EXCLUSAO where NM_TABELA = '" + T + "' and CD_EDI = " + codigo),
                  1);
        break;
    }
    EXPECT_EQ(u.numero("select count(*) from EDI_EXCLUSAO"), 1);
}

// Codes are drawn per installation, so two units give their first address the same code: the central unit keeps
// both, each under its owner.
TEST(UnitDatabases, RowsOfTwoUnitsWithTheSameCodesBothReachTheCentralUnit) {
    Instalacao c(baseDaUnidade(31, 0), "c31.fdb");
    for (int unidade : {12, 13}) {
        Instalacao u(baseDaUnidade(unidade, 0), "u.fdb");
        const std::string und = std::to_string(unidade);
        u.sql("insert into PESSOA (CD_PESSOA, CD_UND, NM_PESSOA) values (1, " + und + ", 'Pessoa " + und + "')");
        u.sql("insert into DOCUMENTO (CD_DOCUMENTO, CD_UND, CD_PESSOA, FL_PRINCIPAL) values (1, " + und + ", 1, 'S')");
        u.sql("insert into ENDERECO (CD_ENDERECO, CD_UND, CD_PESSOA, FL_PRINCIPAL, DS_ENDERECO) values (1, " + und +
              ", 1, 'S', 'Rua " + und + "')");
        u.sql("insert into PESSOA_DOC (CD_PESSOA, CD_UND, CD_DOCUMENTO) values (1, " + und + ", 1)");
        u.sql("insert into PESSOA_ENDERECO (CD_PESSOA, CD_UND, CD_ENDERECO, FL_PRINCIPAL) values (1, " + und +
              ", 1, 'S')");
        u.engine->btExportarClick();
        EXPECT_EQ(u.engine->lbLog(), "");
        u.entregaPara(c);
    }
    c.engine->btImportarClick();
    for (const char* tabela : {"PESSOA", "DOCUMENTO", "ENDERECO", "PESSOA_DOC", "PESSOA_ENDERECO"})
        EXPECT_EQ(c.numero(std::string("select count(distinct CD_UND) from ") + tabela + " where CD_UND in (12, 13)"),
                  2)
            << tabela;
    EXPECT_EQ(c.texto("select DS_ENDERECO from ENDERECO where CD_ENDERECO = 1 and CD_UND = 13"), "Rua 13");
}

} // namespace
} // namespace edi
