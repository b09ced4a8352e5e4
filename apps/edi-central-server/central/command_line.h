#pragma once

#include "central/manifest.h"
#include "central/server.h"
#include "core/errors.h"

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

struct HelpCommand {};

using Command = std::variant<ServeCommand, PublishCommand, HelpCommand>;

// The arguments after the program name; throws UsageError.
Command parseCommandLine(const std::vector<std::string>& args);

// "12,14:2.1.0-05": unit codes, each with an optional version after ":".
std::vector<UnitSeed> parseUnitList(const std::string& text);

} // namespace edi::central
