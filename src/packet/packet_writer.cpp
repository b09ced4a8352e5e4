#include "packet/packet_writer.h"

#include "core/encoding.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"
#include "core/messages.h"
#include "packet/packet_table.h"
#include "packet/packet_types.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ostream>
#include <set>

namespace edi {

namespace {

constexpr size_t kFlushSize = 64 * 1024;

// The RowState a record is written with; empty for a loaded row, which is written merged.
const char* rowStateText(const char* record) {
    const uint8_t flags = packet_detail::recordFlags(record);
    if (flags & packet_detail::kRecordDeleted)
        return "2";
    return flags & packet_detail::kRecordInserted ? "4" : "";
}
// Rows written before a packet kept whole in memory reserves room for the rest, from their average size.
constexpr size_t kSampleRows = 64;

bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool usableAsAttribute(const std::string& name) {
    if (name.empty() || !isNameStart(name[0]) || formats::equalsIgnoreCase(name, "RowState"))
        return false;
    for (char c : name)
        if (!isNameChar(c))
            return false;
    return true;
}

// ROW attributes are named after the fields. A name that cannot be an ASCII XML attribute (blanks, accents,
// "RowState") gets a substitute, and the FIELD keeps the real name in `fieldname`.
std::vector<std::string> attributeNames(const std::vector<FieldDef>& fields) {
    std::set<std::string> taken;
    for (const auto& f : fields)
        if (usableAsAttribute(f.name))
            taken.insert(formats::toUpper(f.name));
    std::vector<std::string> names;
    for (const auto& f : fields) {
        if (usableAsAttribute(f.name)) {
            names.push_back(f.name);
            continue;
        }
        std::string base;
        for (char c : f.name)
            base += isNameChar(c) ? c : '_';
        if (!isNameStart(base[0]) || formats::equalsIgnoreCase(base, "RowState"))
            base.insert(0, "_");
        std::string candidate = base;
        for (int n = 2; taken.count(formats::toUpper(candidate)); ++n)
            candidate = base + "_" + std::to_string(n);
        taken.insert(formats::toUpper(candidate));
        names.push_back(candidate);
    }
    return names;
}

std::string codePointName(char32_t cp) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
    return buf;
}

// Bytes that stand for themselves in attribute content.
constexpr auto kPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c)
        plain[static_cast<size_t>(c)] = c != '&' && c != '<' && c != '>' && c != '"' && c != '\'';
    return plain;
}();

// A byte that is not plain: an escape, or a refusal.
void appendEscapedByte(std::string& out, unsigned char c) {
    switch (c) {
    case '&': out += "&amp;"; return;
    case '<': out += "&lt;"; return;
    case '>': out += "&gt;"; return;
    case '"': out += "&quot;"; return;
    case '\'': out += "&apos;"; return;
    case '\r': out += "&#13;"; return;
    case '\n': out += "&#10;"; return;
    case '\t': out += "&#9;"; return;
    default:
        throw ConversionError("o caractere de controle " + codePointName(c) +
                              " não pode ser gravado num pacote de dados");
    }
}

// Attribute content in pure ASCII: markup characters and line breaks escaped, everything above 127 as a decimal
// character reference. Throws ConversionError for what XML 1.0 cannot carry at all. Plain runs go in one piece.
void appendEscaped(std::string& out, std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t run = pos;
        while (pos < text.size() && kPlain[static_cast<unsigned char>(text[pos])])
            ++pos;
        out.append(text.data() + run, pos - run);
        if (pos == text.size())
            return;
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c < 0x80) {
            appendEscapedByte(out, c);
            ++pos;
            continue;
        }
        const size_t at = pos;
        const auto cp = encoding::nextCodePoint(text, pos);
        if (!cp)
            throw ConversionError("o texto não é UTF-8 válido (byte " + std::to_string(at + 1) + ")");
        if (*cp == 0xFFFE || *cp == 0xFFFF)
            throw ConversionError("o caractere " + codePointName(*cp) + " não pode ser gravado num pacote de dados");
        char ref[16] = {'&', '#'};
        char* end = std::to_chars(ref + 2, ref + sizeof ref, static_cast<uint32_t>(*cp)).ptr;
        *end++ = ';';
        out.append(ref, static_cast<size_t>(end - ref));
    }
}

void appendAttribute(std::string& out, std::string_view name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendEscaped(out, value);
    out += '"';
}

} // namespace

PacketWriter::PacketWriter(const PacketTable& dataset, std::string tableName)
    : ds_(dataset), tableName_(std::move(tableName)), attrNames_(attributeNames(dataset.fields_)) {}

std::string PacketWriter::write(std::ostream* out) {
    if (ds_.appending_)
        throw Error("Um registro de " + tableName_ + " está em inclusão; grave-o ou cancele-o antes de salvar");
    out_ = out;
    buf_ = "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA>";
    writeFields();
    writeParams();
    buf_ += "</METADATA>";
    writeRows();
    buf_ += "</DATAPACKET>";
    if (out_) {
        out_->write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
        buf_.clear();
    }
    return std::move(buf_);
}

void PacketWriter::writeFields() {
    buf_ += "<FIELDS>";
    for (size_t i = 0; i < ds_.fields_.size(); ++i) {
        const FieldDef& f = ds_.fields_[i];
        const auto type = packet_detail::packetFieldType(f.type);
        buf_ += "<FIELD";
        if (attrNames_[i] != f.name) {
            try {
                appendAttribute(buf_, "fieldname", f.name);
            } catch (const ConversionError& e) {
                throw PacketError(msg::cannotWrite(tableName_) + ": nome de campo " + f.name + ": " + e.what());
            }
        }
        appendAttribute(buf_, "attrname", attrNames_[i]);
        appendAttribute(buf_, "fieldtype", type.fieldtype);
        if (type.subtype)
            appendAttribute(buf_, "SUBTYPE", type.subtype);
        if (f.type == FieldType::Numeric && f.scale > 0)
            appendAttribute(buf_, "DECIMALS", std::to_string(f.scale));
        if ((f.type == FieldType::Numeric || f.type == FieldType::Char || f.type == FieldType::VarChar) && f.size > 0)
            appendAttribute(buf_, "WIDTH", std::to_string(f.size));
        if (f.required)
            appendAttribute(buf_, "required", "true");
        buf_ += "/>";
    }
    buf_ += "</FIELDS>";
}

void PacketWriter::writeParams() {
    std::string changeLog;
    for (size_t i = 0; i < ds_.records_.size(); ++i) {
        const char* state = rowStateText(ds_.records_[i]);
        if (*state) {
            if (!changeLog.empty())
                changeLog += ' ';
            changeLog += std::to_string(i + 1) + " 0 " + state;
        }
    }
    buf_ += "<PARAMS";
    if (!changeLog.empty())
        appendAttribute(buf_, "CHANGE_LOG", changeLog);
    for (const auto& [name, value] : ds_.params_)
        appendAttribute(buf_, name, value);
    buf_ += "/>";
}

void PacketWriter::writeRows() {
    buf_ += "<ROWDATA>";
    const auto& fields = ds_.fields_;
    // ` NAME="` for each field, ready to append.
    std::vector<std::string> openers;
    for (const auto& name : attrNames_)
        openers.push_back(' ' + name + "=\"");
    const size_t rowsStart = buf_.size();
    for (size_t r = 0; r < ds_.records_.size(); ++r) {
        const char* record = ds_.records_[r];
        buf_ += "<ROW";
        if (const char* state = rowStateText(record); *state) {
            buf_ += " RowState=\"";
            buf_ += state;
            buf_ += '"';
        }
        packet_detail::PackedFields values(record);
        for (size_t i = 0; i < fields.size(); ++i) {
            const packet_detail::PackedValue v = values.next();
            if (v.kind == Value::Kind::Null)
                continue;
            buf_ += openers[i];
            try {
                if (v.kind == Value::Kind::Text && fields[i].type != FieldType::TextBlob)
                    appendEscaped(buf_, v.bytes);
                else // nothing to escape in the other forms
                    packet_detail::appendValueText(buf_, v, fields[i]);
            } catch (const ConversionError& e) {
                failAt(r, i, e.what());
            }
            buf_ += '"';
        }
        buf_ += "/>";
        if (!out_ && r + 1 == kSampleRows)
            buf_.reserve(buf_.size() + (buf_.size() - rowsStart) / kSampleRows * (ds_.records_.size() - r - 1) * 9 / 8);
        flushIfFull();
    }
    buf_ += "</ROWDATA>";
}

void PacketWriter::flushIfFull() {
    if (!out_ || buf_.size() < kFlushSize)
        return;
    out_->write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
    if (!*out_)
        throw IoError("Não foi possível gravar o pacote de " + tableName_ + ": " + describeWriteError(errno));
    buf_.clear();
}

void PacketWriter::failAt(size_t row, size_t field, const std::string& problem) const {
    throw PacketError(msg::cannotWrite(tableName_) + ": registro " + std::to_string(row + 1) + ", campo " +
                      ds_.fields_[field].name + ": " + problem);
}

} // namespace edi
