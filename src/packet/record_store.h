#pragma once

#include "core/value.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace edi::packet_detail {

// Records are kept packed rather than as Value objects: a loaded packet then costs about its own size in
// memory instead of several times it. Packed form: a flags byte, then per field a kind byte and, unless the
// value is null, its payload (zigzag varints for integers and dates, length-prefixed bytes for text and blobs).
constexpr uint8_t kRecordInserted = 1; // appended here, not loaded: written with RowState 4
constexpr uint8_t kRecordDeleted = 2;  // a deleted row: written with RowState 2, left out of the current view

// Values must already have their field's kind (convertForField); numerics are kept at their field's scale.
void packRecord(const std::vector<FieldDef>& fields, const std::vector<Value>& values, uint8_t flags, std::string& out);
// The same, field by field in field order after beginRecord; packText packs what Value::text would without
// making one (the reader's common case).
void beginRecord(uint8_t flags, std::string& out);
void packField(const FieldDef& field, const Value& v, std::string& out);
void packText(std::string_view text, std::string& out);
// What packField packs for a null, for Value::int16/int32/int64 (by `kind`), Value::date and Value::timestamp.
void packNull(std::string& out);
void packInteger(Value::Kind kind, int64_t v, std::string& out);
void packDate(Date d, std::string& out);
void packTimestamp(const Timestamp& ts, std::string& out);
// One packed value seen in place, without making a Value: the writer formats straight from the store.
struct PackedValue {
    Value::Kind kind = Value::Kind::Null;
    int64_t integer = 0;    // Int16, Int32, Int64 and Numeric units; Date and Timestamp days; Bool as 0 or 1
    uint32_t time = 0;      // Time and Timestamp: units of the day
    int scale = 0;          // Numeric
    double real = 0;        // Double
    std::string_view bytes; // Text and Blob
};

// Walks a packed record's values in field order.
class PackedFields {
public:
    explicit PackedFields(const char* record) : p_(record + 1) {}
    PackedValue next();

private:
    uint64_t varint();
    int64_t signedVarint();

    const char* p_;
};

Value toValue(const PackedValue& v);

// Replaces `out` with the record's values.
void unpackRecord(const char* record, size_t fieldCount, std::vector<Value>& out);
Value unpackField(const char* record, size_t index);
inline uint8_t recordFlags(const char* record) {
    return static_cast<uint8_t>(record[0]);
}

// Append-only storage for packed records in 64 KiB blocks. Small blocks let the allocator reuse the memory the
// XML document gives back while a packet is being read.
class RecordStore {
public:
    // Copies the packed record; the returned pointer stays valid until clear() or destruction.
    const char* add(std::string_view packed);
    void clear();

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = 0;     // bytes used in the last shared block
    size_t capacity_ = 0; // size of the last shared block (0: none yet)
};

} // namespace edi::packet_detail
