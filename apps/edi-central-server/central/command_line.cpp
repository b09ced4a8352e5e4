#include "central/command_line.h"

#include "central/moment.h"
#include "platform/versao.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <map>
#include <set>
#include <string>

namespace edi::central {

namespace {

// The default version is the program's own, spelled once where the build makes it.
const std::string kTextoDeUso =
    std::string(
        "Uso: edi-central-server --root PASTA --listen HOST:PORTA [OPÇÃO...]\n"
        "  ou: edi-central-server publish --root PASTA ARQUIVO --destino CAMINHO [--tipo T] [--exec E]\n"
        "                                 [--publicado MOMENTO]\n"
        "  ou: edi-central-server account --root PASTA LOGIN [--unit CÓDIGO] [--operator sim|nao]\n"
        "                                 [--password-from stdin|env] [--postgres LIGAÇÃO]\n"
        "  ou: edi-central-server accounts --root PASTA [--postgres LIGAÇÃO]\n"
        "O servidor central de referência de uma rede EDI: recebe os envios das unidades, guarda a lista de\n"
        "arquivos à espera de cada unidade e as confirmações, publica as atualizações da aplicação, as versões\n"
        "das unidades, os resumos de protocolos e a consola SQL. O estado fica debaixo de PASTA, ou, com\n"
        "--postgres, todo no PostgreSQL (também os arquivos enviados), partilhado por vários processos.\n"
        "\n"
        "Opções:\n"
        "      --root PASTA          a pasta raiz do servidor (obrigatória)\n"
        "      --listen HOST:PORTA   o endereço onde escuta (obrigatório; porta 0: uma porta livre)\n"
        "      --central CÓDIGO      o código da unidade central (31 por omissão): os arquivos de uma unidade\n"
        "                            esperam por ela e os dela esperam por todas as outras unidades conhecidas;\n"
        "                            uma unidade é conhecida quando chama o servidor ou está em --units\n"
        "      --units CÓDIGO[:VERSÃO],...  unidades conhecidas desde o início; VERSÃO é a versão mostrada até os\n"
        "                            pedidos da unidade trazerem versao= (") +
    platform::kVersaoDoSistema +
    " por omissão)\n"
    "      --login L --password S  a conta compartilhada que as unidades antigas usam (quelmar / dorven por\n"
    "                            omissão); vale para qualquer unidade\n"
    "      --shared-account sim|nao  aceita a conta compartilhada (sim por omissão); com nao só as contas\n"
    "                            de cada unidade entram\n"
    "      --shared-sql sim|nao  a conta compartilhada pode usar a consola SQL (nao por omissão); as contas\n"
    "                            de operador podem sempre\n"
    "      --cert ARQUIVO --key ARQUIVO  escuta em https com este certificado e esta chave privada (PEM)\n"
    "      --max-upload-mb MB    o maior envio aceite, em megabytes (512 por omissão); um envio maior é\n"
    "                            recusado, também quando chega aos pedaços\n"
    "      --postgres LIGAÇÃO    guarda o estado no PostgreSQL dado por LIGAÇÃO (\"host=... dbname=...\"; por\n"
    "                            omissão a variável EDI_CENTRAL_POSTGRES); o esquema é criado no primeiro arranque\n"
    "      --database LIGAÇÃO    uma base Firebird para a consola SQL (um caminho simples abre-a com o motor\n"
    "                            embutido); --db-user U e --db-password S para entrar nela\n"
    "  -h, --help                mostra esta ajuda e sai\n"
    "      --version             mostra a versão e sai\n"
    "\n"
    "account cria ou altera a conta LOGIN no estado do servidor: uma conta de unidade só age pela unidade\n"
    "CÓDIGO (pedidos com outra unidade são recusados), uma conta de operador usa a consola SQL. A senha\n"
    "nunca vai na linha de comando: --password-from stdin lê-a da primeira linha da entrada padrão, env da\n"
    "variável EDI_SENHA_CONTA; é obrigatória para uma conta nova e, numa existente, troca a senha. Só fica\n"
    "guardado o seu hash (PBKDF2-SHA256 com sal). accounts lista as contas.\n"
    "\n"
    "publish copia ARQUIVO para PASTA/app/ e regista-o em PASTA/app/manifest.txt (TIPO \"1\": um ZIP a\n"
    "desempacotar, EXEC \"1\": iniciar DESTINO depois; ambos 0 por omissão); as unidades recebem-no na próxima\n"
    "atualização. MOMENTO (\"aaaa-mm-dd hh:nn:ss\") é agora por omissão.\n"
    "\n"
    "O servidor termina com SIGTERM ou SIGINT. Situação de saída: 0 ao terminar assim ou depois de publicar,\n"
    "1 quando falhou, 2 quando a linha de comando está errada.\n";

} // namespace

const char* const kUsage = kTextoDeUso.c_str();

namespace {

int parseCode(const std::string& text, const std::string& what) {
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || value <= 0)
        throw UsageError(what + " \"" + text + "\" não é um código de unidade positivo");
    return value;
}

std::size_t parseMegabytes(const std::string& text, const std::string& option) {
    std::size_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || value == 0 ||
        value > (std::numeric_limits<std::size_t>::max() >> 20))
        throw UsageError(option + " \"" + text + "\" não é um número positivo de megabytes");
    return value << 20;
}

// Options with a value, and the positional arguments, of one command.
struct Arguments {
    std::map<std::string, std::string> options;
    std::vector<std::string> positional;

    Arguments(const std::vector<std::string>& args, std::size_t from, const std::set<std::string>& known) {
        for (std::size_t i = from; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (arg.rfind("--", 0) != 0) {
                positional.push_back(arg);
                continue;
            }
            if (!known.count(arg))
                throw UsageError("opção desconhecida: " + arg);
            if (i + 1 >= args.size())
                throw UsageError("a opção " + arg + " precisa de um valor");
            options[arg] = args[++i];
        }
    }

    bool has(const std::string& name) const { return options.count(name) > 0; }
    std::string get(const std::string& name, const std::string& fallback = {}) const {
        const auto it = options.find(name);
        return it == options.end() ? fallback : it->second;
    }
    std::string required(const std::string& name) const {
        if (!has(name))
            throw UsageError("falta a opção " + name);
        return get(name);
    }
};

bool parseYesNo(const std::string& text, const std::string& option) {
    if (text == "sim")
        return true;
    if (text == "nao" || text == "não")
        return false;
    throw UsageError(option + " \"" + text + "\" não é sim nem nao");
}

void parseListen(const std::string& text, ServerConfig& config) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        throw UsageError("--listen \"" + text + "\" não é HOST:PORTA");
    const std::string portText = text.substr(colon + 1);
    int port = -1;
    const auto [ptr, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (portText.empty() || ec != std::errc() || ptr != portText.data() + portText.size() || port < 0 || port > 65535)
        throw UsageError("--listen \"" + text + "\": a porta não é um número de 0 a 65535");
    config.host = text.substr(0, colon);
    config.port = port;
}

// --postgres, else the environment's EDI_CENTRAL_POSTGRES: the accounts go where the server keeps its state.
std::string postgresOption(const Arguments& a) {
    const char* postgres = std::getenv("EDI_CENTRAL_POSTGRES");
    return a.get("--postgres", postgres ? postgres : "");
}

ServeCommand parseServe(const std::vector<std::string>& args) {
    const Arguments a(args, 0,
                      {"--root", "--listen", "--central", "--units", "--login", "--password", "--database", "--db-user",
                       "--db-password", "--max-upload-mb", "--postgres", "--shared-account", "--shared-sql", "--cert",
                       "--key"});
    if (!a.positional.empty())
        throw UsageError("argumento inesperado: " + a.positional.front());
    if (a.has("--login") != a.has("--password"))
        throw UsageError("--login e --password vão juntas");
    ServeCommand command;
    ServerConfig& c = command.config;
    c.root = a.required("--root");
    parseListen(a.required("--listen"), c);
    if (a.has("--central"))
        c.centralUnit = parseCode(a.get("--central"), "--central");
    if (a.has("--units"))
        c.units = parseUnitList(a.get("--units"));
    if (a.has("--max-upload-mb"))
        c.maxUploadBytes = parseMegabytes(a.get("--max-upload-mb"), "--max-upload-mb");
    c.postgres = postgresOption(a);
    if (a.has("--cert") != a.has("--key"))
        throw UsageError("--cert e --key vão juntas");
    c.certificate = a.get("--cert");
    c.privateKey = a.get("--key");
    if (a.has("--shared-account"))
        c.sharedAccount = parseYesNo(a.get("--shared-account"), "--shared-account");
    if (a.has("--shared-sql"))
        c.sharedSql = parseYesNo(a.get("--shared-sql"), "--shared-sql");
    c.login = a.get("--login", c.login);
    c.password = a.get("--password", c.password);
    if (a.has("--database")) {
        db::ConnectionParams database;
        database.database = a.get("--database");
        database.user = a.get("--db-user", database.user);
        database.password = a.get("--db-password");
        c.database = database;
    } else if (a.has("--db-user") || a.has("--db-password")) {
        throw UsageError("--db-user e --db-password precisam de --database");
    }
    return command;
}

AccountCommand parseAccount(const std::vector<std::string>& args) {
    const Arguments a(args, 1, {"--root", "--unit", "--operator", "--password-from", "--postgres"});
    if (a.positional.size() != 1 || a.positional.front().empty() || a.positional.front().find(':') != std::string::npos)
        throw UsageError("account leva exatamente um LOGIN, sem \":\"");
    AccountCommand command;
    command.root = a.required("--root");
    command.postgres = postgresOption(a);
    command.login = a.positional.front();
    if (a.has("--unit"))
        command.unit = parseCode(a.get("--unit"), "--unit");
    if (a.has("--operator"))
        command.operador = parseYesNo(a.get("--operator"), "--operator");
    if (a.has("--password-from")) {
        const std::string from = a.get("--password-from");
        if (from != "stdin" && from != "env")
            throw UsageError("--password-from \"" + from + "\" não é stdin nem env");
        command.passwordFrom = from;
    }
    return command;
}

AccountsCommand parseAccounts(const std::vector<std::string>& args) {
    const Arguments a(args, 1, {"--root", "--postgres"});
    if (!a.positional.empty())
        throw UsageError("argumento inesperado: " + a.positional.front());
    return AccountsCommand{a.required("--root"), postgresOption(a)};
}

PublishCommand parsePublish(const std::vector<std::string>& args) {
    const Arguments a(args, 1, {"--root", "--destino", "--tipo", "--exec", "--publicado"});
    if (a.positional.size() != 1)
        throw UsageError("publish leva exatamente um ARQUIVO");
    PublishCommand command;
    command.root = a.required("--root");
    command.file = a.positional.front();
    command.details.destino = a.required("--destino");
    command.details.tipo = a.get("--tipo", "0");
    command.details.exec = a.get("--exec", "0");
    if (a.has("--publicado")) {
        const auto moment = parseMoment(a.get("--publicado"));
        if (!moment)
            throw UsageError("--publicado \"" + a.get("--publicado") + "\" não é aaaa-mm-dd hh:nn:ss");
        command.details.publicado = *moment;
    } else {
        command.details.publicado = Timestamp::localNow();
    }
    return command;
}

} // namespace

std::vector<UnitSeed> parseUnitList(const std::string& text) {
    std::vector<UnitSeed> units;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
        const std::size_t colon = item.find(':');
        UnitSeed unit;
        unit.code = parseCode(item.substr(0, colon), "a entrada de --units");
        if (colon != std::string::npos) {
            unit.version = item.substr(colon + 1);
            if (unit.version.empty())
                throw UsageError("a entrada de --units \"" + item + "\" tem a versão vazia");
        }
        units.push_back(unit);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return units;
}

Command parseCommandLine(const std::vector<std::string>& args) {
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h" || args.front() == "help"))
        return HelpCommand{};
    if (!args.empty() && args.front() == "publish")
        return parsePublish(args);
    if (!args.empty() && args.front() == "account")
        return parseAccount(args);
    if (!args.empty() && args.front() == "accounts")
        return parseAccounts(args);
    return parseServe(args);
}

} // namespace edi::central
