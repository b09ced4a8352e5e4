#include "packet/packet_types.h"

#include "core/encoding.h"
#include "core/errors.h"
#include "core/formats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace edi::packet_detail {

namespace {

using formats::equalsIgnoreCase;

struct IntegerType {
    const char* name;
    FieldType type;
    int64_t min, max;
};

constexpr IntegerType kIntegerTypes[] = {
    {"i1", FieldType::SmallInt, -128, 127},
    {"ui1", FieldType::SmallInt, 0, 255},
    {"i2", FieldType::SmallInt, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()},
    {"ui2", FieldType::Integer, 0, 65535},
    {"i4", FieldType::Integer, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()},
    {"ui4", FieldType::BigInt, 0, 4294967295LL},
    {"i8", FieldType::BigInt, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()},
};

[[noreturn]] void notA(std::string_view text, const char* what) {
    std::string shown(text.substr(0, 60));
    throw ConversionError("'" + shown + (text.size() > 60 ? "...'" : "'") + " não é " + what);
}

// A pointer pair would take the string's general iterator path.
void appendUpTo(std::string& out, const char* begin, const char* end) {
    out.append(begin, static_cast<size_t>(end - begin));
}

// Like printf's %0*u (width Width), into a buffer with room for it; returns the end.
template <int Width> char* putPadded(char* p, uint32_t v) {
    uint32_t limit = 1;
    for (int i = 0; i < Width; ++i)
        limit *= 10;
    if (v >= limit)
        return std::to_chars(p, p + 10, v).ptr;
    for (int i = Width - 1; i >= 0; --i) {
        p[i] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    return p + Width;
}

char* putYyyymmdd(char* p, Date d) {
    int y = 0, m = 0, day = 0;
    d.toYmd(y, m, day);
    if (y < 1 || y > 9999)
        throw ConversionError("o ano " + std::to_string(y) + " não pode ser gravado num pacote de dados");
    p = putPadded<4>(p, static_cast<uint32_t>(y));
    p = putPadded<2>(p, static_cast<uint32_t>(m));
    return putPadded<2>(p, static_cast<uint32_t>(day));
}

// Milliseconds are glued to the seconds, as the old writer did.
char* putHhnnssmmm(char* p, Time t) {
    p = putPadded<2>(p, static_cast<uint32_t>(t.hour()));
    *p++ = ':';
    p = putPadded<2>(p, static_cast<uint32_t>(t.minute()));
    *p++ = ':';
    p = putPadded<2>(p, static_cast<uint32_t>(t.second()));
    return putPadded<3>(p, static_cast<uint32_t>(t.millisecond()));
}

// Plain decimal like every number of the layout, never exponent form; still the shortest text that reads back to
// the same double. The longest, the smallest subnormal, needs 327 characters.
void appendShortestDouble(std::string& out, double v) {
    if (!std::isfinite(v))
        throw ConversionError("o número real " + std::to_string(v) + " não pode ser gravado num pacote de dados");
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    appendUpTo(out, buf, res.ptr);
}

// Numeric::toString without its temporaries.
void appendNumeric(std::string& out, const Numeric& n) {
    if (n.scale < 0 || n.scale > 18) {
        out += n.toString();
        return;
    }
    const bool negative = n.units < 0;
    const uint64_t mag = negative ? 0 - static_cast<uint64_t>(n.units) : static_cast<uint64_t>(n.units);
    char digits[20];
    const auto len = static_cast<int>(std::to_chars(digits, digits + sizeof digits, mag).ptr - digits);
    char buf[48];
    char* p = buf;
    if (negative)
        *p++ = '-';
    const int whole = len - n.scale;
    if (whole <= 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = whole; i < 0; ++i)
            *p++ = '0';
        p = std::copy(digits, digits + len, p);
    } else {
        p = std::copy(digits, digits + whole, p);
        if (n.scale > 0) {
            *p++ = '.';
            p = std::copy(digits + whole, digits + len, p);
        }
    }
    appendUpTo(out, buf, p);
}

Value parseInteger(std::string_view text, const FieldReading& r) {
    const auto v = formats::parseInteger(text);
    if (!v)
        notA(text, "um número inteiro válido");
    if (*v < r.min || *v > r.max)
        notA(text, "um número inteiro dentro da faixa do campo");
    switch (integerKind(r.def.type)) {
    case Value::Kind::Int16: return Value::int16(static_cast<int16_t>(*v));
    case Value::Kind::Int32: return Value::int32(static_cast<int32_t>(*v));
    default: return Value::int64(*v);
    }
}

Value parseBoolean(std::string_view text) {
    const std::string t = formats::trim(text);
    if (equalsIgnoreCase(t, "true") || t == "1")
        return Value::boolean(true);
    if (equalsIgnoreCase(t, "false") || t == "0")
        return Value::boolean(false);
    notA(text, "um valor lógico (TRUE ou FALSE)");
}

Bytes decodeBase64(std::string_view text) {
    auto bytes = encoding::base64Decode(text);
    if (!bytes)
        notA(text, "base64 válido");
    return std::move(*bytes);
}

std::string_view asChars(const Bytes& b) {
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}

} // namespace

Value::Kind integerKind(FieldType type) {
    switch (type) {
    case FieldType::SmallInt: return Value::Kind::Int16;
    case FieldType::Integer: return Value::Kind::Int32;
    default: return Value::Kind::Int64;
    }
}

PacketFieldType packetFieldType(FieldType type) {
    switch (type) {
    case FieldType::SmallInt: return {"i2", nullptr};
    case FieldType::Integer: return {"i4", nullptr};
    case FieldType::BigInt: return {"i8", nullptr};
    case FieldType::Double: return {"r8", nullptr};
    case FieldType::Numeric: return {"fixed", nullptr};
    case FieldType::Date: return {"date", nullptr};
    case FieldType::Time: return {"time", nullptr};
    case FieldType::Timestamp: return {"dateTime", nullptr};
    case FieldType::Char: return {"string", "FixedChar"};
    case FieldType::VarChar: return {"string", nullptr};
    case FieldType::TextBlob: return {"bin.hex", "Text"};
    case FieldType::BinaryBlob: return {"bin.hex", "Binary"};
    case FieldType::Boolean: return {"boolean", nullptr};
    }
    return {"string", nullptr};
}

FieldReading readingFor(std::string name, std::string_view fieldtype, std::string_view subtype, int width, int decimals,
                        bool required) {
    FieldReading r;
    r.def.name = std::move(name);
    r.def.required = required;
    auto set = [&](FieldType type, TextForm form, int size = 0, int scale = 0) {
        r.def.type = type;
        r.def.size = size;
        r.def.scale = scale;
        r.form = form;
        return r;
    };
    for (const auto& t : kIntegerTypes) {
        if (equalsIgnoreCase(fieldtype, t.name)) {
            r.min = t.min;
            r.max = t.max;
            return set(t.type, TextForm::Integer);
        }
    }
    if (equalsIgnoreCase(fieldtype, "r8") || equalsIgnoreCase(fieldtype, "r4"))
        return set(FieldType::Double, TextForm::Real);
    if (equalsIgnoreCase(fieldtype, "fixed") || equalsIgnoreCase(fieldtype, "fixedFMT")) {
        if (decimals < 0 || decimals > 18)
            throw ConversionError("DECIMALS " + std::to_string(decimals) + " está fora da faixa aceita");
        return set(FieldType::Numeric, TextForm::Fixed, width, decimals);
    }
    const bool fixedChar = subtype.find("Fixed") != std::string_view::npos;
    const FieldType textType = fixedChar ? FieldType::Char : FieldType::VarChar;
    if (equalsIgnoreCase(fieldtype, "string"))
        return set(textType, TextForm::Text, width);
    if (equalsIgnoreCase(fieldtype, "string.uni")) // WIDTH counts bytes, two per character
        return set(textType, TextForm::Text, width / 2);
    if (equalsIgnoreCase(fieldtype, "date"))
        return set(FieldType::Date, TextForm::Date);
    if (equalsIgnoreCase(fieldtype, "time"))
        return set(FieldType::Time, TextForm::Time);
    if (equalsIgnoreCase(fieldtype, "dateTime") || equalsIgnoreCase(fieldtype, "SQLdateTime"))
        return set(FieldType::Timestamp, TextForm::DateTime);
    if (equalsIgnoreCase(fieldtype, "boolean"))
        return set(FieldType::Boolean, TextForm::Boolean);
    if (equalsIgnoreCase(fieldtype, "bin.hex")) {
        if (equalsIgnoreCase(subtype, "Text") || equalsIgnoreCase(subtype, "Formatted"))
            return set(FieldType::TextBlob, TextForm::TextBytes);
        if (equalsIgnoreCase(subtype, "WideText"))
            return set(FieldType::TextBlob, TextForm::Utf16Bytes);
        return set(FieldType::BinaryBlob, TextForm::Bytes);
    }
    if (equalsIgnoreCase(fieldtype, "nested"))
        throw ConversionError("tabelas aninhadas não são suportadas");
    throw ConversionError("tipo de campo desconhecido '" + std::string(fieldtype) + "'");
}

void appendValueText(std::string& out, const PackedValue& v, const FieldDef& field) {
    using K = Value::Kind;
    char buf[32];
    switch (v.kind) {
    case K::Null: return;
    case K::Int16:
    case K::Int32:
    case K::Int64: appendUpTo(out, buf, std::to_chars(buf, buf + sizeof buf, v.integer).ptr); return;
    case K::Double: appendShortestDouble(out, v.real); return;
    case K::Numeric: {
        const Numeric n{v.integer, v.scale};
        appendNumeric(out, n.scale == field.scale ? n : n.rescaled(field.scale));
        return;
    }
    case K::Date: appendUpTo(out, buf, putYyyymmdd(buf, Date{static_cast<int32_t>(v.integer)})); return;
    case K::Time: appendUpTo(out, buf, putHhnnssmmm(buf, Time{v.time})); return;
    case K::Timestamp: {
        char* p = putYyyymmdd(buf, Date{static_cast<int32_t>(v.integer)});
        *p++ = 'T';
        appendUpTo(out, buf, putHhnnssmmm(p, Time{v.time}));
        return;
    }
    case K::Text:
        // Text blobs travel as base64 of their UTF-8 bytes.
        if (field.type == FieldType::TextBlob)
            out += encoding::base64Encode(v.bytes);
        else
            out += v.bytes;
        return;
    case K::Blob:
        out += encoding::base64Encode(reinterpret_cast<const uint8_t*>(v.bytes.data()), v.bytes.size());
        return;
    case K::Bool: out += v.integer ? "TRUE" : "FALSE"; return;
    }
}

void appendValueText(std::string& out, const Value& v, const FieldDef& field, std::string& scratch) {
    if (v.isNull())
        return;
    scratch.assign(1, '\0'); // the flags byte PackedFields skips
    packField(field, convertForField(v, field), scratch);
    appendValueText(out, PackedFields(scratch.data()).next(), field);
}

Value parseValueText(std::string_view text, const FieldReading& r) {
    switch (r.form) {
    case TextForm::Text: return Value::text(std::string(text));
    case TextForm::Bytes: return Value::blob(decodeBase64(text));
    case TextForm::TextBytes: return Value::text(encoding::textToUtf8(asChars(decodeBase64(text))));
    case TextForm::Utf16Bytes: return Value::text(encoding::utf16ToUtf8(asChars(decodeBase64(text)), false));
    case TextForm::Integer:
    case TextForm::Real:
    case TextForm::Fixed:
    case TextForm::Date:
    case TextForm::Time:
    case TextForm::DateTime:
    case TextForm::Boolean: break;
    }
    // Some producers write an empty attribute for a missing number or date.
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
        return Value();
    switch (r.form) {
    case TextForm::Integer: return parseInteger(text, r);
    case TextForm::Real: {
        const auto d = formats::parseDouble(text);
        if (!d)
            notA(text, "um número real válido");
        return Value::real(*d);
    }
    case TextForm::Fixed: return Value::numeric(Numeric::parse(text, r.def.scale));
    case TextForm::Date:
    case TextForm::DateTime: {
        // yyyymmdd[Thh:nn:ss[mmm]], the ISO forms and a date without its time are all seen in the field.
        const auto ts = formats::parseTimestamp(text);
        if (!ts)
            notA(text, r.form == TextForm::Date ? "uma data válida" : "uma data e hora válida");
        return r.form == TextForm::Date ? Value::date(ts->date) : Value::timestamp(*ts);
    }
    case TextForm::Time: {
        const auto t = formats::parseTime(text);
        if (!t)
            notA(text, "uma hora válida");
        return Value::time(*t);
    }
    case TextForm::Boolean: return parseBoolean(text);
    case TextForm::Text: // read above
    case TextForm::Bytes:
    case TextForm::TextBytes:
    case TextForm::Utf16Bytes: break;
    }
    notA(text, "readable");
}

std::optional<int64_t> plainInteger(std::string_view text, int64_t min, int64_t max) {
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view digits = text.substr(negative ? 1 : 0);
    if (digits.empty() || digits.size() > 18)
        return std::nullopt;
    int64_t v = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (negative)
        v = -v;
    if (v < min || v > max)
        return std::nullopt;
    return v;
}

namespace {

bool twoDigits(std::string_view s, size_t pos, int& out) {
    const char a = s[pos], b = s[pos + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return false;
    out = (a - '0') * 10 + (b - '0');
    return true;
}

} // namespace

std::optional<Timestamp> compactTimestamp(std::string_view text) {
    if (text.size() != 8 && text.size() != 20)
        return std::nullopt;
    int century = 0, year = 0, month = 0, day = 0;
    if (!twoDigits(text, 0, century) || !twoDigits(text, 2, year) || !twoDigits(text, 4, month) ||
        !twoDigits(text, 6, day) || !isValidDate(century * 100 + year, month, day))
        return std::nullopt;
    Timestamp ts{Date::fromYmd(century * 100 + year, month, day), Time{}};
    if (text.size() == 8)
        return ts;
    int hour = 0, minute = 0, second = 0, msHigh = 0;
    const char msLow = text[19];
    if (text[8] != 'T' || !twoDigits(text, 9, hour) || text[11] != ':' || !twoDigits(text, 12, minute) ||
        text[14] != ':' || !twoDigits(text, 15, second) || !twoDigits(text, 17, msHigh) || msLow < '0' || msLow > '9')
        return std::nullopt;
    const int ms = msHigh * 10 + (msLow - '0');
    if (!isValidTime(hour, minute, second, ms))
        return std::nullopt;
    ts.time = Time::fromHms(hour, minute, second, ms);
    return ts;
}

} // namespace edi::packet_detail
