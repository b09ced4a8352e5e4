#include "tools/falha_fatal.h"

#include "tools/error_reporter.h"
#include "tools/pilha.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <stdexcept>

namespace edi::tools {

namespace fs = std::filesystem;

namespace {

// Everything the signal handler reads is prepared beforehand in fixed storage.
char gLog[4096];
char gExe[4096];
char gIni[4096];
std::atomic<const UGeral*> gGeral{nullptr};
long gFusoSegundos = 0;
alignas(16) char gPilhaAlternativa[256 * 1024];

constexpr int kSinais[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};

void copia(char* destino, size_t tamanho, const std::string& texto) {
    const size_t n = std::min(texto.size(), tamanho - 1);
    std::memcpy(destino, texto.data(), n);
    destino[n] = '\0';
}

// A line built in a fixed buffer, for the handler: no heap.
struct Escrita {
    char texto[8192];
    size_t n = 0;
    Escrita& operator<<(const char* s) {
        while (s && *s && n + 1 < sizeof texto)
            texto[n++] = *s++;
        return *this;
    }
    Escrita& operator<<(const std::string& s) { // reads an existing string; allocates nothing
        for (char c : s)
            if (n + 1 < sizeof texto)
                texto[n++] = c;
        return *this;
    }
    Escrita& numero(unsigned long long v, unsigned base, int largura = 1) {
        char d[24];
        int i = 0;
        do {
            d[i++] = "0123456789abcdef"[v % base];
            v /= base;
        } while (v && i < 24);
        while (i < largura && i < 24)
            d[i++] = '0';
        while (i > 0 && n + 1 < sizeof texto)
            texto[n++] = d[--i];
        return *this;
    }
    Escrita& hex(unsigned long long v) { return (*this << "0x").numero(v, 16); }
    void grava(int fd) {
        size_t feito = 0;
        while (feito < n) {
            const ssize_t w = write(fd, texto + feito, n - feito);
            if (w <= 0)
                break;
            feito += static_cast<size_t>(w);
        }
        n = 0;
    }
};

const char* nomeDoSinal(int sinal) {
    switch (sinal) {
    case SIGSEGV: return "SIGSEGV (acesso inválido à memória)";
    case SIGABRT: return "SIGABRT (término anormal)";
    case SIGBUS: return "SIGBUS (erro de barramento)";
    case SIGFPE: return "SIGFPE (erro aritmético)";
    case SIGILL: return "SIGILL (instrução ilegal)";
    default: return "sinal fatal";
    }
}

// The local date and time from the clock and the offset taken at installation (localtime is not safe here).
void escreveMomento(Escrita& e) {
    timespec agora{};
    clock_gettime(CLOCK_REALTIME, &agora);
    const long long local = agora.tv_sec + gFusoSegundos;
    long long dias = local / 86400;
    const long long seg = local % 86400;
    dias += 719468; // days from 0000-03-01 to 1970-01-01
    const long long era = dias / 146097;
    const long long doe = dias - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long dia = doy - (153 * mp + 2) / 5 + 1;
    const long long mes = mp < 10 ? mp + 3 : mp - 9;
    const long long ano = yoe + era * 400 + (mes <= 2);
    e.numero(static_cast<unsigned long long>(dia), 10, 2) << "/";
    e.numero(static_cast<unsigned long long>(mes), 10, 2) << "/";
    e.numero(static_cast<unsigned long long>(ano), 10, 4) << " ";
    e.numero(static_cast<unsigned long long>(seg / 3600), 10, 2) << ":";
    e.numero(static_cast<unsigned long long>(seg / 60 % 60), 10, 2) << ":";
    e.numero(static_cast<unsigned long long>(seg % 60), 10, 2);
}

void escreveContexto(Escrita& e, const ucontext_t* uc) {
#if defined(__x86_64__)
    static const struct {
        const char* nome;
        int indice;
    } registros[] = {{"RIP", REG_RIP}, {"RSP", REG_RSP}, {"RBP", REG_RBP}, {"RAX", REG_RAX}, {"RBX", REG_RBX},
                     {"RCX", REG_RCX}, {"RDX", REG_RDX}, {"RSI", REG_RSI}, {"RDI", REG_RDI}, {"R8", REG_R8},
                     {"R9", REG_R9},   {"R10", REG_R10}, {"R11", REG_R11}, {"R12", REG_R12}, {"R13", REG_R13},
                     {"R14", REG_R14}, {"R15", REG_R15}, {"EFL", REG_EFL}};
    int i = 0;
    for (const auto& r : registros) {
        e << (i++ % 4 == 0 ? "  " : " ") << r.nome << "=";
        e.hex(static_cast<unsigned long long>(uc->uc_mcontext.gregs[r.indice]));
        if (i % 4 == 0)
            e << "\n";
    }
    e << "\n";
#else
    (void)uc;
    e << "  indisponível nesta arquitetura\n";
#endif
}

void* enderecoDaFalha(const ucontext_t* uc) {
#if defined(__x86_64__)
    return reinterpret_cast<void*>(uc->uc_mcontext.gregs[REG_RIP]);
#else
    (void)uc;
    return nullptr;
#endif
}

// A fresh copy of the program mails the log; this process may have a broken heap.
void pedeEnvioDoLog() {
    const UGeral* geral = gGeral.load();
    if (!geral || !gExe[0] || !gIni[0])
        return;
    static char variaveis[7][2048];
    static const char* const nomes[] = {
        "EDI_RELATO_LOG=",     "EDI_RELATO_INI=",     "EDI_RELATO_COMPUTER=", "EDI_RELATO_UNIDADE=",
        "EDI_RELATO_USUARIO=", "EDI_RELATO_SISTEMA=", "EDI_RELATO_LOCAL="};
    const char* valores[] = {gLog, gIni, nullptr, nullptr, nullptr, nullptr, nullptr};
    const std::string* textos[] = {nullptr,
                                   nullptr,
                                   &geral->sLogComputer,
                                   &geral->sLogUnidade,
                                   &geral->sLogUsuario,
                                   &geral->sLogSistema,
                                   &geral->sPath.native()};
    char* ambiente[8];
    for (int i = 0; i < 7; ++i) {
        Escrita e;
        e << nomes[i];
        if (valores[i])
            e << valores[i];
        else
            e << *textos[i];
        const size_t n = std::min(e.n, sizeof variaveis[i] - 1);
        std::memcpy(variaveis[i], e.texto, n);
        variaveis[i][n] = '\0';
        ambiente[i] = variaveis[i];
    }
    ambiente[7] = nullptr;
    char* argumentos[] = {gExe, nullptr};
    const pid_t filho = _Fork(); // no fork handlers: they take locks the crash may hold
    if (filho == 0) {
        execve(gExe, argumentos, ambiente);
        _exit(127);
    }
    if (filho > 0)
        while (waitpid(filho, nullptr, 0) < 0 && errno == EINTR) {
        }
}

void morreDe(int sinal) {
    signal(sinal, SIG_DFL);
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, sinal);
    pthread_sigmask(SIG_UNBLOCK, &s, nullptr);
    raise(sinal);
    _exit(128 + sinal);
}

void aoSinal(int sinal, siginfo_t* info, void* contexto) {
    static std::atomic_flag dentro = ATOMIC_FLAG_INIT;
    if (dentro.test_and_set()) // a second fault while reporting the first
        morreDe(sinal);
    const auto* uc = static_cast<const ucontext_t*>(contexto);
    void* falha = enderecoDaFalha(uc);

    void* quadros[64];
    int n = backtrace(quadros, 64);
    // Drop the handler's own frames: the trace starts at the faulting instruction.
    int inicio = 0;
    for (int i = 0; i < n; ++i)
        if (quadros[i] == falha) {
            inicio = i;
            break;
        }
    if (inicio == 0 && falha && n < 64) {
        // Not found (a raise() from a library): keep all, the fault's address first.
        for (int i = n; i > 0; --i)
            quadros[i] = quadros[i - 1];
        quadros[0] = falha;
        ++n;
    }

    const int fd = open(gLog, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    const int saida = fd >= 0 ? fd : STDERR_FILENO;
    Escrita e;
    e << "======== ";
    escreveMomento(e);
    e << " ========\nApplication Error\nSinal " << nomeDoSinal(sinal) << " no endereço ";
    e.hex(reinterpret_cast<uintptr_t>(info ? info->si_addr : nullptr)) << ", instrução ";
    e.hex(reinterpret_cast<uintptr_t>(falha)) << ": o processo foi terminado\nPilha de chamadas:\n";
    e.grava(saida);
    escrevePilhaNoDescritor(saida, quadros + inicio, n - inicio);
    e << "Contexto do processador:\n";
    escreveContexto(e, uc);
    e << "\n";
    e.grava(saida);
    if (fd >= 0) {
        close(fd);
        pedeEnvioDoLog();
    }
    morreDe(sinal);
}

void aoTerminar() {
    static std::atomic_flag ja = ATOMIC_FLAG_INIT;
    if (!ja.test_and_set()) {
        std::exception_ptr erro = std::current_exception();
        if (!erro)
            erro = std::make_exception_ptr(std::logic_error("std::terminate chamado sem exceção ativa"));
        ErrorReporter().HandleException(erro, true);
    }
    signal(SIGABRT, SIG_DFL); // already reported: the abort below is no second error
    std::abort();
}

} // namespace

void instalaGanchosFatais(const fs::path& log) {
    copia(gLog, sizeof gLog, log.string());
    std::error_code ec;
    copia(gExe, sizeof gExe, fs::read_symlink("/proc/self/exe", ec).string());
    const std::time_t agora = std::time(nullptr);
    std::tm tm{};
    localtime_r(&agora, &tm);
    gFusoSegundos = tm.tm_gmtoff;
    preparaPilha();

    std::set_terminate(aoTerminar);
    stack_t pilha{};
    pilha.ss_sp = gPilhaAlternativa;
    pilha.ss_size = sizeof gPilhaAlternativa;
    sigaltstack(&pilha, nullptr); // a stack overflow still gets its report
    struct sigaction acao {};
    acao.sa_sigaction = aoSinal;
    acao.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&acao.sa_mask);
    for (int sinal : kSinais)
        sigaction(sinal, &acao, nullptr);
}

void informaMalaDireta(const fs::path& ini, const UGeral* geral) {
    copia(gIni, sizeof gIni, ini.string());
    gGeral.store(geral);
}

std::optional<PedidoDeRelato> pedidoDeRelatoFatal() {
    const char* log = std::getenv("EDI_RELATO_LOG");
    const char* ini = std::getenv("EDI_RELATO_INI");
    if (!log || !ini)
        return std::nullopt;
    auto valor = [](const char* nome) {
        const char* v = std::getenv(nome);
        return std::string(v ? v : "");
    };
    PedidoDeRelato p;
    p.log = log;
    p.ini = ini;
    p.geral.sLogComputer = valor("EDI_RELATO_COMPUTER");
    p.geral.sLogUnidade = valor("EDI_RELATO_UNIDADE");
    p.geral.sLogUsuario = valor("EDI_RELATO_USUARIO");
    p.geral.sLogSistema = valor("EDI_RELATO_SISTEMA");
    p.geral.sPath = valor("EDI_RELATO_LOCAL");
    return p;
}

} // namespace edi::tools
