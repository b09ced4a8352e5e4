// Every dataset of the module opens on a new unit database and carries a row through insert, edit and delete.
#include "core/formats.h"
#include "datamodule/statements.h"
#include "datamodule/tdmgeral.h"
#include "db/query.h"
#include "domain/create_database.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
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
        ui_.answerYes = true;
        dm_ = std::make_unique<TDM>(o.connection, ui_);
        modulo_ = std::make_unique<TDMGERAL>(*dm_, geral_);
        modulo_->DataModuleCreate();
    }
    TDMGERAL& operator*() { return *modulo_; }
    TDMGERAL* operator->() { return modulo_.get(); }
    test::RecordingUi& ui() { return ui_; }

private:
    test::TempDir dir_;
    test::RecordingUi ui_;
    UGeral geral_;
    std::unique_ptr<TDM> dm_;
    std::unique_ptr<TDMGERAL> modulo_;
};

// A value of the column's type; `other` gives a second, different one.
Value sample(const FieldDef& f, bool other = false) {
    switch (f.type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::BigInt:
    case FieldType::Numeric:
    case FieldType::Double: return Value::int32(other ? 8 : 7);
    case FieldType::Date:
    case FieldType::Timestamp: return Value::text(other ? "03/04/2021" : "01/02/2020");
    case FieldType::Char: return Value::text(other ? "N" : "S");
    default: return Value::text(std::string(other ? "Y" : "X"));
    }
}

// The select's parameters take the values given to the columns of the same name.
void selectRowOf(DataSet& ds) {
    for (const auto& p : ds.raw().selectQuery().paramNames())
        for (const FieldDef& f : writtenColumns(ds.def()))
            if (formats::equalsIgnoreCase(f.name, p))
                ds.setParam(p, sample(f));
}

bool findsRow(DataSet& ds) {
    selectRowOf(ds);
    ds.open();
    const std::string key = updateKey(ds.def()).front();
    return ds.locate(key, sample(ds.raw().field(key)));
}

TEST(Datasets, EveryDatasetRoundTripsARow) {
    Modulo m;
    for (const std::string& name : m->datasetNames()) {
        SCOPED_TRACE(name);
        DataSet& ds = m->dataset(name);
        selectRowOf(ds);
        ASSERT_NO_THROW(ds.open());
        if (!ds.def().canInsert)
            continue;
        const auto written = writtenColumns(ds.def());
        ds.insert();
        // The statements are under test here, not the validation rules: values go in as a rule puts them.
        for (const FieldDef& f : written)
            if (ds.isSettable(f.name))
                ds.assign(f.name, sample(f));
        ASSERT_NO_THROW(ds.post());
        ASSERT_TRUE(findsRow(ds));

        const FieldDef* changed = nullptr;
        const auto key = updateKey(ds.def());
        for (const FieldDef& f : written)
            if (ds.isSettable(f.name) && !ds.raw().selectQuery().hasParam(f.name) &&
                std::find(key.begin(), key.end(), f.name) == key.end())
                changed = &f;
        if (changed && ds.def().canUpdate) {
            ds.edit();
            ds.assign(changed->name, sample(*changed, true));
            ASSERT_NO_THROW(ds.post());
            // What the row holds once saved (a before-post rule may have set the column) is what is read back.
            const Value saved = ds.value(changed->name);
            ASSERT_TRUE(findsRow(ds));
            EXPECT_EQ(ds.value(changed->name), saved) << changed->name;
        }
        if (ds.def().canDelete) {
            ASSERT_NO_THROW(ds.remove());
            EXPECT_FALSE(findsRow(ds));
        }
        ds.close();
    }
}

} // namespace
} // namespace edi::datamodule
