#include "packet/packet_reader.h"

#include "core/encoding.h"
#include "core/errors.h"
#include "core/formats.h"
#include "core/messages.h"
#include "packet/packet_table.h"
#include "packet/packet_types.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace edi {

namespace fs = std::filesystem;
using packet_detail::FieldReading;

namespace {

[[noreturn]] void fail(const std::string& source, const std::string& problem) {
    throw PacketError(source + ": " + problem);
}

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Most candidates differ in length or first character; only a likely match costs a call.
bool sameName(const std::string& name, std::string_view attribute) {
    return name.size() == attribute.size() && !name.empty() && name[0] == attribute[0] &&
           std::memcmp(name.data(), attribute.data(), name.size()) == 0;
}

bool onlySpace(std::string_view s) {
    for (char c : s)
        if (!isXmlSpace(c))
            return false;
    return true;
}

// The encoding named in the XML declaration, lower case; nullopt when there is none.
std::optional<std::string> declaredEncoding(std::string_view s) {
    size_t p = 0;
    while (p < s.size() && isXmlSpace(s[p]))
        ++p;
    if (s.substr(p, 5) != "<?xml")
        return std::nullopt;
    const std::string_view decl = s.substr(p, s.find("?>", p) - p);
    size_t e = decl.find("encoding");
    if (e == std::string_view::npos)
        return std::nullopt;
    e += 8;
    while (e < decl.size() && (isXmlSpace(decl[e]) || decl[e] == '='))
        ++e;
    if (e >= decl.size() || (decl[e] != '"' && decl[e] != '\''))
        return std::nullopt;
    const size_t close = decl.find(decl[e], e + 1);
    if (close == std::string_view::npos)
        return std::nullopt;
    std::string name(decl.substr(e + 1, close - e - 1));
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

bool isSingleByteWesternEncoding(const std::string& name) {
    // ISO-8859-1 is read as its Windows-1252 superset: writers that declare it mean the 0x80..0x9F letters too.
    for (const char* known :
         {"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "latin-1", "l1", "windows-1252", "cp1252", "x-cp1252"})
        if (name == known)
            return true;
    return false;
}

bool hasHighBytes(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

constexpr std::string_view kParamsEnd = "</PARAMS>";

// The text before the rows, which may be large.
std::string_view headOf(std::string_view text, size_t start) {
    return text.substr(0, std::min(text.find("<ROWDATA", start), text.size()));
}

bool hasParamsEnd(std::string_view text, size_t start) {
    return headOf(text, start).find(kParamsEnd, start) != std::string_view::npos;
}

// An old writer closed a self-closed <PARAMS .../> a second time; blank the stray end tag out so the rest parses.
void blankStrayParamsEnd(std::string& text, size_t start) {
    static constexpr std::string_view kEnd = kParamsEnd;
    const std::string_view head = headOf(text, start);
    for (size_t p = head.find(kEnd, start); p != std::string::npos; p = head.find(kEnd, p + 1)) {
        const size_t open = text.rfind("<PARAMS", p);
        if (open == std::string::npos || open < start)
            continue;
        size_t tagEnd = p;
        while (tagEnd > open && isXmlSpace(text[tagEnd - 1]))
            --tagEnd;
        const std::string_view tag(text.data() + open, tagEnd - open);
        if (tag.size() >= 2 && tag.substr(tag.size() - 2) == "/>" && tag.find('<', 1) == std::string_view::npos)
            text.replace(p, kEnd.size(), kEnd.size(), ' ');
    }
}

// ---- Where the rows lie ----
//
// A light scan of the markup finds the ROWDATA content and places to cut it between rows, so that the rows are
// parsed a slice at a time instead of as one document several times the file's size. pugixml still parses every
// byte; whatever the scan does not follow (a DOCTYPE, unterminated markup) leaves the packet to the whole-document
// parse, which then reports it.

constexpr size_t kRowSliceSize = 1 << 20;

struct Markup {
    enum Kind { Start, End, Empty, Other } kind;
    std::string_view name;
    size_t end; // just past the markup
};

std::optional<Markup> markupAt(std::string_view text, size_t p) {
    const auto through = [&](std::string_view close, size_t from) -> std::optional<Markup> {
        const size_t e = text.find(close, from);
        if (e == std::string_view::npos)
            return std::nullopt;
        return Markup{Markup::Other, {}, e + close.size()};
    };
    if (text.compare(p, 4, "<!--") == 0)
        return through("-->", p + 4);
    if (text.compare(p, 9, "<![CDATA[") == 0)
        return through("]]>", p + 9);
    if (text.compare(p, 2, "<?") == 0)
        return through("?>", p + 2);
    if (text.compare(p, 2, "<!") == 0)
        return std::nullopt;
    const bool endTag = text.compare(p, 2, "</") == 0;
    size_t q = p + (endTag ? 2 : 1);
    const size_t nameStart = q;
    while (q < text.size() && !isXmlSpace(text[q]) && text[q] != '>' && text[q] != '/')
        ++q;
    const std::string_view name = text.substr(nameStart, q - nameStart);
    if (name.empty())
        return std::nullopt;
    for (; q < text.size(); ++q) {
        const char c = text[q];
        if (c == '"' || c == '\'') {
            // Values are the bulk of a row: jump to the closing quote.
            const void* close = std::memchr(text.data() + q + 1, c, text.size() - q - 1);
            if (!close)
                return std::nullopt;
            q = static_cast<size_t>(static_cast<const char*>(close) - text.data());
        } else if (c == '<') {
            return std::nullopt;
        } else if (c == '>') {
            const Markup::Kind kind = endTag ? Markup::End : (text[q - 1] == '/' ? Markup::Empty : Markup::Start);
            return Markup{kind, name, q + 1};
        }
    }
    return std::nullopt;
}

struct RowsRegion {
    size_t begin = 0, end = 0;  // the content of ROWDATA
    std::vector<size_t> slices; // where each slice after the first begins
};

// Just past the ROWDATA start tag, when the markup before it is what the scan follows.
std::optional<size_t> findRowsBegin(std::string_view text) {
    int depth = 0;
    for (size_t p = text.find('<');; p = text.find('<', p)) {
        if (p == std::string_view::npos)
            return std::nullopt;
        const auto m = markupAt(text, p);
        if (!m)
            return std::nullopt;
        p = m->end;
        if (m->kind == Markup::Start) {
            if (depth == 1 && m->name == "ROWDATA")
                return p;
            ++depth;
        } else if (m->kind == Markup::End && --depth < 0) {
            return std::nullopt;
        }
    }
}

std::optional<RowsRegion> findRowsRegion(std::string_view text) {
    RowsRegion region;
    if (const auto begin = findRowsBegin(text))
        region.begin = *begin;
    else
        return std::nullopt;
    int rowDepth = 0;
    size_t sliceStart = region.begin;
    for (size_t p = text.find('<', region.begin);; p = text.find('<', p)) {
        if (p == std::string_view::npos)
            return std::nullopt;
        if (rowDepth == 0 && p - sliceStart >= kRowSliceSize) {
            region.slices.push_back(p);
            sliceStart = p;
        }
        const auto m = markupAt(text, p);
        if (!m)
            return std::nullopt;
        if (m->kind == Markup::Start) {
            ++rowDepth;
        } else if (m->kind == Markup::End) {
            if (rowDepth == 0) {
                if (m->name != "ROWDATA")
                    return std::nullopt;
                region.end = p;
                // The parser stops at a NUL byte: a slice would end there quietly, losing the rows after it,
                // where the whole document is reported as cut short.
                if (std::memchr(text.data() + region.begin, '\0', region.end - region.begin))
                    return std::nullopt;
                return region;
            }
            --rowDepth;
        }
        p = m->end;
    }
}

// ---- Rows read straight from the text ----
//
// Nearly every packet's rows are empty ROW elements with quoted attributes and blanks between them. Those are read
// without building a document; anything else (other markup, a reference the document parse would keep as written
// or turn into something other than a character, any fault) leaves the packet to the document parse, which reads
// it or refuses it exactly as before.

// Attribute names of plain ASCII; others take the document parse.
constexpr uint8_t kNameStart = 1, kNameChar = 2;
constexpr auto kNameClass = [] {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        const bool start = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
        const int bits = (start ? kNameStart | kNameChar : 0) | (other ? kNameChar : 0);
        table[static_cast<size_t>(c)] = static_cast<uint8_t>(bits);
    }
    return table;
}();

bool isNameStart(char c) {
    return kNameClass[static_cast<unsigned char>(c)] & kNameStart;
}

bool isNameChar(char c) {
    return kNameClass[static_cast<unsigned char>(c)] & kNameChar;
}

std::optional<char32_t> characterReference(std::string_view digits, unsigned base) {
    if (digits.empty())
        return std::nullopt;
    char32_t cp = 0;
    for (const char c : digits) {
        unsigned d = 0;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (base == 16 && (c | ' ') >= 'a' && (c | ' ') <= 'f')
            d = static_cast<unsigned>((c | ' ') - 'a' + 10);
        else
            return std::nullopt;
        cp = cp * base + d;
    }
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return std::nullopt;
    return cp;
}

// The five entities and character references, into `out`; false for any other use of '&'.
bool decodeReferences(std::string_view raw, std::string& out) {
    out.clear();
    for (size_t p = 0;;) {
        const size_t amp = raw.find('&', p);
        if (amp == std::string_view::npos) {
            out.append(raw.substr(p));
            return true;
        }
        out.append(raw.substr(p, amp - p));
        const size_t semi = raw.find(';', amp);
        if (semi == std::string_view::npos || semi - amp > 9) // the longest is &#x10FFFF;
            return false;
        const std::string_view ref = raw.substr(amp + 1, semi - amp - 1);
        if (ref == "amp")
            out += '&';
        else if (ref == "lt")
            out += '<';
        else if (ref == "gt")
            out += '>';
        else if (ref == "quot")
            out += '"';
        else if (ref == "apos")
            out += '\'';
        else if (const auto cp = ref.size() > 1 && ref[0] == '#'
                                     ? (ref[1] == 'x' ? characterReference(ref.substr(2), 16)
                                                      : characterReference(ref.substr(1), 10))
                                     : std::nullopt)
            encoding::appendUtf8(out, *cp);
        else
            return false;
        p = semi + 1;
    }
}

} // namespace

// One load: the document, the fields and the rows read so far.
class PacketReader::Load {
public:
    Load(const std::string& source, bool keepDeleted) : source_(source), keepDeleted_(keepDeleted) {}

    // Reads the packet when its rows have the common shape, without changing the text; nullopt leaves it to run().
    std::optional<PacketTable> runDirect(std::string_view text);
    // Any packet; the text is parsed in place.
    PacketTable run(char* text, size_t size);

private:
    [[noreturn]] void fail(const std::string& problem) const { edi::fail(source_, problem); }
    [[noreturn]] void failInRow(const std::string& problem) const {
        fail("registro " + std::to_string(rowNo_) + problem);
    }

    // Offsets in messages count in the text given to run(): `shift` is added to offsets from `shiftFrom` on.
    void parse(pugi::xml_document& doc, char* text, size_t size, unsigned options, size_t shiftFrom,
               size_t shift) const;
    pugi::xml_node root(const pugi::xml_document& doc) const;
    // The table with the packet's fields, ready for rows; keeps the change log for finish().
    PacketTable open(pugi::xml_node packet);
    PacketTable finish(PacketTable ds);
    void readFields(pugi::xml_node fields);
    std::vector<int64_t> readChangeLog(pugi::xml_node params) const;
    void readRows(pugi::xml_node parent, PacketTable& ds);
    void readRowSlices(char* text, const RowsRegion& region, PacketTable& ds);
    bool readRowsDirect(std::string_view text, size_t begin, size_t end, PacketTable& ds);
    void beginRow();
    // One attribute of the current row; `transient` when `value` does not outlive the call.
    void readAttribute(std::string_view name, std::string_view value, bool transient);
    void endRow(PacketTable& ds);
    int fieldOf(std::string_view attribute);
    std::vector<const char*> currentView(const std::vector<int64_t>& changeLog) const;

    const std::string& source_;
    const bool keepDeleted_;
    std::vector<FieldReading> readings_;
    std::vector<std::string> attrNames_;
    std::unordered_map<std::string, size_t> byUpperName_;
    std::vector<int64_t> changeLog_;
    std::vector<int64_t> loggedDeletions_; // rows without RowState that the change log says are deleted, sorted

    // Per stored row, in ROWDATA order.
    std::vector<const char*> packed_;
    std::vector<int> states_; // RowState, -1 when the row has none

    // The current row, per field. The common forms are kept unboxed (direct_): texts as views, integers, and dates
    // as timestamps; the others as values.
    size_t rowNo_ = 0;
    int state_ = -1;
    size_t expected_ = 0; // the field the next attribute most likely names
    std::vector<size_t> seenInRow_;
    std::vector<char> direct_;
    std::vector<std::string_view> texts_;
    std::vector<std::string> keptTexts_; // decoded texts the views point to
    std::vector<int64_t> integers_;
    std::vector<Timestamp> stamps_;
    std::vector<Value> values_;
    std::string decoded_;
    std::string scratch_;
};

pugi::xml_node PacketReader::Load::root(const pugi::xml_document& doc) const {
    pugi::xml_node root;
    for (pugi::xml_node n : doc.children()) {
        if (n.type() != pugi::node_element)
            continue;
        if (root)
            fail("não é um pacote de dados (mais de um elemento raiz)");
        root = n;
    }
    if (!root)
        fail("não é um pacote de dados (nenhum elemento raiz)");
    if (std::strcmp(root.name(), "DATAPACKET") != 0)
        fail("não é um pacote de dados (elemento raiz <" + std::string(root.name()) + ">, esperado <DATAPACKET>)");
    return root;
}

void PacketReader::Load::readFields(pugi::xml_node fields) {
    size_t number = 0;
    for (pugi::xml_node f : fields.children("FIELD")) {
        ++number;
        const std::string attrName = f.attribute("attrname").value();
        if (attrName.empty())
            fail("FIELD " + std::to_string(number) + " sem attrname");
        const char* type = f.attribute("fieldtype").value();
        if (!*type)
            fail("campo " + attrName + " sem fieldtype");
        const char* realName = f.attribute("fieldname").value();
        const std::string name = *realName ? realName : attrName;
        auto dimension = [&](const char* attr) {
            const char* text = f.attribute(attr).value();
            if (!*text)
                return 0;
            const auto v = formats::parseInteger(text);
            if (!v || *v < 0 || *v > INT32_MAX)
                fail("campo " + name + ": " + attr + " " + msg::notANumber(text));
            return static_cast<int>(*v);
        };
        try {
            readings_.push_back(packet_detail::readingFor(
                name, type, f.attribute("SUBTYPE").value(), dimension("WIDTH"), dimension("DECIMALS"),
                formats::equalsIgnoreCase(f.attribute("required").value(), "true")));
        } catch (const ConversionError& e) {
            fail("campo " + name + ": " + e.what());
        }
        if (!byUpperName_.emplace(formats::toUpper(attrName), attrNames_.size()).second)
            fail(packet_detail::fieldNamedTwice(attrName));
        for (size_t i = 0; i + 1 < readings_.size(); ++i)
            if (formats::equalsIgnoreCase(readings_[i].def.name, name))
                fail(packet_detail::fieldNamedTwice(name));
        attrNames_.push_back(attrName);
    }
    if (readings_.empty())
        fail("não é um pacote de dados (METADATA/FIELDS sem nenhum FIELD)");
}

std::vector<int64_t> PacketReader::Load::readChangeLog(pugi::xml_node params) const {
    std::vector<int64_t> numbers;
    const char* text = params.attribute("CHANGE_LOG").value();
    const std::string_view s(text);
    size_t p = 0;
    while (p < s.size()) {
        while (p < s.size() && isXmlSpace(s[p]))
            ++p;
        size_t e = p;
        while (e < s.size() && !isXmlSpace(s[e]))
            ++e;
        if (e == p)
            break;
        const std::string_view number = s.substr(p, e - p);
        auto v = packet_detail::plainInteger(number, INT64_MIN, INT64_MAX);
        if (!v)
            v = formats::parseInteger(number);
        if (!v)
            fail("PARAMS CHANGE_LOG não é uma lista de números");
        numbers.push_back(*v);
        p = e;
    }
    if (numbers.size() % 3 != 0)
        fail("PARAMS CHANGE_LOG não é uma lista de trios");
    return numbers;
}

PacketTable PacketReader::Load::open(pugi::xml_node packet) {
    const pugi::xml_node metadata = packet.child("METADATA");
    const pugi::xml_node fields = metadata.child("FIELDS");
    if (!fields)
        fail("não é um pacote de dados (sem METADATA/FIELDS)");
    readFields(fields);
    const pugi::xml_node params = metadata.child("PARAMS");
    changeLog_ = readChangeLog(params);
    // A row's first triple gives its state, as in currentView().
    std::unordered_set<int64_t> logged;
    for (size_t t = 0; t + 2 < changeLog_.size(); t += 3)
        if (logged.insert(changeLog_[t]).second && (changeLog_[t + 2] & 2))
            loggedDeletions_.push_back(changeLog_[t]);
    std::sort(loggedDeletions_.begin(), loggedDeletions_.end());

    std::vector<FieldDef> defs;
    defs.reserve(readings_.size());
    for (const auto& r : readings_)
        defs.push_back(r.def);
    const size_t n = readings_.size();
    seenInRow_.assign(n, 0);
    direct_.assign(n, 0);
    texts_.assign(n, std::string_view());
    keptTexts_.assign(n, std::string());
    integers_.assign(n, 0);
    stamps_.assign(n, Timestamp{});
    values_.assign(n, Value());
    PacketTable ds(std::move(defs));
    for (const pugi::xml_attribute a : params.attributes())
        if (std::string_view(a.name()) != "CHANGE_LOG")
            ds.setParam(a.name(), a.value());
    return ds;
}

PacketTable PacketReader::Load::finish(PacketTable ds) {
    ds.records_ = currentView(changeLog_);
    ds.first();
    return ds;
}

int PacketReader::Load::fieldOf(std::string_view attribute) {
    // Rows list their fields in order, leaving the null ones out: look a few fields ahead before hashing.
    const size_t ahead = std::min(attrNames_.size(), expected_ + 8);
    for (size_t i = expected_; i < ahead; ++i)
        if (sameName(attrNames_[i], attribute)) {
            expected_ = i + 1;
            return static_cast<int>(i);
        }
    const auto it = byUpperName_.find(formats::toUpper(attribute));
    if (it == byUpperName_.end())
        return -1;
    expected_ = it->second + 1;
    return static_cast<int>(it->second);
}

void PacketReader::Load::beginRow() {
    ++rowNo_;
    state_ = -1;
    expected_ = 0;
}

void PacketReader::Load::readAttribute(std::string_view name, std::string_view value, bool transient) {
    using packet_detail::TextForm;
    if (name.size() == 8 && (name == "RowState" || formats::equalsIgnoreCase(name, "RowState"))) {
        auto v = packet_detail::plainInteger(value, 0, 255);
        if (!v)
            v = formats::parseInteger(value);
        if (!v || *v < 0 || *v > 255)
            failInRow(": RowState " + msg::notANumber(std::string(value)));
        state_ = static_cast<int>(*v);
        return;
    }
    const int found = fieldOf(name);
    if (found < 0)
        failInRow(": o atributo " + std::string(name) + " não corresponde a nenhum campo");
    const auto i = static_cast<size_t>(found);
    if (seenInRow_[i] == rowNo_)
        failInRow(": campo " + attrNames_[i] + " repetido");
    seenInRow_[i] = rowNo_;
    const FieldReading& reading = readings_[i];
    direct_[i] = 1;
    switch (reading.form) {
    case TextForm::Text:
        if (transient) {
            keptTexts_[i].assign(value);
            value = keptTexts_[i];
        }
        texts_[i] = value;
        return;
    case TextForm::Integer:
        if (const auto v = packet_detail::plainInteger(value, reading.min, reading.max)) {
            integers_[i] = *v;
            return;
        }
        break;
    case TextForm::Date:
    case TextForm::DateTime:
        if (const auto ts = packet_detail::compactTimestamp(value)) {
            stamps_[i] = *ts;
            return;
        }
        break;
    case TextForm::Real:
    case TextForm::Fixed:
    case TextForm::Time:
    case TextForm::Boolean:
    case TextForm::Bytes:
    case TextForm::TextBytes:
    case TextForm::Utf16Bytes: break;
    }
    direct_[i] = 0;
    try {
        values_[i] = packet_detail::parseValueText(value, reading);
    } catch (const ConversionError& e) {
        failInRow(", campo " + reading.def.name + ": " + e.what());
    }
}

void PacketReader::Load::endRow(PacketTable& ds) {
    using packet_detail::TextForm;
    const bool deleted = state_ >= 0 ? (state_ & 2) != 0
                                     : std::binary_search(loggedDeletions_.begin(), loggedDeletions_.end(),
                                                          static_cast<int64_t>(rowNo_));
    packet_detail::beginRecord(deleted ? packet_detail::kRecordDeleted : 0, scratch_);
    for (size_t i = 0; i < readings_.size(); ++i) {
        if (seenInRow_[i] != rowNo_) {
            packet_detail::packNull(scratch_);
            continue;
        }
        const FieldReading& reading = readings_[i];
        if (!direct_[i]) {
            packet_detail::packField(reading.def, values_[i], scratch_);
            values_[i] = Value();
            continue;
        }
        switch (reading.form) {
        case TextForm::Text: packet_detail::packText(texts_[i], scratch_); break;
        case TextForm::Integer:
            packet_detail::packInteger(packet_detail::integerKind(reading.def.type), integers_[i], scratch_);
            break;
        case TextForm::Date: packet_detail::packDate(stamps_[i].date, scratch_); break;
        case TextForm::DateTime: packet_detail::packTimestamp(stamps_[i], scratch_); break;
        case TextForm::Real: // never kept directly
        case TextForm::Fixed:
        case TextForm::Time:
        case TextForm::Boolean:
        case TextForm::Bytes:
        case TextForm::TextBytes:
        case TextForm::Utf16Bytes: break;
        }
    }
    packed_.push_back(ds.store_.add(scratch_));
    states_.push_back(state_);
}

void PacketReader::Load::readRows(pugi::xml_node parent, PacketTable& ds) {
    // Each row leaves the document once stored, so the document shrinks while the table grows.
    for (pugi::xml_node n = parent.first_child(); n;) {
        const pugi::xml_node next = n.next_sibling();
        if (n.type() == pugi::node_element && std::strcmp(n.name(), "ROW") == 0) {
            beginRow();
            for (pugi::xml_attribute a : n.attributes())
                readAttribute(a.name(), a.value(), false);
            endRow(ds);
        }
        parent.remove_child(n);
        n = next;
    }
}

void PacketReader::Load::readRowSlices(char* text, const RowsRegion& region, PacketTable& ds) {
    size_t from = region.begin;
    std::vector<size_t> ends(region.slices);
    ends.push_back(region.end);
    for (const size_t end : ends) {
        pugi::xml_document slice;
        parse(slice, text + from, end - from, pugi::parse_escapes | pugi::parse_fragment, 0, from);
        readRows(slice, ds);
        from = end;
    }
}

bool PacketReader::Load::readRowsDirect(std::string_view text, size_t begin, size_t end, PacketTable& ds) {
    const char* s = text.data();
    if (std::memchr(s + begin, '\0', end - begin))
        return false;
    for (size_t p = begin;;) {
        while (p < end && isXmlSpace(s[p]))
            ++p;
        if (p == end)
            return true;
        if (end - p < 5 || std::memcmp(s + p, "<ROW", 4) != 0)
            return false;
        p += 4;
        beginRow();
        for (;;) {
            const size_t blank = p;
            while (p < end && isXmlSpace(s[p]))
                ++p;
            if (end - p >= 2 && s[p] == '/' && s[p + 1] == '>') {
                p += 2;
                break;
            }
            if (p == blank || p == end || !isNameStart(s[p]))
                return false;
            const size_t nameStart = p;
            while (p < end && isNameChar(s[p]))
                ++p;
            const std::string_view name(s + nameStart, p - nameStart);
            if (end - p < 2 || s[p] != '=' || (s[p + 1] != '"' && s[p + 1] != '\''))
                return false;
            // Most values are a few characters long: one pass finds the closing quote and any reference.
            const char quote = s[p + 1];
            const size_t valueStart = p + 2;
            bool references = false;
            for (p = valueStart; p < end && s[p] != quote; ++p)
                references |= s[p] == '&';
            if (p == end)
                return false;
            const std::string_view raw(s + valueStart, p - valueStart);
            ++p;
            if (!references) {
                readAttribute(name, raw, false);
            } else {
                if (!decodeReferences(raw, decoded_))
                    return false;
                readAttribute(name, decoded_, true);
            }
        }
        endRow(ds);
    }
}

// Rows in ROWDATA order; an original (state 1) is replaced in its place by its newest modified version, deleted
// rows (2) are left out (or follow, when kept) and modified versions are not listed a second time.
std::vector<const char*> PacketReader::Load::currentView(const std::vector<int64_t>& changeLog) const {
    const size_t n = packed_.size();
    auto valid = [n](int64_t rowNo) { return rowNo >= 1 && static_cast<uint64_t>(rowNo) <= n; };
    std::vector<int> state(states_);
    std::vector<long> newer(n, -1);
    for (size_t t = 0; t + 2 < changeLog.size(); t += 3) {
        const int64_t row = changeLog[t], original = changeLog[t + 1], change = changeLog[t + 2];
        if (!valid(row))
            continue;
        if (state[static_cast<size_t>(row - 1)] < 0)
            state[static_cast<size_t>(row - 1)] = static_cast<int>(change & 0xFF);
        if ((change & 8) && valid(original) && original != row)
            newer[static_cast<size_t>(original - 1)] = static_cast<long>(row - 1);
    }
    std::vector<char> consumed(n, 0);
    std::vector<long> replacement(n, -1);
    for (size_t i = 0; i < n; ++i) {
        if (!(state[i] > 0 && (state[i] & 1) && !(state[i] & 2)) || newer[i] < 0)
            continue;
        long j = static_cast<long>(i);
        for (size_t steps = 0; newer[static_cast<size_t>(j)] >= 0 && steps < n; ++steps) {
            j = newer[static_cast<size_t>(j)];
            consumed[static_cast<size_t>(j)] = 1;
        }
        replacement[i] = j;
    }
    auto deleted = [&](size_t i) { return state[i] > 0 && (state[i] & 2); };
    std::vector<const char*> view;
    view.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (consumed[i] || deleted(i))
            continue;
        const size_t k = replacement[i] >= 0 ? static_cast<size_t>(replacement[i]) : i;
        if (!deleted(k))
            view.push_back(packed_[k]);
    }
    for (size_t i = 0; keepDeleted_ && i < n; ++i)
        if (!consumed[i] && deleted(i))
            view.push_back(packed_[i]);
    return view;
}

void PacketReader::Load::parse(pugi::xml_document& doc, char* text, size_t size, unsigned options, size_t shiftFrom,
                               size_t shift) const {
    if (size == 0 && (options & pugi::parse_fragment))
        return;
    const pugi::xml_parse_result parsed = doc.load_buffer_inplace(text, size, options, pugi::encoding_utf8);
    // Running out of memory says nothing about the packet: it must not pass for a malformed one.
    if (parsed.status == pugi::status_out_of_memory)
        throw std::bad_alloc();
    if (!parsed) {
        const auto offset = static_cast<size_t>(parsed.offset);
        fail(std::string("XML malformado (") + parsed.description() + " perto do byte " +
             std::to_string(offset >= shiftFrom ? offset + shift : offset) + ")");
    }
}

std::optional<PacketTable> PacketReader::Load::runDirect(std::string_view text) {
    const auto begin = findRowsBegin(text);
    const size_t end = text.rfind("</ROWDATA>");
    if (!begin || end == std::string_view::npos || end < *begin)
        return std::nullopt;
    try {
        std::string outline(text.substr(0, *begin));
        outline.append(text.substr(end));
        pugi::xml_document doc;
        parse(doc, outline.data(), outline.size(), pugi::parse_escapes, *begin, end - *begin);
        PacketTable ds = open(root(doc));
        if (!readRowsDirect(text, *begin, end, ds))
            return std::nullopt;
        return finish(std::move(ds));
    } catch (const PacketError&) {
        return std::nullopt; // the document parse says what is wrong, as it always has
    }
}

PacketTable PacketReader::Load::run(char* text, size_t size) {
    // No end-of-line or attribute whitespace normalisation: raw line breaks inside values must survive.
    const unsigned options = pugi::parse_escapes;
    pugi::xml_document doc;
    const auto region = findRowsRegion(std::string_view(text, size));
    std::string outline; // the packet without its rows
    if (region) {
        outline.assign(text, region->begin);
        outline.append(text + region->end, size - region->end);
        parse(doc, outline.data(), outline.size(), options, region->begin, region->end - region->begin);
    } else {
        parse(doc, text, size, options, 0, 0);
    }
    const pugi::xml_node packet = root(doc);
    PacketTable ds = open(packet);
    if (region)
        readRowSlices(text, *region, ds);
    else
        readRows(packet.child("ROWDATA"), ds);
    doc.reset();
    return finish(std::move(ds));
}

std::optional<std::string> PacketReader::convertedToUtf8(std::string_view bytes, size_t& start) const {
    start = 0;
    const auto byteAt = [&](size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0x100u; };
    if (byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF) {
        start = 3;
        if (!encoding::isValidUtf8(bytes.substr(3)))
            fail(source_, "marcado como UTF-8, mas não é UTF-8 válido");
        return std::nullopt;
    }
    const bool le = (byteAt(0) == 0xFF && byteAt(1) == 0xFE) || (byteAt(0) == '<' && byteAt(1) == 0);
    const bool be = (byteAt(0) == 0xFE && byteAt(1) == 0xFF) || (byteAt(0) == 0 && byteAt(1) == '<');
    if (le || be) {
        const size_t bom = byteAt(0) == '<' || byteAt(1) == '<' ? 0 : 2;
        return encoding::utf16ToUtf8(bytes.substr(bom), be);
    }
    const auto declared = declaredEncoding(bytes);
    if (!declared || *declared == "us-ascii" || *declared == "ascii") {
        // Undeclared: UTF-8 when the bytes are valid UTF-8, otherwise raw Latin-1 from a server.
        if (!encoding::isValidUtf8(bytes))
            return encoding::windows1252ToUtf8(bytes);
    } else if (*declared == "utf-8" || *declared == "utf8") {
        if (!encoding::isValidUtf8(bytes))
            fail(source_, "declarado como UTF-8, mas não é UTF-8 válido");
    } else if (isSingleByteWesternEncoding(*declared)) {
        if (hasHighBytes(bytes))
            return encoding::windows1252ToUtf8(bytes);
    } else {
        fail(source_, "codificação não suportada '" + *declared + "'");
    }
    return std::nullopt;
}

PacketTable PacketReader::readUtf8(std::string text, size_t start) const {
    blankStrayParamsEnd(text, start);
    if (auto ds = Load(source_, keepDeleted_).runDirect(std::string_view(text).substr(start)))
        return std::move(*ds);
    return Load(source_, keepDeleted_).run(text.data() + start, text.size() - start);
}

PacketTable PacketReader::read(std::string bytes) const {
    if (onlySpace(bytes))
        fail(source_, "o arquivo está vazio");
    size_t start = 0;
    if (auto utf8 = convertedToUtf8(bytes, start))
        bytes.swap(*utf8);
    return readUtf8(std::move(bytes), start);
}

PacketTable PacketReader::read(std::string_view bytes) const {
    if (onlySpace(bytes))
        fail(source_, "o arquivo está vazio");
    size_t start = 0;
    if (auto utf8 = convertedToUtf8(bytes, start))
        return readUtf8(std::move(*utf8), start);
    if (hasParamsEnd(bytes, start))
        return readUtf8(std::string(bytes), start);
    // Rows read straight from the text leave it as it is: no copy unless the document parse must take over.
    if (auto ds = Load(source_, keepDeleted_).runDirect(bytes.substr(start)))
        return std::move(*ds);
    std::string text(bytes);
    return Load(source_, keepDeleted_).run(text.data() + start, text.size() - start);
}

} // namespace edi
