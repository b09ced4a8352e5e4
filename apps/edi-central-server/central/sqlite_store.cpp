#include "central/sqlite_store.h"

#include "central/legacy_state.h"
#include "central/moment.h"
#include "central/sqlite.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/messages.h"

#include <algorithm>
#include <fstream>
#include <type_traits>

namespace edi::central {

namespace fs = std::filesystem;

namespace {

// Deliveries keep their state as the number of Delivery::Status (0 waiting, 1 received, 2 dropped, 3 replaced).
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS unit (
    code INTEGER PRIMARY KEY,
    version TEXT NOT NULL,
    first_seen TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS delivery (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL,
    from_unit INTEGER NOT NULL,
    to_unit INTEGER NOT NULL,
    registered TEXT NOT NULL,
    status INTEGER NOT NULL,
    closed TEXT);
CREATE INDEX IF NOT EXISTS delivery_by_unit ON delivery (to_unit, status, name);
CREATE TABLE IF NOT EXISTS central_file (
    position INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    registered TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS protocol (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    unit INTEGER NOT NULL,
    registered TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS contas (
    login TEXT PRIMARY KEY,
    hash_senha TEXT NOT NULL,
    unidade INTEGER,
    operador INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS upload (
    name TEXT PRIMARY KEY,
    unidade INTEGER);
)";

Timestamp moment(const sqlite::Statement& row, int column) {
    const std::string text = row.text(column);
    const auto value = parseMoment(text);
    if (!value)
        throw Error("momento inválido \"" + text + "\" no estado do servidor");
    return *value;
}

std::optional<std::string> momentText(const std::optional<Timestamp>& value) {
    return value ? std::optional(formatMoment(*value)) : std::nullopt;
}

constexpr const char* kDeliveryColumns =
    "SELECT id, name, from_unit, to_unit, registered, status, closed FROM delivery ";

Delivery deliveryFrom(const sqlite::Statement& row) {
    Delivery d{row.integer(0),
               row.text(1),
               static_cast<int>(row.integer(2)),
               static_cast<int>(row.integer(3)),
               moment(row, 4),
               static_cast<Delivery::Status>(row.integer(5)),
               {}};
    if (!row.isNull(6))
        d.closed = moment(row, 6);
    return d;
}

sqlite::Database& opened(sqlite::Database& db) {
    try {
        // Each commit waits for the disk: a registration the server answered must survive a power cut.
        db.execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
        db.execute(kSchema);
        sqlite::Statement contact{db, "SELECT count(*) FROM pragma_table_info('unit') WHERE name = 'last_contact'"};
        const bool hasContact = contact.with().step() && contact.integer(0) > 0;
        contact.finish();
        if (!hasContact) // a state made by an earlier version
            db.execute("ALTER TABLE unit ADD COLUMN last_contact TEXT");
    } catch (const Error& e) {
        throw Error(msg::withCause("Não foi possível ler o estado do servidor", e.what()));
    }
    return db;
}

// The version recorded for a known unit; nullopt for a unit the store does not know.
std::optional<std::string> recordedVersion(sqlite::Statement& query, int code) {
    std::optional<std::string> version;
    if (query.with(code).step())
        version = query.text(0);
    query.finish(); // a statement left on a row would hold a read snapshot open and keep the WAL from being reused
    return version;
}

Conta contaFrom(const sqlite::Statement& row) {
    Conta c{row.text(0), row.text(1), std::nullopt, row.integer(3) != 0};
    if (!row.isNull(2))
        c.unidade = static_cast<int>(row.integer(2));
    return c;
}

} // namespace

// An upload written under a hidden temporary name and renamed into place once complete.
class SqliteStore::FileUpload : public UploadWriter {
public:
    FileUpload(SqliteStore& store, std::string name, std::optional<int> unidade)
        : store_(store), name_(std::move(name)), unidade_(unidade), file_(store.uploads_ / name_) {}
    void write(const char* data, std::size_t size) override {
        file_.stream().write(data, static_cast<std::streamsize>(size));
        if (!file_.stream())
            throw IoError(msg::cannotWrite(file_.temporaryPath()));
    }
    bool commit() override { return store_.publishUpload(name_, unidade_, file_); }

private:
    SqliteStore& store_;
    std::string name_;
    std::optional<int> unidade_;
    AtomicFile file_;
};

// The statements of every request, prepared once.
struct SqliteStore::Statements {
    explicit Statements(sqlite::Database& database) : db(database) {}

    sqlite::Database& db;
    sqlite::Statement unitVersion{db, "SELECT version FROM unit WHERE code = ?"};
    sqlite::Statement insertUnit{db, "INSERT INTO unit (code, version, first_seen) VALUES (?, ?, ?)"};
    sqlite::Statement updateUnit{db, "UPDATE unit SET version = ? WHERE code = ?"};
    sqlite::Statement otherUnits{db, "SELECT code FROM unit WHERE code <> ? ORDER BY code"};
    sqlite::Statement allUnits{db, "SELECT code, version, first_seen FROM unit ORDER BY code"};
    sqlite::Statement contact{db, "UPDATE unit SET last_contact = ? WHERE code = ?"};
    sqlite::Statement network{
        db, "SELECT u.code, u.version, u.last_contact, up.last, ifnull(w.n, 0) FROM unit u "
            "LEFT JOIN (SELECT from_unit, max(registered) AS last FROM delivery GROUP BY from_unit) up "
            "ON up.from_unit = u.code "
            "LEFT JOIN (SELECT to_unit, count(*) AS n FROM delivery WHERE status = 0 GROUP BY to_unit) w "
            "ON w.to_unit = u.code ORDER BY u.code"};
    sqlite::Statement replaceWaiting{
        db, "UPDATE delivery SET status = 3, closed = ? WHERE to_unit = ? AND status = 0 AND name = ?"};
    sqlite::Statement insertDelivery{
        db, "INSERT INTO delivery (name, from_unit, to_unit, registered, status) VALUES (?, ?, ?, ?, 0)"};
    sqlite::Statement adoptDelivery{db, "INSERT INTO delivery (id, name, from_unit, to_unit, registered, status, "
                                        "closed) VALUES (?, ?, ?, ?, ?, ?, ?)"};
    sqlite::Statement waiting{db,
                              (std::string(kDeliveryColumns) + "WHERE to_unit = ? AND status = 0 ORDER BY id").c_str()};
    sqlite::Statement allDeliveries{db, (std::string(kDeliveryColumns) + "ORDER BY id").c_str()};
    // Acknowledging again keeps the first moment and is still done: a unit repeats it when the answer was lost.
    sqlite::Statement acknowledge{db,
                                  "UPDATE delivery SET status = 1, closed = CASE status WHEN 0 THEN ? ELSE closed END "
                                  "WHERE id = ? AND to_unit = ? AND status IN (0, 1)"};
    sqlite::Statement drop{
        db, "UPDATE delivery SET status = 2, closed = ? WHERE to_unit = ? AND status IN (0, 1) AND name = ?"};
    sqlite::Statement forgetCentralFile{db, "DELETE FROM central_file WHERE name = ?"};
    sqlite::Statement insertCentralFile{db, "INSERT INTO central_file (name, registered) VALUES (?, ?)"};
    sqlite::Statement allCentralFiles{db, "SELECT name, registered FROM central_file ORDER BY position"};
    sqlite::Statement insertProtocol{db, "INSERT INTO protocol (name, unit, registered) VALUES (?, ?, ?)"};
    sqlite::Statement allProtocols{db, "SELECT name, unit, registered FROM protocol ORDER BY id"};
    sqlite::Statement conta{db, "SELECT login, hash_senha, unidade, operador FROM contas WHERE login = ?"};
    sqlite::Statement contas{db, "SELECT login, hash_senha, unidade, operador FROM contas ORDER BY login"};
    sqlite::Statement gravaConta{
        db, "INSERT OR REPLACE INTO contas (login, hash_senha, unidade, operador) VALUES (?, ?, ?, ?)"};
    sqlite::Statement claimUpload{db,
                                  (std::string("INSERT INTO upload (name, unidade) VALUES (?, ?) ON CONFLICT (name) "
                                               "DO UPDATE SET unidade = excluded.unidade WHERE ") +
                                   kMayReplaceUpload)
                                      .c_str()};
    sqlite::Statement uploadOwner{db, "SELECT unidade FROM upload WHERE name = ?"};
    sqlite::Statement forgetNextId{db, "DELETE FROM sqlite_sequence WHERE name = 'delivery'"};
    sqlite::Statement lastId{db, "INSERT INTO sqlite_sequence (name, seq) VALUES ('delivery', "
                                 "max(?, ifnull((SELECT max(id) FROM delivery), 0)))"};
};

namespace {

class SqliteTransaction : public StoreTransaction {
public:
    SqliteTransaction(SqliteStore::Statements& sql, sqlite::Database& db, const fs::path& uploads)
        : sql_(sql), db_(db), uploads_(uploads) {}

    std::optional<std::string> unitVersion(int code) override { return recordedVersion(sql_.unitVersion, code); }
    bool insertUnit(int code, const std::string& version, const Timestamp& firstSeen) override {
        sql_.insertUnit.with(code, version, formatMoment(firstSeen)).run();
        return true; // the transaction holds the only writer's lock: nobody made it known meanwhile
    }
    void setVersion(int code, const std::string& version) override { sql_.updateUnit.with(version, code).run(); }
    void setContact(int code, const Timestamp& when) override { sql_.contact.with(formatMoment(when), code).run(); }
    std::vector<int> unitsOtherThan(int code) override {
        std::vector<int> codes;
        for (auto& u = sql_.otherUnits.with(code); u.step();)
            codes.push_back(static_cast<int>(u.integer(0)));
        return codes;
    }
    void lockNetwork() override {} // BEGIN IMMEDIATE already holds the database's only write lock
    std::vector<CentralFile> centralFiles() override {
        std::vector<CentralFile> files;
        for (auto& f = sql_.allCentralFiles.with(); f.step();)
            files.push_back(CentralFile{f.text(0), moment(f, 1)});
        return files;
    }
    void rememberCentralFile(const std::string& name, const Timestamp& when) override {
        sql_.forgetCentralFile.with(name).run();
        sql_.insertCentralFile.with(name, formatMoment(when)).run();
    }
    void deliver(const std::string& name, int from, int to, const Timestamp& when) override {
        const std::string registered = formatMoment(when);
        sql_.replaceWaiting.with(registered, to, name).run();
        sql_.insertDelivery.with(name, from, to, registered).run();
    }
    bool acknowledge(std::int64_t id, int unit, const Timestamp& when) override {
        sql_.acknowledge.with(formatMoment(when), id, unit).run();
        return db_.changes() > 0;
    }
    int drop(const std::string& name, int unit, const Timestamp& when) override {
        sql_.drop.with(formatMoment(when), unit, name).run();
        return db_.changes();
    }
    bool hasUpload(const std::string& name) override {
        std::error_code ec;
        return fs::is_regular_file(uploads_ / name, ec);
    }
    void recordProtocol(const std::string& name, int unit, const Timestamp& when) override {
        sql_.insertProtocol.with(name, unit, formatMoment(when)).run();
    }

private:
    SqliteStore::Statements& sql_;
    sqlite::Database& db_;
    const fs::path& uploads_;
};

} // namespace

SqliteStore::SqliteStore(const fs::path& database, fs::path uploads)
    : uploads_(std::move(uploads)), db_(std::make_unique<sqlite::Database>(database)),
      sql_(std::make_unique<Statements>(opened(*db_))) {}

SqliteStore::~SqliteStore() = default;

void SqliteStore::runTransaction(const std::function<void(StoreTransaction&)>& change) {
    std::lock_guard lock(mutex_);
    sqlite::Transaction t(*db_);
    SqliteTransaction work(*sql_, *db_, uploads_);
    change(work);
    t.commit();
}

std::optional<std::string> SqliteStore::knownVersion(int code) const {
    std::lock_guard lock(mutex_);
    return recordedVersion(sql_->unitVersion, code);
}

std::unique_ptr<UploadWriter> SqliteStore::newUpload(const std::string& name, std::optional<int> unidade) {
    return std::make_unique<FileUpload>(*this, name, unidade);
}

bool SqliteStore::publishUpload(const std::string& name, std::optional<int> unidade, AtomicFile& file) {
    std::lock_guard lock(mutex_);
    sqlite::Transaction t(*db_);
    sql_->claimUpload.with(name, unidade).run();
    if (db_->changes() == 0)
        return false; // rolled back; the temporary file goes with the writer
    file.commit();
    t.commit();
    return true;
}

std::unique_ptr<std::istream> SqliteStore::openUpload(const std::string& name) const {
    // Opened once: a file replaced by a new upload meanwhile is read whole, old or new, never mixed.
    auto file = std::make_unique<std::ifstream>(uploads_ / name, std::ios::binary);
    std::error_code ec;
    if (!*file || !fs::is_regular_file(uploads_ / name, ec))
        return nullptr;
    return file;
}

std::vector<std::string> SqliteStore::uploads() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(uploads_, ec))
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// Every row of `statement` run with `args`, each read by `read`, under the store's lock.
template <typename Read, typename... Args>
auto rowsOf(std::mutex& mutex, sqlite::Statement& statement, Read read, const Args&... args) {
    std::lock_guard lock(mutex);
    std::vector<std::invoke_result_t<Read, sqlite::Statement&>> result;
    for (auto& row = statement.with(args...); row.step();)
        result.push_back(read(row));
    return result;
}

} // namespace

std::vector<Delivery> SqliteStore::waitingFor(int unit) const {
    return rowsOf(mutex_, sql_->waiting, deliveryFrom, unit);
}

std::vector<UnitRecord> SqliteStore::units() const {
    return rowsOf(mutex_, sql_->allUnits, [](sqlite::Statement& row) {
        return UnitRecord{static_cast<int>(row.integer(0)), row.text(1), moment(row, 2)};
    });
}

std::vector<UnitContact> SqliteStore::network() const {
    return rowsOf(mutex_, sql_->network, [](sqlite::Statement& row) {
        UnitContact u{static_cast<int>(row.integer(0)), row.text(1), {}, {}, row.integer(4)};
        if (!row.isNull(2))
            u.lastContact = moment(row, 2);
        if (!row.isNull(3))
            u.lastUpload = moment(row, 3);
        return u;
    });
}

std::vector<Delivery> SqliteStore::deliveries() const {
    return rowsOf(mutex_, sql_->allDeliveries, deliveryFrom);
}

std::vector<CentralFile> SqliteStore::centralFiles() const {
    return rowsOf(mutex_, sql_->allCentralFiles, [](sqlite::Statement& row) {
        return CentralFile{row.text(0), moment(row, 1)};
    });
}

std::vector<ProtocolRecord> SqliteStore::protocols() const {
    return rowsOf(mutex_, sql_->allProtocols, [](sqlite::Statement& row) {
        return ProtocolRecord{row.text(0), static_cast<int>(row.integer(1)), moment(row, 2)};
    });
}

std::optional<int> SqliteStore::uploadOwner(const std::string& name) const {
    std::lock_guard lock(mutex_);
    std::optional<int> owner;
    if (sql_->uploadOwner.with(name).step() && !sql_->uploadOwner.isNull(0))
        owner = static_cast<int>(sql_->uploadOwner.integer(0));
    sql_->uploadOwner.finish();
    return owner;
}

std::optional<Conta> SqliteStore::conta(const std::string& login) const {
    std::lock_guard lock(mutex_);
    std::optional<Conta> result;
    if (sql_->conta.with(login).step())
        result = contaFrom(sql_->conta);
    sql_->conta.finish();
    return result;
}

void SqliteStore::gravaConta(const Conta& conta) {
    std::lock_guard lock(mutex_);
    sql_->gravaConta.with(conta.login, conta.hashSenha, conta.unidade, std::int64_t{conta.operador ? 1 : 0}).run();
}

std::vector<Conta> SqliteStore::contas() const {
    return rowsOf(mutex_, sql_->contas, contaFrom);
}

void SqliteStore::adopt(const LegacyState& state) {
    std::lock_guard lock(mutex_);
    {
        sqlite::Transaction t(*db_);
        for (const auto& [code, unit] : state.units)
            sql_->insertUnit.with(code, unit.version, formatMoment(unit.firstSeen)).run();
        for (const Delivery& d : state.deliveries)
            sql_->adoptDelivery
                .with(d.id, d.name, d.from, d.to, formatMoment(d.registered), static_cast<std::int64_t>(d.status),
                      momentText(d.closed))
                .run();
        // Identifiers keep rising from where the old file left them.
        sql_->forgetNextId.with().run();
        sql_->lastId.with(state.nextId - 1).run();
        for (const CentralFile& f : state.centralFiles)
            sql_->insertCentralFile.with(f.name, formatMoment(f.registered)).run();
        for (const ProtocolRecord& p : state.protocols)
            sql_->insertProtocol.with(p.name, p.unit, formatMoment(p.registered)).run();
        t.commit();
    }
    // Everything into the database file itself, so the file alone holds the state once renamed into place.
    db_->execute("PRAGMA wal_checkpoint(TRUNCATE)");
}

} // namespace edi::central
