// The module's start-up and the units' application versions.
#include "datamodule/tdmgeral.h"
#include "db/query.h"
#include "domain/create_database.h"
#include "support/db/scratch_database.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace edi::datamodule {
namespace {

struct Unidade {
    test::TempDir dir;
    test::RecordingUi ui;
    UGeral geral;
    db::ConnectionParams params;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<TDMGERAL> modulo;

    Unidade() {
        params.database = (dir.path() / "unit.fdb").string();
        domain::CreateOptions o;
        o.connection = params;
        o.unit = 12;
        o.forcedWrites = false;
        domain::createDatabase(o);
    }

    void abre() {
        dm = std::make_unique<TDM>(params, ui);
        modulo = std::make_unique<TDMGERAL>(*dm, geral);
        modulo->DataModuleCreate();
        geral.sPathTemp = dir.path() / "";
    }

    // What another connection sees: only committed rows.
    std::string versoes() {
        auto outra = db::Database::open(params);
        db::Query q(*outra, "select list(CD_UNIDADE || '=' || coalesce(VL_VERSAO, '-'), ',') from "
                            "(select * from UNIDADE order by CD_UNIDADE)");
        q.open();
        return q.value(0).asText();
    }
};

PacketTable lista(const std::vector<std::pair<int, std::string>>& linhas) {
    PacketTable cds({{"UNIDADE", FieldType::Integer}, {"VERSAO", FieldType::VarChar, 20}});
    for (const auto& [u, v] : linhas) {
        cds.append();
        cds.setValue(0, Value::int32(u));
        cds.setValue(1, Value::text(v));
        cds.post();
    }
    return cds;
}

TEST(DataModuleCreate, ProvinceAndMunicipalityAreLookedUpEachByItsOwnOwningUnit) {
    Unidade u;
    {
        auto db = db::Database::open(u.params);
        for (const char* sql :
             {"insert into PAIS (CD_PAIS, DS_PAIS, CD_UND) values (1, 'Angola', 12)",
              "insert into PAIS (CD_PAIS, DS_PAIS, CD_UND) values (1, 'Angola', 31)",
              "insert into PROVINCIA (CD_PROVINCIA, CD_PAIS, DS_PROVINCIA, CD_UND) values (5, 1, 'De outra', 12)",
              "insert into PROVINCIA (CD_PROVINCIA, CD_PAIS, DS_PROVINCIA, CD_UND) values (8, 1, 'Luanda', 31)",
              "insert into MUNICIPIO (CD_MUNICIPIO, CD_PROVINCIA, DS_MUNICIPIO, CD_UND) values (6, 8, 'Viana', 31)",
              "update UNIDADE set CD_PROVINCIA = 5, CD_MUNICIPIO = 6 where CD_UNIDADE = 12"})
            db->execute(sql);
        db->transaction().commit();
    }
    u.abre();
    EXPECT_EQ(u.geral.iProvincia, 5);
    EXPECT_EQ(u.geral.sProvinciaDefautDescricao, ""); // the unit row belongs to 31, the province to 12
    EXPECT_EQ(u.geral.iMunicipio, 6);
    EXPECT_EQ(u.geral.sMunicipioDefautDescricao, "Viana");
    EXPECT_FALSE(u.modulo->qyUnidade().isOpen());
    EXPECT_TRUE(u.ui.of("error").empty());
}

TEST(DataModuleCreate, AFailingStepIsReportedTheLaterOnesSkippedAndTheTraceStillFills) {
    test::ScratchDatabase scratch;
    scratch.run("create table PARAMETRO (CD_PARAMETRO integer not null, CD_UND integer, DS_PARAMETRO varchar(50), "
                "VALOR varchar(200))\n;\ninsert into PARAMETRO values (1, 12, 'Unidade', '12')\n;\n"
                "create table DUAL (DUMMY char(1))\n;\n");
    scratch.detach();
    test::RecordingUi ui;
    UGeral geral;
    TDM dm(scratch.params(), ui);
    TDMGERAL modulo(dm, geral);
    const size_t antes = modulo.LogSQL().Count();
    EXPECT_NO_THROW(modulo.DataModuleCreate());
    EXPECT_EQ(geral.prmUnidade, "12");
    ASSERT_EQ(ui.of("error").size(), 1u);
    EXPECT_NE(ui.of("error")[0].find("UNIDADE"), std::string::npos) << ui.of("error")[0];
    EXPECT_EQ(geral.sUnidadeDefautDescricao, ""); // InicializaDados did not run
    EXPECT_GT(modulo.LogSQL().Count(), antes);
}

TEST(VersaoUnidades, ListedUnitsTakeTheLastVersionUnknownOnesAreSkippedAndAllIsCommitted) {
    Unidade u;
    u.abre();
    const std::string antes = u.versoes();
    u.modulo->GetVersaoUnidadesWeb([](const std::string& consulta, const std::filesystem::path& arquivo) {
        EXPECT_EQ(consulta, "/dbUnidade.php?op=S");
        EXPECT_EQ(arquivo.filename(), "Unidades.xml");
        return lista({{12, "2.0"}, {99, "x"}, {12, "2.1.0-04"}});
    });
    EXPECT_EQ(u.versoes(), "12=2.1.0-04,31=" + antes.substr(antes.find("31=") + 3));
    EXPECT_EQ(u.modulo->cds().recordCount(), 3u);

    u.modulo->GetVersaoUnidadesWeb([](const std::string&, const std::filesystem::path&) { return lista({}); });
    EXPECT_EQ(u.versoes(), "12=2.1.0-04,31=" + antes.substr(antes.find("31=") + 3));
}

TEST(VersaoUnidades, AFailureAfterSomeRowsStillCommitsThemAndReachesTheCaller) {
    Unidade u;
    u.abre();
    PacketTable quebrada({{"UNIDADE", FieldType::Integer}, {"VERSAO", FieldType::VarChar, 40}});
    for (const auto& [unidade, versao] :
         std::vector<std::pair<int, std::string>>{{12, "3.0"}, {31, std::string(30, 'v')}}) {
        quebrada.append();
        quebrada.setValue(0, Value::int32(unidade));
        quebrada.setValue(1, Value::text(versao));
        quebrada.post();
    }
    auto carrega = [&](const std::string&, const std::filesystem::path&) { return std::move(quebrada); };
    EXPECT_THROW(u.modulo->GetVersaoUnidadesWeb(carrega), Error);
    EXPECT_EQ(u.versoes().substr(0, 7), "12=3.0,");
    EXPECT_FALSE(u.modulo->TB_UNIDADE().isOpen());
}

} // namespace
} // namespace edi::datamodule
