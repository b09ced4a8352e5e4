#include "tools/smtp.h"

#include "core/errors.h"
#include "core/formats.h"
#include "platform/system_info.h"

#include <curl/curl.h>

#include <array>
#include <cstdio>
#include <ctime>

namespace edi::tools {

namespace {

// RFC 2047 for a header text that is not plain ASCII.
std::string cabecalhoCodificado(const std::string& texto) {
    bool ascii = true;
    for (unsigned char c : texto)
        ascii = ascii && c >= 0x20 && c < 0x7f;
    if (ascii)
        return texto;
    static const char* const alfabeto = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string b64;
    for (size_t i = 0; i < texto.size(); i += 3) {
        unsigned n = static_cast<unsigned char>(texto[i]) << 16;
        if (i + 1 < texto.size())
            n |= static_cast<unsigned char>(texto[i + 1]) << 8;
        if (i + 2 < texto.size())
            n |= static_cast<unsigned char>(texto[i + 2]);
        b64 += alfabeto[(n >> 18) & 63];
        b64 += alfabeto[(n >> 12) & 63];
        b64 += i + 1 < texto.size() ? alfabeto[(n >> 6) & 63] : '=';
        b64 += i + 2 < texto.size() ? alfabeto[n & 63] : '=';
    }
    return "=?UTF-8?B?" + b64 + "?=";
}

// "Date:" in the fixed English form mail wants, whatever the process locale.
std::string dataRfc5322() {
    static const std::array<const char*, 7> dias{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const std::array<const char*, 12> meses{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t agora = std::time(nullptr);
    std::tm tm{};
    localtime_r(&agora, &tm);
    const long fuso = tm.tm_gmtoff / 60;
    char texto[64];
    std::snprintf(texto, sizeof texto, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", dias[tm.tm_wday % 7], tm.tm_mday,
                  meses[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec, fuso < 0 ? '-' : '+',
                  (fuso < 0 ? -fuso : fuso) / 60, (fuso < 0 ? -fuso : fuso) % 60);
    return texto;
}

std::string juntaLinhas(const std::vector<std::string>& linhas) {
    std::string corpo;
    for (const auto& l : linhas)
        corpo.append(l).append("\r\n");
    return corpo;
}

struct Lista {
    curl_slist* p = nullptr;
    ~Lista() { curl_slist_free_all(p); }
    void add(const std::string& s) {
        if (curl_slist* n = curl_slist_append(p, s.c_str()))
            p = n;
        else
            throw TransportError("Sem memória para montar o e-mail");
    }
};

struct Mime {
    curl_mime* p = nullptr;
    explicit Mime(CURL* curl) : p(curl_mime_init(curl)) {}
    ~Mime() { curl_mime_free(p); }
};

std::string textoDoErro(CURLcode codigo, const ContaSmtp& conta, const char* detalhe) {
    const std::string servidor = conta.host + ":" + std::to_string(conta.porta);
    std::string texto;
    switch (codigo) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT: texto = "Não foi possível conectar ao servidor de e-mail " + servidor; break;
    case CURLE_OPERATION_TIMEDOUT: texto = "O servidor de e-mail " + servidor + " não respondeu a tempo"; break;
    case CURLE_LOGIN_DENIED: texto = "O servidor de e-mail " + servidor + " recusou o usuário ou a senha"; break;
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
        texto = "O servidor de e-mail " + servidor +
                " ofereceu conexão cifrada e não a estabeleceu; a senha não foi enviada";
        break;
    default: texto = "Falha ao enviar o e-mail pelo servidor " + servidor;
    }
    return texto + " (" + (detalhe && *detalhe ? detalhe : curl_easy_strerror(codigo)) + ")";
}

} // namespace

std::vector<std::string> ListaDeEnderecos(const std::string& texto) {
    std::vector<std::string> enderecos;
    std::string item;
    bool aspas = false, angulo = false;
    auto fecha = [&] {
        std::string s = formats::trim(item);
        const size_t abre = s.find('<');
        if (abre != std::string::npos)
            s = formats::trim(s.substr(abre + 1, s.find('>', abre) - abre - 1));
        if (!s.empty())
            enderecos.push_back(s);
        item.clear();
    };
    for (char c : texto) {
        if (c == '"' && !angulo)
            aspas = !aspas;
        else if (c == '<' && !aspas)
            angulo = true;
        else if (c == '>' && !aspas)
            angulo = false;
        if ((c == ',' || c == ';') && !aspas && !angulo)
            fecha();
        else
            item += c;
    }
    fecha();
    return enderecos;
}

struct ClienteSmtp::Impl {
    CURL* curl = curl_easy_init();
    // Learned once per client: this server offers no STARTTLS, so plain submission is all there is.
    bool servidorSemTls = false;
    bool ofereceuStartTls = false;
    char erro[CURL_ERROR_SIZE] = {};

    ~Impl() { curl_easy_cleanup(curl); }

    static int observa(CURL*, curl_infotype tipo, char* dados, size_t tamanho, void* eu) {
        if (tipo == CURLINFO_HEADER_IN) {
            const std::string linha = formats::toUpper(std::string_view(dados, tamanho));
            if (linha.rfind("250", 0) == 0 && linha.find("STARTTLS") != std::string::npos)
                static_cast<Impl*>(eu)->ofereceuStartTls = true;
        }
        return 0;
    }

    CURLcode transfere(bool exigeTls) {
        ofereceuStartTls = false;
        erro[0] = '\0';
        curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(exigeTls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
        return curl_easy_perform(curl);
    }
};

ClienteSmtp::ClienteSmtp() : impl_(std::make_unique<Impl>()) {
    if (!impl_->curl)
        throw TransportError("Não foi possível iniciar o cliente de e-mail");
}

ClienteSmtp::~ClienteSmtp() = default;

void ClienteSmtp::envia(const ContaSmtp& conta, const MensagemSmtp& mensagem) {
    if (mensagem.para.empty())
        throw TransportError("Nenhum destinatário em \"Para\"");
    CURL* curl = impl_->curl;
    const bool smtps = conta.porta == 465; // the port of implicit TLS
    const std::string host = conta.host.find(':') != std::string::npos ? "[" + conta.host + "]" : conta.host;
    std::string nome = platform::NomeDoComputador();
    if (nome.empty())
        nome = "edi";
    const std::string url =
        std::string(smtps ? "smtps://" : "smtp://") + host + ":" + std::to_string(conta.porta) + "/" + nome;

    Lista destinatarios, cabecalhos;
    std::string para;
    for (const auto& d : mensagem.para) {
        destinatarios.add("<" + d + ">");
        para += (para.empty() ? "" : ", ") + d;
    }
    cabecalhos.add("Date: " + dataRfc5322());
    cabecalhos.add("From: " + mensagem.de);
    cabecalhos.add("To: " + para);
    cabecalhos.add("Subject: " + cabecalhoCodificado(mensagem.assunto));

    Mime mime(curl);
    curl_mimepart* corpo = curl_mime_addpart(mime.p);
    const std::string texto = juntaLinhas(mensagem.linhas);
    curl_mime_data(corpo, texto.c_str(), texto.size());
    curl_mime_type(corpo, ((mensagem.tipo.empty() ? "text/plain" : mensagem.tipo) + "; charset=UTF-8").c_str());
    curl_mime_encoder(corpo, "quoted-printable");
    for (const auto& anexo : mensagem.anexos) {
        curl_mimepart* parte = curl_mime_addpart(mime.p);
        if (curl_mime_filedata(parte, anexo.c_str()) != CURLE_OK)
            throw TransportError("Não foi possível ler o anexo " + anexo.string());
        curl_mime_encoder(parte, "base64");
    }

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERNAME, conta.usuario.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, conta.senha.c_str());
    curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(conta.esperaConexaoMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(conta.limiteTotalMs));
    curl_easy_setopt(curl, CURLOPT_CAINFO, conta.certificados.empty() ? nullptr : conta.certificados.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, ("<" + mensagem.de + ">").c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, destinatarios.p);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, cabecalhos.p);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime.p);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, impl_->erro);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &Impl::observa);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, impl_.get());
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L); // feeds the observer above, prints nothing

    // TLS is required first: with "try", a server that offers STARTTLS and then refuses it would get the
    // password in the clear. Only a server that never offered it is spoken to in plain text.
    CURLcode rc = impl_->transfere(!smtps && !impl_->servidorSemTls);
    if (rc == CURLE_USE_SSL_FAILED && !impl_->ofereceuStartTls && !smtps) {
        impl_->servidorSemTls = true;
        rc = impl_->transfere(false);
    }
    // The options point at locals of this call.
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, nullptr);
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (rc != CURLE_OK)
        throw TransportError(textoDoErro(rc, conta, impl_->erro));
}

} // namespace edi::tools
