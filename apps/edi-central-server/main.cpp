// edi-central-server: the reference central server units are tested and demonstrated against.
#include "central/command_line.h"
#include "central/contas.h"
#include "central/moment.h"
#include "central/postgres_store.h"
#include "central/server.h"
#include "central/sqlite_store.h"
#include "central/web_root.h"
#include "platform/linha_de_comando.h"

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <pthread.h>

namespace {

using namespace edi;
using namespace edi::central;

int serve(const ServerConfig& config) {
    // Blocked before any thread starts, so every thread inherits the mask and only sigtimedwait sees the signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::cout << platform::linhaDeVersao("edi-central-server") << std::endl;
    CentralServer server(config);
    server.start();
    const timespec poll{0, 250'000'000};
    while (server.isRunning()) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &poll);
        if (signal == SIGTERM || signal == SIGINT) {
            server.stop();
            return 0;
        }
    }
    std::cerr << "edi-central-server: o servidor deixou de escutar\n";
    return 1;
}

int publish(const PublishCommand& command) {
    const Publication p = publishUpdate(WebRoot(command.root), command.file, command.details);
    std::cout << "published " << p.nome << " (DESTINO " << p.destino << ", TIPO " << p.tipo << ", EXEC " << p.exec
              << ") at " << formatMoment(p.publicado) << "\n";
    return 0;
}

// The password of an account, never from the command line itself.
std::string readPassword(const std::string& from) {
    std::string password;
    if (from == "env") {
        const char* value = std::getenv("EDI_SENHA_CONTA");
        password = value ? value : "";
    } else if (std::getline(std::cin, password) && !password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    if (password.empty())
        throw Error(from == "env" ? "a variável EDI_SENHA_CONTA está vazia" : "nenhuma senha na entrada padrão");
    return password;
}

// The accounts live in the state database; a state file of an earlier version must be taken over by the server
// first, or the new database would hide it.
std::unique_ptr<CentralStore> openedState(const std::filesystem::path& folder, const std::string& postgres) {
    if (!postgres.empty())
        return std::make_unique<PostgresStore>(postgres);
    const WebRoot root(folder);
    if (!std::filesystem::exists(root.stateFile()) && std::filesystem::exists(root.legacyStateFile()))
        throw Error("o estado em " + root.legacyStateFile().string() +
                    " ainda não foi migrado: inicie o servidor uma vez antes de criar contas");
    root.prepare();
    return std::make_unique<SqliteStore>(root.stateFile(), root.uploads());
}

int account(const AccountCommand& command) {
    const auto stored = openedState(command.root, command.postgres);
    CentralStore& store = *stored;
    const std::optional<Conta> old = store.conta(command.login);
    if (!old && command.passwordFrom.empty())
        throw Error("a conta " + command.login + " é nova: dê a senha com --password-from stdin ou env");
    Conta conta = old.value_or(Conta{command.login, {}, std::nullopt, false});
    if (command.unit)
        conta.unidade = command.unit;
    if (command.operador)
        conta.operador = *command.operador;
    if (!command.passwordFrom.empty())
        conta.hashSenha = hashDeSenha(readPassword(command.passwordFrom));
    store.gravaConta(conta);
    std::cout << (old ? "alterada" : "criada") << " a conta " << conta.login << " ("
              << (conta.unidade ? "unidade " + std::to_string(*conta.unidade) : std::string("sem unidade"))
              << (conta.operador ? ", operador" : "") << ")\n";
    return 0;
}

int accounts(const AccountsCommand& command) {
    for (const Conta& c : openedState(command.root, command.postgres)->contas())
        std::cout << c.login << '\t' << (c.unidade ? std::to_string(*c.unidade) : std::string("-")) << '\t'
                  << (c.operador ? "operador" : "-") << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (const auto respondido = platform::respondeAjudaOuVersao(argc, argv, "edi-central-server", kUsage))
        return *respondido;
    try {
        const Command command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (std::holds_alternative<HelpCommand>(command)) {
            std::cout << kUsage;
            return 0;
        }
        if (const auto* p = std::get_if<PublishCommand>(&command))
            return publish(*p);
        if (const auto* a = std::get_if<AccountCommand>(&command))
            return account(*a);
        if (const auto* a = std::get_if<AccountsCommand>(&command))
            return accounts(*a);
        return serve(std::get<ServeCommand>(command).config);
    } catch (const UsageError& e) {
        return edi::platform::erroDeUso("edi-central-server", e.what());
    } catch (const std::exception& e) {
        std::cerr << "edi-central-server: " << e.what() << "\n";
        return 1;
    }
}
