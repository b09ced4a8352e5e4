// edi-admin: creates a unit's database and fills it with synthetic rows.
#include "core/errors.h"
#include "core/formats.h"
#include "db/database.h"
#include "db/query.h"
#include "domain/create_database.h"
#include "domain/seed.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace edi;

constexpr const char* kUsage =
    "Usage:\n"
    "  edi-admin create-db DATABASE --unit CODE [--central CODE] [--user U --password P] [--charset CS]\n"
    "  edi-admin seed DATABASE --patients N [--seed S] [--user U --password P]\n"
    "  edi-admin report DATABASE [--user U --password P]\n"
    "\n"
    "create-db  creates a new database (a plain path makes an embedded file) with every table, key, index\n"
    "           and generator, and its first rows: parameters, units and the interchange registry.\n"
    "           --central defaults to 31; --charset (default UTF8) is the database's default character set.\n"
    "seed       adds synthetic patients, notifications, appointments and register sheets; the same --seed\n"
    "           (default 1) gives the same rows.\n"
    "report     rows per registered table: in all, per owning unit, and still pending export.\n";

// Wrong use of the command line: reported with the usage text.
class UsageError : public Error {
public:
    using Error::Error;
};

struct CommandLine {
    std::string command;
    std::string database;
    std::map<std::string, std::string> options;

    std::optional<std::string> option(const std::string& name) const {
        auto it = options.find(name);
        if (it == options.end())
            return std::nullopt;
        return it->second;
    }
};

CommandLine parse(int argc, char** argv, const std::set<std::string>& known) {
    CommandLine line;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            positional.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2), value;
        if (const size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            throw UsageError("Option --" + name + " needs a value");
        }
        if (!known.count(name))
            throw UsageError("Unknown option --" + name);
        if (line.options.count(name))
            throw UsageError("Option --" + name + " given twice");
        line.options[name] = value;
    }
    if (positional.size() != 2)
        throw UsageError(positional.empty() ? "No command given" : "Expected a command and one database");
    line.command = positional[0];
    line.database = positional[1];
    return line;
}

int64_t number(const CommandLine& line, const std::string& name, int64_t lo, int64_t hi) {
    const std::string text = line.option(name).value_or("");
    const auto n = formats::parseInteger(text);
    if (!n || *n < lo || *n > hi)
        throw UsageError("--" + name + " needs a whole number from " + std::to_string(lo) + " to " +
                         std::to_string(hi) + ", not \"" + text + "\"");
    return *n;
}

int64_t required(const CommandLine& line, const std::string& name, int64_t lo, int64_t hi) {
    if (!line.option(name))
        throw UsageError(line.command + " needs --" + name);
    return number(line, name, lo, hi);
}

db::ConnectionParams connection(const CommandLine& line) {
    db::ConnectionParams params;
    params.database = line.database;
    params.user = line.option("user").value_or("SYSDBA");
    params.password = line.option("password").value_or("");
    params.charset = "UTF8";
    return params;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int createDb(const CommandLine& line) {
    domain::CreateOptions o;
    o.connection = connection(line);
    o.unit = static_cast<int>(required(line, "unit", INT32_MIN, INT32_MAX));
    o.central = line.option("central") ? static_cast<int>(number(line, "central", INT32_MIN, INT32_MAX))
                                       : domain::kUnidadeCentralPadrao;
    o.defaultCharset = line.option("charset").value_or("UTF8");
    const domain::CreateSummary s = domain::createDatabase(o);
    std::cout << "Created " << line.database << " for unit " << o.unit << " (central unit " << o.central
              << "): " << s.tables << " tables, " << s.indexes << " indexes, " << s.generators << " generators.\n"
              << "Registry: " << s.registered << " tables, " << s.sent << " sent and " << s.received
              << " received by this " << (o.unit == o.central ? "central unit" : "unit") << ".\n";
    return 0;
}

int seed(const CommandLine& line) {
    domain::SeedOptions o;
    o.patients = static_cast<int>(required(line, "patients", 0, 10'000'000));
    o.seed = line.option("seed") ? static_cast<uint64_t>(number(line, "seed", 0, INT64_MAX)) : 1;
    const auto start = std::chrono::steady_clock::now();
    auto db = db::Database::open(connection(line));
    const domain::SeedSummary s = domain::seedDatabase(*db, o);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", secondsSince(start));
    std::cout << "Seeded " << line.database << " for unit " << s.unit << " with " << o.patients << " patients (seed "
              << o.seed << "): " << s.rows << " rows in " << s.rowsPerTable.size() << " tables in " << seconds
              << " s.\n";
    return 0;
}

// Rows of every registered table that has any: total, per owning unit, and pending export.
int report(const CommandLine& line) {
    auto db = db::Database::open(connection(line));
    db::Query tabelas(*db, "select trim(NM_TABELA) from TABELA_EDI order by NR_ORDEM, NM_TABELA");
    std::printf("%-28s %8s %8s  %s\n", "table", "rows", "pending", "rows per owning unit");
    int64_t total = 0;
    for (tabelas.open(); !tabelas.eof(); tabelas.next()) {
        const std::string t = tabelas.value(0).asText();
        db::Query porDono(*db, "select CD_UND, count(*), sum(case when DT_EXP is null then 1 else 0 end) from " + t +
                                   " group by CD_UND order by CD_UND");
        int64_t linhas = 0, pendentes = 0;
        std::string donos;
        for (porDono.open(); !porDono.eof(); porDono.next()) {
            linhas += porDono.value(1).asInt64();
            pendentes += porDono.value(2).asInt64();
            donos += (donos.empty() ? "" : ", ") + porDono.value(0).asText() + ": " + porDono.value(1).asText();
        }
        if (linhas == 0)
            continue;
        total += linhas;
        std::printf("%-28s %8lld %8lld  %s\n", t.c_str(), static_cast<long long>(linhas),
                    static_cast<long long>(pendentes), donos.c_str());
    }
    std::printf("%-28s %8lld\n", "all registered tables", static_cast<long long>(total));
    return 0;
}

int run(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "create-db")
        return createDb(parse(argc, argv, {"unit", "central", "user", "password", "charset"}));
    if (command == "seed")
        return seed(parse(argc, argv, {"patients", "seed", "user", "password"}));
    if (command == "report")
        return report(parse(argc, argv, {"user", "password"}));
    throw UsageError(command.empty() ? "No command given" : "Unknown command \"" + command + "\"");
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "edi-admin: " << e.what() << "\n\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "edi-admin: " << e.what() << "\n";
        return 1;
    }
}
