#pragma once

#include "central/manifest.h"
#include "central/server.h"
#include "core/errors.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace edi::central {

// Wrong use of the command line: reported with the usage text.
class UsageError : public Error {
public:
    using Error::Error;
};

extern const char* const kUsage;

struct ServeCommand {
    ServerConfig config;
};

struct PublishCommand {
    std::filesystem::path root;
    std::filesystem::path file;
    Publication details; // nome is taken from the file
};

// Creates or changes an account; what is not given stays as it was (a new account: no unit, not an operator).
struct AccountCommand {
    std::filesystem::path root;
    std::string postgres; // the state in PostgreSQL, as the server's --postgres
    std::string login;
    std::optional<int> unit;
    std::optional<bool> operador;
    std::string passwordFrom; // "stdin", "env" or empty: keep the password
};

struct AccountsCommand {
    std::filesystem::path root;
    std::string postgres;
};

struct HelpCommand {};

using Command = std::variant<ServeCommand, PublishCommand, AccountCommand, AccountsCommand, HelpCommand>;

// The arguments after the program name; throws UsageError.
Command parseCommandLine(const std::vector<std::string>& args);

// "12,14:2.1.0-05": unit codes, each with an optional version after ":".
std::vector<UnitSeed> parseUnitList(const std::string& text);

} // namespace edi::central
