#include "central/command_line.h"

#include "central/moment.h"

#include <charconv>
#include <map>
#include <set>

namespace edi::central {

const char *const kUsage =
    "Usage:\n"
    "  edi-central-server --root DIR --listen HOST:PORT [--central CODE] [--units CODE[:VERSION],...]\n"
    "                     [--login L --password P] [--database CONNECTION [--db-user U] [--db-password P]]\n"
    "  edi-central-server publish --root DIR FILE --destino PATH [--tipo T] [--exec E] [--publicado MOMENT]\n"
    "\n"
    "Serves the units of an EDI network: uploads, per-unit lists of waiting files, acknowledgements, application\n"
    "updates, unit versions, protocol summaries and the SQL console. State is kept under DIR.\n"
    "  --central   the central unit's code (default 31): files from a unit wait for it, files from it wait for\n"
    "              every other known unit. A unit is known once it calls the server or when listed in --units.\n"
    "  --units     units known from the start; VERSION is reported for a unit until its requests carry versao=\n"
    "              (default version 2.1.0-04).\n"
    "  --login, --password  the account units use (default quelmar / dorven).\n"
    "  --database  a Firebird database for the SQL console (a plain path opens it with the embedded engine).\n"
    "\n"
    "publish copies FILE into DIR/app/ and lists it in DIR/app/manifest.txt (TIPO \"1\": a ZIP archive to unpack,\n"
    "EXEC \"1\": start DESTINO afterwards; both default to 0); units get it at their next update. MOMENT\n"
    "(\"yyyy-mm-dd hh:nn:ss\") defaults to now.\n";

namespace {

int parseCode(const std::string &text, const std::string &what) {
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || value <= 0)
        throw UsageError(what + " \"" + text + "\" is not a positive unit code");
    return value;
}

// Options with a value, and the positional arguments, of one command.
struct Arguments {
    std::map<std::string, std::string> options;
    std::vector<std::string> positional;

    Arguments(const std::vector<std::string> &args, std::size_t from, const std::set<std::string> &known) {
        for (std::size_t i = from; i < args.size(); ++i) {
            const std::string &arg = args[i];
            if (arg.rfind("--", 0) != 0) {
                positional.push_back(arg);
                continue;
            }
            if (!known.count(arg))
                throw UsageError("unknown option " + arg);
            if (i + 1 >= args.size())
                throw UsageError(arg + " needs a value");
            options[arg] = args[++i];
        }
    }

    bool has(const std::string &name) const { return options.count(name) > 0; }
    std::string get(const std::string &name, const std::string &fallback = {}) const {
        const auto it = options.find(name);
        return it == options.end() ? fallback : it->second;
    }
    std::string required(const std::string &name) const {
        if (!has(name))
            throw UsageError(name + " is required");
        return get(name);
    }
};

void parseListen(const std::string &text, ServerConfig &config) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        throw UsageError("--listen \"" + text + "\" is not HOST:PORT");
    const std::string portText = text.substr(colon + 1);
    int port = -1;
    const auto [ptr, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (portText.empty() || ec != std::errc() || ptr != portText.data() + portText.size() || port < 0 || port > 65535)
        throw UsageError("--listen \"" + text + "\": the port is not a number from 0 to 65535");
    config.host = text.substr(0, colon);
    config.port = port;
}

ServeCommand parseServe(const std::vector<std::string> &args) {
    const Arguments a(args, 0,
                      {"--root", "--listen", "--central", "--units", "--login", "--password", "--database", "--db-user",
                       "--db-password"});
    if (!a.positional.empty())
        throw UsageError("unexpected argument " + a.positional.front());
    if (a.has("--login") != a.has("--password"))
        throw UsageError("--login and --password go together");
    ServeCommand command;
    ServerConfig &c = command.config;
    c.root = a.required("--root");
    parseListen(a.required("--listen"), c);
    if (a.has("--central"))
        c.centralUnit = parseCode(a.get("--central"), "--central");
    if (a.has("--units"))
        c.units = parseUnitList(a.get("--units"));
    c.login = a.get("--login", c.login);
    c.password = a.get("--password", c.password);
    if (a.has("--database")) {
        db::ConnectionParams database;
        database.database = a.get("--database");
        database.user = a.get("--db-user", database.user);
        database.password = a.get("--db-password");
        c.database = database;
    } else if (a.has("--db-user") || a.has("--db-password")) {
        throw UsageError("--db-user and --db-password need --database");
    }
    return command;
}

PublishCommand parsePublish(const std::vector<std::string> &args) {
    const Arguments a(args, 1, {"--root", "--destino", "--tipo", "--exec", "--publicado"});
    if (a.positional.size() != 1)
        throw UsageError("publish takes exactly one FILE");
    PublishCommand command;
    command.root = a.required("--root");
    command.file = a.positional.front();
    command.details.destino = a.required("--destino");
    command.details.tipo = a.get("--tipo", "0");
    command.details.exec = a.get("--exec", "0");
    if (a.has("--publicado")) {
        const auto moment = parseMoment(a.get("--publicado"));
        if (!moment)
            throw UsageError("--publicado \"" + a.get("--publicado") + "\" is not yyyy-mm-dd hh:nn:ss");
        command.details.publicado = *moment;
    } else {
        command.details.publicado = Timestamp::localNow();
    }
    return command;
}

} // namespace

std::vector<UnitSeed> parseUnitList(const std::string &text) {
    std::vector<UnitSeed> units;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
        const std::size_t colon = item.find(':');
        UnitSeed unit;
        unit.code = parseCode(item.substr(0, colon), "--units entry");
        if (colon != std::string::npos) {
            unit.version = item.substr(colon + 1);
            if (unit.version.empty())
                throw UsageError("--units entry \"" + item + "\" has an empty version");
        }
        units.push_back(unit);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return units;
}

Command parseCommandLine(const std::vector<std::string> &args) {
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h" || args.front() == "help"))
        return HelpCommand{};
    if (!args.empty() && args.front() == "publish")
        return parsePublish(args);
    return parseServe(args);
}

} // namespace edi::central
