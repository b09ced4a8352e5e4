#pragma once

#include "central/postgres.h"
#include "central/store.h"

#include <string>

namespace edi::central {

// The whole state in PostgreSQL, the uploaded files too (as bytea): several server processes on several machines
// share one network through it. Correctness rests on the database alone: transactions, unique keys and locks held
// by the transaction, never on a lock of this process.
class PostgresStore : public CentralStore {
public:
    // Connects and creates the schema when missing (also when another process does the same at that moment);
    // throws Error when the database cannot be reached.
    explicit PostgresStore(const std::string& conninfo);

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

    // Stores an upload in its own transaction; false, storing nothing, when another unit owns the name.
    bool storeUpload(const std::string& name, const std::string& content, std::optional<int> unidade);

protected:
    void runTransaction(const std::function<void(StoreTransaction&)>& change) override;

private:
    // Runs `work` on a pooled connection, and once more on a new one when the pooled one turns out broken (the
    // database restarted meanwhile): a restart costs only the requests in flight.
    template <typename Work> auto withConnection(Work work) const;
    pg::Result query(const std::string& sql, const std::vector<pg::Param>& params = {}, bool binary = false) const;

    mutable pg::Pool pool_;
};

} // namespace edi::central
