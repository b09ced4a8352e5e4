#pragma once

#include "tools/smtp.h"

#include <filesystem>
#include <string>
#include <vector>

namespace edi {
struct Configuracao;
}

namespace edi::tools {

// The e-mail form without its widgets: the fields as text, the body and log memos as lines, and the
// operations. The Qt window TfrmEmail shows these; the error reporter uses them unshown.
class Email {
public:
    // Addresses, account, server and port start from jaq.ini [Email].
    explicit Email(const Configuracao& config);

    std::string edDe, edPara, edUsuario, edSenha, edHost, edPort;
    std::vector<std::string> mmMsg{"MSG Teste"};
    std::vector<std::string> mmLog; // send errors, newest first
    std::string sSubject;

    // Sends what the fields hold; false, with an "ERROR: " line on top of mmLog, when it did not go out.
    // A port that is not a whole number raises ConversionError before anything is tried.
    bool Enviar();
    // The body becomes `sBody` (its lines) and the content type "text/html".
    void AddBody(const std::string& sBody);
    // The body becomes the lines of the file, content type "text/html"; a missing file changes nothing.
    void AddBodyHtml(const std::filesystem::path& sHtml);
    // Adds an existing file as an attachment; a missing one is ignored.
    void AddAttachment(const std::filesystem::path& sAttachment);

    const std::string& contentType() const { return contentType_; }
    const std::vector<std::filesystem::path>& anexos() const { return anexos_; }

private:
    ClienteSmtp SMTP;
    std::string contentType_;
    std::vector<std::filesystem::path> anexos_;
    std::filesystem::path certificados_;
};

// Lines of a text, split at "\n" (a "\r" before it is dropped); no line for a final line break.
std::vector<std::string> linhasDoTexto(const std::string& texto);

} // namespace edi::tools
