#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace edi::tools {

// Return addresses, innermost first.
using Pilha = std::vector<void*>;

// The stack at the throw of the exception object at `objeto` (its most derived address), when this thread
// threw it recently; empty otherwise.
Pilha pilhaDoLancamento(const void* objeto);
// The caller's stack, without this function's own frame and `pular` more.
Pilha pilhaAtual(int pular = 0);

// One line per frame (inlined calls get their own lines): address, function, source file and line when
// the build carries debug information, and the module with the offset inside it.
std::string descrevePilha(const Pilha& pilha);
// "função (arquivo:linha)" or "função" or "?" for one address.
std::string localDoEndereco(void* endereco);
// "módulo+0xdeslocamento" for one address.
std::string moduloDoEndereco(void* endereco);

// For a fatal signal: writes the frames to `fd` without allocating from the heap. The first frame is the
// exact address of the fault; the others are return addresses.
void escrevePilhaNoDescritor(int fd, void* const* enderecos, int n);

// Loads what the fatal path needs later (the unwinder, the symbolizer's state), while the process is sound.
void preparaPilha();

} // namespace edi::tools
