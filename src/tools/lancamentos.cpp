// The stacks of recent throws. Kept apart: the hook below must not see <cxxabi.h>, whose declaration of the
// throw function differs from the compiler's own.
#include "tools/pilha.h"

#include <dlfcn.h>
#include <execinfo.h>

#include <array>

namespace edi::tools {

constexpr int kQuadros = 48;

// The last throws of this thread with their stacks; the catch site finds its own by the object's address.
struct Lancamento {
    const void* objeto = nullptr;
    int n = 0;
    void* quadros[kQuadros];
};

namespace {

thread_local std::array<Lancamento, 8> tLancamentos;
thread_local unsigned tProximo = 0;

} // namespace

Lancamento& novoLancamento(const void* objeto);

Lancamento& novoLancamento(const void* objeto) {
    Lancamento& l = tLancamentos[tProximo++ % tLancamentos.size()];
    l.objeto = objeto;
    l.n = 0;
    return l;
}

Pilha pilhaDoLancamento(const void* objeto) {
    // Newest first: an earlier exception may have lived at the same address.
    for (unsigned i = 1; i <= tLancamentos.size(); ++i) {
        const Lancamento& l = tLancamentos[(tProximo - i) % tLancamentos.size()];
        if (objeto && l.objeto == objeto && l.n > 1)
            return Pilha(l.quadros + 1, l.quadros + l.n); // without the throw hook itself
    }
    return {};
}

} // namespace edi::tools

// Every C++ throw of the program passes here first: the stack of the throw is kept, so a report shows where an
// error was raised and not only where it was caught.
extern "C" [[noreturn]] void __cxa_throw(void* objeto, void* tipo, void (*destrutor)(void*)) {
    using Lanca = void (*)(void*, void*, void (*)(void*));
    static const Lanca original = reinterpret_cast<Lanca>(dlsym(RTLD_NEXT, "__cxa_throw"));
    edi::tools::Lancamento& l = edi::tools::novoLancamento(objeto);
    l.n = backtrace(l.quadros, edi::tools::kQuadros); // here, so that frame 0 is this function
    original(objeto, tipo, destrutor);
    __builtin_unreachable();
}
