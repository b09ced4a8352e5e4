#pragma once

#include "core/value.h"
#include "db/query.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace edi::db {

enum class DatasetState { Inactive, Browse, Edit, Insert };

// What posting an edited row does when its modify statement changes no row.
enum class MissingRow {
    Ignore, // counts as saved
    Fail,   // RowNotFound; the row stays in editing
    Insert, // the row is stored by the insert statement (a select that shows rows not stored yet)
};

// A modify statement that found no row to change.
class RowNotFound : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// An updatable view of single rows, driven by four statement texts:
// select (opened), insert (posting a new row), modify (posting an edited row) and delete.
// Insert, modify and delete take their parameters from the current row by column name; a parameter
// "OLD_<column>" takes the value the column had when the row was read. Each statement is prepared once
// and reused while its text stays the same.
class Dataset {
public:
    explicit Dataset(Database& db, Transaction* transaction = nullptr);
    ~Dataset();

    void setSelectSql(std::string sql);
    void setInsertSql(std::string sql);
    void setModifySql(std::string sql);
    void setDeleteSql(std::string sql);
    const std::string& selectSql() const { return select_.sql(); }
    const std::string& insertSql() const { return insertSql_; }
    const std::string& modifySql() const { return modifySql_; }
    const std::string& deleteSql() const { return deleteSql_; }

    // Parameters of the select statement.
    void setParam(std::string_view name, const Value& value) { select_.setParam(name, value); }
    Query& selectQuery() { return select_; }

    void open();
    void close();
    bool isOpen() const { return state_ != DatasetState::Inactive; }
    DatasetState state() const { return state_; }
    bool eof() const;
    bool isEmpty() const { return !hasRow_ && state_ == DatasetState::Browse; }
    void next();
    // The rows the select gives now, counted on a cursor of its own: the current row stays as it is.
    int countRows();

    const std::vector<FieldDef>& fields();
    int fieldIndex(std::string_view name);
    const FieldDef& field(std::string_view name);
    const Value& value(std::string_view name) const;
    const Value& value(size_t index) const;
    const Value& oldValue(std::string_view name) const;
    // Sets a column of the row being edited or inserted, converted to the column's type.
    void setValue(std::string_view name, const Value& value);
    void setValue(size_t index, const Value& value);

    void setMissingRow(MissingRow policy) { missingRow_ = policy; }

    void edit();   // current row -> Edit; a row being inserted stays in Insert
    void append(); // empty row -> Insert
    void post();   // runs insert or modify; back to Browse with the posted values
    void cancel(); // drops pending changes
    void remove(); // runs delete for the current row

private:
    // A writing statement and, once worked out, where each of its parameters takes its value from.
    struct Binding {
        int field; // -1: bound null
        bool old;  // the value as read rather than as edited
    };
    struct Statement {
        std::unique_ptr<Query> query;
        std::vector<Binding> bindings;
        bool bound = false;
    };
    void bindRow(Statement& s);
    Query& statement(Statement& slot, const std::string& sql, const char* what);
    size_t indexOf(std::string_view name) const;
    void requireRow(const char* operation) const;
    void runStatement(Statement& s, const std::string& sql, const char* what);

    Database& db_;
    Transaction* transaction_;
    Query select_;
    std::string insertSql_, modifySql_, deleteSql_;
    Statement insert_, modify_, delete_;
    DatasetState state_ = DatasetState::Inactive;
    MissingRow missingRow_ = MissingRow::Ignore;
    bool hasRow_ = false;
    std::vector<Value> current_;
    std::vector<Value> original_;
    struct Shown {
        bool hasRow = false;
        std::vector<Value> values;
    } shown_; // the row shown before a new one started, back on cancel
};

} // namespace edi::db
