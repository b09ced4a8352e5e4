// Every dataset of the module opens on a new unit database and carries a row through insert, edit and delete.
#include "core/formats.h"
#include "datamodule/statements.h"
#include "datamodule/tdmgeral.h"
#include "db/query.h"
#include "domain/create_database.h"
#include "domain/schema.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

namespace edi::datamodule {
namespace {

class Modulo {
public:
    Modulo() {
        domain::CreateOptions o;
        o.connection.database = (dir_.path() / "unit.fdb").string();
        o.unit = 12;
        o.forcedWrites = false;
        domain::createDatabase(o);
        dropForeignKeys(o.connection);
        ui_.answerYes = true;
        dm_ = std::make_unique<TDM>(o.connection, ui_);
        modulo_ = std::make_unique<TDMGERAL>(*dm_, geral_);
        modulo_->DataModuleCreate();
    }
    TDMGERAL& operator*() { return *modulo_; }
    TDMGERAL* operator->() { return modulo_.get(); }

private:
    // The statements are under test here, row by row with sample codes that name no parent row: the foreign keys
    // are the scenarios' business.
    static void dropForeignKeys(const db::ConnectionParams& p) {
        auto db = db::Database::open(p);
        for (const domain::Table& t : domain::tables())
            for (const domain::ForeignKey& k : t.foreignKeys)
                db->execute("alter table " + t.name + " drop constraint " + k.name);
        db->transaction().commit();
    }

    test::TempDir dir_;
    test::RecordingUi ui_;
    UGeral geral_;
    std::unique_ptr<TDM> dm_;
    std::unique_ptr<TDMGERAL> modulo_;
};

// A value of the column's type; `other` gives a second, different one. The owning unit is this unit.
Value sample(const FieldDef& f, bool other = false) {
    if (f.name == "CD_UND")
        return Value::int32(12);
    switch (f.type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::BigInt:
    case FieldType::Numeric:
    case FieldType::Double: return Value::int32(other ? 8 : 7);
    case FieldType::Date:
    case FieldType::Timestamp: return Value::text(other ? "03/04/2021" : "01/02/2020");
    case FieldType::Char: return Value::text(other ? "S" : "N");
    default: return Value::text(std::string(other ? "Y" : "X"));
    }
}

// What a few selects need beyond the row itself: rows they join to and parameters named otherwise.
struct Setup {
    std::vector<std::string> rows;
    std::map<std::string, std::string> params;
    std::map<std::string, std::string> nulls; // columns the select's filter wants empty
};

const std::string kPaciente = "insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, DT_NASCIMENTO, IDADE, NM_MAE, "
                              "TP_SEXO) values (7, 12, 'P', '2000-01-01', 20, 'M', 'F')";
const std::string kUnidade = "insert into UNIDADE (CD_UNIDADE, CD_UND, DS_UNIDADE) values (7, 12, 'U')";
const std::string kMedico = "insert into MEDICO (CD_MEDICO, CD_UND) values (7, 12)";
const std::string kAgenda = "insert into AGENDA (CD_AGENDA, CD_UND, NR_LAB) values (7, 12, 7)";

const std::map<std::string, Setup>& setups() {
    static const std::map<std::string, Setup> m = {
        {"TB_PESSOA_DOC",
         {{"insert into DOCUMENTO (CD_DOCUMENTO, CD_UND, TP_DOCUMENTO, CD_PESSOA, FL_PRINCIPAL) "
           "values (7, 12, 'X', 7, 'N')"},
          {{"TP_DOC", "X"}},
          {}}},
        {"TB_PESSOA_ENDERECO",
         {{"insert into ENDERECO (CD_ENDERECO, CD_UND, TP_ENDERECO, CD_PESSOA, FL_PRINCIPAL) "
           "values (7, 12, 'X', 7, 'N')"},
          {{"TP_ENDERECO", "X"}},
          {}}},
        {"TB_AGENDA", {{kPaciente, kUnidade, kMedico}, {{"DT_DE", "01/01/2020"}, {"DT_ATE", "01/01/2030"}}, {}}},
        // The appointment TB_RESULTADO_CD4 needed was committed by that dataset's rule.
        {"TB_AGENDAMENTOS", {{"delete from AGENDA where CD_AGENDA = 7"}, {{"AGENDA", "7"}}, {}}},
        {"TB_RESULTADO_CD4", {{kAgenda}, {{"NR_LAB", "7"}}, {}}},
        {"TB_ATENDIMENTO", {{}, {{"MEDICO", "7"}, {"DT_DE", "01/01/2020"}, {"DT_ATE", "01/01/2030"}}, {}}},
        {"TB_MAPA", {{kMedico}, {}, {}}},
        {"TB_NR_NOTIFICACAO", {{}, {}, {{"NR_NOTIFICACAO", ""}}}},
    };
    return m;
}

Setup setupOf(const std::string& name) {
    auto it = setups().find(name);
    return it == setups().end() ? Setup{} : it->second;
}

// The select's parameters take the values given to the columns of the same name, or the setup's.
void selectRowOf(ModuleDataset& ds) {
    const Setup setup = setupOf(ds.name());
    for (const auto& p : ds.raw().selectQuery().paramNames()) {
        if (auto it = setup.params.find(p); it != setup.params.end())
            ds.setParam(p, Value::text(it->second));
        for (const FieldDef& f : writtenColumns(ds.def()))
            if (formats::equalsIgnoreCase(f.name, p))
                ds.setParam(p, sample(f));
    }
}

bool findsRow(ModuleDataset& ds) {
    selectRowOf(ds);
    ds.open();
    const std::string key = updateKey(ds.def()).front();
    return ds.locate(key, sample(ds.raw().field(key)));
}

void fillNewRow(ModuleDataset& ds) {
    const Setup setup = setupOf(ds.name());
    for (const FieldDef& f : writtenColumns(ds.def())) {
        // The statements are under test here, not the validation rules: values go in as a rule puts them.
        if (ds.isSettable(f.name) || f.required)
            ds.assign(f.name, setup.nulls.count(f.name) ? Value() : sample(f));
    }
}

TEST(Datasets, EveryDatasetRoundTripsARow) {
    Modulo m;
    for (const std::string& name : m->datasetNames()) {
        SCOPED_TRACE(name);
        ModuleDataset& ds = m->dataset(name);
        for (const auto& sql : setupOf(name).rows)
            db::Query(m->dm().DB(), sql).execute();
        selectRowOf(ds);
        ASSERT_NO_THROW(ds.open());
        if (ds.def().canInsert) {
            ds.insert();
            fillNewRow(ds);
            ASSERT_NO_THROW(ds.post());
            ASSERT_TRUE(findsRow(ds));

            const FieldDef* changed = nullptr;
            const auto key = updateKey(ds.def());
            const auto written = writtenColumns(ds.def());
            const auto& updated = ds.def().updateColumns;
            for (const FieldDef& f : written)
                if (ds.isSettable(f.name) && !ds.raw().selectQuery().hasParam(f.name) &&
                    std::find(key.begin(), key.end(), f.name) == key.end() &&
                    (updated.empty() || std::find(updated.begin(), updated.end(), f.name) != updated.end()))
                    changed = &f;
            if (changed && ds.def().canUpdate) {
                ds.edit();
                ds.assign(changed->name, sample(*changed, true));
                ASSERT_NO_THROW(ds.post());
                // What the row holds once saved (a before-post rule may have set the column) is read back.
                const Value saved = ds.value(changed->name);
                ASSERT_TRUE(findsRow(ds));
                EXPECT_EQ(ds.value(changed->name), saved) << changed->name;
            }
            if (ds.def().canDelete) {
                ASSERT_NO_THROW(ds.remove());
                // A select that shows rows not stored yet still shows this one, without what was stored.
                if (ds.def().insertWhenMissing)
                    EXPECT_TRUE(changed && findsRow(ds) && ds.value(changed->name).isNull());
                else
                    EXPECT_FALSE(findsRow(ds));
            }
        }
        ds.close();
        m->dm().Rollback();
    }
}

} // namespace
} // namespace edi::datamodule
