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
    c.sql("insert into PROVINCIA (CD_PROVINCIA, CD_PAIS, DS_PROVINCIA, CD_UND) values (900, 1, 'Província Nova', 31)");
    c.engine->btExportarClick();
    c.entregaPara(u);
    u.engine->btImportarClick();
    EXPECT_EQ(u.texto("select DS_PROVINCIA from PROVINCIA where CD_PROVINCIA = 900 and CD_UND = 31"), "Província Nova");
    EXPECT_EQ(u.numero("select count(*) from PROVINCIA where CD_PROVINCIA = 900 and DT_EXP is null"), 0);
}

} // namespace
} // namespace edi
