#include "tools/pilha.h"

#include <backtrace.h>
#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace edi::tools {

namespace {

constexpr int kQuadros = 48;

backtrace_state* estado() {
    // Threaded, and allocating with mmap: usable from a signal handler.
    static backtrace_state* s = backtrace_create_state(
        nullptr, 1, [](void*, const char*, int) {}, nullptr);
    return s;
}

// One frame's description, gathered by the symbolizer's callbacks into a fixed buffer.
struct Linha {
    char texto[1024];
    size_t tamanho = 0;
    bool demangle = true;
    bool achou = false;

    void acrescenta(const char* s) {
        while (*s && tamanho + 1 < sizeof texto)
            texto[tamanho++] = *s++;
        texto[tamanho] = '\0';
    }
    void acrescentaNumero(unsigned long long v, unsigned base) {
        char digitos[24];
        int i = 0;
        do {
            digitos[i++] = "0123456789abcdef"[v % base];
            v /= base;
        } while (v && i < 24);
        char s[2] = {};
        while (i > 0) {
            s[0] = digitos[--i];
            acrescenta(s);
        }
    }
    void acrescentaFuncao(const char* nome) {
        if (demangle) {
            int status = 0;
            std::unique_ptr<char, decltype(&std::free)> legivel(abi::__cxa_demangle(nome, nullptr, nullptr, &status),
                                                                &std::free);
            if (status == 0 && legivel) {
                acrescenta(legivel.get());
                return;
            }
        }
        acrescenta(nome);
    }
};

void simbolo(void* dados, uintptr_t, const char* nome, uintptr_t, uintptr_t) {
    auto* l = static_cast<Linha*>(dados);
    if (nome) {
        l->acrescentaFuncao(nome);
        l->achou = true;
    }
}

// Inlined calls come innermost first, one callback each; they share the frame's line.
int localCompleto(void* dados, uintptr_t, const char* arquivo, int linha, const char* funcao) {
    auto* l = static_cast<Linha*>(dados);
    if (!funcao && !arquivo)
        return 0;
    if (l->achou)
        l->acrescenta(" <- ");
    l->achou = true;
    l->acrescentaFuncao(funcao ? funcao : "?");
    if (arquivo) {
        l->acrescenta(" (");
        const char* barra = std::strrchr(arquivo, '/');
        l->acrescenta(barra ? barra + 1 : arquivo);
        l->acrescenta(":");
        l->acrescentaNumero(static_cast<unsigned long long>(linha), 10);
        l->acrescenta(")");
    }
    return 0;
}

// `exato`: the address is the faulting instruction itself, not a return address.
void descreveLocal(Linha& l, void* endereco, bool exato) {
    const uintptr_t pc = reinterpret_cast<uintptr_t>(endereco) - (exato ? 0 : 1);
    backtrace_pcinfo(
        estado(), pc, localCompleto, [](void*, const char*, int) {}, &l);
    if (!l.achou)
        backtrace_syminfo(
            estado(), pc, simbolo, [](void*, const char*, int) {}, &l);
    if (!l.achou)
        l.acrescenta("?");
}

void descreveModulo(Linha& l, void* endereco) {
    Dl_info info{};
    if (dladdr(endereco, &info) && info.dli_fname) {
        const char* barra = std::strrchr(info.dli_fname, '/');
        l.acrescenta(barra ? barra + 1 : info.dli_fname);
        l.acrescenta("+0x");
        l.acrescentaNumero(reinterpret_cast<uintptr_t>(endereco) - reinterpret_cast<uintptr_t>(info.dli_fbase), 16);
    } else {
        l.acrescenta("?");
    }
}

void descreveQuadro(Linha& l, int indice, void* endereco, bool exato) {
    l.acrescenta("  #");
    l.acrescentaNumero(static_cast<unsigned>(indice), 10);
    l.acrescenta(" 0x");
    l.acrescentaNumero(reinterpret_cast<uintptr_t>(endereco), 16);
    l.acrescenta(" ");
    descreveLocal(l, endereco, exato);
    l.acrescenta(" [");
    descreveModulo(l, endereco);
    l.acrescenta("]\n");
}

} // namespace

Pilha pilhaAtual(int pular) {
    void* quadros[kQuadros];
    const int n = backtrace(quadros, kQuadros);
    const int inicio = std::min(n, 1 + pular);
    return Pilha(quadros + inicio, quadros + n);
}

std::string descrevePilha(const Pilha& pilha) {
    std::string texto;
    for (size_t i = 0; i < pilha.size(); ++i) {
        Linha l;
        descreveQuadro(l, static_cast<int>(i), pilha[i], false);
        texto.append(l.texto, l.tamanho);
    }
    return texto;
}

std::string localDoEndereco(void* endereco) {
    Linha l;
    descreveLocal(l, endereco, false);
    return std::string(l.texto, l.tamanho);
}

std::string moduloDoEndereco(void* endereco) {
    Linha l;
    descreveModulo(l, endereco);
    return std::string(l.texto, l.tamanho);
}

void escrevePilhaNoDescritor(int fd, void* const* enderecos, int n) {
    for (int i = 0; i < n; ++i) {
        Linha l;
        l.demangle = false; // the demangler allocates
        descreveQuadro(l, i, enderecos[i], i == 0);
        if (write(fd, l.texto, l.tamanho) < 0)
            return;
    }
}

void preparaPilha() {
    void* quadros[2];
    backtrace(quadros, 2); // loads the unwinder now, not inside a signal handler
    estado();
}

} // namespace edi::tools
