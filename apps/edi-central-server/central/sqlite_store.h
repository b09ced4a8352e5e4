#pragma once

#include "central/store.h"

#include <filesystem>
#include <memory>
#include <mutex>

namespace edi {
class AtomicFile;
}

namespace edi::central {

struct LegacyState;
namespace sqlite {
class Database;
}

// The embedded store: an SQLite database (one row per unit, delivery, central file, protocol and account;
// deliveries indexed by unit and state) and the uploaded files in a folder. For one server process: the database
// is written under an in-process lock.
class SqliteStore : public CentralStore {
public:
    // Opens the database, creating it when missing; throws Error when it exists but cannot be read.
    SqliteStore(const std::filesystem::path& database, std::filesystem::path uploads);
    ~SqliteStore() override;

    std::optional<std::string> knownVersion(int code) const override;
    std::unique_ptr<UploadWriter> newUpload(const std::string& name, std::optional<int> unidade) override;
    std::unique_ptr<std::istream> openUpload(const std::string& name) const override;
    std::vector<std::string> uploads() const override;
    std::optional<int> uploadOwner(const std::string& name) const override;
    std::vector<Delivery> waitingFor(int unit) const override;
    std::vector<UnitRecord> units() const override;
    std::vector<UnitContact> network() const override;
    std::vector<Delivery> deliveries() const override;
    std::vector<CentralFile> centralFiles() const override;
    std::vector<ProtocolRecord> protocols() const override;
    std::optional<Conta> conta(const std::string& login) const override;
    void gravaConta(const Conta& conta) override;
    std::vector<Conta> contas() const override;

    // Fills an empty store with a state read from the old XML file, in one transaction.
    void adopt(const LegacyState& state);

    struct Statements;

protected:
    void runTransaction(const std::function<void(StoreTransaction&)>& change) override;

private:
    class FileUpload;
    // Claims `name` for `unidade` and renames the file into place, or neither when another unit owns the name.
    bool publishUpload(const std::string& name, std::optional<int> unidade, AtomicFile& file);

    std::filesystem::path uploads_;
    mutable std::mutex mutex_;
    std::unique_ptr<sqlite::Database> db_;
    std::unique_ptr<Statements> sql_;
};

} // namespace edi::central
