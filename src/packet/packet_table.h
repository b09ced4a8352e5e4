#pragma once

#include "core/value.h"
#include "packet/record_store.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace edi {

// An in-memory table: fields, records and a cursor, saved to and loaded from XML data packet files.
//
// Records are appended (append, setValue, post) and walked (first, next, eof, value). Loading presents the
// packet's current view: changes recorded in its change log are applied, deleted rows are left out unless asked
// for (RowView::WithDeleted), and then they follow the current view in packet order.
class PacketTable {
public:
    // How a record is written: appended ones as inserted unless marked deleted; loaded ones keep only deletion.
    enum class RowState { Unmarked, Inserted, Deleted };
    enum class RowView { Current, WithDeleted };

    PacketTable() = default;
    // Throws Error for an empty or repeated (case-insensitive) field name.
    explicit PacketTable(std::vector<FieldDef> fields);
    PacketTable(PacketTable&&) noexcept = default;
    PacketTable& operator=(PacketTable&&) noexcept = default;
    PacketTable(const PacketTable&) = delete;
    PacketTable& operator=(const PacketTable&) = delete;

    // The table name that error messages use; saveToFile uses the file name when none is set.
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& name() const { return name_; }

    // Attributes of the packet's PARAMS element besides its change log, in order. Readers that do not know one
    // ignore it, so they can carry facts about the packet without changing its layout.
    void setParam(const std::string& name, std::string value);
    const std::string* param(std::string_view name) const;

    const std::vector<FieldDef>& fields() const { return fields_; }
    size_t fieldCount() const { return fields_.size(); }
    const FieldDef& field(size_t index) const { return fields_.at(index); }
    // Case-insensitive; -1 when there is no such field.
    int fieldIndex(std::string_view name) const;

    // Starts a new record with every field null; it becomes current and is kept by post() or dropped by cancel().
    void append();
    // Converts to the field's type (convertForField); throws ConversionError when it cannot, Error when no
    // record is being appended or the field does not exist.
    void setValue(size_t index, const Value& value);
    void setValue(std::string_view fieldName, const Value& value);
    // Keeps the appended record at the end; it stays current.
    void post();
    // Drops the appended record, if any, and returns to the record that was current before.
    void cancel();
    bool isAppending() const { return appending_; }
    // The state of the record being appended (Inserted or Deleted); throws Error when none is.
    void setRowState(RowState state);
    // The current record's state (or the appended one's); throws Error when there is none.
    RowState rowState() const;

    size_t recordCount() const { return records_.size(); }
    void first();
    void next();
    bool eof() const { return !appending_ && cursor_ >= records_.size(); }
    // Number of the current record counting from 1; 0 when there is none.
    size_t recNo() const;

    // The current record's values; throw Error when there is no current record or no such field.
    const Value& value(size_t index) const;
    const Value& value(std::string_view fieldName) const;
    bool isNull(size_t index) const { return value(index).isNull(); }
    bool isNull(std::string_view fieldName) const { return value(fieldName).isNull(); }

    // Orders the records ascending by one field, nulls first, keeping the order of equal values; then first().
    void sortBy(std::string_view fieldName);

    // Drops the records (fields stay); clear() drops the fields too.
    void close();
    void clear();

    // The plain packet variant, written in one piece: an existing file is replaced only by a complete one.
    // Throws PacketError for a value that cannot be written (naming table, row and field), IoError on I/O failure.
    void saveToFile(const std::filesystem::path& path) const;
    // The same, but never replaces a file: the packet takes the first of candidate(0), candidate(1), ... that is
    // free (see AtomicFile::commitUnderFreeName) and the name taken is returned.
    std::filesystem::path saveToNewFile(const std::function<std::filesystem::path(int)>& candidate, int attempts) const;
    std::string saveToString() const;

    // Throws PacketError when the bytes are not a readable data packet (message names the source, row and field),
    // IoError when the file cannot be read.
    static PacketTable loadFromFile(const std::filesystem::path& path, RowView view = RowView::Current);
    static PacketTable loadFromString(std::string_view bytes, std::string_view sourceName = {},
                                      RowView view = RowView::Current);

private:
    friend class PacketReader;
    friend class PacketWriter;

    size_t checkedIndex(std::string_view fieldName) const;
    void loadCurrent();

    std::vector<FieldDef> fields_;
    std::vector<std::pair<std::string, std::string>> params_;
    std::string name_;
    packet_detail::RecordStore store_;
    std::vector<const char*> records_; // packed records in view order
    size_t cursor_ = 0;
    std::vector<Value> current_; // the current record, unpacked (or the one being appended)
    bool appending_ = false;
    RowState appendingState_ = RowState::Inserted;
    size_t cursorBeforeAppend_ = 0;
};

} // namespace edi
