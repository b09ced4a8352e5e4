#include "packet/packet_table.h"

#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"
#include "packet/packet_reader.h"
#include "packet/packet_types.h"
#include "packet/packet_writer.h"

#include <algorithm>

namespace edi {

namespace {

const char* const kAppending = "Um registro está em inclusão; grave-o ou cancele-o antes";
const char* const kNotAppending = "Nenhum registro está em inclusão";

template <typename T> int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Orders two values of one field; nulls first.
int compareValues(const Value& a, const Value& b, const FieldDef& field) {
    if (a.isNull() || b.isNull())
        return threeWay(!a.isNull(), !b.isNull());
    using K = Value::Kind;
    switch (a.kind()) {
    case K::Int16:
    case K::Int32:
    case K::Int64: return threeWay(a.rawInt(), b.rawInt());
    case K::Double: return threeWay(a.asDouble(), b.asDouble());
    case K::Numeric: return threeWay(a.asNumeric(field.scale).units, b.asNumeric(field.scale).units);
    case K::Date: return threeWay(a.asDate(), b.asDate());
    case K::Time: return threeWay(a.asTime(), b.asTime());
    case K::Timestamp: return threeWay(a.asTimestamp(), b.asTimestamp());
    case K::Text: return threeWay(a.rawText(), b.rawText());
    case K::Blob: return threeWay(a.rawBytes(), b.rawBytes());
    case K::Bool: return threeWay(a.asBool(), b.asBool());
    case K::Null: break;
    }
    return 0;
}

} // namespace

PacketTable::PacketTable(std::vector<FieldDef> fields) : fields_(std::move(fields)) {
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].name.empty())
            throw Error("O campo " + std::to_string(i + 1) + " não tem nome");
        for (size_t j = 0; j < i; ++j)
            if (formats::equalsIgnoreCase(fields_[i].name, fields_[j].name))
                throw Error(packet_detail::fieldNamedTwice(fields_[i].name));
    }
}

int PacketTable::fieldIndex(std::string_view name) const {
    for (size_t i = 0; i < fields_.size(); ++i)
        if (formats::equalsIgnoreCase(fields_[i].name, name))
            return static_cast<int>(i);
    return -1;
}

size_t PacketTable::checkedIndex(std::string_view fieldName) const {
    const int i = fieldIndex(fieldName);
    if (i < 0)
        throw Error("Campo '" + std::string(fieldName) + "' inexistente" + (name_.empty() ? "" : " em " + name_));
    return static_cast<size_t>(i);
}

void PacketTable::append() {
    if (appending_)
        throw Error(kAppending);
    cursorBeforeAppend_ = cursor_;
    current_.assign(fields_.size(), Value());
    appending_ = true;
    appendingState_ = RowState::Inserted;
}

void PacketTable::setValue(size_t index, const Value& value) {
    if (!appending_)
        throw Error(kNotAppending);
    if (index >= fields_.size())
        throw Error("Índice de campo " + std::to_string(index) + " fora da faixa");
    current_[index] = convertForField(value, fields_[index]);
}

void PacketTable::setValue(std::string_view fieldName, const Value& value) {
    setValue(checkedIndex(fieldName), value);
}

void PacketTable::post() {
    if (!appending_)
        throw Error(kNotAppending);
    std::string packed;
    const uint8_t flags =
        appendingState_ == RowState::Deleted ? packet_detail::kRecordDeleted : packet_detail::kRecordInserted;
    packet_detail::packRecord(fields_, current_, flags, packed);
    records_.push_back(store_.add(packed));
    cursor_ = records_.size() - 1;
    appending_ = false;
}

void PacketTable::setRowState(RowState state) {
    if (!appending_)
        throw Error(kNotAppending);
    if (state == RowState::Unmarked)
        throw Error("Um registro incluído é gravado como incluído ou excluído");
    appendingState_ = state;
}

PacketTable::RowState PacketTable::rowState() const {
    if (appending_)
        return appendingState_;
    if (eof())
        throw Error("Nenhum registro corrente" + (name_.empty() ? "" : " em " + name_));
    const uint8_t flags = packet_detail::recordFlags(records_[cursor_]);
    if (flags & packet_detail::kRecordDeleted)
        return RowState::Deleted;
    return flags & packet_detail::kRecordInserted ? RowState::Inserted : RowState::Unmarked;
}

void PacketTable::cancel() {
    if (!appending_)
        return;
    appending_ = false;
    cursor_ = cursorBeforeAppend_;
    loadCurrent();
}

void PacketTable::loadCurrent() {
    if (appending_)
        throw Error(kAppending);
    if (cursor_ < records_.size())
        packet_detail::unpackRecord(records_[cursor_], fields_.size(), current_);
    else
        current_.clear();
}

void PacketTable::first() {
    cursor_ = 0;
    loadCurrent();
}

void PacketTable::next() {
    if (cursor_ < records_.size())
        ++cursor_;
    loadCurrent();
}

size_t PacketTable::recNo() const {
    return !appending_ && cursor_ < records_.size() ? cursor_ + 1 : 0;
}

const Value& PacketTable::value(size_t index) const {
    if (eof())
        throw Error("Nenhum registro corrente" + (name_.empty() ? "" : " em " + name_));
    if (index >= fields_.size())
        throw Error("Índice de campo " + std::to_string(index) + " fora da faixa");
    return current_[index];
}

const Value& PacketTable::value(std::string_view fieldName) const {
    return value(checkedIndex(fieldName));
}

void PacketTable::sortBy(std::string_view fieldName) {
    if (appending_)
        throw Error(kAppending);
    const size_t index = checkedIndex(fieldName);
    std::vector<std::pair<Value, const char*>> keyed;
    keyed.reserve(records_.size());
    for (const char* r : records_)
        keyed.emplace_back(packet_detail::unpackField(r, index), r);
    const FieldDef& f = fields_[index];
    std::stable_sort(keyed.begin(), keyed.end(),
                     [&](const auto& a, const auto& b) { return compareValues(a.first, b.first, f) < 0; });
    for (size_t i = 0; i < keyed.size(); ++i)
        records_[i] = keyed[i].second;
    first();
}

void PacketTable::setParam(const std::string& name, std::string value) {
    for (auto& [n, v] : params_)
        if (n == name) {
            v = std::move(value);
            return;
        }
    params_.emplace_back(name, std::move(value));
}

const std::string* PacketTable::param(std::string_view name) const {
    for (const auto& [n, v] : params_)
        if (n == name)
            return &v;
    return nullptr;
}

void PacketTable::close() {
    records_.clear();
    records_.shrink_to_fit();
    store_.clear();
    current_.clear();
    cursor_ = 0;
    appending_ = false;
}

void PacketTable::clear() {
    close();
    fields_.clear();
    params_.clear();
}

namespace {

// A write that fails part-way names the file it was meant for.
void writeNaming(PacketWriter&& writer, AtomicFile& file, const std::filesystem::path& name) {
    try {
        writer.write(&file.stream());
    } catch (const IoError& e) {
        throw IoError(std::string(e.what()) + " (" + name.string() + ")");
    }
}

} // namespace

void PacketTable::saveToFile(const std::filesystem::path& path) const {
    AtomicFile file(path);
    writeNaming(PacketWriter(*this, name_.empty() ? path.filename().string() : name_), file, path);
    file.commit();
}

std::filesystem::path PacketTable::saveToNewFile(const std::function<std::filesystem::path(int)>& candidate,
                                                 int attempts) const {
    const std::filesystem::path first = candidate(0);
    AtomicFile file(first);
    writeNaming(PacketWriter(*this, name_.empty() ? first.filename().string() : name_), file, first);
    return file.commitUnderFreeName(candidate, attempts);
}

std::string PacketTable::saveToString() const {
    return PacketWriter(*this, name_.empty() ? "pacote de dados" : name_).write(nullptr);
}

PacketTable PacketTable::loadFromFile(const std::filesystem::path& path, RowView view) {
    return PacketReader(path.string(), view == RowView::WithDeleted).read(readFile(path));
}

PacketTable PacketTable::loadFromString(std::string_view bytes, std::string_view sourceName, RowView view) {
    return PacketReader(sourceName.empty() ? "pacote de dados" : std::string(sourceName), view == RowView::WithDeleted)
        .read(bytes);
}

} // namespace edi
