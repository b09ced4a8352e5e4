// A helper process that crashes: the report with its stack reaches the log and the mail, and the process
// still dies of its own cause.
#include "core/files.h"
#include "support/smtp_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace edi::tools {
namespace {

namespace fs = std::filesystem;

size_t ocorrencias(const std::string& texto, const std::string& parte) {
    size_t n = 0;
    for (size_t p = texto.find(parte); p != std::string::npos; p = texto.find(parte, p + 1))
        ++n;
    return n;
}

// Runs the helper on `home` and returns its wait status.
int roda(const fs::path& home, const char* modo) {
    const char* helper = std::getenv("EDI_FATAL_HELPER");
    if (!helper)
        throw std::runtime_error("EDI_FATAL_HELPER not set");
    std::string h = home.string();
    char* argv[] = {const_cast<char*>(helper), h.data(), const_cast<char*>(modo), nullptr};
    posix_spawn_file_actions_t acoes;
    posix_spawn_file_actions_init(&acoes);
    posix_spawn_file_actions_addopen(&acoes, 2, "/dev/null", O_WRONLY, 0); // the report's copy on stderr
    pid_t pid = 0;
    if (posix_spawn(&pid, helper, &acoes, nullptr, argv, environ) != 0)
        throw std::runtime_error("cannot start the helper");
    posix_spawn_file_actions_destroy(&acoes);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

TEST(FatalError, SignalsAndTerminateAreReportedMailedAndTheProcessDiesOfThem) {
    test::ServidorSmtp servidor;
    struct Caso {
        const char* modo;
        int sinal;
        std::vector<std::string> noCorpo;
    };
    const Caso casos[] = {
        {"segv", SIGSEGV, {"Sinal SIGSEGV", "provocaFalhaDeSegmentacao", "fatal_helper.cpp:", "RIP=0x"}},
        {"abort", SIGABRT, {"Sinal SIGABRT", "main (fatal_helper.cpp:"}},
        {"terminate", SIGABRT, {"Exceção std::runtime_error", "lancaSemTratamento", "erro que ninguém tratou"}},
    };
    size_t enviadas = 0;
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.modo);
        test::TempDir home;
        writeFileAtomically(home / "jaq.ini", "[Email]\nHost=127.0.0.1\nPorta=" + std::to_string(servidor.porta()) +
                                                  "\nUsuario=" + servidor.opcoes().usuario + "\nSenha=" +
                                                  servidor.opcoes().senha + "\nPara=suporte@central.test\n");
        const int status = roda(home.path(), c.modo);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), c.sinal);

        const auto m = servidor.mensagens();
        ASSERT_EQ(m.size(), ++enviadas);
        const std::string& corpo = m.back().corpo;
        EXPECT_EQ(m.back().assunto, "Haldren - Erro");
        EXPECT_EQ(ocorrencias(corpo, "Application Error"), 1u) << corpo; // one report, though abort follows
        for (const auto& parte : c.noCorpo)
            EXPECT_NE(corpo.find(parte), std::string::npos) << parte << "\n" << corpo;
        EXPECT_NE(corpo.find("Computer:ESTACAO7\nUnidade:12-Centro de Saúde\nUsuário:-\n"
                             "Sistema:EDI - ( Versão: 2.1.0-04 )\nLocal:" +
                             (home.path() / "").string() + "\n"),
                  std::string::npos)
            << corpo;
        EXPECT_FALSE(fs::exists(home / "EDIMorvanix.log"));
    }
}

} // namespace
} // namespace edi::tools
