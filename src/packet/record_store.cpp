#include "packet/record_store.h"

#include "core/errors.h"

#include <cstring>

namespace edi::packet_detail {

namespace {

constexpr size_t kBlockSize = 64 * 1024;
constexpr size_t kOwnBlockThreshold = kBlockSize / 4;

// A kind byte and the varints after it, appended in one piece: records are packed a few bytes at a time, and a
// call per byte shows.
class Packed {
public:
    explicit Packed(Value::Kind kind) { bytes_[n_++] = static_cast<char>(kind); }
    Packed() = default;

    Packed& varint(uint64_t v) {
        while (v >= 0x80) {
            bytes_[n_++] = static_cast<char>(static_cast<uint8_t>(v) | 0x80);
            v >>= 7;
        }
        bytes_[n_++] = static_cast<char>(v);
        return *this;
    }
    Packed& signedVarint(int64_t v) { return varint((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63)); }
    void appendTo(std::string& out) const { out.append(bytes_, n_); }

private:
    char bytes_[1 + 2 * 10];
    size_t n_ = 0;
};

void putVarint(std::string& out, uint64_t v) {
    Packed().varint(v).appendTo(out);
}

void putSigned(std::string& out, int64_t v) {
    Packed().signedVarint(v).appendTo(out);
}

template <typename T> void putRaw(std::string& out, const T& v) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &v, sizeof(T));
    out.append(bytes, sizeof(T));
}

void putBytes(std::string& out, const char* data, size_t size) {
    putVarint(out, size);
    out.append(data, size);
}

void packValue(const FieldDef& field, const Value& v, std::string& out) {
    using K = Value::Kind;
    switch (v.kind()) {
    case K::Null: packNull(out); return;
    case K::Int16:
    case K::Int32:
    case K::Int64: packInteger(v.kind(), v.rawInt(), out); return;
    case K::Double:
        out += static_cast<char>(v.kind());
        putRaw(out, v.asDouble());
        return;
    case K::Numeric: {
        const Numeric n = v.asNumeric(field.scale);
        out += static_cast<char>(v.kind());
        out += static_cast<char>(n.scale);
        putSigned(out, n.units);
        return;
    }
    case K::Date: packDate(v.asDate(), out); return;
    case K::Time:
        out += static_cast<char>(v.kind());
        putVarint(out, v.asTime().units);
        return;
    case K::Timestamp: packTimestamp(v.asTimestamp(), out); return;
    case K::Text: packText(v.rawText(), out); return;
    case K::Blob: {
        const Bytes& b = v.rawBytes();
        out += static_cast<char>(v.kind());
        putBytes(out, reinterpret_cast<const char*>(b.data()), b.size());
        return;
    }
    case K::Bool:
        out += static_cast<char>(v.kind());
        out += static_cast<char>(v.asBool() ? 1 : 0);
        return;
    }
}

} // namespace

void beginRecord(uint8_t flags, std::string& out) {
    out.clear();
    out += static_cast<char>(flags);
}

void packField(const FieldDef& field, const Value& v, std::string& out) {
    packValue(field, v, out);
}

void packText(std::string_view text, std::string& out) {
    Packed(Value::Kind::Text).varint(text.size()).appendTo(out);
    out.append(text);
}

void packNull(std::string& out) {
    out += static_cast<char>(Value::Kind::Null);
}

void packInteger(Value::Kind kind, int64_t v, std::string& out) {
    Packed(kind).signedVarint(v).appendTo(out);
}

void packDate(Date d, std::string& out) {
    Packed(Value::Kind::Date).signedVarint(d.days).appendTo(out);
}

void packTimestamp(const Timestamp& ts, std::string& out) {
    Packed(Value::Kind::Timestamp).signedVarint(ts.date.days).varint(ts.time.units).appendTo(out);
}

void packRecord(const std::vector<FieldDef>& fields, const std::vector<Value>& values, uint8_t flags,
                std::string& out) {
    beginRecord(flags, out);
    for (size_t i = 0; i < fields.size(); ++i)
        packValue(fields[i], values[i], out);
}

// The data was written by packRecord in this process, so it is trusted.
uint64_t PackedFields::varint() {
    uint64_t v = 0;
    for (int shift = 0;; shift += 7) {
        const auto b = static_cast<uint8_t>(*p_++);
        v |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return v;
    }
}

int64_t PackedFields::signedVarint() {
    const uint64_t z = varint();
    return static_cast<int64_t>((z >> 1) ^ (0 - (z & 1)));
}

PackedValue PackedFields::next() {
    using K = Value::Kind;
    PackedValue v;
    v.kind = static_cast<K>(*p_++);
    switch (v.kind) {
    case K::Null: return v;
    case K::Int16:
    case K::Int32:
    case K::Int64:
    case K::Date: v.integer = signedVarint(); return v;
    case K::Double:
        std::memcpy(&v.real, p_, sizeof v.real);
        p_ += sizeof v.real;
        return v;
    case K::Numeric:
        v.scale = static_cast<uint8_t>(*p_++);
        v.integer = signedVarint();
        return v;
    case K::Time: v.time = static_cast<uint32_t>(varint()); return v;
    case K::Timestamp:
        v.integer = signedVarint();
        v.time = static_cast<uint32_t>(varint());
        return v;
    case K::Text:
    case K::Blob: {
        const size_t n = varint();
        v.bytes = std::string_view(p_, n);
        p_ += n;
        return v;
    }
    case K::Bool: v.integer = *p_++ != 0; return v;
    }
    // A kind byte that names no kind.
    throw Error("Registro compactado corrompido");
}

Value toValue(const PackedValue& v) {
    using K = Value::Kind;
    switch (v.kind) {
    case K::Null: return Value();
    case K::Int16: return Value::int16(static_cast<int16_t>(v.integer));
    case K::Int32: return Value::int32(static_cast<int32_t>(v.integer));
    case K::Int64: return Value::int64(v.integer);
    case K::Double: return Value::real(v.real);
    case K::Numeric: return Value::numeric(Numeric{v.integer, v.scale});
    case K::Date: return Value::date(Date{static_cast<int32_t>(v.integer)});
    case K::Time: return Value::time(Time{v.time});
    case K::Timestamp: return Value::timestamp(Timestamp{Date{static_cast<int32_t>(v.integer)}, Time{v.time}});
    case K::Text: return Value::text(std::string(v.bytes));
    case K::Blob: return Value::blob(Bytes(v.bytes.begin(), v.bytes.end()));
    case K::Bool: return Value::boolean(v.integer != 0);
    }
    return Value();
}

void unpackRecord(const char* record, size_t fieldCount, std::vector<Value>& out) {
    PackedFields fields(record);
    out.resize(fieldCount);
    for (size_t i = 0; i < fieldCount; ++i)
        out[i] = toValue(fields.next());
}

Value unpackField(const char* record, size_t index) {
    PackedFields fields(record);
    for (size_t i = 0; i < index; ++i)
        fields.next();
    return toValue(fields.next());
}

const char* RecordStore::add(std::string_view packed) {
    if (packed.size() > kOwnBlockThreshold) {
        // Insert before the shared block so that the shared block stays last.
        auto own = std::make_unique_for_overwrite<char[]>(packed.size());
        std::memcpy(own.get(), packed.data(), packed.size());
        const char* p = own.get();
        blocks_.insert(blocks_.end() - (capacity_ ? 1 : 0), std::move(own));
        return p;
    }
    if (capacity_ == 0 || capacity_ - used_ < packed.size()) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
        capacity_ = kBlockSize;
        used_ = 0;
    }
    char* p = blocks_.back().get() + used_;
    std::memcpy(p, packed.data(), packed.size());
    used_ += packed.size();
    return p;
}

void RecordStore::clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    used_ = capacity_ = 0;
}

} // namespace edi::packet_detail
