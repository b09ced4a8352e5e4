// edi-sync: the synchronization cycle without windows, for servers, scripts and tests.
#include "app/console_ui.h"
#include "core/errors.h"
#include "platform/linha_de_comando.h"
#include "shell/programa.h"
#include "tools/new_dialog_filter.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <pthread.h>
#include <set>
#include <signal.h>
#include <vector>

namespace {

// SIGTERM and SIGINT are blocked in every thread and taken with sigtimedwait, so a stop request is
// handled between runs and never interrupts the database engine in the middle of its work.
sigset_t sinaisDeParada() {
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, SIGTERM);
    sigaddset(&s, SIGINT);
    return s;
}

// Waits up to `ms` for a stop request; true when one came.
bool paradaPedida(int ms) {
    const sigset_t s = sinaisDeParada();
    timespec t{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    return sigtimedwait(&s, nullptr, &t) > 0;
}

constexpr const char* kAjuda =
    "Uso: edi-sync [--home PASTA] [--daemon] [--verbose] [ETAPA...]\n"
    "Executa o ciclo de sincronização do EDI sem janelas: exporta as linhas pendentes em pacotes de dados,\n"
    "envia-os ao servidor central, recebe e importa os pacotes destinados a esta unidade e aplica as\n"
    "atualizações da aplicação publicadas no servidor.\n"
    "\n"
    "Opções:\n"
    "      --home PASTA  pasta do programa: o jaq.ini e as pastas EDI/IN, EDI/OUT, EDI/PROT e Temp\n"
    "                    (sem ela, a variável de ambiente EDI_HOME; sem esta, a pasta do executável)\n"
    "      --daemon      a execução inicial e depois uma execução a cada \"Tempo\" minutos do jaq.ini,\n"
    "                    até receber SIGTERM ou SIGINT, que só terminam o programa entre execuções\n"
    "      --verbose     mostra também os contadores de registros\n"
    "  -h, --help        mostra esta ajuda e sai\n"
    "      --version     mostra a versão e sai\n"
    "\n"
    "Etapas:\n"
    "  Sem ETAPA, a execução inicial: export, send, receive, import e update, por esta ordem.\n"
    "  Com ETAPA, só as indicadas, pela ordem dada: export send receive import update protocols reset-marks\n"
    "  reimportar\n"
    "  (protocols envia ao servidor central os protocolos de envio pendentes e um resumo deles;\n"
    "  reset-marks apaga a marca de exportação de todas as linhas, que voltam a ser exportadas;\n"
    "  reimportar importa como import e tenta de novo todos os registros retidos em EDI/IN/retidos,\n"
    "  também os que já esperam o operador).\n"
    "\n"
    "Saída:\n"
    "  O estado e as mensagens vão para a saída padrão, uma linha por mudança; a primeira linha diz a versão.\n"
    "  Situação de saída: 0 quando todas as etapas terminaram, 1 quando um erro interrompeu uma etapa ou a\n"
    "  ligação à base de dados falhou, 2 quando a linha de comando está errada.\n";

int erroDeUso(const std::string& texto) { return edi::platform::erroDeUso("edi-sync", texto); }

// Checked with the command line, before the database is opened.
bool ehEtapa(const std::string& nome) {
    static const std::set<std::string> etapas = {"export", "send",      "receive",     "import",
                                                 "update", "protocols", "reset-marks", "reimportar"};
    return etapas.count(nome) > 0;
}

// Prints what the engine logged during a stage, so failures of single tables and rows are seen.
void mostraLog(edi::Programa& p, size_t& jaMostrado) {
    const std::string& log = p.engine().lbLog();
    for (size_t inicio = jaMostrado; inicio < log.size();) {
        const size_t fim = log.find('\r', inicio);
        std::cout << "[log] " << log.substr(inicio, fim - inicio) << '\n';
        inicio = fim == std::string::npos ? log.size() : fim + 1;
    }
    jaMostrado = log.size();
}

} // namespace

int main(int argc, char** argv) {
    if (const int relato = edi::tools::AtendeRelatoDeFalhaFatal(); relato >= 0)
        return relato;
    if (const auto respondido = edi::platform::respondeAjudaOuVersao(argc, argv, "edi-sync", kAjuda))
        return *respondido;
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
        else if (a == "--home")
            return erroDeUso("a opção --home precisa de uma pasta");
        else if (!a.empty() && a[0] == '-')
            return erroDeUso("opção desconhecida: " + a);
        else if (!ehEtapa(a))
            return erroDeUso("etapa desconhecida: " + a);
        else
            etapas.push_back(a);
    }

    if (daemon) {
        const sigset_t s = sinaisDeParada();
        pthread_sigmask(SIG_BLOCK, &s, nullptr); // before any thread exists
    }
    edi::ConsoleUi ui(std::cout, verbose);
    const std::filesystem::path pasta = edi::pastaDoPrograma(home, argv[0]);
    ui.showInformation(edi::platform::linhaDeVersao("edi-sync") + ", pasta do programa " + pasta.string());
    edi::tools::InstalaRelatorDeErros(pasta, nullptr); // no dialog: reports go to standard error
    std::unique_ptr<edi::Programa> programa;
    try {
        programa = std::make_unique<edi::Programa>(pasta, ui);
    } catch (const std::exception& e) {
        std::cerr << "edi-sync: " << e.what() << std::endl;
        return 1;
    }
    edi::Programa& p = *programa;
    const edi::tools::FiltroDoPrograma filtroDeErros(p.config(), p.geral());
    edi::CicloEDI& ciclo = p.ciclo();
    const std::map<std::string, std::function<void()>> porNome = {
        {"export", [&] { ciclo.Exportar1Click(); }},
        {"send", [&] { ciclo.Enviar1Click(); }},
        {"receive", [&] { ciclo.Receber1Click(); }},
        {"import", [&] { ciclo.Importar1Click(); }},
        {"update", [&] { ciclo.Aplicao1Click(); }},
        {"protocols", [&] { p.Protocolo1Click(); }},
        {"reset-marks", [&] { p.engine().MudaTodasDatasExp(); }},
        {"reimportar", [&] { ciclo.Reimportar1Click(); }},
    };

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
            ui.showError(e.what());
            edi::tools::ErrorReporter().HandleException(std::current_exception());
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

    bool timerLigado = true;
    ciclo.habilitaTimer = [&](bool on) { timerLigado = on; };
    if (ciclo.intervaloMs <= 0) { // an interval of 0 never ticks
        while (!paradaPedida(1000)) {
        }
        return 0;
    }
    for (;;) {
        const auto proxima = std::chrono::steady_clock::now() + std::chrono::milliseconds(ciclo.intervaloMs);
        ui.setMessage(edi::CicloEDI::textoProximaExecucao(ciclo.intervaloMs));
        for (auto agora = std::chrono::steady_clock::now(); agora < proxima; agora = std::chrono::steady_clock::now()) {
            const auto falta = std::chrono::duration_cast<std::chrono::milliseconds>(proxima - agora).count();
            if (paradaPedida(static_cast<int>(std::min<long long>(falta, 1000))))
                return 0;
        }
        if (timerLigado)
            executa([&] { ciclo.tmEDITimer(); });
    }
}
