#include "transport/http_client.h"

#include "core/errors.h"
#include "core/files.h"
#include "core/messages.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>

namespace edi::transport {

namespace fs = std::filesystem;

namespace {

void ensureCurlInitialised() {
    static const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (rc != CURLE_OK)
        throw TransportError(msg::withCause("Não foi possível iniciar a biblioteca HTTP", curl_easy_strerror(rc)));
}

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct MimeDeleter {
    void operator()(curl_mime* m) const { curl_mime_free(m); }
};
using MimeHandle = std::unique_ptr<curl_mime, MimeDeleter>;

struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

std::string describeSize(std::uint64_t bytes) {
    constexpr std::uint64_t kib = 1024, mib = kib * 1024;
    if (bytes >= mib && bytes % mib == 0)
        return std::to_string(bytes / mib) + " MiB";
    if (bytes >= kib && bytes % kib == 0)
        return std::to_string(bytes / kib) + " KiB";
    return std::to_string(bytes) + " bytes";
}

bool isSchemeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
           c == '.';
}

bool hasScheme(std::string_view url) {
    const auto pos = url.find("://");
    if (pos == std::string_view::npos || pos == 0)
        return false;
    const char first = url[0];
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z')))
        return false;
    for (char c : url.substr(0, pos))
        if (!isSchemeChar(c))
            return false;
    return true;
}

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// "HTTP/1.1 401 Unauthorized\r\n" -> "Unauthorized"; empty for any other header line.
std::string reasonPhrase(std::string_view line) {
    if (line.substr(0, 5) != "HTTP/")
        return {};
    auto pos = line.find(' ');
    if (pos == std::string_view::npos)
        return {};
    pos = line.find(' ', pos + 1);
    if (pos == std::string_view::npos)
        return {};
    auto reason = line.substr(pos + 1);
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' '))
        reason.remove_suffix(1);
    return std::string(reason);
}

} // namespace

// The transfer error in words an operator understands; the library's own text follows in parentheses.
std::string HttpClient::describeFailure(int code, const char* detail) const {
    const auto rc = static_cast<CURLcode>(code);
    const std::string library = detail && detail[0] ? detail : curl_easy_strerror(rc);
    std::string text;
    switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
        if (library.rfind("Operation too slow", 0) == 0)
            return "transferência abandonada: menos de " + std::to_string(options_.lowSpeedLimit) +
                   " bytes/s durante " + std::to_string(options_.lowSpeedTime.count()) + " s";
        text = "tempo esgotado sem resposta do servidor";
        break;
    case CURLE_COULDNT_CONNECT: text = "não foi possível conectar ao servidor"; break;
    case CURLE_COULDNT_RESOLVE_HOST: text = "servidor não encontrado"; break;
    case CURLE_TOO_MANY_REDIRECTS: text = "redirecionamentos demais, transferência abandonada"; break;
    case CURLE_UNSUPPORTED_PROTOCOL: text = "endereço recusado: só http e https são aceitos"; break;
    case CURLE_URL_MALFORMAT: text = "endereço inválido"; break;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR: text = "a conexão caiu antes do fim da resposta"; break;
    case CURLE_WEIRD_SERVER_REPLY: text = "resposta inválida do servidor"; break;
    case CURLE_PEER_FAILED_VERIFICATION:
        text = "o certificado do servidor não foi verificado, conexão recusada (confira [EDI] CertificadoCA no "
               "jaq.ini)";
        break;
    case CURLE_SSL_CACERT_BADFILE:
        text = "não foi possível ler as autoridades de certificação de [EDI] CertificadoCA, conexão recusada";
        break;
    case CURLE_SSL_CONNECT_ERROR: text = "falha ao estabelecer a conexão segura (https)"; break;
    default: text = "falha na transferência"; break;
    }
    return text + " (" + library + ")";
}

struct HttpClient::Transfer {
    Transfer(std::string u, std::chrono::milliseconds t, std::uint64_t l) : url(std::move(u)), timeout(t), limit(l) {}

    std::string url;                   // completed, with scheme
    std::chrono::milliseconds timeout; // whole request; 0: none
    std::uint64_t limit;               // most body bytes accepted
    bool followRedirects = true;
    // Takes each piece of the body; false stops the transfer (it then sets sinkError).
    std::function<bool(const char*, std::size_t)> sink;
    // Extra set-up on the fresh handle; false stops before the request (it then sets sinkError).
    std::function<bool(CURL*)> configure;

    std::uint64_t received = 0;
    bool overLimit = false;
    std::string sinkError;
    std::string reason; // of the last status line

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto& t = *static_cast<Transfer*>(self);
        const std::size_t n = size * count;
        if (t.received + n > t.limit) {
            t.overLimit = true;
            return 0;
        }
        t.received += n;
        return t.sink(data, n) ? n : 0;
    }

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto& t = *static_cast<Transfer*>(self);
        const std::size_t n = size * count;
        const std::string_view line(data, n);
        if (line.substr(0, 5) == "HTTP/")
            t.reason = reasonPhrase(line);
        return n;
    }
};

HttpClient::HttpClient(HttpOptions options) : options_(std::move(options)) {}

Resultado<> HttpClient::perform(Transfer& t) {
    if (auto feito = transfere(t); !feito)
        return feito;
    if (lastStatus_ < 200 || lastStatus_ > 299)
        return Falha{hostOf(t.url) + ": o servidor respondeu HTTP " + std::to_string(lastStatus_) +
                     (t.reason.empty() ? "" : " " + t.reason)};
    return {};
}

Resultado<> HttpClient::transfere(Transfer& t) {
    ensureCurlInitialised();
    lastStatus_ = 0;
    const std::string host = hostOf(t.url);
    EasyHandle handle(curl_easy_init());
    if (!handle)
        return Falha{host + ": não foi possível preparar a transferência"};
    CURL* h = handle.get();
    char errorText[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(h, CURLOPT_URL, t.url.c_str());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // Only web addresses: a list answer must not make us read local files or speak other protocols.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // What began over https never goes on in the clear: the answer would be unverified.
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, t.url.rfind("https:", 0) == 0 ? "https" : "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, t.followRedirects && options_.followRedirects ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "edi/2");
    if (!options_.caFile.empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, options_.caFile.c_str());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(t.timeout.count()));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, options_.lowSpeedLimit);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options_.lowSpeedTime.count()));
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t.limit));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &t);
    if (!options_.login.empty() || !options_.password.empty()) {
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(h, CURLOPT_USERNAME, options_.login.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, options_.password.c_str());
    }
    if (t.configure && !t.configure(h))
        return Falha{t.sinkError};

    const CURLcode rc = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &lastStatus_);
    if (rc != CURLE_OK) {
        if (t.overLimit || rc == CURLE_FILESIZE_EXCEEDED)
            return Falha{host + ": resposta maior que " + describeSize(t.limit) + ", transferência abandonada"};
        if (!t.sinkError.empty())
            return Falha{t.sinkError};
        return Falha{host + ": " + describeFailure(rc, errorText)};
    }
    return {};
}

namespace {

// A refusal's short reason, as the central server words it: " (reason)"; empty when the body is no such text.
std::string motivoDaRecusa(const std::string& body) {
    const std::string linha = body.substr(0, body.find_first_of("\r\n"));
    const bool curta = !linha.empty() && linha.size() <= 200 && linha.find('<') == std::string::npos;
    return curta ? " (" + linha + ")" : std::string();
}

} // namespace

Resultado<std::string> HttpClient::getText(const std::string& url) {
    std::string body;
    Transfer t{completeUrl(url), options_.requestTimeout, options_.maxAnswerBytes};
    t.sink = [&](const char* data, std::size_t n) {
        body.append(data, n);
        return true;
    };
    if (auto feito = perform(t); !feito)
        return Falha{feito.error() + (lastStatus_ == 403 ? motivoDaRecusa(body) : std::string())};
    return body;
}

Resultado<Pagina> HttpClient::getPage(const std::string& url) {
    Pagina pagina;
    Transfer t{completeUrl(url), options_.requestTimeout, options_.maxAnswerBytes};
    t.sink = [&](const char* data, std::size_t n) {
        pagina.corpo.append(data, n);
        return true;
    };
    if (auto feito = transfere(t); !feito)
        return Falha{feito.error()};
    pagina.status = lastStatus_;
    return pagina;
}

Resultado<> HttpClient::Download(const std::string& url, const fs::path& destination) {
    lastStatus_ = 0;
    std::error_code ec;
    if (destination.filename().empty() || fs::is_directory(destination, ec))
        return Falha{"Não foi possível receber " + url + ": sem nome de arquivo para gravar (" + destination.string() +
                     ")"};
    std::optional<AtomicFile> file;
    try {
        file.emplace(destination);
    } catch (const IoError& e) {
        return Falha{e.what()};
    }
    Transfer t{completeUrl(url), std::chrono::milliseconds(0), options_.maxDownloadBytes};
    t.sink = [&](const char* data, std::size_t n) {
        file->stream().write(data, static_cast<std::streamsize>(n));
        if (!file->stream()) {
            t.sinkError = "Não foi possível gravar " + destination.string() + ": " + describeWriteError(errno);
            return false;
        }
        if (options_.onDownloadPiece)
            options_.onDownloadPiece();
        return true;
    };
    if (auto feito = perform(t); !feito)
        return feito; // the temporary file goes with `file`
    // A replaced file keeps its mode: a program stays executable, a private file private.
    if (const auto old = fs::status(destination, ec); !ec && fs::is_regular_file(old))
        fs::permissions(file->temporaryPath(), old.permissions(), ec);
    try {
        file->commit();
    } catch (const IoError& e) {
        return Falha{e.what()};
    }
    return {};
}

Resultado<> HttpClient::BlockingUpload(const std::string& url, const fs::path& file, const std::string& field) {
    lastStatus_ = 0;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return Falha{"Não foi possível enviar " + file.string() + ": o arquivo não existe"};
    MimeHandle mime;
    Slist headers;
    Transfer t{completeUrl(url), std::chrono::milliseconds(0), options_.maxAnswerBytes};
    t.followRedirects = false;
    t.sink = [](const char*, std::size_t) { return true; }; // the answer's body is not used
    t.configure = [&](CURL* h) {
        mime.reset(curl_mime_init(h));
        curl_mimepart* part = mime ? curl_mime_addpart(mime.get()) : nullptr;
        if (!part || curl_mime_name(part, field.c_str()) != CURLE_OK ||
            curl_mime_filedata(part, file.c_str()) != CURLE_OK) {
            t.sinkError = "Não foi possível enviar " + file.string() + ": falha ao montar o formulário";
            return false;
        }
        curl_easy_setopt(h, CURLOPT_MIMEPOST, mime.get());
        // No "Expect: 100-continue" round trip: servers that ignore it would cost a second per upload.
        headers.reset(curl_slist_append(nullptr, "Expect:"));
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
        return true;
    };
    return perform(t);
}

std::string completeUrl(const std::string& url) {
    return hasScheme(url) ? url : "http://" + url;
}

std::string hostOf(const std::string& url) {
    std::string_view rest(url);
    if (hasScheme(rest))
        rest.remove_prefix(rest.find("://") + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    const auto at = rest.rfind('@');
    if (at != std::string_view::npos)
        rest.remove_prefix(at + 1);
    return std::string(rest);
}

std::string encodePathSegments(const std::string& url) {
    std::size_t pathStart = hasScheme(url) ? url.find("://") + 3 : 0;
    pathStart = url.find('/', pathStart);
    if (pathStart == std::string::npos)
        return url;
    std::string out = url.substr(0, pathStart);
    for (std::size_t begin = pathStart + 1;;) {
        const std::size_t end = std::min(url.find('/', begin), url.size());
        out += '/';
        out += encodeQueryValue(std::string_view(url).substr(begin, end - begin));
        if (end == url.size())
            return out;
        begin = end + 1;
    }
}

std::string encodeQueryValue(std::string_view value) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() * 3);
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (isUnreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

} // namespace edi::transport
