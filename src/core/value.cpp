#include "core/value.h"

#include "core/errors.h"
#include "core/formats.h"
#include "core/messages.h"

#include <cmath>
#include <limits>
#include <ostream>

namespace edi {

namespace {

constexpr int64_t kPow10[] = {1,
                              10,
                              100,
                              1000,
                              10000,
                              100000,
                              1000000,
                              10000000,
                              100000000,
                              1000000000,
                              10000000000LL,
                              100000000000LL,
                              1000000000000LL,
                              10000000000000LL,
                              100000000000000LL,
                              1000000000000000LL,
                              10000000000000000LL,
                              100000000000000000LL,
                              1000000000000000000LL};

int64_t pow10(int n) {
    if (n < 0 || n > 18)
        throw ConversionError("Escala numérica fora da faixa: " + std::to_string(n));
    return kPow10[n];
}

[[noreturn]] void cannotConvert(const Value& v, const char* to) {
    throw ConversionError("Não é possível converter " + v.debugString() + " em " + to);
}

[[noreturn]] void outOfRange(const std::string& what) {
    throw RangeError(msg::outOfRange(what));
}

int64_t checkedNarrow(int64_t v, int64_t lo, int64_t hi, const Value& from, const char* to) {
    if (v < lo || v > hi)
        outOfRange(from.debugString() + " como " + to);
    return v;
}

// A sign and digits only: text that fails to parse as an integer only for its size.
bool isWholeNumber(std::string_view text) {
    const std::string t = formats::trim(text);
    const size_t digits = t.find_first_not_of("+-") == 1 ? 1 : 0;
    return t.size() > digits && t.find_first_not_of("0123456789", digits) == std::string::npos;
}

} // namespace

const char* fieldTypeName(FieldType type) {
    switch (type) {
    case FieldType::SmallInt: return "SMALLINT";
    case FieldType::Integer: return "INTEGER";
    case FieldType::BigInt: return "BIGINT";
    case FieldType::Double: return "DOUBLE PRECISION";
    case FieldType::Numeric: return "NUMERIC";
    case FieldType::Date: return "DATE";
    case FieldType::Time: return "TIME";
    case FieldType::Timestamp: return "TIMESTAMP";
    case FieldType::Char: return "CHAR";
    case FieldType::VarChar: return "VARCHAR";
    case FieldType::TextBlob: return "BLOB SUB_TYPE TEXT";
    case FieldType::BinaryBlob: return "BLOB";
    case FieldType::Boolean: return "BOOLEAN";
    }
    return "?";
}

bool isTextType(FieldType type) {
    return type == FieldType::Char || type == FieldType::VarChar || type == FieldType::TextBlob;
}

bool isIntegerType(FieldType type) {
    return type == FieldType::SmallInt || type == FieldType::Integer || type == FieldType::BigInt;
}

// ---- Numeric ----

Numeric Numeric::parse(std::string_view text, int scale) {
    std::string t = formats::trim(text);
    const std::string original = t;
    bool negative = false;
    size_t i = 0;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        negative = t[i] == '-';
        ++i;
    }
    // Accumulated unsigned so that the most negative value parses too.
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
    uint64_t units = 0;
    int fractionDigits = 0;
    bool seenPoint = false, seenDigit = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '.' || c == ',') {
            if (seenPoint)
                throw ConversionError(msg::notANumber(original));
            seenPoint = true;
            continue;
        }
        if (c < '0' || c > '9')
            throw ConversionError(msg::notANumber(original));
        seenDigit = true;
        if (seenPoint && fractionDigits >= scale) {
            if (c != '0') // more digits than the column keeps: refuse rather than round silently
                throw ConversionError("'" + original + "' tem mais de " + std::to_string(scale) + " casas decimais");
            continue;
        }
        const auto digit = static_cast<uint64_t>(c - '0');
        if (units > (limit - digit) / 10)
            outOfRange("'" + original + "'");
        units = units * 10 + digit;
        if (seenPoint)
            ++fractionDigits;
    }
    if (!seenDigit)
        throw ConversionError(msg::notANumber(original));
    for (; fractionDigits < scale; ++fractionDigits) {
        if (units > limit / 10)
            outOfRange("'" + original + "'");
        units *= 10;
    }
    return Numeric{negative ? static_cast<int64_t>(0 - units) : static_cast<int64_t>(units), scale};
}

std::string Numeric::toString() const {
    const bool negative = units < 0;
    // Work in unsigned to survive INT64_MIN.
    uint64_t mag = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
    std::string digits = std::to_string(mag);
    if (scale > 0) {
        if (digits.size() <= static_cast<size_t>(scale))
            digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
        digits.insert(digits.size() - static_cast<size_t>(scale), ".");
    }
    return negative ? "-" + digits : digits;
}

Numeric Numeric::rescaled(int newScale) const {
    if (newScale == scale)
        return *this;
    if (newScale > scale) {
        const int64_t f = pow10(newScale - scale);
        if (units > std::numeric_limits<int64_t>::max() / f || units < std::numeric_limits<int64_t>::min() / f)
            outOfRange("O valor numérico " + toString());
        return Numeric{units * f, newScale};
    }
    const int64_t f = pow10(scale - newScale);
    if (units % f != 0)
        throw ConversionError("O valor numérico " + toString() + " tem mais de " + std::to_string(newScale) +
                              " casas decimais");
    return Numeric{units / f, newScale};
}

double Numeric::toDouble() const {
    return static_cast<double>(units) / static_cast<double>(pow10(scale));
}

bool Numeric::operator==(const Numeric& o) const {
    if (scale == o.scale)
        return units == o.units;
    try {
        const int s = std::max(scale, o.scale);
        return rescaled(s).units == o.rescaled(s).units;
    } catch (const ConversionError&) {
        return false;
    }
}

// ---- Value construction ----

template <typename T> Value Value::make(Kind kind, T data) {
    Value r;
    r.kind_ = kind;
    r.data_ = std::move(data);
    return r;
}

Value Value::int16(int16_t v) {
    return make(Kind::Int16, static_cast<int64_t>(v));
}
Value Value::int32(int32_t v) {
    return make(Kind::Int32, static_cast<int64_t>(v));
}
Value Value::int64(int64_t v) {
    return make(Kind::Int64, v);
}
Value Value::real(double v) {
    return make(Kind::Double, v);
}
Value Value::numeric(Numeric v) {
    return make(Kind::Numeric, v);
}
Value Value::date(Date v) {
    return make(Kind::Date, v);
}
Value Value::time(Time v) {
    return make(Kind::Time, v);
}
Value Value::timestamp(Timestamp v) {
    return make(Kind::Timestamp, v);
}
Value Value::text(std::string v) {
    return make(Kind::Text, std::move(v));
}
Value Value::blob(Bytes v) {
    return make(Kind::Blob, std::move(v));
}
Value Value::boolean(bool v) {
    return make(Kind::Bool, v);
}

// ---- Conversions ----

std::string Value::asText() const {
    switch (kind_) {
    case Kind::Null: return "";
    case Kind::Int16:
    case Kind::Int32:
    case Kind::Int64: return formats::formatInteger(std::get<int64_t>(data_));
    case Kind::Double: return formats::formatDouble(std::get<double>(data_));
    case Kind::Numeric: {
        // Shown like the classic field accessors: "," as the decimal point, no trailing zeros.
        std::string s = std::get<Numeric>(data_).toString();
        if (s.find('.') != std::string::npos) {
            while (s.back() == '0')
                s.pop_back();
            if (s.back() == '.')
                s.pop_back();
        }
        for (char& c : s)
            if (c == '.')
                c = formats::kDecimalSeparator;
        return s;
    }
    case Kind::Date: return formats::formatDate(std::get<Date>(data_));
    case Kind::Time: return formats::formatTime(std::get<Time>(data_));
    case Kind::Timestamp: return formats::formatTimestamp(std::get<Timestamp>(data_));
    case Kind::Text: return std::get<std::string>(data_);
    case Kind::Blob: {
        const Bytes& b = std::get<Bytes>(data_);
        return std::string(b.begin(), b.end());
    }
    case Kind::Bool: return std::get<bool>(data_) ? "True" : "False";
    }
    return "";
}

int64_t Value::asInt64() const {
    switch (kind_) {
    case Kind::Null: return 0;
    case Kind::Int16:
    case Kind::Int32:
    case Kind::Int64: return std::get<int64_t>(data_);
    case Kind::Double: {
        const double d = std::get<double>(data_);
        if (std::isnan(d))
            cannotConvert(*this, "um inteiro");
        if (!(d >= -9.2e18 && d <= 9.2e18))
            outOfRange(debugString());
        return static_cast<int64_t>(std::llround(d));
    }
    case Kind::Numeric: {
        const Numeric n = std::get<Numeric>(data_);
        const int64_t f = pow10(n.scale);
        // Round half away from zero, like the classic conversions.
        const int64_t q = n.units / f, r = n.units % f;
        if (2 * (r < 0 ? -r : r) >= f)
            return q + (n.units < 0 ? -1 : 1);
        return q;
    }
    case Kind::Bool: return std::get<bool>(data_) ? 1 : 0;
    case Kind::Text: {
        const std::string& t = std::get<std::string>(data_);
        auto v = formats::parseInteger(t);
        if (!v && isWholeNumber(t))
            outOfRange("'" + t + "'");
        if (!v)
            throw ConversionError("'" + t + "' não é um número inteiro válido");
        return *v;
    }
    case Kind::Date:
    case Kind::Time:
    case Kind::Timestamp:
    case Kind::Blob: break;
    }
    cannotConvert(*this, "um inteiro");
}

int32_t Value::asInt32() const {
    return static_cast<int32_t>(checkedNarrow(asInt64(), std::numeric_limits<int32_t>::min(),
                                              std::numeric_limits<int32_t>::max(), *this, "um inteiro de 32 bits"));
}

double Value::asDouble() const {
    switch (kind_) {
    case Kind::Null: return 0.0;
    case Kind::Int16:
    case Kind::Int32:
    case Kind::Int64: return static_cast<double>(std::get<int64_t>(data_));
    case Kind::Double: return std::get<double>(data_);
    case Kind::Numeric: return std::get<Numeric>(data_).toDouble();
    case Kind::Bool: return std::get<bool>(data_) ? 1.0 : 0.0;
    case Kind::Text: {
        auto v = formats::parseDouble(std::get<std::string>(data_));
        if (!v)
            throw ConversionError("'" + std::get<std::string>(data_) + "' não é um número real válido");
        return *v;
    }
    case Kind::Date:
    case Kind::Time:
    case Kind::Timestamp:
    case Kind::Blob: break;
    }
    cannotConvert(*this, "um número real");
}

bool Value::asBool() const {
    switch (kind_) {
    case Kind::Null: return false;
    case Kind::Bool: return std::get<bool>(data_);
    case Kind::Int16:
    case Kind::Int32:
    case Kind::Int64: return std::get<int64_t>(data_) != 0;
    case Kind::Text: {
        const std::string t = formats::toUpper(formats::trim(std::get<std::string>(data_)));
        if (t == "TRUE" || t == "1" || t == "S" || t == "T")
            return true;
        if (t == "FALSE" || t == "0" || t == "N" || t == "F")
            return false;
        cannotConvert(*this, "um valor lógico");
    }
    case Kind::Double:
    case Kind::Numeric:
    case Kind::Date:
    case Kind::Time:
    case Kind::Timestamp:
    case Kind::Blob: break;
    }
    cannotConvert(*this, "um valor lógico");
}

Numeric Value::asNumeric(int scale) const {
    switch (kind_) {
    case Kind::Null: return Numeric{0, scale};
    case Kind::Int16:
    case Kind::Int32:
    case Kind::Int64: return Numeric{std::get<int64_t>(data_), 0}.rescaled(scale);
    case Kind::Numeric: return std::get<Numeric>(data_).rescaled(scale);
    case Kind::Double: {
        const double scaled = std::get<double>(data_) * static_cast<double>(pow10(scale));
        if (std::isnan(scaled))
            cannotConvert(*this, "um número decimal");
        if (!(scaled >= -9.2e18 && scaled <= 9.2e18))
            outOfRange(debugString());
        return Numeric{static_cast<int64_t>(std::llround(scaled)), scale};
    }
    case Kind::Bool: return Numeric{std::get<bool>(data_) ? 1 : 0, 0}.rescaled(scale);
    case Kind::Text: return Numeric::parse(std::get<std::string>(data_), scale);
    case Kind::Date:
    case Kind::Time:
    case Kind::Timestamp:
    case Kind::Blob: break;
    }
    cannotConvert(*this, "um número decimal");
}

Timestamp Value::asTimestamp() const {
    switch (kind_) {
    case Kind::Null: return Timestamp{};
    case Kind::Date: return Timestamp{std::get<Date>(data_), Time{}};
    case Kind::Time: return Timestamp{Date{}, std::get<Time>(data_)};
    case Kind::Timestamp: return std::get<Timestamp>(data_);
    case Kind::Text: {
        auto ts = formats::parseTimestamp(std::get<std::string>(data_));
        if (!ts)
            throw ConversionError("'" + std::get<std::string>(data_) + "' não é uma data e hora válida");
        return *ts;
    }
    case Kind::Int16:
    case Kind::Int32:
    case Kind::Int64:
    case Kind::Double:
    case Kind::Numeric:
    case Kind::Blob:
    case Kind::Bool: break;
    }
    cannotConvert(*this, "uma data e hora");
}

Date Value::asDate() const {
    return asTimestamp().date;
}

Time Value::asTime() const {
    if (kind_ == Kind::Text) {
        auto t = formats::parseTime(std::get<std::string>(data_));
        if (t)
            return *t;
    }
    return asTimestamp().time;
}

Bytes Value::asBytes() const {
    if (kind_ == Kind::Blob)
        return std::get<Bytes>(data_);
    const std::string s = asText();
    return Bytes(s.begin(), s.end());
}

bool Value::operator==(const Value& o) const {
    if (kind_ != o.kind_)
        return false;
    return data_ == o.data_;
}

std::string Value::debugString() const {
    static const char* names[] = {"nulo", "int16", "int32",       "int64", "real", "decimal",
                                  "data", "hora",  "data e hora", "texto", "blob", "lógico"};
    if (kind_ == Kind::Null)
        return "nulo";
    std::string shown;
    if (kind_ == Kind::Blob)
        shown = std::to_string(std::get<Bytes>(data_).size()) + " bytes";
    else if (kind_ == Kind::Numeric)
        shown = std::get<Numeric>(data_).toString();
    else
        shown = asText();
    if (shown.size() > 60)
        shown = shown.substr(0, 60) + "...";
    return std::string(names[static_cast<int>(kind_)]) + " '" + shown + "'";
}

std::ostream& operator<<(std::ostream& out, const Value& v) {
    return out << v.debugString();
}

Value convertForField(const Value& v, const FieldDef& field) {
    if (v.isNull())
        return v;
    switch (field.type) {
    case FieldType::SmallInt:
        return Value::int16(
            static_cast<int16_t>(checkedNarrow(v.asInt64(), std::numeric_limits<int16_t>::min(),
                                               std::numeric_limits<int16_t>::max(), v, "um inteiro de 16 bits")));
    case FieldType::Integer: return Value::int32(v.asInt32());
    case FieldType::BigInt: return Value::int64(v.asInt64());
    case FieldType::Double: return Value::real(v.asDouble());
    case FieldType::Numeric: return Value::numeric(v.asNumeric(field.scale));
    case FieldType::Date: return Value::date(v.asDate());
    case FieldType::Time: return Value::time(v.asTime());
    case FieldType::Timestamp: return Value::timestamp(v.asTimestamp());
    case FieldType::Char:
    case FieldType::VarChar:
    case FieldType::TextBlob: return Value::text(v.asText());
    case FieldType::BinaryBlob: return Value::blob(v.asBytes());
    case FieldType::Boolean: return Value::boolean(v.asBool());
    }
    return v;
}

} // namespace edi
