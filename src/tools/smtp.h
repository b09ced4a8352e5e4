#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace edi::tools {

// Where a message goes and how the client logs in.
struct ContaSmtp {
    std::string host;
    int porta = 587;
    std::string usuario, senha;
    // A bundle of certificate authorities for STARTTLS; empty means the system's.
    std::filesystem::path certificados;
    int esperaConexaoMs = 1000;
    // A server that greets and then stops answering must not hold the window for ever.
    int limiteTotalMs = 60000;
};

struct MensagemSmtp {
    std::string de;
    std::vector<std::string> para;
    std::string assunto;
    std::vector<std::string> linhas; // the body, one entry per line
    std::string tipo;                // empty: plain text; else e.g. "text/html"
    std::vector<std::filesystem::path> anexos;
};

// The addresses of a recipient field: separated by "," or ";", each bare or as "Name <addr>".
std::vector<std::string> ListaDeEnderecos(const std::string& texto);

// An SMTP client that keeps its connection between messages. It authenticates with LOGIN and upgrades with
// STARTTLS whenever the server offers it; a server that offered it and then failed to encrypt never sees
// the password.
class ClienteSmtp {
public:
    ClienteSmtp();
    ~ClienteSmtp();
    ClienteSmtp(const ClienteSmtp&) = delete;
    ClienteSmtp& operator=(const ClienteSmtp&) = delete;

    // Submits the message; TransportError with a message for people when the server did not accept it.
    void envia(const ContaSmtp& conta, const MensagemSmtp& mensagem);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace edi::tools
