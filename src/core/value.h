#pragma once

#include "core/datetime.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace edi {

// The column types the database layer and the data packets know.
enum class FieldType {
    SmallInt, // 16-bit integer
    Integer,  // 32-bit integer
    BigInt,   // 64-bit integer
    Double,   // FLOAT / DOUBLE PRECISION
    Numeric,  // NUMERIC/DECIMAL(p,s): exact scaled integer
    Date,
    Time,
    Timestamp,
    Char,       // fixed-length text
    VarChar,    // variable-length text
    TextBlob,   // BLOB SUB_TYPE TEXT
    BinaryBlob, // BLOB (binary)
    Boolean,
};

const char* fieldTypeName(FieldType type);
bool isTextType(FieldType type);
bool isIntegerType(FieldType type);

// A column as a query, a table or a packet describes it.
struct FieldDef {
    std::string name;
    FieldType type = FieldType::VarChar;
    int size = 0;  // characters for Char/VarChar; precision for Numeric
    int scale = 0; // digits after the point for Numeric (positive)
    bool required = false;
};

// Exact decimal: value = units / 10^scale.
struct Numeric {
    int64_t units = 0;
    int scale = 0;

    static Numeric parse(std::string_view text, int scale); // "." or "," as the decimal point
    std::string toString() const;                           // with "." as the decimal point
    Numeric rescaled(int newScale) const;                   // throws ConversionError on overflow or lost digits
    double toDouble() const;
    bool operator==(const Numeric& o) const;
};

using Bytes = std::vector<uint8_t>;

// A nullable value of any column type. Integers keep their width, numerics their scale.
class Value {
public:
    enum class Kind { Null, Int16, Int32, Int64, Double, Numeric, Date, Time, Timestamp, Text, Blob, Bool };

    Value() = default;
    static Value null() { return Value(); }
    static Value int16(int16_t v);
    static Value int32(int32_t v);
    static Value int64(int64_t v);
    static Value real(double v);
    static Value numeric(Numeric v);
    static Value date(Date v);
    static Value time(Time v);
    static Value timestamp(Timestamp v);
    static Value text(std::string v);
    static Value blob(Bytes v);
    static Value boolean(bool v);

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::Null; }

    // Conversions; each throws ConversionError when the value cannot be read that way.
    // Null reads as empty text, 0, false and a zero timestamp, like the classic field accessors.
    std::string asText() const; // numbers with the process formats ("," decimal), dates dd/MM/yyyy
    int64_t asInt64() const;
    int32_t asInt32() const;
    double asDouble() const;
    bool asBool() const;
    Numeric asNumeric(int scale) const;
    Timestamp asTimestamp() const;
    Date asDate() const;
    Time asTime() const;
    Bytes asBytes() const; // blob bytes, or the text's UTF-8 bytes

    // Raw access for the exact kind (no conversion).
    int64_t rawInt() const { return std::get<int64_t>(data_); }
    const std::string& rawText() const { return std::get<std::string>(data_); }
    const Bytes& rawBytes() const { return std::get<Bytes>(data_); }

    // Same kind and same content (null equals null).
    bool operator==(const Value& o) const;
    // A short description for error messages and test output.
    std::string debugString() const;

private:
    template <typename T> static Value make(Kind kind, T data);

    Kind kind_ = Kind::Null;
    std::variant<std::monostate, int64_t, double, Numeric, Date, Time, Timestamp, std::string, Bytes, bool> data_;
};

std::ostream& operator<<(std::ostream& out, const Value& v);

// Converts a value to the representation a column of the given definition stores.
// Text is parsed with the process formats; throws ConversionError when it cannot.
Value convertForField(const Value& v, const FieldDef& field);

} // namespace edi
