#include "support/smtp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace edi::test {

namespace fs = std::filesystem;

namespace {

std::string conteudo(const fs::path& arquivo) {
    std::ifstream in(arquivo, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string script() {
    return EDI_SMTP_SERVER_SCRIPT;
}

} // namespace

ServidorSmtp::ServidorSmtp(Opcoes opcoes) : opcoes_(std::move(opcoes)) {
    int canal[2];
    if (pipe(canal) != 0)
        throw std::runtime_error("pipe");
    std::vector<std::string> args = {"/usr/bin/python3", script(),        "--spool",    pasta_.path().string(),
                                     "--user",           opcoes_.usuario, "--password", opcoes_.senha};
    if (opcoes_.starttls)
        args.insert(args.end(), {"--tls", pasta_.path().string()});
    if (opcoes_.recusaStartTls)
        args.push_back("--refuse-starttls");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t acoes;
    posix_spawn_file_actions_init(&acoes);
    posix_spawn_file_actions_adddup2(&acoes, canal[1], 1);
    posix_spawn_file_actions_addclose(&acoes, canal[0]);
    const int rc = posix_spawn(&pid_, argv[0], &acoes, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&acoes);
    close(canal[1]);
    if (rc != 0) {
        close(canal[0]);
        throw std::runtime_error("cannot start the SMTP server");
    }
    // The first line tells the port; end of file means the server died.
    std::string linha;
    char c;
    while (read(canal[0], &c, 1) == 1 && c != '\n')
        linha += c;
    close(canal[0]);
    if (linha.rfind("PORT ", 0) != 0)
        throw std::runtime_error("the SMTP server did not start: " + linha);
    porta_ = std::stoi(linha.substr(5));
}

ServidorSmtp::~ServidorSmtp() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

std::vector<ServidorSmtp::Mensagem> ServidorSmtp::mensagens() const {
    std::vector<Mensagem> lista;
    for (int n = 0; fs::exists(pasta_ / (std::to_string(n) + ".meta")); ++n) {
        Mensagem m;
        std::istringstream meta(conteudo(pasta_ / (std::to_string(n) + ".meta")));
        for (std::string l; std::getline(meta, l);) {
            const auto igual = l.find('=');
            const std::string chave = l.substr(0, igual), valor = l.substr(igual + 1);
            if (chave == "from")
                m.de = valor;
            else if (chave == "to")
                m.para = valor;
            else if (chave == "subject")
                m.assunto = valor;
            else if (chave == "type")
                m.tipo = valor;
            else if (chave == "mechanism")
                m.mecanismo = valor;
            else if (chave == "tls")
                m.tls = valor == "1";
            else if (chave == "attachments")
                m.anexos = valor;
        }
        m.corpo = conteudo(pasta_ / (std::to_string(n) + ".body"));
        for (int k = 0; fs::exists(pasta_ / (std::to_string(n) + ".att." + std::to_string(k))); ++k)
            m.conteudoDosAnexos.push_back(conteudo(pasta_ / (std::to_string(n) + ".att." + std::to_string(k))));
        lista.push_back(std::move(m));
    }
    return lista;
}

std::vector<std::string> ServidorSmtp::logins() const {
    std::vector<std::string> linhas;
    std::istringstream in(conteudo(pasta_ / "auth.log"));
    for (std::string l; std::getline(in, l);)
        linhas.push_back(l);
    return linhas;
}

PortaMuda::PortaMuda() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), n) != 0 || listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n) != 0)
        throw std::runtime_error("cannot open a silent port");
    porta_ = ntohs(a.sin_port);
}

PortaMuda::~PortaMuda() {
    if (fd_ >= 0)
        close(fd_);
}

} // namespace edi::test
