// edi-sync: the synchronization cycle without windows, for servers, scripts and tests.
#include "app/configuracao.h"
#include "app/console_ui.h"
#include "app/etapas.h"
#include "core/errors.h"
#include "interchange/estado_do_intercambio.h"
#include "platform/linha_de_comando.h"
#include "shell/programa.h"
#include "tools/new_dialog_filter.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <iostream>
#include <pthread.h>
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

constexpr const char* kAjudaAntes =
    "Uso: edi-sync [--home PASTA] [--daemon] [--verbose] [ETAPA...]\n"
    "     edi-sync [--home PASTA] status [--json]\n"
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
    "Etapas:\n";

constexpr const char* kAjudaDepois =
    "\n"
    "Estado:\n"
    "  status mostra o que espera no intercâmbio, sem executar nenhuma etapa: pacotes em EDI/OUT e EDI/IN,\n"
    "  arquivos ilegíveis separados, registros retidos, o último estado e as linhas por exportar de cada\n"
    "  tabela; do diário do intercâmbio (DiarioIntercambio.txt), o último sucesso e o último erro de cada\n"
    "  etapa, o caminho dos pacotes recentes e as linhas enviadas e recebidas por dia. A base de dados só é\n"
    "  lida quando se deixa abrir (uma base embutida em uso por um ciclo não se deixa) e nada é escrito.\n"
    "  Com --json, um objeto JSON de chaves estáveis (descritas no README).\n"
    "\n"
    "Saída:\n"
    "  O estado e as mensagens vão para a saída padrão, uma linha por mudança; a primeira linha diz a versão.\n"
    "  Situação de saída: 0 quando todas as etapas terminaram, 1 quando um erro interrompeu uma etapa ou a\n"
    "  ligação à base de dados falhou, 2 quando a linha de comando está errada.\n";

// Lines of the help are indented by two and kept within the width of its widest fixed line.
constexpr size_t kLarguraDaAjuda = 104;

size_t colunas(const std::string& texto) {
    size_t n = 0;
    for (const unsigned char c : texto)
        n += (c & 0xC0) != 0x80;
    return n;
}

// `palavras` after `inicio`, broken between words so no line passes the help's width.
std::string quebraLinhas(std::string inicio, const std::vector<std::string>& palavras) {
    std::string texto;
    for (const std::string& p : palavras) {
        if (colunas(inicio) + 1 + colunas(p) > kLarguraDaAjuda) {
            texto += inicio + "\n";
            inicio = "  " + p;
        } else {
            inicio += " " + p;
        }
    }
    return texto + inicio + "\n";
}

// The stages' part of the help, from the table of stages.
std::string ajudaDasEtapas() {
    std::vector<std::string> daExecucao, todas;
    std::string descricoes;
    for (const edi::Etapa& e : edi::etapas()) {
        todas.emplace_back(e.nome);
        if (e.lado != edi::Lado::Fora)
            daExecucao.emplace_back(e.nome);
        if (*e.ajuda) {
            std::string descricao = std::string(e.nome) + " " + e.ajuda;
            for (size_t i = descricao.find('\n'); i != std::string::npos; i = descricao.find('\n', i + 1))
                descricao.insert(i + 1, "  ");
            descricoes += (descricoes.empty() ? "  (" : ";\n  ") + descricao;
        }
    }
    std::string execucao;
    for (size_t i = 0; i < daExecucao.size(); ++i)
        execucao += (i == 0 ? "" : i + 1 == daExecucao.size() ? " e " : ", ") + daExecucao[i];
    return "  Sem ETAPA, a execução inicial: " + execucao + ", por esta ordem.\n" +
           quebraLinhas("  Com ETAPA, só as indicadas, pela ordem dada:", todas) +
           (descricoes.empty() ? "" : descricoes + ").\n");
}

int erroDeUso(const std::string& texto) {
    return edi::platform::erroDeUso("edi-sync", texto);
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

// A command beside the stages: it runs none, writes nothing and opens the database only to read.
int mostraEstado(const std::filesystem::path& pasta, bool json) {
    const edi::Configuracao config = edi::LeConfiguracao(pasta / "jaq.ini");
    const edi::EstadoDoIntercambio estado = edi::leEstadoDoIntercambio(pasta, config);
    std::cout << (json ? edi::jsonDoEstado(estado) : edi::textoDoEstado(estado)) << std::flush;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (const int relato = edi::tools::AtendeRelatoDeFalhaFatal(); relato >= 0)
        return relato;
    const std::string ajuda = kAjudaAntes + ajudaDasEtapas() + kAjudaDepois;
    if (const auto respondido = edi::platform::respondeAjudaOuVersao(argc, argv, "edi-sync", ajuda))
        return *respondido;
    std::string home;
    bool daemon = false, verbose = false, status = false, json = false;
    std::vector<const edi::Etapa*> etapas; // checked with the command line, before the database is opened
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--home" && i + 1 < argc)
            home = argv[++i];
        else if (a == "--daemon")
            daemon = true;
        else if (a == "--verbose")
            verbose = true;
        else if (a == "--json")
            json = true;
        else if (a == "status")
            status = true;
        else if (a == "--home")
            return erroDeUso("a opção --home precisa de uma pasta");
        else if (!a.empty() && a[0] == '-')
            return erroDeUso("opção desconhecida: " + a);
        else if (const edi::Etapa* etapa = edi::etapaPorNome(a))
            etapas.push_back(etapa);
        else
            return erroDeUso("etapa desconhecida: " + a);
    }
    if (json && !status)
        return erroDeUso("a opção --json só vale com status");
    if (status && (daemon || !etapas.empty()))
        return erroDeUso("status não se junta a etapas nem a --daemon");
    if (status)
        return mostraEstado(edi::pastaDoPrograma(home, argv[0]), json);

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
        for (const edi::Etapa* e : etapas)
            if (!(ok = executa([&] { ciclo.executa(*e); })))
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
