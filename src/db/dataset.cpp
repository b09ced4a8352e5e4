#include "db/dataset.h"

#include "core/formats.h"
#include "db/fb_support.h"

namespace edi::db {

Dataset::Dataset(Database& db, Transaction* transaction)
    : db_(db), transaction_(transaction ? transaction : &db.transaction()), select_(db, transaction_) {}

Dataset::~Dataset() = default;

void Dataset::setSelectSql(std::string sql) {
    if (sql != select_.sql()) {
        close();
        for (Statement* s : {&insert_, &modify_, &delete_})
            s->bound = false; // other columns, other places
    }
    select_.setSql(std::move(sql));
}

void Dataset::setInsertSql(std::string sql) {
    insertSql_ = std::move(sql);
}
void Dataset::setModifySql(std::string sql) {
    modifySql_ = std::move(sql);
}
void Dataset::setDeleteSql(std::string sql) {
    deleteSql_ = std::move(sql);
}

void Dataset::open() {
    close();
    select_.open();
    state_ = DatasetState::Browse;
    const auto& f = select_.fields();
    current_.assign(f.size(), Value());
    hasRow_ = !select_.eof();
    if (hasRow_)
        for (size_t i = 0; i < f.size(); ++i)
            current_[i] = select_.value(i);
    original_ = current_;
}

void Dataset::close() {
    select_.close();
    state_ = DatasetState::Inactive;
    hasRow_ = false;
    current_.clear();
    original_.clear();
}

bool Dataset::eof() const {
    return !hasRow_;
}

void Dataset::next() {
    if (state_ == DatasetState::Edit || state_ == DatasetState::Insert)
        post();
    select_.next();
    hasRow_ = !select_.eof();
    for (size_t i = 0; i < current_.size(); ++i)
        current_[i] = hasRow_ ? select_.value(i) : Value();
    original_ = current_;
}

int Dataset::countRows() {
    if (state_ == DatasetState::Inactive)
        return 0;
    Query counter(db_, select_.sql(), transaction_);
    const size_t params = select_.paramNames().size();
    for (size_t i = 0; i < params; ++i)
        counter.setParam(i, select_.param(i));
    int count = 0;
    for (counter.open(); !counter.eof(); counter.next())
        ++count;
    return count;
}

const std::vector<FieldDef>& Dataset::fields() {
    return select_.fields();
}

int Dataset::fieldIndex(std::string_view name) {
    return select_.fieldIndex(name);
}

size_t Dataset::indexOf(std::string_view name) const {
    const auto& f = const_cast<Query&>(select_).fields();
    for (size_t i = 0; i < f.size(); ++i)
        if (formats::equalsIgnoreCase(f[i].name, name))
            return i;
    throw DatabaseError("Campo '" + std::string(name) + "' inexistente em " + select_.sql());
}

const FieldDef& Dataset::field(std::string_view name) {
    return fields()[indexOf(name)];
}

const Value& Dataset::value(std::string_view name) const {
    if (state_ == DatasetState::Inactive)
        throw DatabaseError("Impossível ler " + std::string(name) + ": o conjunto de registros está fechado");
    return current_.at(indexOf(name));
}

const Value& Dataset::value(size_t index) const {
    return current_.at(index);
}

const Value& Dataset::oldValue(std::string_view name) const {
    return original_.at(indexOf(name));
}

void Dataset::setValue(std::string_view name, const Value& value) {
    setValue(indexOf(name), value);
}

void Dataset::setValue(size_t index, const Value& value) {
    if (state_ != DatasetState::Edit && state_ != DatasetState::Insert)
        throw DatabaseError("O conjunto de registros não está em edição nem em inclusão");
    const FieldDef& f = fields().at(index);
    try {
        current_.at(index) = convertForField(value, f);
    } catch (const RangeError&) {
        // A numeric is checked against its own storage when the row is posted.
        detail::refuseOutOfRange(f.name, value, f.type == FieldType::Numeric ? FieldType::BigInt : f.type, f.scale);
    } catch (const ConversionError& e) {
        throw ConversionError("Campo " + f.name + ": " + e.what());
    }
}

void Dataset::requireRow(const char* operation) const {
    if (state_ == DatasetState::Inactive)
        throw DatabaseError(std::string("Impossível ") + operation + ": o conjunto de registros está fechado");
    if (!hasRow_)
        throw DatabaseError(std::string("Impossível ") + operation + ": nenhum registro corrente");
}

void Dataset::edit() {
    if (state_ == DatasetState::Edit || state_ == DatasetState::Insert)
        return;
    requireRow("editar");
    state_ = DatasetState::Edit;
}

void Dataset::append() {
    if (state_ == DatasetState::Inactive)
        throw DatabaseError("Impossível incluir: o conjunto de registros está fechado");
    if (state_ == DatasetState::Edit || state_ == DatasetState::Insert)
        post();
    shown_ = {hasRow_, current_};
    current_.assign(fields().size(), Value());
    original_ = current_;
    state_ = DatasetState::Insert;
}

Query& Dataset::statement(Statement& slot, const std::string& sql, const char* what) {
    if (formats::isBlank(sql))
        throw DatabaseError(std::string("Falta o comando de ") + what + " para " + select_.sql());
    if (!slot.query)
        slot.query = std::make_unique<Query>(db_, transaction_);
    if (slot.query->sql() != sql)
        slot.bound = false;
    slot.query->setSql(sql); // the same text keeps the prepared statement
    return *slot.query;
}

void Dataset::bindRow(Statement& s) {
    Query& q = *s.query;
    q.prepare();
    if (!s.bound) {
        s.bindings.clear();
        for (const auto& name : q.paramNames()) {
            const bool old = name.rfind("OLD_", 0) == 0;
            int idx = fieldIndex(old ? std::string_view(name).substr(4) : std::string_view(name));
            if (idx < 0 && old)
                idx = fieldIndex(name); // "OLD_X" where X is no column but "OLD_X" is: take the column itself
            s.bindings.push_back({idx, old});
        }
        s.bound = true;
    }
    for (size_t i = 0; i < s.bindings.size(); ++i) {
        const Binding& b = s.bindings[i];
        if (b.field < 0)
            q.setParam(i, Value());
        else
            q.setParam(i, (b.old ? original_ : current_)[static_cast<size_t>(b.field)]);
    }
}

void Dataset::runStatement(Statement& s, const std::string& sql, const char* what) {
    Query& q = statement(s, sql, what);
    bindRow(s);
    q.execute();
    const bool changed = q.rowsAffected() != 0;
    q.close();
    if (changed || &s != &modify_ || missingRow_ == MissingRow::Ignore)
        return;
    if (missingRow_ == MissingRow::Fail)
        throw RowNotFound("o registro não foi encontrado (outro usuário pode tê-lo excluído ou mudado a sua "
                          "chave, ou a sua inclusão foi desfeita)");
    runStatement(insert_, insertSql_, "inclusão");
}

void Dataset::post() {
    if (state_ == DatasetState::Browse)
        return;
    if (state_ == DatasetState::Inactive)
        throw DatabaseError("Impossível gravar: o conjunto de registros está fechado");
    if (state_ == DatasetState::Insert)
        runStatement(insert_, insertSql_, "inclusão");
    else
        runStatement(modify_, modifySql_, "alteração");
    original_ = current_;
    hasRow_ = true;
    state_ = DatasetState::Browse;
}

void Dataset::cancel() {
    if (state_ == DatasetState::Edit) {
        current_ = original_;
    } else if (state_ == DatasetState::Insert) {
        // Back to the row shown before the new one.
        hasRow_ = shown_.hasRow;
        current_ = std::move(shown_.values);
        original_ = current_;
    }
    if (state_ != DatasetState::Inactive)
        state_ = DatasetState::Browse;
}

void Dataset::remove() {
    if (state_ == DatasetState::Insert) {
        cancel();
        return;
    }
    requireRow("excluir");
    current_ = original_;
    Query& q = statement(delete_, deleteSql_, "delete");
    bindRow(delete_);
    q.execute();
    q.close();
    state_ = DatasetState::Browse;
    next();
}

} // namespace edi::db
