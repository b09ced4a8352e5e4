#pragma once

#include "support/temp_dir.h"

#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

namespace edi::test {

// A real SMTP server (aiosmtpd) on a free loopback port, in a child process for the life of this object.
// It requires AUTH with the given account and keeps every accepted message, decoded, for the test to read.
class ServidorSmtp {
public:
    struct Opcoes {
        std::string usuario = "edi@unidade.test";
        std::string senha = "segredo-smtp";
        bool starttls = false;       // offers STARTTLS with a self-signed certificate (see certificado())
        bool recusaStartTls = false; // offers STARTTLS and refuses it
    };
    struct Mensagem {
        std::string de, para, assunto, tipo, mecanismo, anexos;
        bool tls = false;
        std::string corpo;
        std::vector<std::string> conteudoDosAnexos;
    };

    ServidorSmtp() : ServidorSmtp(Opcoes{}) {}
    explicit ServidorSmtp(Opcoes opcoes);
    ~ServidorSmtp();
    ServidorSmtp(const ServidorSmtp&) = delete;
    ServidorSmtp& operator=(const ServidorSmtp&) = delete;

    int porta() const { return porta_; }
    const Opcoes& opcoes() const { return opcoes_; }
    std::filesystem::path certificado() const { return pasta_ / "cert.pem"; }
    // The messages accepted so far, in order.
    std::vector<Mensagem> mensagens() const;
    // One line per login attempt: "<mechanism> <user> ok|fail tls=<0|1>".
    std::vector<std::string> logins() const;

private:
    Opcoes opcoes_;
    TempDir pasta_;
    pid_t pid_ = -1;
    int porta_ = 0;
};

// A loopback port that accepts connections and never says a word.
class PortaMuda {
public:
    PortaMuda();
    ~PortaMuda();
    int porta() const { return porta_; }

private:
    int fd_ = -1;
    int porta_ = 0;
};

} // namespace edi::test
