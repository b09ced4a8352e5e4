// edi-central-server: the reference central server units are tested and demonstrated against.
#include "central/command_line.h"
#include "central/moment.h"
#include "central/server.h"
#include "platform/linha_de_comando.h"

#include <csignal>
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
        return serve(std::get<ServeCommand>(command).config);
    } catch (const UsageError& e) {
        return edi::platform::erroDeUso("edi-central-server", e.what());
    } catch (const std::exception& e) {
        std::cerr << "edi-central-server: " << e.what() << "\n";
        return 1;
    }
}
