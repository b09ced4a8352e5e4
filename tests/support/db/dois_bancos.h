#pragma once

#include "db/database.h"
#include "support/db/scratch_database.h"

#include <cstdint>
#include <memory>
#include <string>

namespace edi::test {

// Two databases for moving rows between them: De, an embedded file, and Para on the loopback server the test
// script starts (a second embedded file when the suite runs without it). Both get the nine programme
// registers as small tables with the columns the filters name.
class DoisBancos {
public:
    DoisBancos();
    ~DoisBancos();

    db::Database& de() { return de_.db(); }
    db::Database& para() { return *para_; }
    const std::string& conexaoDe() const { return de_.params().database; }
    const std::string& conexaoPara() const { return paraParams_.database; }
    bool paraNoServidor() const { return noServidor_; }
    // Lets another process open both (the embedded engine is exclusive per process), and back.
    void solta();
    void prende();
    // User, password and character set that open both.
    db::ConnectionParams login() const;

    static int64_t conta(db::Database& banco, const std::string& sql);

private:
    ScratchDatabase de_{"de.fdb"};
    TempDir pastaPara_;
    db::ConnectionParams paraParams_;
    bool noServidor_ = false;
    std::unique_ptr<db::Database> para_;
};

} // namespace edi::test
