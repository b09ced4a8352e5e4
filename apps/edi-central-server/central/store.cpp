#include "central/store.h"

#include "central/legacy_state.h"
#include "central/moment.h"
#include "central/sqlite.h"
#include "core/errors.h"
#include "core/messages.h"

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

std::string now() {
    return formatMoment(Timestamp::localNow());
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

// The version recorded for a known unit (empty when nobody told it); nullopt for a unit the server does not know.
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

// The statements of every request, prepared once.
struct CentralStore::Statements {
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
    sqlite::Statement acknowledge{
        db, "UPDATE delivery SET status = 1, closed = ? WHERE id = ? AND to_unit = ? AND status = 0"};
    sqlite::Statement drop{
        db, "UPDATE delivery SET status = 2, closed = ? WHERE to_unit = ? AND status IN (0, 1) AND name = ?"};
    sqlite::Statement forgetCentralFile{db, "DELETE FROM central_file WHERE name = ?"};
    sqlite::Statement insertCentralFile{db, "INSERT INTO central_file (name, registered) VALUES (?, ?)"};
    sqlite::Statement allCentralFiles{db, "SELECT name, registered FROM central_file ORDER BY position"};
    sqlite::Statement insertProtocol{db, "INSERT INTO protocol (name, unit, registered) VALUES (?, ?, ?)"};
    sqlite::Statement allProtocols{db, "SELECT name, unit, registered FROM protocol ORDER BY id"};
    sqlite::Statement conta{db, "SELECT login, hash_senha, unidade, operador FROM contas WHERE login = ?"};
    sqlite::Statement allContas{db, "SELECT login, hash_senha, unidade, operador FROM contas ORDER BY login"};
    sqlite::Statement gravaConta{
        db, "INSERT OR REPLACE INTO contas (login, hash_senha, unidade, operador) VALUES (?, ?, ?, ?)"};
    sqlite::Statement forgetNextId{db, "DELETE FROM sqlite_sequence WHERE name = 'delivery'"};
    sqlite::Statement lastId{db, "INSERT INTO sqlite_sequence (name, seq) VALUES ('delivery', "
                                 "max(?, ifnull((SELECT max(id) FROM delivery), 0)))"};
};

CentralStore::CentralStore(const fs::path& database, int centralUnit)
    : centralUnit_(centralUnit), db_(std::make_unique<sqlite::Database>(database)),
      sql_(std::make_unique<Statements>(opened(*db_))) {}

CentralStore::~CentralStore() = default;

template <typename Change> auto CentralStore::transaction(Change change) {
    std::lock_guard lock(mutex_);
    sqlite::Transaction t(*db_);
    auto result = change();
    t.commit();
    return result;
}

bool CentralStore::noteUnit(int code, const std::string& version, bool contacted) {
    const auto unchanged = [&](const std::optional<std::string>& known) {
        return known && (version.empty() || *known == version);
    };
    const Timestamp agora = Timestamp::localNow();
    const auto contactFresh = [&] {
        const auto written = contactWritten_.find(code);
        return !contacted || (written != contactWritten_.end() && written->second.plusSeconds(60) > agora);
    };
    // Most requests come from a unit already known with the same version, seen a moment ago: nothing to write.
    {
        std::lock_guard lock(mutex_);
        if (unchanged(recordedVersion(sql_->unitVersion, code)) && contactFresh())
            return false;
    }
    return transaction([&] {
        const auto known = recordedVersion(sql_->unitVersion, code);
        if (!known)
            sql_->insertUnit.with(code, version, formatMoment(agora)).run();
        if (contacted) {
            sql_->contact.with(formatMoment(agora), code).run();
            contactWritten_[code] = agora;
        }
        if (unchanged(known))
            return false;
        if (known) {
            sql_->updateUnit.with(version, code).run();
            return true;
        }
        if (code != centralUnit_) {
            std::vector<std::pair<std::string, std::string>> files;
            for (auto& f = sql_->allCentralFiles.with(); f.step();)
                files.emplace_back(f.text(0), f.text(1));
            for (const auto& [name, registered] : files)
                route(name, centralUnit_, code, registered);
        }
        return true;
    });
}

void CentralStore::route(const std::string& name, int from, int to, const std::string& registered) {
    // The replacement gets a new identifier: an acknowledgement of the old one must not count for a file that may
    // have changed since it was listed.
    sql_->replaceWaiting.with(registered, to, name).run();
    sql_->insertDelivery.with(name, from, to, registered).run();
}

std::vector<int> CentralStore::registerFile(const std::string& name, int fromUnit) {
    return transaction([&] {
        const std::string registered = now();
        std::vector<int> recipients;
        if (fromUnit != centralUnit_) {
            recipients.push_back(centralUnit_);
        } else {
            sql_->forgetCentralFile.with(name).run();
            sql_->insertCentralFile.with(name, registered).run();
            for (auto& u = sql_->otherUnits.with(centralUnit_); u.step();)
                recipients.push_back(static_cast<int>(u.integer(0)));
        }
        for (const int to : recipients)
            route(name, fromUnit, to, registered);
        return recipients;
    });
}

std::vector<Delivery> CentralStore::waitingFor(int unit) const {
    std::lock_guard lock(mutex_);
    std::vector<Delivery> result;
    for (auto& row = sql_->waiting.with(unit); row.step();)
        result.push_back(deliveryFrom(row));
    return result;
}

bool CentralStore::acknowledge(std::int64_t id, int unit) {
    return transaction([&] {
        sql_->acknowledge.with(now(), id, unit).run();
        return db_->changes() > 0;
    });
}

int CentralStore::drop(const std::string& name, int unit) {
    return transaction([&] {
        sql_->drop.with(now(), unit, name).run();
        return db_->changes();
    });
}

void CentralStore::recordProtocol(const std::string& name, int unit) {
    transaction([&] {
        sql_->insertProtocol.with(name, unit, now()).run();
        return true;
    });
}

std::vector<UnitRecord> CentralStore::units() const {
    std::lock_guard lock(mutex_);
    std::vector<UnitRecord> result;
    for (auto& row = sql_->allUnits.with(); row.step();)
        result.push_back(UnitRecord{static_cast<int>(row.integer(0)), row.text(1), moment(row, 2)});
    return result;
}

std::vector<UnitContact> CentralStore::network() const {
    std::lock_guard lock(mutex_);
    std::vector<UnitContact> result;
    for (auto& row = sql_->network.with(); row.step();) {
        UnitContact u{static_cast<int>(row.integer(0)), row.text(1), {}, {}, row.integer(4)};
        if (!row.isNull(2))
            u.lastContact = moment(row, 2);
        if (!row.isNull(3))
            u.lastUpload = moment(row, 3);
        result.push_back(std::move(u));
    }
    return result;
}

std::vector<Delivery> CentralStore::deliveries() const {
    std::lock_guard lock(mutex_);
    std::vector<Delivery> result;
    for (auto& row = sql_->allDeliveries.with(); row.step();)
        result.push_back(deliveryFrom(row));
    return result;
}

std::vector<CentralFile> CentralStore::centralFiles() const {
    std::lock_guard lock(mutex_);
    std::vector<CentralFile> result;
    for (auto& row = sql_->allCentralFiles.with(); row.step();)
        result.push_back(CentralFile{row.text(0), moment(row, 1)});
    return result;
}

std::vector<ProtocolRecord> CentralStore::protocols() const {
    std::lock_guard lock(mutex_);
    std::vector<ProtocolRecord> result;
    for (auto& row = sql_->allProtocols.with(); row.step();)
        result.push_back(ProtocolRecord{row.text(0), static_cast<int>(row.integer(1)), moment(row, 2)});
    return result;
}

std::optional<Conta> CentralStore::conta(const std::string& login) const {
    std::lock_guard lock(mutex_);
    std::optional<Conta> result;
    if (sql_->conta.with(login).step())
        result = contaFrom(sql_->conta);
    sql_->conta.finish();
    return result;
}

void CentralStore::gravaConta(const Conta& conta) {
    const std::optional<std::int64_t> unidade =
        conta.unidade ? std::optional<std::int64_t>(*conta.unidade) : std::nullopt;
    transaction([&] {
        sql_->gravaConta.with(conta.login, conta.hashSenha, unidade, std::int64_t{conta.operador ? 1 : 0}).run();
        return true;
    });
}

std::vector<Conta> CentralStore::contas() const {
    std::lock_guard lock(mutex_);
    std::vector<Conta> result;
    for (auto& row = sql_->allContas.with(); row.step();)
        result.push_back(contaFrom(row));
    return result;
}

void CentralStore::adopt(const LegacyState& state) {
    transaction([&] {
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
        return true;
    });
    // Everything into the database file itself, so the file alone holds the state once renamed into place.
    db_->execute("PRAGMA wal_checkpoint(TRUNCATE)");
}

} // namespace edi::central
