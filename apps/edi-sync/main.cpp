// edi-sync: the synchronization cycle without windows, for servers, scripts and tests.
#include "app/console_ui.h"
#include "core/errors.h"
#include "shell/programa.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <thread>
#include <vector>

namespace {

std::atomic<bool> parar{false};

void pedeParada(int) { parar = true; }

void uso() {
    std::cerr << "usage: edi-sync [--home DIR] [--daemon] [--verbose] [STAGE...]\n"
                 "  no stage: one start-up run (export, send, receive, import, update)\n"
                 "  stages: export send receive import update reset-marks\n"
                 "  --daemon: the start-up run, then a timer run every \"Tempo\" minutes of jaq.ini\n";
}

// Prints what the engine logged during a stage, so failures of single tables and rows are seen.
void mostraLog(edi::Programa& p, size_t& jaMostrado) {
    const std::string& log = p.engine().lbLog();
    for (size_t inicio = jaMostrado; inicio < log.size();) {
        const size_t fim = log.find('\r', inicio);
        std::cout << "[engine] " << log.substr(inicio, fim - inicio) << '\n';
        inicio = fim == std::string::npos ? log.size() : fim + 1;
    }
    jaMostrado = log.size();
}

} // namespace

int main(int argc, char** argv) {
    std::string home;
    bool daemon = false, verbose = false;
    std::vector<std::string> etapas;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--home" && i + 1 < argc)
            home = argv[++i];
        else if (a == "--daemon")
            daemon = true;
        else if (a == "--verbose")
            verbose = true;
        else if (a == "-h" || a == "--help") {
            uso();
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            uso();
            return 2;
        } else
            etapas.push_back(a);
    }

    edi::ConsoleUi ui(std::cout, verbose);
    std::unique_ptr<edi::Programa> programa;
    try {
        programa = std::make_unique<edi::Programa>(edi::pastaDoPrograma(home, argv[0]), ui);
    } catch (const std::exception& e) {
        std::cerr << "edi-sync: " << e.what() << std::endl;
        return 1;
    }
    edi::Programa& p = *programa;
    edi::CicloEDI& ciclo = p.ciclo();
    const std::map<std::string, std::function<void()>> porNome = {
        {"export", [&] { ciclo.Exportar1Click(); }},
        {"send", [&] { ciclo.Enviar1Click(); }},
        {"receive", [&] { ciclo.Receber1Click(); }},
        {"import", [&] { ciclo.Importar1Click(); }},
        {"update", [&] { ciclo.Aplicao1Click(); }},
        {"reset-marks", [&] { p.engine().MudaTodasDatasExp(); }},
    };
    for (const auto& e : etapas)
        if (!porNome.count(e)) {
            std::cerr << "edi-sync: unknown stage '" << e << "'\n";
            uso();
            return 2;
        }

    size_t logMostrado = 0;
    auto executa = [&](const std::function<void()>& f) {
        try {
            f();
            mostraLog(p, logMostrado);
            return true;
        } catch (const edi::Abort&) {
            mostraLog(p, logMostrado);
            return true;
        } catch (const std::exception& e) {
            mostraLog(p, logMostrado);
            std::cout << "[error] " << e.what() << std::endl;
            return false;
        }
    };

    bool ok = true;
    if (!etapas.empty()) {
        for (const auto& e : etapas)
            if (!(ok = executa(porNome.at(e))))
                break;
    } else {
        ok = executa([&] { p.ExecucaoInicial(); });
    }
    if (!daemon)
        return ok ? 0 : 1;

    std::signal(SIGTERM, pedeParada);
    std::signal(SIGINT, pedeParada);
    bool timerLigado = true;
    ciclo.habilitaTimer = [&](bool on) { timerLigado = on; };
    while (!parar && ciclo.intervaloMs <= 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // an interval of 0 never ticks
    while (!parar) {
        const auto proxima = std::chrono::steady_clock::now() + std::chrono::milliseconds(ciclo.intervaloMs);
        std::cout << "[status] " << edi::CicloEDI::textoProximaExecucao(ciclo.intervaloMs) << std::endl;
        while (!parar && std::chrono::steady_clock::now() < proxima)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (!parar && timerLigado)
            executa([&] { ciclo.tmEDITimer(); });
    }
    return 0;
}
