#pragma once

#include "core/errors.h"
#include "core/value.h"
#include "datamodule/dataset_def.h"
#include "db/dataset.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace edi::datamodule {

class ModuleDataset;

// What a failing post, edit, delete or update does after its error hook ran.
enum class ErrorAction {
    Fail,  // the error reaches the caller
    Abort, // the operation ends silently (Abort)
    Retry, // the operation runs again
};

// The rules bound to a dataset's events. Every slot may stay empty.
struct Hooks {
    using Event = std::function<void(ModuleDataset&)>;
    using OnError = std::function<ErrorAction(ModuleDataset&, const Error&)>;
    using Validation = std::function<void(ModuleDataset&, const Value&)>;

    Event beforeOpen, afterInsert, beforePost, afterPost, beforeDelete, afterDelete;
    Event calcFields; // fills the calculated columns of the current row
    OnError deleteError, editError, postError, updateError;
    std::map<std::string, Validation> validate; // by column, upper case; runs before the value is kept
};

// One dataset of the data module: a table gateway whose statements come from its description (DatasetDef),
// with the hooks of its rules. Walks its rows forwards; first() and locate() read them again from the start.
class ModuleDataset {
public:
    ModuleDataset(db::Database& db, const DatasetDef& def);

    const std::string& name() const { return def_.name; }
    const DatasetDef& def() const { return def_; }
    Hooks& hooks() { return hooks_; }
    db::Dataset& raw() { return data_; }

    // Calculated columns: they follow the selected columns and are filled by the calcFields hook. `decimals`
    // is the display pattern of a figure ("0.00" is 2); negative shows the value as it is.
    void addCalculated(const FieldDef& field, int decimals = -1);
    void setCalculated(std::string_view column, const Value& value);

    void setParam(std::string_view name, const Value& value);
    bool hasParam(std::string_view name);
    // Appends text at the marker comment of the select (for example "/*WHERE*/"); empty restores it. A select
    // without the marker refuses: the caller's condition would silently not apply.
    void splice(const std::string& marker, const std::string& text);

    void open();
    void close();
    bool isOpen() const { return data_.isOpen(); }
    db::DatasetState state() const { return data_.state(); }
    bool eof() const { return data_.eof(); }
    bool isEmpty() { return data_.isEmpty(); }
    void first();
    void next();
    bool locate(std::string_view column, const Value& value); // first row whose column equals the value
    int recordCount(); // the stored rows the select gives; a pending row stays pending

    // A pending row (this dataset's, then its details') is saved through post() before a new row starts,
    // before the current row changes and before the dataset is read again: never dropped, never saved raw.
    void insert();
    void edit(); // a row being inserted stays a new row
    void post(); // a save that finds no stored row is an error
    void cancel();
    void remove(); // on a row being inserted: cancels it, and nothing else

    // Selected and calculated columns, in that order.
    std::vector<FieldDef> columns();
    Value value(std::string_view column);
    // The value as a person sees it: calculated figures in their display pattern.
    std::string displayText(std::string_view column);
    bool isSettable(std::string_view column) const;
    // Runs the column's validation, then keeps the value; a column the dataset does not declare refuses it.
    void setValue(std::string_view column, const Value& value);
    // Sets a value as a rule does: no validation, any selected column.
    void assign(std::string_view column, const Value& value);

    // Details follow this dataset's current row.
    void addDetail(ModuleDataset& detail) { details_.push_back(&detail); }
    // Filled by the module: the unit code that a Fill::UnitCode column receives.
    std::function<Value()> unitCode;
    // Filled by the module: the next value of a generator.
    std::function<int64_t(const std::string&)> nextValue;

private:
    template <typename Operation> void guarded(const Hooks::OnError& onError, Operation operation);
    void settle();
    void settleDetail(ModuleDataset& detail, const std::string& outcome);
    bool pending() const;
    void rowMoved();
    void calculate();
    void applyFills();
    void fillGenerators(domain::MomentoGerador momento);
    void requireStatements() const;

    DatasetDef def_;
    db::Dataset data_;
    Hooks hooks_;
    std::string baseSelect_;
    std::vector<FieldDef> calculated_;
    std::vector<Value> calculatedValues_;
    std::vector<int> calculatedDecimals_;
    std::vector<ModuleDataset*> details_;
    bool checked_ = false;
};

// "Campo X não pode ser alterado" and its kin, for the runner and the rules.
std::string notSettable(std::string_view dataset, std::string_view column);

} // namespace edi::datamodule
