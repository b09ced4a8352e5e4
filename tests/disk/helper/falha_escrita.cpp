// Preloaded into a child process: every write and fsync on a file whose path contains $EDI_FALHA_ESCRITA fails
// with the error number $EDI_FALHA_ERRNO (an I/O error by default), as a failing disk would answer. With
// EDI_FALHA_SO_FSYNC set, the writes go through and only the fsync fails: a write-back error.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/uio.h>
#include <unistd.h>

namespace {

bool falha(int fd) {
    const char* padrao = std::getenv("EDI_FALHA_ESCRITA");
    if (!padrao || !*padrao)
        return false;
    char caminho[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), caminho, sizeof caminho - 1);
    if (n <= 0)
        return false;
    caminho[n] = '\0';
    if (!std::strstr(caminho, padrao))
        return false;
    const char* numero = std::getenv("EDI_FALHA_ERRNO");
    errno = numero ? std::atoi(numero) : EIO;
    return true;
}

template <typename F> F real(const char* nome) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, nome));
}

} // namespace

static bool falhaNaEscrita(int fd) {
    return !std::getenv("EDI_FALHA_SO_FSYNC") && falha(fd);
}

extern "C" ssize_t write(int fd, const void* dados, size_t n) {
    static const auto original = real<ssize_t (*)(int, const void*, size_t)>("write");
    return falhaNaEscrita(fd) ? -1 : original(fd, dados, n);
}

extern "C" ssize_t writev(int fd, const struct iovec* partes, int quantas) {
    static const auto original = real<ssize_t (*)(int, const struct iovec*, int)>("writev");
    return falhaNaEscrita(fd) ? -1 : original(fd, partes, quantas);
}

extern "C" int fsync(int fd) {
    static const auto original = real<int (*)(int)>("fsync");
    return falha(fd) ? -1 : original(fd);
}
