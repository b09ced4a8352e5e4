#include "db/query.h"

#include "core/encoding.h"
#include "core/formats.h"
#include "db/fb_support.h"
#include "db/named_params.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <cstring>
#include <limits>

namespace edi::db {

using namespace Firebird;

namespace {

// Engine dates count days from 1858-11-17; ours from 1970-01-01.
constexpr int32_t kEngineDateOffset = 40587;
constexpr unsigned kBlobSegment = 32 * 1024;

// How the bytes of a text column or parameter of this engine character set are read and written.
// NONE and OCTETS hold the bytes the data-entry application typed: the network's legacy Windows-1252.
encoding::Charset textCharset(unsigned charset) {
    switch (charset & 0xFF) {
    case 0: // NONE
    case 1: // OCTETS
    case 53: return encoding::Charset::Windows1252;
    case 3: // UNICODE_FSS
    case 4: return encoding::Charset::Utf8;
    case 21: return encoding::Charset::Latin1; // ISO8859_1
    default: return encoding::Charset::Ascii;
    }
}

bool isTextBlob(unsigned type, int subType) {
    return type == SQL_BLOB && subType == 1;
}

int bytesPerCharacter(unsigned charset) {
    switch (charset & 0xFF) {
    case 3: return 3; // UNICODE_FSS
    case 4: return 4; // UTF8
    default: return 1;
    }
}

// Cuts a blank-padded CHAR value back to its declared length in characters (UTF-8 aware).
std::string cutToCharacters(const char* data, size_t bytes, size_t characters, bool utf8) {
    if (!utf8)
        return std::string(data, std::min(bytes, characters));
    size_t pos = 0, count = 0;
    while (pos < bytes && count < characters) {
        const auto c = static_cast<unsigned char>(data[pos]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
        pos += std::min(len, bytes - pos);
        ++count;
    }
    return std::string(data, pos);
}

struct Column {
    unsigned type = 0;
    int subType = 0;
    unsigned length = 0;
    int scale = 0;
    unsigned charset = 0;
    unsigned offset = 0;
    unsigned nullOffset = 0;
};

FieldDef describeColumn(const Column& c, std::string name, bool nullable) {
    FieldDef f;
    f.name = std::move(name);
    f.required = !nullable;
    switch (c.type) {
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        if (c.scale < 0) {
            f.type = FieldType::Numeric;
            f.scale = -c.scale;
            f.size = c.type == SQL_SHORT ? 4 : c.type == SQL_LONG ? 9 : 18;
        } else {
            f.type = c.type == SQL_SHORT  ? FieldType::SmallInt
                     : c.type == SQL_LONG ? FieldType::Integer
                                          : FieldType::BigInt;
        }
        break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT: f.type = FieldType::Double; break;
    case SQL_TYPE_DATE: f.type = FieldType::Date; break;
    case SQL_TYPE_TIME: f.type = FieldType::Time; break;
    case SQL_TIMESTAMP: f.type = FieldType::Timestamp; break;
    case SQL_TEXT:
        f.type = FieldType::Char;
        f.size = static_cast<int>(c.length) / bytesPerCharacter(c.charset);
        break;
    case SQL_VARYING:
        f.type = FieldType::VarChar;
        f.size = static_cast<int>(c.length) / bytesPerCharacter(c.charset);
        break;
    case SQL_BLOB: f.type = c.subType == 1 ? FieldType::TextBlob : FieldType::BinaryBlob; break;
    case SQL_BOOLEAN: f.type = FieldType::Boolean; break;
    default: f.type = FieldType::VarChar; break; // SQL_NULL and anything unexpected: only null travels
    }
    return f;
}

template <typename T> T load(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T> void store(unsigned char* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

FieldType integerStorage(unsigned type) {
    return type == SQL_SHORT ? FieldType::SmallInt : type == SQL_LONG ? FieldType::Integer : FieldType::BigInt;
}

// SMALLINT, INTEGER and BIGINT, and the NUMERIC and DECIMAL columns kept in them as scaled integers: the value
// is checked against the storage's range before it is cut to its width.
void storeInteger(unsigned char* data, unsigned type, int scale, const std::string& name, const Value& raw) {
    const FieldType storage = integerStorage(type);
    const auto [lo, hi] = detail::integerLimits(storage);
    int64_t units = 0;
    try {
        units = scale > 0 ? raw.asNumeric(scale).units : raw.asInt64();
    } catch (const RangeError&) {
        detail::refuseOutOfRange(name, raw, storage, scale);
    } catch (const ConversionError& e) {
        throw ConversionError("Parâmetro " + name + ": " + e.what());
    }
    if (units < lo || units > hi)
        detail::refuseOutOfRange(name, raw, storage, scale);
    switch (storage) {
    case FieldType::SmallInt: store<int16_t>(data, static_cast<int16_t>(units)); break;
    case FieldType::Integer: store<int32_t>(data, static_cast<int32_t>(units)); break;
    default: store<int64_t>(data, units); break;
    }
}

// INSERT, UPDATE, DELETE, UPDATE OR INSERT, MERGE: statements whose RETURNING row exists only when a row changed.
bool isDataChange(const std::string& sql) {
    const std::string head = formats::toUpper(formats::trim(sql).substr(0, 6));
    return head == "INSERT" || head == "UPDATE" || head == "DELETE" || head.rfind("MERGE", 0) == 0;
}

} // namespace

namespace detail {

std::pair<int64_t, int64_t> integerLimits(FieldType storage) {
    switch (storage) {
    case FieldType::SmallInt: return {std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()};
    case FieldType::Integer: return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
    default: return {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()};
    }
}

void refuseOutOfRange(const std::string& name, const Value& value, FieldType storage, int scale) {
    const auto [lo, hi] = integerLimits(storage);
    auto shown = [scale](int64_t units) { return Value::numeric({units, scale}).asText(); };
    throw RangeError(name + ": o valor " + value.asText() + " está fora da faixa aceita (de " + shown(lo) + " a " +
                     shown(hi) + ")");
}

} // namespace detail

struct Query::Impl {
    IStatement* statement = nullptr;
    IMessageMetadata* inMeta = nullptr;
    IMessageMetadata* outMeta = nullptr;
    IResultSet* cursor = nullptr;
    unsigned statementType = 0;
    ParsedStatement parsed;
    std::vector<std::string> distinctNames;
    std::vector<size_t> positionToName; // marker position -> index in distinctNames
    std::vector<Value> paramValues;     // per distinct name
    std::vector<Column> inColumns, outColumns;
    std::vector<FieldDef> fields;
    std::vector<Value> row;
    // Why a column of the current row could not be read (empty when it could). Raised when the column is
    // asked for, so that the rest of the row, and the statement that produced it, stand.
    std::vector<std::string> rowErrors;
    std::vector<unsigned char> inBuffer, outBuffer;

    ~Impl() { release(); }

    void closeCursor() {
        if (!cursor)
            return;
        try {
            detail::Status st;
            cursor->close(&st);
        } catch (const FbException&) {
            cursor->release();
        }
        cursor = nullptr;
    }

    void release() {
        closeCursor();
        if (inMeta)
            inMeta->release();
        if (outMeta)
            outMeta->release();
        if (statement) {
            try {
                detail::Status st;
                statement->free(&st);
            } catch (const FbException&) {
                statement->release();
            }
        }
        inMeta = outMeta = nullptr;
        statement = nullptr;
    }
};

static std::vector<Column> readColumns(detail::Status& st, IMessageMetadata* meta) {
    std::vector<Column> cols(meta->getCount(&st));
    for (unsigned i = 0; i < cols.size(); ++i) {
        Column& c = cols[i];
        c.type = meta->getType(&st, i) & ~1u;
        c.subType = meta->getSubType(&st, i);
        c.length = meta->getLength(&st, i);
        c.scale = meta->getScale(&st, i);
        c.charset = meta->getCharSet(&st, i);
        c.offset = meta->getOffset(&st, i);
        c.nullOffset = meta->getNullOffset(&st, i);
    }
    return cols;
}

Query::Query(Database& db, Transaction* transaction)
    : db_(db), transaction_(transaction ? transaction : &db.transaction()), impl_(std::make_unique<Impl>()) {}

Query::Query(Database& db, std::string sql, Transaction* transaction) : Query(db, transaction) {
    setSql(std::move(sql));
}

Query::~Query() = default;

void Query::setSql(std::string sql) {
    if (sql == sql_ && impl_->statement)
        return;
    close();
    impl_->release();
    rowsAffected_ = 0;
    sql_ = std::move(sql);
    impl_->parsed = parseNamedParameters(sql_);
    impl_->distinctNames.clear();
    impl_->positionToName.clear();
    for (const auto& name : impl_->parsed.names) {
        size_t idx = 0;
        while (idx < impl_->distinctNames.size() && impl_->distinctNames[idx] != name)
            ++idx;
        if (idx == impl_->distinctNames.size())
            impl_->distinctNames.push_back(name);
        impl_->positionToName.push_back(idx);
    }
    impl_->paramValues.assign(impl_->distinctNames.size(), Value());
    impl_->fields.clear();
    impl_->row.clear();
    impl_->rowErrors.clear();
}

bool Query::isPrepared() const {
    return impl_->statement != nullptr;
}

void Query::fail(const FbException& e, const std::string& context, const std::string& statement) const {
    std::string message = detail::formatStatus(e.getStatus());
    db_.trace(TraceKind::Error, message);
    if (!context.empty())
        message = context + "\n" + message;
    if (!statement.empty())
        message += "\nComando: " + statement;
    throw DatabaseError(message, detail::gdsCode(e.getStatus()));
}

void Query::prepare() {
    if (impl_->statement)
        return;
    if (formats::isBlank(sql_))
        throw DatabaseError("Nenhum comando a preparar");
    detail::Status st;
    db_.trace(TraceKind::Prepare, sql_);
    try {
        const std::string text = db_.statementText(impl_->parsed.sql);
        impl_->statement = db_.attachment()->prepare(&st, transaction_->handle(), 0, text.c_str(), 3,
                                                     IStatement::PREPARE_PREFETCH_METADATA);
        impl_->statementType = impl_->statement->getType(&st);
        impl_->inMeta = impl_->statement->getInputMetadata(&st);
        impl_->outMeta = impl_->statement->getOutputMetadata(&st);
        impl_->inColumns = readColumns(st, impl_->inMeta);
        impl_->outColumns = readColumns(st, impl_->outMeta);
        impl_->inBuffer.assign(impl_->inMeta->getMessageLength(&st), 0);
        impl_->outBuffer.assign(impl_->outMeta->getMessageLength(&st), 0);
        impl_->fields.clear();
        for (unsigned i = 0; i < impl_->outColumns.size(); ++i)
            impl_->fields.push_back(describeColumn(impl_->outColumns[i], impl_->outMeta->getAlias(&st, i),
                                                   impl_->outMeta->isNullable(&st, i)));
        impl_->row.assign(impl_->fields.size(), Value());
        impl_->rowErrors.assign(impl_->fields.size(), std::string());
    } catch (const FbException& e) {
        impl_->release();
        fail(e, {}, sql_);
    }
    if (impl_->inColumns.size() != impl_->parsed.names.size()) {
        impl_->release();
        throw DatabaseError("O número de parâmetros não confere no comando: " + sql_);
    }
}

void Query::ensurePrepared() {
    prepare();
}

const std::vector<std::string>& Query::paramNames() {
    return impl_->distinctNames;
}

int Query::paramIndex(std::string_view name) const {
    for (size_t i = 0; i < impl_->distinctNames.size(); ++i)
        if (formats::equalsIgnoreCase(impl_->distinctNames[i], name))
            return static_cast<int>(i);
    return -1;
}

bool Query::hasParam(std::string_view name) {
    return paramIndex(name) >= 0;
}

void Query::setParam(std::string_view name, const Value& value) {
    const int i = paramIndex(name);
    if (i < 0)
        throw DatabaseError("Parâmetro " + std::string(name) + " inexistente no comando: " + sql_);
    impl_->paramValues[static_cast<size_t>(i)] = value;
}

void Query::setParam(size_t index, const Value& value) {
    impl_->paramValues.at(index) = value;
}

const Value& Query::param(size_t index) const {
    return impl_->paramValues.at(index);
}

void Query::clearParams() {
    impl_->paramValues.assign(impl_->distinctNames.size(), Value());
}

namespace {

void writeBlob(detail::Status& st, IAttachment* att, ITransaction* tra, const Bytes& bytes, ISC_QUAD& id) {
    IBlob* blob = att->createBlob(&st, tra, &id, 0, nullptr);
    try {
        size_t pos = 0;
        while (pos < bytes.size()) {
            const unsigned chunk = static_cast<unsigned>(std::min<size_t>(kBlobSegment, bytes.size() - pos));
            blob->putSegment(&st, chunk, bytes.data() + pos);
            pos += chunk;
        }
        blob->close(&st);
    } catch (...) {
        try {
            blob->cancel(&st);
        } catch (...) {
            blob->release();
        }
        throw;
    }
}

Bytes readBlob(detail::Status& st, IAttachment* att, ITransaction* tra, ISC_QUAD id) {
    Bytes out;
    IBlob* blob = att->openBlob(&st, tra, &id, 0, nullptr);
    try {
        std::vector<unsigned char> buffer(kBlobSegment);
        for (;;) {
            unsigned got = 0;
            const int rc = blob->getSegment(&st, static_cast<unsigned>(buffer.size()), buffer.data(), &got);
            if (rc == IStatus::RESULT_NO_DATA)
                break;
            out.insert(out.end(), buffer.begin(), buffer.begin() + got);
        }
        blob->close(&st);
    } catch (...) {
        blob->release();
        throw;
    }
    return out;
}

} // namespace

void Query::open() {
    ensurePrepared();
    close();
    detail::Status st;
    ITransaction* tra = transaction_->handle();
    Impl& m = *impl_;
    // Bind every marker from the value of its name, converted to the type the engine expects there.
    for (size_t pos = 0; pos < m.inColumns.size(); ++pos) {
        const Column& c = m.inColumns[pos];
        const Value& raw = m.paramValues[m.positionToName[pos]];
        unsigned char* data = m.inBuffer.data() + c.offset;
        auto* nullFlag = reinterpret_cast<short*>(m.inBuffer.data() + c.nullOffset);
        if (raw.isNull() || c.type == SQL_NULL) {
            *nullFlag = -1;
            continue;
        }
        *nullFlag = 0;
        const std::string& name = m.parsed.names[pos];
        if (c.type == SQL_SHORT || c.type == SQL_LONG || c.type == SQL_INT64) {
            storeInteger(data, c.type, c.scale < 0 ? -c.scale : 0, name, raw);
            continue;
        }
        const FieldDef def = describeColumn(c, name, true);
        Value v;
        try {
            v = convertForField(raw, def);
            if (isTextType(def.type) && raw.kind() != Value::Kind::Blob)
                v = Value::text(encoding::encodeText(v.rawText(), textCharset(c.charset)));
        } catch (const ConversionError& e) {
            throw ConversionError("Parâmetro " + name + ": " + e.what());
        }
        try {
            switch (c.type) {
            case SQL_FLOAT: store<float>(data, static_cast<float>(v.asDouble())); break;
            case SQL_DOUBLE:
            case SQL_D_FLOAT: store<double>(data, v.asDouble()); break;
            case SQL_TYPE_DATE: store<ISC_DATE>(data, v.asDate().days + kEngineDateOffset); break;
            case SQL_TYPE_TIME: store<ISC_TIME>(data, v.asTime().units); break;
            case SQL_TIMESTAMP: {
                const Timestamp ts = v.asTimestamp();
                ISC_TIMESTAMP t{ts.date.days + kEngineDateOffset, ts.time.units};
                store(data, t);
                break;
            }
            case SQL_TEXT: {
                const std::string& s = v.rawText();
                if (s.size() > c.length)
                    throw ConversionError("Parâmetro " + name + ": texto com mais de " + std::to_string(def.size) +
                                          " caracteres");
                std::memset(data, ' ', c.length);
                std::memcpy(data, s.data(), s.size());
                break;
            }
            case SQL_VARYING: {
                const std::string& s = v.rawText();
                if (s.size() > c.length)
                    throw ConversionError("Parâmetro " + name + ": texto com mais de " + std::to_string(def.size) +
                                          " caracteres");
                store<uint16_t>(data, static_cast<uint16_t>(s.size()));
                std::memcpy(data + 2, s.data(), s.size());
                break;
            }
            case SQL_BLOB: {
                ISC_QUAD id{};
                writeBlob(st, db_.attachment(), tra, v.asBytes(), id);
                store(data, id);
                break;
            }
            case SQL_BOOLEAN: store<FB_BOOLEAN>(data, v.asBool() ? FB_TRUE : FB_FALSE); break;
            default: throw ConversionError("Tipo de parâmetro não suportado: " + std::to_string(c.type));
            }
        } catch (const FbException& e) {
            fail(e, "Não foi possível gravar o parâmetro " + name);
        }
    }

    db_.trace(TraceKind::Execute, sql_);
    try {
        if (m.statementType == isc_info_sql_stmt_select || m.statementType == isc_info_sql_stmt_select_for_upd) {
            m.cursor = m.statement->openCursor(&st, tra, m.inMeta, m.inBuffer.data(), m.outMeta, 0);
            open_ = true;
            eof_ = false;
            rowsAffected_ = 0;
            fetchRow();
        } else {
            const bool returnsRow = !m.outColumns.empty();
            m.statement->execute(&st, tra, m.inMeta, m.inBuffer.data(), returnsRow ? m.outMeta : nullptr,
                                 returnsRow ? m.outBuffer.data() : nullptr);
            rowsAffected_ = -1;
            if (returnsRow) {
                // A DML statement with RETURNING that matched no row answers nulls: report it as no row.
                open_ = true;
                eof_ = isDataChange(sql_) && rowsAffected() == 0;
            }
        }
    } catch (const FbException& e) {
        m.closeCursor();
        open_ = false;
        eof_ = true;
        rowsAffected_ = 0;
        fail(e);
    }
    if (open_ && !m.cursor && !eof_)
        decodeRow();
}

void Query::fetchRow() {
    Impl& m = *impl_;
    detail::Status st;
    try {
        if (m.cursor->fetchNext(&st, m.outBuffer.data()) != IStatus::RESULT_OK) {
            eof_ = true;
            for (auto& v : m.row)
                v = Value();
            m.rowErrors.assign(m.row.size(), std::string());
            return;
        }
    } catch (const FbException& e) {
        fail(e);
    }
    decodeRow();
}

void Query::decodeRow() {
    Impl& m = *impl_;
    detail::Status st;
    try {
        ITransaction* tra = transaction_->handle();
        for (size_t i = 0; i < m.outColumns.size(); ++i) {
            const Column& c = m.outColumns[i];
            const unsigned char* data = m.outBuffer.data() + c.offset;
            m.rowErrors[i].clear();
            if (load<short>(m.outBuffer.data() + c.nullOffset) != 0) {
                m.row[i] = Value();
                continue;
            }
            Value v;
            switch (c.type) {
            case SQL_SHORT:
                v = c.scale < 0 ? Value::numeric({load<int16_t>(data), -c.scale}) : Value::int16(load<int16_t>(data));
                break;
            case SQL_LONG:
                v = c.scale < 0 ? Value::numeric({load<int32_t>(data), -c.scale}) : Value::int32(load<int32_t>(data));
                break;
            case SQL_INT64:
                v = c.scale < 0 ? Value::numeric({load<int64_t>(data), -c.scale}) : Value::int64(load<int64_t>(data));
                break;
            case SQL_FLOAT: v = Value::real(load<float>(data)); break;
            case SQL_DOUBLE:
            case SQL_D_FLOAT: v = Value::real(load<double>(data)); break;
            case SQL_TYPE_DATE: v = Value::date(Date{load<ISC_DATE>(data) - kEngineDateOffset}); break;
            case SQL_TYPE_TIME: v = Value::time(Time{load<ISC_TIME>(data)}); break;
            case SQL_TIMESTAMP: {
                const auto t = load<ISC_TIMESTAMP>(data);
                v = Value::timestamp(Timestamp{Date{t.timestamp_date - kEngineDateOffset}, Time{t.timestamp_time}});
                break;
            }
            case SQL_TEXT: {
                const bool utf8 = bytesPerCharacter(c.charset) > 1;
                const size_t chars = c.length / static_cast<unsigned>(bytesPerCharacter(c.charset));
                v = decodeText(i, cutToCharacters(reinterpret_cast<const char*>(data), c.length, chars, utf8));
                break;
            }
            case SQL_VARYING: v = decodeText(i, {reinterpret_cast<const char*>(data + 2), load<uint16_t>(data)}); break;
            case SQL_BLOB: {
                Bytes bytes = readBlob(st, db_.attachment(), tra, load<ISC_QUAD>(data));
                v = isTextBlob(c.type, c.subType)
                        ? decodeText(i, {reinterpret_cast<const char*>(bytes.data()), bytes.size()})
                        : Value::blob(std::move(bytes));
                break;
            }
            case SQL_BOOLEAN: v = Value::boolean(load<FB_BOOLEAN>(data) != 0); break;
            default: v = Value(); break;
            }
            m.row[i] = std::move(v);
        }
    } catch (const FbException& e) {
        fail(e);
    }
}

Value Query::decodeText(size_t column, std::string_view bytes) {
    Impl& m = *impl_;
    try {
        return Value::text(encoding::decodeText(bytes, textCharset(m.outColumns[column].charset)));
    } catch (const ConversionError& e) {
        m.rowErrors[column] = "Coluna " + m.fields[column].name + ": " + e.what();
        return Value();
    }
}

void Query::next() {
    if (!open_ || eof_)
        return;
    if (!impl_->cursor) {
        eof_ = true; // a RETURNING row is the only one
        return;
    }
    fetchRow();
}

int64_t Query::rowsAffected() const {
    if (rowsAffected_ < 0) {
        detail::Status st;
        try {
            rowsAffected_ = static_cast<int64_t>(impl_->statement->getAffectedRecords(&st));
        } catch (const FbException& e) {
            fail(e, "Não foi possível contar as linhas alteradas");
        }
    }
    return rowsAffected_;
}

void Query::close() {
    impl_->closeCursor();
    open_ = false;
    eof_ = true;
}

size_t Query::fieldCount() {
    ensurePrepared();
    return impl_->fields.size();
}

const std::vector<FieldDef>& Query::fields() {
    ensurePrepared();
    return impl_->fields;
}

int Query::fieldIndex(std::string_view name) {
    ensurePrepared();
    for (size_t i = 0; i < impl_->fields.size(); ++i)
        if (formats::equalsIgnoreCase(impl_->fields[i].name, name))
            return static_cast<int>(i);
    return -1;
}

const Value& Query::value(size_t index) const {
    if (index >= impl_->row.size())
        throw DatabaseError("Índice de campo " + std::to_string(index) + " fora da faixa");
    if (!impl_->rowErrors[index].empty())
        throw ConversionError(impl_->rowErrors[index]);
    return impl_->row[index];
}

const Value& Query::value(std::string_view name) const {
    for (size_t i = 0; i < impl_->fields.size(); ++i)
        if (formats::equalsIgnoreCase(impl_->fields[i].name, name))
            return value(i);
    throw DatabaseError("Campo " + std::string(name) + " inexistente");
}

} // namespace edi::db
