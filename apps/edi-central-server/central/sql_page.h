#pragma once

#include "db/database.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace edi::central {

std::string htmlEscape(std::string_view text);

// Answers of the remote SQL console, as HTML pages. `Select` runs a query and shows its rows (at most `maxRows`);
// its transaction is rolled back, so a select can change nothing. `Change` runs an insert, update or delete (or any
// other statement), commits it and shows the rows affected. Database errors are shown in the page.
class SqlConsole {
public:
    enum class Operation { Select, Change };

    explicit SqlConsole(std::optional<db::ConnectionParams> database, std::size_t maxRows = 10000);

    bool hasDatabase() const { return database_.has_value(); }
    std::string run(Operation operation, const std::string& sql) const;

private:
    std::string runOnDatabase(Operation operation, const std::string& sql) const;

    std::optional<db::ConnectionParams> database_;
    std::size_t maxRows_;
};

} // namespace edi::central
