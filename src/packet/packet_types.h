#pragma once

#include "core/value.h"
#include "packet/record_store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace edi::packet_detail {

// How a FIELD is described in a packet.
struct PacketFieldType {
    const char* fieldtype;
    const char* subtype; // nullptr: no SUBTYPE attribute
};

PacketFieldType packetFieldType(FieldType type);

// How the value text of a field is read; several producer types share one reading.
enum class TextForm { Integer, Real, Fixed, Text, Date, Time, DateTime, Boolean, Bytes, TextBytes, Utf16Bytes };

struct FieldReading {
    FieldDef def;
    TextForm form = TextForm::Text;
    int64_t min = 0, max = 0; // Integer only
};

// Maps a FIELD's fieldtype, SUBTYPE, WIDTH and DECIMALS to our field; throws ConversionError for a type we cannot
// read.
FieldReading readingFor(std::string name, std::string_view fieldtype, std::string_view subtype, int width, int decimals,
                        bool required);

// Appends the attribute text of a non-null value, before XML escaping (only the text of a Text value may need
// any). Throws ConversionError for a value the layout cannot hold (a non-finite double, a year outside 1..9999).
void appendValueText(std::string& out, const PackedValue& v, const FieldDef& field);
// The same for a value not yet packed (converted to the field's type first); `scratch` is reused between calls.
void appendValueText(std::string& out, const Value& v, const FieldDef& field, std::string& scratch);

// The kind of the values an integer field of this type holds.
Value::Kind integerKind(FieldType type);

// Reads a non-empty attribute text; throws ConversionError naming what it expected.
Value parseValueText(std::string_view text, const FieldReading& reading);

// The spellings nearly every value of these forms has, read without the general parsers above: a plain decimal
// integer within min..max; yyyymmdd with or without Thh:nn:ssmmm. nullopt for anything else, which parseValueText
// then reads or refuses.
std::optional<int64_t> plainInteger(std::string_view text, int64_t min, int64_t max);
std::optional<Timestamp> compactTimestamp(std::string_view text);

// Said of a table or a packet that names one field twice.
inline std::string fieldNamedTwice(const std::string& name) {
    return "O nome de campo " + name + " aparece duas vezes";
}

} // namespace edi::packet_detail
