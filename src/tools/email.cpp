#include "tools/email.h"

#include "app/configuracao.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"

namespace edi::tools {

std::vector<std::string> linhasDoTexto(const std::string& texto) {
    std::vector<std::string> linhas;
    size_t inicio = 0;
    while (inicio < texto.size()) {
        size_t fim = texto.find('\n', inicio);
        if (fim == std::string::npos)
            fim = texto.size();
        std::string linha = texto.substr(inicio, fim - inicio);
        if (!linha.empty() && linha.back() == '\r')
            linha.pop_back();
        linhas.push_back(std::move(linha));
        inicio = fim + 1;
    }
    return linhas;
}

Email::Email(const Configuracao& config)
    : edDe(config.emailDe), edPara(config.emailPara), edUsuario(config.emailUsuario), edSenha(config.emailSenha),
      edHost(config.emailHost), edPort(std::to_string(config.emailPorta)), certificados_(config.emailCertificados) {}

bool Email::Enviar() {
    const auto porta = formats::parseInteger(formats::trim(edPort));
    if (!porta || *porta <= 0 || *porta > 65535)
        throw ConversionError("'" + edPort + "' não é um número de porta válido");
    ContaSmtp conta;
    conta.porta = static_cast<int>(*porta);
    conta.host = edHost;
    conta.usuario = edUsuario;
    conta.senha = edSenha;
    conta.certificados = certificados_;
    MensagemSmtp mensagem;
    mensagem.linhas = mmMsg;
    mensagem.tipo = contentType_;
    mensagem.anexos = anexos_;
    mensagem.de = edDe;
    mensagem.para = ListaDeEnderecos(edPara);
    mensagem.assunto = sSubject;
    try {
        SMTP.envia(conta, mensagem);
        return true;
    } catch (const std::exception& e) {
        mmLog.insert(mmLog.begin(), std::string("ERROR: ") + e.what());
        return false;
    }
}

void Email::AddBody(const std::string& sBody) {
    mmMsg = linhasDoTexto(sBody);
    contentType_ = "text/html";
}

void Email::AddBodyHtml(const std::filesystem::path& sHtml) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(sHtml, ec))
        return;
    mmMsg = linhasDoTexto(readFile(sHtml));
    contentType_ = "text/html";
}

void Email::AddAttachment(const std::filesystem::path& sAttachment) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(sAttachment, ec))
        anexos_.push_back(sAttachment);
}

} // namespace edi::tools
