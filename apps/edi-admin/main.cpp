// edi-admin: creates a unit's database and fills it with synthetic rows; De-Para without a display.
#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"
#include "datamodule/roteiro.h"
#include "datamodule/tdmgeral.h"
#include "db/database.h"
#include "db/query.h"
#include "domain/create_database.h"
#include "domain/exclusoes.h"
#include "domain/seed.h"
#include "interchange/censo.h"
#include "platform/linha_de_comando.h"
#include "shell/programa.h"
#include "tools/depara_linha.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace edi;

constexpr const char* kAjuda =
    "Uso: edi-admin COMANDO ARGUMENTO [OPÇÃO...]\n"
    "Prepara e examina as instalações do EDI: a pasta de uma unidade e a sua base de dados.\n"
    "\n"
    "Comandos:\n"
    "  init-home PASTA --db BASE --server HOST:PORTA [--unit CÓDIGO [--central CÓDIGO]]\n"
    "            [--login LOGIN --password-from stdin|env] [--ca ARQUIVO]\n"
    "        cria a pasta do programa de uma unidade com as pastas EDI/IN, EDI/OUT, EDI/PROT e Temp e um\n"
    "        jaq.ini mínimo (BASE, o servidor central, exportar e importar ligados, Tempo=60); um jaq.ini\n"
    "        que já exista fica como está. Com --unit, cria também a BASE para essa unidade, como create-db,\n"
    "        quando ainda não existe. --login escreve a conta da unidade no servidor central ([EDI] Login e\n"
    "        Senha); a senha vem da primeira linha da entrada padrão (stdin) ou da variável EDI_SENHA_CONTA\n"
    "        (env), nunca da linha de comando. --ca escreve [EDI] CertificadoCA, as autoridades que verificam\n"
    "        o certificado de um servidor https.\n"
    "  create-db BASE --unit CÓDIGO [--central CÓDIGO] [--user U --password S] [--charset CS]\n"
    "        cria uma base nova (um caminho simples cria um arquivo do motor embutido) com todas as tabelas,\n"
    "        chaves, índices e geradores e as primeiras linhas: parâmetros, unidades e o registro de tabelas\n"
    "        do intercâmbio. --central é 31 por omissão; --charset (UTF8 por omissão) é o conjunto de\n"
    "        caracteres da base.\n"
    "  seed BASE --patients N [--seed S] [--user U --password S]\n"
    "        junta pacientes, notificações, consultas e fichas sintéticos; a mesma --seed (1 por omissão)\n"
    "        dá as mesmas linhas.\n"
    "  report BASE [--user U --password S]\n"
    "        linhas por tabela registrada: ao todo, por unidade dona e ainda por exportar.\n"
    "  depara --de CONEXÃO --para CONEXÃO [--tabela T] [FILTRO...] [--home PASTA] [--yes] OPERAÇÃO\n"
    "        o De-Para sem janela; escreve as mesmas linhas que o registro da janela. OPERAÇÃO é abrir\n"
    "        (as contagens da tabela nos dois bancos), apagar-para (apaga do banco Para as linhas do\n"
    "        filtro; só com --yes), de-para (copia para o banco Para as linhas do filtro no banco De,\n"
    "        gravando linha a linha; termina com as linhas copiadas e as que falharam, e sai com 1 quando\n"
    "        alguma falhou) ou comparar (as contagens dos nove registros de programa; sem --tabela).\n"
    "        FILTRO: --provincia, --municipio, --unidade, --und e --mesano (uma lista: 202401,202402),\n"
    "        valores postos no comando tal como escritos (um texto leva as suas próprias aspas).\n"
    "        Utilizador, senha e conjunto de caracteres vêm da secção [Geral] do jaq.ini da pasta do\n"
    "        programa: --home, sem ela a variável de ambiente EDI_HOME, sem esta a pasta do executável.\n"
    "  data BASE [ROTEIRO] [--user U --password S]\n"
    "        executa um roteiro (um arquivo, ou a entrada padrão) de comandos sobre os conjuntos de dados\n"
    "        do módulo de dados geral, com as suas regras: user, param, open, close, first, next, locate,\n"
    "        insert, edit, post, cancel, delete, set, splice, answer, print, count, commit e rollback. No fim\n"
    "        desfaz o que não foi confirmado. Sai com 1 quando algum comando falhou, 2 quando não lê o roteiro.\n"
    "\n"
    "Opções:\n"
    "  -h, --help     mostra esta ajuda e sai\n"
    "      --version  mostra a versão e sai\n"
    "  As opções aceitam o valor a seguir (--unit 12) ou depois de um sinal de igual (--unit=12).\n"
    "\n"
    "Situação de saída: 0 quando o comando terminou, 1 quando falhou, 2 quando a linha de comando está\n"
    "errada.\n";

// Wrong use of the command line: reported with the usage text.
class UsageError : public Error {
public:
    using Error::Error;
};

struct CommandLine {
    std::string command;
    std::string database;
    std::map<std::string, std::string> options;
    std::vector<std::string> extra; // positional arguments after the database

    std::optional<std::string> option(const std::string& name) const {
        auto it = options.find(name);
        if (it == options.end())
            return std::nullopt;
        return it->second;
    }
};

CommandLine parse(int argc, char** argv, const std::set<std::string>& known, const std::set<std::string>& flags = {},
                  size_t extraAllowed = 0) {
    CommandLine line;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            positional.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2), value;
        if (flags.count(name)) {
            line.options[name] = "";
            continue;
        }
        if (const size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            throw UsageError("a opção --" + name + " precisa de um valor");
        }
        if (!known.count(name))
            throw UsageError("opção desconhecida: --" + name);
        if (line.options.count(name))
            throw UsageError("a opção --" + name + " foi dada duas vezes");
        line.options[name] = value;
    }
    if (positional.size() < 2 || positional.size() > 2 + extraAllowed)
        throw UsageError(positional.empty()  ? "falta o comando"
                         : extraAllowed == 0 ? "esperava um comando e um só argumento"
                                             : "argumentos a mais ou a menos para " + positional[0]);
    line.command = positional[0];
    line.database = positional[1];
    line.extra.assign(positional.begin() + 2, positional.end());
    return line;
}

int64_t number(const CommandLine& line, const std::string& name, int64_t lo, int64_t hi) {
    const std::string text = line.option(name).value_or("");
    const auto n = formats::parseInteger(text);
    if (!n || *n < lo || *n > hi)
        throw UsageError("--" + name + " precisa de um número inteiro de " + std::to_string(lo) + " a " +
                         std::to_string(hi) + ", não \"" + text + "\"");
    return *n;
}

int64_t required(const CommandLine& line, const std::string& name, int64_t lo, int64_t hi) {
    if (!line.option(name))
        throw UsageError(line.command + " precisa de --" + name);
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
    std::cout << "Criada " << line.database << " para a unidade " << o.unit << " (unidade central " << o.central
              << "): " << s.tables << " tabelas, " << s.indexes << " índices, " << s.generators << " geradores, "
              << s.foreignKeys << " chaves estrangeiras.\n"
              << "Registo: " << s.registered << " tabelas, " << s.sent << " enviadas e " << s.received
              << " recebidas por esta " << (o.unit == o.central ? "unidade central" : "unidade") << ".\n";
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
    std::cout << "Preenchida " << line.database << " para a unidade " << s.unit << " com " << o.patients
              << " pacientes (semente " << o.seed << "): " << s.rows << " registros em " << s.rowsPerTable.size()
              << " tabelas em " << seconds << " s.\n";
    return 0;
}

// Deletions recorded here and not sent yet, per table; a database that never recorded one has no such table.
void reportDeletions(db::Database& db) {
    db::Query existe(db, "select count(*) from RDB$RELATIONS where RDB$RELATION_NAME = :NOME");
    existe.setParam("NOME", Value::text(domain::kTabelaExclusoes));
    existe.open();
    if (existe.value(0).asInt64() == 0)
        return;
    db::Query q(db, std::string("select trim(NM_TABELA), count(*) from ") + domain::kTabelaExclusoes +
                        " where DT_EXP is null group by 1 order by 1");
    for (q.open(); !q.eof(); q.next())
        std::printf("%-28s %8lld exclusões a enviar\n", q.value(0).asText().c_str(),
                    static_cast<long long>(q.value(1).asInt64()));
}

// Rows of every registered table that has any: total, per owning unit, and pending export; then pending deletions.
int report(const CommandLine& line) {
    auto db = db::Database::open(connection(line));
    db::Query tabelas(*db, "select trim(NM_TABELA) from TABELA_EDI order by NR_ORDEM, NM_TABELA");
    std::printf("%-28s %8s %8s  %s\n", "tabela", "linhas", "a enviar", "linhas por unidade dona");
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
    std::printf("%-28s %8lld\n", "todas as tabelas registradas", static_cast<long long>(total));
    reportDeletions(*db);
    for (const UltimoCenso& c : leUltimosCensos(*db))
        std::printf("%s\n", textoDoCenso(c).c_str());
    return 0;
}

// Drives the general data module from a scenario script (a file, or standard input).
int data(const CommandLine& line) {
    std::ifstream arquivo;
    if (!line.extra.empty()) {
        arquivo.open(line.extra[0]);
        if (!arquivo) {
            std::cerr << "edi-admin: não foi possível ler o roteiro " << line.extra[0] << "\n";
            return 2;
        }
    }
    std::istream& roteiro = line.extra.empty() ? std::cin : arquivo;
    datamodule::RoteiroUi ui(std::cout);
    TDM dm(connection(line), ui);
    UGeral geral;
    datamodule::TDMGERAL modulo(dm, geral);
    modulo.DataModuleCreate();
    return datamodule::executaRoteiro(modulo, ui, roteiro, std::cout);
}

// The central server's account of a unit, and the authorities of its https certificate, for jaq.ini.
struct AcessoAoServidor {
    std::string login, senha, certificadoCA;
};

std::string senhaDaConta(const std::string& origem) {
    std::string senha;
    if (origem == "env") {
        const char* valor = std::getenv("EDI_SENHA_CONTA");
        senha = valor ? valor : "";
    } else if (origem == "stdin") {
        if (std::getline(std::cin, senha) && !senha.empty() && senha.back() == '\r')
            senha.pop_back();
    } else {
        throw UsageError("--password-from \"" + origem + "\" não é stdin nem env");
    }
    if (senha.empty())
        throw UsageError(origem == "env" ? "a variável EDI_SENHA_CONTA está vazia" : "nenhuma senha na entrada padrão");
    return senha;
}

AcessoAoServidor acessoAoServidor(const CommandLine& line) {
    if (line.option("login").has_value() != line.option("password-from").has_value())
        throw UsageError("--login e --password-from vão juntas");
    AcessoAoServidor acesso;
    acesso.login = line.option("login").value_or("");
    if (line.option("password-from"))
        acesso.senha = senhaDaConta(*line.option("password-from"));
    if (line.option("ca"))
        acesso.certificadoCA = std::filesystem::absolute(*line.option("ca")).string();
    return acesso;
}

// The minimal jaq.ini of a new installation.
std::string iniInicial(const std::string& database, const std::string& servidor, const AcessoAoServidor& acesso) {
    std::string extra;
    if (!acesso.login.empty())
        extra += "Login=" + acesso.login + "\nSenha=" + acesso.senha + "\n";
    if (!acesso.certificadoCA.empty())
        extra += "CertificadoCA=" + acesso.certificadoCA + "\n";
    return "; Configuração do EDI criada por edi-admin init-home.\n"
           "[Geral]\n"
           "DB=" +
           database +
           "\n"
           "[EDI]\n"
           "Exportar=SIM\n"
           "Importar=SIM\n"
           "Tempo=60\n"
           "Servidor=" +
           servidor + "\n" + extra;
}

int initHome(const CommandLine& line) {
    namespace fs = std::filesystem;
    const fs::path home = fs::absolute(line.database);
    std::string database = line.option("db").value_or("");
    const std::string servidor = line.option("server").value_or("");
    if (database.empty() || servidor.empty())
        throw UsageError("init-home precisa de --db e de --server");
    if (db::isEmbeddedPath(database)) // a service starts in another folder
        database = fs::absolute(database).string();
    if (line.option("central") && !line.option("unit"))
        throw UsageError("--central só serve com --unit");
    const AcessoAoServidor acesso = acessoAoServidor(line);
    for (const char* pasta : {"EDI/IN", "EDI/OUT", "EDI/PROT", "Temp"})
        fs::create_directories(home / pasta);
    const fs::path ini = home / "jaq.ini";
    if (fs::exists(ini)) {
        std::cout << ini.string() << " já existe e ficou como estava.\n";
    } else {
        writeFileAtomically(ini, iniInicial(database, servidor, acesso));
        if (!acesso.senha.empty()) // the password of the unit's account: readable by its owner only
            std::filesystem::permissions(ini, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        std::cout << "Criado " << ini.string() << " (DB=" << database << ", Servidor=" << servidor << ").\n";
    }
    if (line.option("unit")) {
        if (db::isEmbeddedPath(database) && fs::exists(database))
            std::cout << domain::databaseLeftAsItWas(database) << ".\n";
        else {
            CommandLine criacao = line; // create-db on the database of --db
            criacao.database = database;
            createDb(criacao);
        }
    }
    return 0;
}

int run(int argc, char** argv) {
    if (const auto respondido = platform::respondeAjudaOuVersao(argc, argv, "edi-admin", kAjuda))
        return *respondido;
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "create-db")
        return createDb(parse(argc, argv, {"unit", "central", "user", "password", "charset"}));
    if (command == "seed")
        return seed(parse(argc, argv, {"patients", "seed", "user", "password"}));
    if (command == "report")
        return report(parse(argc, argv, {"user", "password"}));
    if (command == "depara") {
        const CommandLine line = parse(argc, argv, tools::kOpcoesDeParaLinha, {"yes"});
        try {
            const std::filesystem::path home = pastaDoPrograma(line.option("home").value_or(""), argv[0]);
            return tools::ExecutaDeParaLinha(line.database, line.options, home / "jaq.ini", std::cout);
        } catch (const tools::UsoDeParaErrado& e) {
            throw UsageError(e.what());
        }
    }
    if (command == "data")
        return data(parse(argc, argv, {"user", "password"}, {}, 1));
    if (command == "init-home")
        return initHome(parse(argc, argv, {"db", "server", "unit", "central", "login", "password-from", "ca"}));
    throw UsageError(command.empty() ? "falta o comando" : "comando desconhecido: \"" + command + "\"");
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const UsageError& e) {
        return edi::platform::erroDeUso("edi-admin", e.what());
    } catch (const std::exception& e) {
        std::cerr << "edi-admin: " << e.what() << "\n";
        return 1;
    }
}
