#include "datamodule/module_dataset.h"

#include "core/formats.h"
#include "datamodule/statements.h"

#include <algorithm>

namespace edi::datamodule {

namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

} // namespace

std::string notSettable(std::string_view dataset, std::string_view column) {
    return "O campo " + std::string(column) + " de " + std::string(dataset) + " não pode ser alterado";
}

ModuleDataset::ModuleDataset(db::Database& db, const DatasetDef& def) : def_(def), data_(db) {
    const Statements s = statementsOf(def_);
    baseSelect_ = s.select;
    data_.setSelectSql(s.select);
    data_.setInsertSql(s.insert);
    data_.setModifySql(s.update);
    data_.setDeleteSql(s.remove);
    data_.setMissingRow(def_.insertWhenMissing ? db::MissingRow::Insert : db::MissingRow::Fail);
}

void ModuleDataset::addCalculated(const FieldDef& field, int decimals) {
    calculated_.push_back(field);
    calculatedValues_.emplace_back();
    calculatedDecimals_.push_back(decimals);
}

void ModuleDataset::setCalculated(std::string_view column, const Value& value) {
    for (size_t i = 0; i < calculated_.size(); ++i)
        if (sameName(calculated_[i].name, column)) {
            calculatedValues_[i] = convertForField(value, calculated_[i]);
            return;
        }
    throw Error("Campo calculado " + std::string(column) + " inexistente em " + def_.name);
}

void ModuleDataset::setParam(std::string_view name, const Value& value) {
    data_.setParam(name, value);
}

bool ModuleDataset::hasParam(std::string_view name) {
    return data_.selectQuery().hasParam(name);
}

void ModuleDataset::splice(const std::string& marker, const std::string& text) {
    std::string sql = baseSelect_;
    const size_t at = sql.find(marker);
    if (marker.empty() || at == std::string::npos)
        throw Error("A seleção de " + def_.name + " não tem o marcador " + marker);
    sql.insert(at + marker.size(), text.empty() ? "" : "\n" + text + "\n");
    if (sql == data_.selectSql())
        return;
    // A new select text closes the dataset and forgets the parameters given: save first, give them again.
    if (isOpen())
        settle();
    db::Query& select = data_.selectQuery();
    std::vector<std::pair<std::string, Value>> params;
    for (size_t i = 0; i < select.paramNames().size(); ++i)
        params.emplace_back(select.paramNames()[i], select.param(i));
    data_.setSelectSql(sql);
    for (const auto& [name, value] : params)
        if (select.hasParam(name))
            select.setParam(name, value);
}

// Every statement parameter must find its column in the selected row: a missing one would be written as the
// engine's zero value or null, never as the row's value.
void ModuleDataset::requireStatements() const {
    auto& raw = const_cast<db::Dataset&>(data_);
    for (const auto& sql : {raw.insertSql(), raw.modifySql(), raw.deleteSql()}) {
        if (sql.empty())
            continue;
        db::Query statement(raw.selectQuery().database(), sql);
        for (const auto& name : statement.paramNames()) {
            const std::string column = name.rfind("OLD_", 0) == 0 ? name.substr(4) : name;
            if (raw.fieldIndex(column) < 0)
                throw Error("O comando de " + def_.name + " grava " + column + ", que a seleção não lê");
        }
    }
}

bool ModuleDataset::pending() const {
    return state() == db::DatasetState::Edit || state() == db::DatasetState::Insert;
}

// Saves what is pending before the rows are read again or the current row changes. A detail's pending row
// refers to its master's stored row, so the master goes first: its post reopens the details, which settle.
void ModuleDataset::settle() {
    if (pending()) {
        post();
        return;
    }
    for (ModuleDataset* detail : details_)
        if (detail->isOpen())
            settleDetail(*detail, ", e " + def_.name + " não mudou de registro");
}

void ModuleDataset::settleDetail(ModuleDataset& detail, const std::string& outcome) {
    try {
        detail.settle();
    } catch (const Abort&) {
        throw;
    } catch (const Error& e) {
        throw Error("Não foi possível gravar o registro pendente de " + detail.name() + " (detalhe de " + def_.name +
                    ")" + outcome + ": " + e.what());
    }
}

void ModuleDataset::open() {
    if (isOpen())
        settle();
    if (hooks_.beforeOpen)
        hooks_.beforeOpen(*this);
    data_.open();
    if (!checked_) {
        requireStatements();
        checked_ = true;
    }
    rowMoved();
}

void ModuleDataset::close() {
    data_.close();
}

void ModuleDataset::rowMoved() {
    calculate();
    for (ModuleDataset* detail : details_) {
        for (const auto& column : detail->def_.master.columns)
            detail->setParam(column, data_.eof() ? Value() : data_.value(column));
        if (detail->isOpen()) {
            settleDetail(*detail, "");
            detail->open();
        }
    }
}

void ModuleDataset::first() {
    open();
}

void ModuleDataset::next() {
    settle();
    data_.next();
    rowMoved();
}

bool ModuleDataset::locate(std::string_view column, const Value& value) {
    first();
    const FieldDef& field = data_.field(column);
    const Value wanted = convertForField(value, field);
    // Fixed-width text comes back blank-padded.
    auto matches = [&](const Value& v) {
        if (field.type == FieldType::Char && !v.isNull() && !wanted.isNull())
            return formats::trim(v.asText()) == formats::trim(wanted.asText());
        return v == wanted;
    };
    for (; !eof(); next())
        if (matches(data_.value(column)))
            return true;
    return false;
}

int ModuleDataset::recordCount() {
    return data_.countRows();
}

template <typename Operation> void ModuleDataset::guarded(const Hooks::OnError& onError, Operation operation) {
    for (;;) {
        try {
            operation();
            return;
        } catch (const Abort&) {
            throw;
        } catch (const Error& e) {
            const ErrorAction action = onError ? onError(*this, e) : ErrorAction::Fail;
            if (action == ErrorAction::Abort)
                throw Abort();
            if (action == ErrorAction::Fail)
                throw;
        }
    }
}

void ModuleDataset::fillGenerators(domain::MomentoGerador momento) {
    for (const auto& g : def_.generators)
        if (g.momento == momento && data_.value(g.column).isNull())
            data_.setValue(g.column, Value::int64(nextValue(g.generator)));
}

void ModuleDataset::insert() {
    if (!def_.canInsert)
        throw Error("Não é possível incluir registros em " + def_.name);
    if (pending())
        post();
    data_.append();
    calculate();
    try {
        fillGenerators(domain::MomentoGerador::NovoRegistro);
    } catch (...) {
        // A new row without its key is no row at all.
        cancel();
        throw;
    }
    if (hooks_.afterInsert)
        hooks_.afterInsert(*this);
}

void ModuleDataset::edit() {
    guarded(hooks_.editError, [&] { data_.edit(); });
}

void ModuleDataset::applyFills() {
    const bool inserting = state() == db::DatasetState::Insert;
    for (const auto& f : def_.fills) {
        if (f.fill == Fill::Null)
            data_.setValue(f.column, Value());
        else if (f.fill == Fill::UnitCode && inserting && data_.value(f.column).isNull())
            data_.setValue(f.column, unitCode());
    }
}

void ModuleDataset::post() {
    const db::DatasetState before = state();
    if (before != db::DatasetState::Edit && before != db::DatasetState::Insert)
        return;
    if (hooks_.beforePost)
        hooks_.beforePost(*this);
    if (before == db::DatasetState::Insert)
        fillGenerators(domain::MomentoGerador::Gravacao);
    applyFills();
    guarded(before == db::DatasetState::Insert ? hooks_.postError : hooks_.updateError, [&] {
        try {
            data_.post();
        } catch (const db::RowNotFound& e) {
            throw Error("Não foi possível gravar em " + def_.name + ": " + e.what());
        }
    });
    rowMoved();
    if (hooks_.afterPost)
        hooks_.afterPost(*this);
}

void ModuleDataset::cancel() {
    data_.cancel();
    rowMoved();
}

void ModuleDataset::remove() {
    if (!def_.canDelete)
        throw Error("Não é possível excluir registros de " + def_.name);
    if (state() == db::DatasetState::Insert) {
        // Nothing is stored yet: no question, no cascade, no commit.
        cancel();
        return;
    }
    if (hooks_.beforeDelete)
        hooks_.beforeDelete(*this);
    guarded(hooks_.deleteError, [&] { data_.remove(); });
    rowMoved();
    if (hooks_.afterDelete)
        hooks_.afterDelete(*this);
}

std::vector<FieldDef> ModuleDataset::columns() {
    std::vector<FieldDef> out = data_.fields();
    out.insert(out.end(), calculated_.begin(), calculated_.end());
    return out;
}

Value ModuleDataset::value(std::string_view column) {
    for (size_t i = 0; i < calculated_.size(); ++i)
        if (sameName(calculated_[i].name, column))
            return calculatedValues_[i];
    return data_.value(column);
}

std::string ModuleDataset::displayText(std::string_view column) {
    for (size_t i = 0; i < calculated_.size(); ++i)
        if (sameName(calculated_[i].name, column)) {
            const Value& v = calculatedValues_[i];
            return v.isNull() || calculatedDecimals_[i] < 0
                       ? v.asText()
                       : formats::formatFixed(v.asDouble(), calculatedDecimals_[i]);
        }
    return data_.value(column).asText();
}

bool ModuleDataset::isSettable(std::string_view column) const {
    if (containsName(def_.undeclared, column))
        return false;
    const auto written = writtenColumns(def_);
    return std::any_of(written.begin(), written.end(), [&](const FieldDef& f) { return sameName(f.name, column); });
}

void ModuleDataset::setValue(std::string_view column, const Value& value) {
    if (!isOpen())
        throw Error("O conjunto " + def_.name + " está fechado: " + std::string(column) + " não pode ser alterado");
    if (!pending())
        throw Error("O conjunto " + def_.name + " não está em edição nem em inclusão: " + std::string(column) +
                    " não pode ser alterado");
    if (!isSettable(column))
        throw Error(notSettable(def_.name, column));
    if (auto it = hooks_.validate.find(upper(column)); it != hooks_.validate.end())
        it->second(*this, value);
    data_.setValue(column, value);
    calculate();
}

void ModuleDataset::assign(std::string_view column, const Value& value) {
    data_.setValue(column, value);
    calculate();
}

void ModuleDataset::calculate() {
    std::fill(calculatedValues_.begin(), calculatedValues_.end(), Value());
    if (hooks_.calcFields && (!data_.eof() || state() == db::DatasetState::Insert))
        hooks_.calcFields(*this);
}

} // namespace edi::datamodule
