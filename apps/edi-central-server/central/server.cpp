#include "central/server.h"

#include "central/contas.h"
#include "central/legacy_state.h"
#include "central/manifest.h"
#include "central/moment.h"
#include "central/packets.h"
#include "central/postgres_store.h"
#include "central/router.h"
#include "central/sql_page.h"
#include "central/sqlite_store.h"
#include "central/web_root.h"
#include "core/encoding.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/messages.h"

#include <httplib.h>

#include <atomic>
#include <charconv>
#include <fstream>
#include <mutex>
#include <thread>

namespace edi::central {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUploadPath = "/edi/ReceiveUpload.aspx";
constexpr const char* kPacketType = "text/xml";
constexpr const char* kTextType = "text/plain; charset=utf-8";

// A request the server refuses: the status and a short text for the answer.
struct Refusal {
    int status;
    std::string text;
};

template <typename Integer> std::optional<Integer> parseInteger(std::string_view text) {
    Integer value{};
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string parameter(const httplib::Request& req, const char* name) {
    if (!req.has_param(name))
        throw Refusal{400, std::string("falta o parâmetro \"") + name + "\""};
    return req.get_param_value(name);
}

std::optional<int> unitCode(std::string_view text) {
    const auto code = parseInteger<int>(text);
    return code && *code > 0 ? code : std::nullopt;
}

int unitParameter(const httplib::Request& req) {
    const std::string text = parameter(req, "unidade");
    const auto code = unitCode(text);
    if (!code)
        throw Refusal{400, "código de unidade inválido \"" + text + "\""};
    return *code;
}

std::string invalidFileName(const std::string& name) {
    return "nome de arquivo inválido \"" + name + "\"";
}

std::string unknownOp(const std::string& op) {
    return "op desconhecida \"" + op + "\"";
}

std::string neverUploaded(const std::string& name) {
    return "o arquivo " + name + " nunca foi enviado";
}

const char* const kServerError = "erro do servidor";

std::string fileNameParameter(const httplib::Request& req) {
    const std::string name = parameter(req, "nome");
    if (!isBareFileName(name))
        throw Refusal{400, invalidFileName(name)};
    return name;
}

void answerText(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text + "\n", kTextType);
}

void answerPacket(httplib::Response& res, const std::string& packet) {
    res.status = 200;
    res.set_content(packet, kPacketType);
}

std::string contentTypeOf(const fs::path& file) {
    const std::string ext = file.extension().string();
    if (ext == ".xml")
        return "text/xml";
    if (ext == ".html" || ext == ".htm")
        return "text/html";
    if (ext == ".zip")
        return "application/zip";
    return "application/octet-stream";
}

// The uploaded parts of one request, each written under a temporary name and renamed into place once complete.
class UploadReceiver {
public:
    UploadReceiver(CentralStore& store, bool accept, std::optional<int> dono, std::size_t maxBytes)
        : store_(store), accept_(accept), dono_(dono), maxBytes_(maxBytes) {}

    bool startPart(const httplib::MultipartFormData& part) {
        if (!finishPart())
            return false;
        if (!accept_ || part.name != "file1")
            return true; // read and discarded
        if (!isBareFileName(part.filename)) {
            refused_ = invalidFileName(part.filename);
            return true;
        }
        return guarded([&] {
            current_ = store_.newUpload(part.filename, dono_);
            currentName_ = part.filename;
        });
    }

    bool receive(const char* data, std::size_t size) {
        if (!withinLimit(size))
            return false;
        if (!current_)
            return true;
        return guarded([&] { current_->write(data, size); });
    }

    bool finishPart() {
        if (!current_)
            return true;
        return guarded([&] {
            if (current_->commit())
                stored_.push_back(currentName_);
            else
                forbidden_ = "o arquivo " + currentName_ + " foi enviado por outra unidade e só ela pode substituí-lo";
            current_.reset();
        });
    }

    // A chunked body announces no length for the server to check beforehand: it is bounded as it streams.
    bool withinLimit(std::size_t size) {
        received_ += size;
        tooLarge_ = tooLarge_ || received_ > maxBytes_;
        return !tooLarge_;
    }

    bool tooLarge() const { return tooLarge_; }
    const std::vector<std::string>& stored() const { return stored_; }
    const std::string& refused() const { return refused_; }
    const std::string& forbidden() const { return forbidden_; }
    const std::string& error() const { return error_; }

private:
    template <typename Step> bool guarded(Step step) {
        try {
            step();
            return true;
        } catch (const std::exception& e) {
            error_ = e.what();
            return false;
        }
    }

    CentralStore& store_;
    bool accept_;
    std::optional<int> dono_;
    std::size_t maxBytes_;
    std::size_t received_ = 0;
    bool tooLarge_ = false;
    std::unique_ptr<UploadWriter> current_;
    std::string currentName_;
    std::vector<std::string> stored_;
    std::string refused_;
    std::string forbidden_;
    std::string error_;
};

RegrasDeAcesso regrasDe(const ServerConfig& config) {
    return RegrasDeAcesso{config.login, config.password, config.sharedAccount, config.sharedSql};
}

// An https listener when the configuration names a certificate, else plain http.
std::unique_ptr<httplib::Server> listener(const ServerConfig& config) {
    if (config.certificate.empty() && config.privateKey.empty())
        return std::make_unique<httplib::Server>();
    auto tls = std::make_unique<httplib::SSLServer>(config.certificate.c_str(), config.privateKey.c_str());
    if (!tls->is_valid())
        throw Error("Não foi possível carregar o certificado " + config.certificate.string() + " e a chave " +
                    config.privateKey.string() + " do servidor https");
    return tls;
}

// The login and password of a Basic Authorization header, not verified yet; none without one.
std::optional<std::pair<std::string, std::string>> basicCredentials(const httplib::Request& req) {
    const std::string header = req.get_header_value("Authorization");
    constexpr std::string_view scheme = "Basic ";
    if (header.compare(0, scheme.size(), scheme) != 0)
        return std::nullopt;
    const auto decoded = encoding::base64Decode(std::string_view(header).substr(scheme.size()));
    if (!decoded)
        return std::nullopt;
    const std::string text(decoded->begin(), decoded->end());
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    return std::pair(text.substr(0, colon), text.substr(colon + 1));
}

// One log line per statement, however many lines it was typed on.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

// Prepares the web root and opens the store: in PostgreSQL when configured, else under the root, taking over a
// state file of an earlier version.
std::unique_ptr<CentralStore> openStore(const ServerConfig& config, const WebRoot& root,
                                        std::optional<fs::path>& oldStateAside) {
    root.prepare();
    if (!config.postgres.empty())
        return std::make_unique<PostgresStore>(config.postgres);
    oldStateAside = migrateLegacyState(root.legacyStateFile(), root.stateFile(), config.centralUnit);
    return std::make_unique<SqliteStore>(root.stateFile(), root.uploads());
}

} // namespace

struct CentralServer::Impl {
    Impl(ServerConfig c, std::ostream& logStream)
        : config(std::move(c)), root(config.root), stored(openStore(config, root, oldStateAside)), store(*stored),
          router(store, config.centralUnit), sql(config.database),
          politica(regrasDe(config), [this](const std::string& login) { return store.conta(login); }), log(logStream),
          http(listener(config)) {
        if (oldStateAside)
            writeLog("estado migrado para " + root.stateFile().string() + "; o arquivo anterior ficou em " +
                     oldStateAside->string());
        for (const UnitSeed& unit : config.units)
            router.noteUnit(unit.code, unit.version);
        routes();
    }

    void routes();
    // Who made the request; throws Refusal when nobody the server knows.
    Chamador caller(const httplib::Request& req) const;
    void refuse(const Refusal& refusal, httplib::Response& res) const;
    httplib::Server::HandlerResponse beforeRouting(const httplib::Request& req, httplib::Response& res);
    void writeLog(const std::string& line);
    void logRequest(const httplib::Request& req, const httplib::Response& res);

    void upload(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader);
    void arquivo(const httplib::Request& req, httplib::Response& res);
    void registerFile(const httplib::Request& req, httplib::Response& res);
    void listUpdates(const httplib::Request& req, httplib::Response& res);
    void protocolo(const httplib::Request& req, httplib::Response& res);
    void unidade(const httplib::Request& req, httplib::Response& res);
    void sqlConsole(const httplib::Request& req, httplib::Response& res);
    void rede(const httplib::Request& req, httplib::Response& res);
    void serveFile(const fs::path& folder, const httplib::Request& req, httplib::Response& res);
    void serveUpload(const httplib::Request& req, httplib::Response& res);
    // An account bound to a unit reads only the uploaded files that wait for its unit.
    void mayRead(const Chamador& who, const std::string& name) const;
    // An account bound to a unit registers only what it or the shared account uploaded.
    void mayUse(const httplib::Request& req, const std::string& name) const;

    // Runs a handler, turning a refusal into its answer.
    template <typename Handler> httplib::Server::Handler guarded(Handler handler) {
        return [this, handler](const httplib::Request& req, httplib::Response& res) {
            try {
                (this->*handler)(req, res);
            } catch (const Refusal& r) {
                answerText(res, r.status, r.text);
            }
        };
    }

    ServerConfig config;
    WebRoot root;
    std::optional<fs::path> oldStateAside; // where a migrated state file of an earlier version now is
    std::unique_ptr<CentralStore> stored;
    CentralStore& store;
    Router router;
    SqlConsole sql;
    PoliticaDeAcesso politica;
    std::ostream& log;
    std::mutex logMutex;
    std::unique_ptr<httplib::Server> http;
    std::thread thread;
    std::atomic<bool> listenEnded{false};
    int port = 0;
};

void CentralServer::Impl::routes() {
    http->set_payload_max_length(config.maxUploadBytes);
    // Idle kept-alive connections hold a worker; a short wait keeps a stop quick.
    http->set_keep_alive_timeout(2);
    // Headers and body go out in separate writes: without this each answer waits for the delayed ACK.
    http->set_tcp_nodelay(true);
    http->set_pre_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) { return beforeRouting(req, res); });
    http->set_logger([this](const httplib::Request& req, const httplib::Response& res) { logRequest(req, res); });
    http->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        try {
            std::rethrow_exception(ep);
        } catch (const Refusal& r) {
            answerText(res, r.status, r.text);
        } catch (const std::exception& e) {
            answerText(res, 500, msg::withCause(kServerError, e.what()));
        } catch (...) {
            answerText(res, 500, kServerError);
        }
    });

    http->Post(kUploadPath, [this](const httplib::Request& req, httplib::Response& res,
                                   const httplib::ContentReader& reader) { upload(req, res, reader); });
    http->Get(R"(/dbArquivo\.php)", guarded(&Impl::arquivo));
    http->Get(R"(/dbArquivoProtocolo\.php)", guarded(&Impl::protocolo));
    http->Get(R"(/dbUnidade\.php)", guarded(&Impl::unidade));
    http->Get(R"(/dbSQL\.php)", guarded(&Impl::sqlConsole));
    http->Get("/rede", guarded(&Impl::rede));
    const auto files = [this](fs::path folder) {
        return [this, folder](const httplib::Request& req, httplib::Response& res) { serveFile(folder, req, res); };
    };
    // An account bound to a unit reads only the uploaded files that wait for its unit.
    const auto uploads = [this](const httplib::Request& req, httplib::Response& res) {
        try {
            mayRead(caller(req), req.matches[1]);
            serveUpload(req, res);
        } catch (const Refusal& r) {
            refuse(r, res);
        }
    };
    http->Get(R"(/edi/out/([^/]+))", uploads);
    // The protocol summary links each protocol document there.
    http->Get(R"(/edi/central/in/([^/]+))", uploads);
    http->Get(R"(/app/([^/]+))", files(root.updates()));
}

Chamador CentralServer::Impl::caller(const httplib::Request& req) const {
    const auto credentials = basicCredentials(req);
    if (!credentials)
        throw Refusal{401, "autenticação necessária"};
    auto who = politica.autentica(credentials->first, credentials->second);
    if (const auto* refused = std::get_if<Recusa>(&who))
        throw Refusal{refused->status, refused->texto};
    return std::get<Chamador>(std::move(who));
}

void CentralServer::Impl::refuse(const Refusal& refusal, httplib::Response& res) const {
    if (refusal.status == 401)
        res.set_header("WWW-Authenticate", "Basic realm=\"EDI\"");
    answerText(res, refusal.status, refusal.text);
}

httplib::Server::HandlerResponse CentralServer::Impl::beforeRouting(const httplib::Request& req,
                                                                    httplib::Response& res) {
    // The upload handler checks the credentials itself once it has read the body, so that the refusal does not
    // leave an unread body in the connection.
    if (req.method == "POST" && req.path == kUploadPath)
        return httplib::Server::HandlerResponse::Unhandled;
    try {
        const Chamador who = caller(req);
        // Any call that names a unit makes it known, and may tell its version; only its own account acts for it.
        if (const auto code = unitCode(req.get_param_value("unidade"))) {
            if (const auto refused = politica.agePor(who, *code))
                throw Refusal{refused->status, refused->texto};
            router.noteUnit(*code, req.get_param_value("versao"), true);
        }
    } catch (const Refusal& r) {
        refuse(r, res);
        return httplib::Server::HandlerResponse::Handled;
    } catch (const std::exception& e) {
        answerText(res, 500, msg::withCause(kServerError, e.what()));
        return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

void CentralServer::Impl::writeLog(const std::string& line) {
    std::lock_guard lock(logMutex);
    log << formatMoment(Timestamp::localNow()) << ' ' << line << std::endl;
}

void CentralServer::Impl::logRequest(const httplib::Request& req, const httplib::Response& res) {
    const auto credentials = basicCredentials(req);
    writeLog(req.remote_addr + ":" + std::to_string(req.remote_port) + " conta " +
             (credentials ? credentials->first : std::string("-")) + " " + req.method + " " + req.target + " " +
             std::to_string(res.status));
}

void CentralServer::Impl::upload(const httplib::Request& req, httplib::Response& res,
                                 const httplib::ContentReader& reader) {
    std::optional<Refusal> refused;
    std::optional<int> dono;
    try {
        dono = PoliticaDeAcesso::donoDoEnvio(caller(req));
    } catch (const Refusal& r) {
        refused = r;
    }
    const bool accept = !refused;
    UploadReceiver receiver(store, accept, dono, config.maxUploadBytes);
    bool complete = false;
    if (req.is_multipart_form_data())
        complete = reader([&](const httplib::MultipartFormData& part) { return receiver.startPart(part); },
                          [&](const char* data, std::size_t size) { return receiver.receive(data, size); }) &&
                   receiver.finishPart();
    else
        complete = reader([&](const char*, std::size_t size) { return receiver.withinLimit(size); });

    if (receiver.tooLarge()) // the rest of the body is still on its way: the connection cannot serve another request
        res.set_header("Connection", "close");
    if (refused)
        return refuse(*refused, res);
    if (res.status == 413 || receiver.tooLarge())
        return answerText(res, 413, "envio maior que " + std::to_string(config.maxUploadBytes) + " bytes");
    if (!receiver.error().empty())
        return answerText(res, 500, msg::withCause("envio não guardado", receiver.error()));
    if (!complete)
        return answerText(res, 400, "envio incompleto");
    if (!req.is_multipart_form_data())
        return answerText(res, 400, "esperado multipart/form-data com o arquivo no campo \"file1\" do formulário");
    if (!receiver.refused().empty())
        return answerText(res, 400, receiver.refused());
    if (!receiver.forbidden().empty())
        return answerText(res, 403, receiver.forbidden());
    if (receiver.stored().empty())
        return answerText(res, 400, "nenhum arquivo no campo \"file1\" do formulário");
    answerText(res, 200, "OK");
}

void CentralServer::Impl::arquivo(const httplib::Request& req, httplib::Response& res) {
    const std::string op = parameter(req, "op");
    if (op == "I")
        return registerFile(req, res);
    if (op == "S")
        return answerPacket(res, waitingFilesPacket(router.waitingFor(unitParameter(req))));
    if (op == "A") {
        const std::string text = parameter(req, "edi");
        const auto id = parseInteger<std::int64_t>(text);
        if (!id)
            throw Refusal{400, "identificador inválido \"" + text + "\""};
        const int unit = unitParameter(req);
        if (!router.acknowledge(*id, unit))
            throw Refusal{404, "nada aguarda a unidade " + std::to_string(unit) + " com o identificador " + text};
        return answerText(res, 200, "OK");
    }
    if (op == "D") {
        const std::string name = fileNameParameter(req);
        const int unit = unitParameter(req);
        // Whether or not a record was left to drop, none is left now: the unit may stop asking.
        const int dropped = router.drop(name, unit);
        writeLog("removido(s) " + std::to_string(dropped) + " registro(s) de entrega de " + name + " para a unidade " +
                 std::to_string(unit));
        return answerText(res, 200, "OK");
    }
    if (op == "APP")
        return listUpdates(req, res);
    throw Refusal{400, unknownOp(op)};
}

void CentralServer::Impl::registerFile(const httplib::Request& req, httplib::Response& res) {
    const std::string name = fileNameParameter(req);
    const int unit = unitParameter(req);
    mayUse(req, name);
    const auto routed = router.registerFile(name, unit);
    if (!routed)
        throw Refusal{404, neverUploaded(name)};
    std::string recipients;
    for (const int to : *routed)
        recipients += (recipients.empty() ? "" : ",") + std::to_string(to);
    writeLog("registrado " + name + " da unidade " + std::to_string(unit) + " para " +
             (recipients.empty() ? std::string("nenhuma unidade") : "a(s) unidade(s) " + recipients));
    answerText(res, 200, "OK");
}

void CentralServer::Impl::listUpdates(const httplib::Request& req, httplib::Response& res) {
    const std::string text = parameter(req, "data");
    const auto literal = unquoteLiteral(text);
    const auto since = literal ? parseMoment(*literal) : std::nullopt;
    if (!since)
        throw Refusal{400, "momento inválido \"" + text + "\" (esperado 'yyyy-mm-dd hh:nn:ss' ou 'dd-mm-yyyy')"};
    std::vector<std::string> missing;
    const std::vector<Publication> publications = publishedSince(root, *since, &missing);
    for (const std::string& name : missing)
        writeLog("o arquivo publicado " + name + " não está em " + root.updates().string() + ": não oferecido");
    answerPacket(res, updatesPacket(publications));
}

void CentralServer::Impl::protocolo(const httplib::Request& req, httplib::Response& res) {
    const std::string op = parameter(req, "op");
    if (op != "I")
        throw Refusal{400, unknownOp(op)};
    const std::string name = fileNameParameter(req);
    const int unit = unitParameter(req);
    mayUse(req, name);
    if (!router.recordProtocol(name, unit))
        throw Refusal{404, neverUploaded(name)};
    writeLog("resumo de protocolo " + name + " da unidade " + std::to_string(unit));
    answerText(res, 200, "OK");
}

void CentralServer::Impl::unidade(const httplib::Request& req, httplib::Response& res) {
    const std::string op = parameter(req, "op");
    if (op != "S")
        throw Refusal{400, unknownOp(op)};
    answerPacket(res, unitsPacket(store.units(), config.defaultVersion));
}

namespace {

std::string momentCell(const std::optional<Timestamp>& t) {
    return t ? formatDateTime("dd/mm/yyyy hh:nn:ss", *t) : "nunca";
}

} // namespace

// Every unit with its last contact, what waits for it, its version and its last upload; a unit not heard from
// for a day is marked silent.
void CentralServer::Impl::rede(const httplib::Request& req, httplib::Response& res) {
    if (const auto refused = PoliticaDeAcesso::veRede(caller(req)))
        throw Refusal{refused->status, refused->texto};
    const Timestamp umDiaAtras = Timestamp::localNow().plusSeconds(-24 * 3600);
    std::string linhas;
    for (const UnitContact& u : store.network()) {
        const bool silenciosa = !u.lastContact || *u.lastContact < umDiaAtras;
        linhas += std::string("<tr") + (silenciosa ? " class=\"silenciosa\"" : "") + "><td>" + std::to_string(u.code) +
                  "</td><td>" + momentCell(u.lastContact) + "</td><td>" + std::to_string(u.waiting) + "</td><td>" +
                  htmlEscape(u.version) + "</td><td>" + momentCell(u.lastUpload) + "</td><td>" +
                  (silenciosa ? "silenciosa há mais de um dia" : "") + "</td></tr>\n";
    }
    res.set_content("<!DOCTYPE html>\n<html lang=\"pt\"><head><meta charset=\"utf-8\"><title>Rede EDI</title>"
                    "<style>.silenciosa{background:#fdd}</style></head><body><h1>Rede EDI</h1>\n<table>\n"
                    "<tr><th>Unidade</th><th>Último contato</th><th>Entregas à espera</th><th>Versão</th>"
                    "<th>Último envio</th><th>Situação</th></tr>\n" +
                        linhas + "</table></body></html>\n",
                    "text/html; charset=utf-8");
}

void CentralServer::Impl::sqlConsole(const httplib::Request& req, httplib::Response& res) {
    const std::string op = parameter(req, "op");
    if (op != "S" && op != "Q")
        throw Refusal{400, unknownOp(op) + " (S executa uma consulta, Q uma alteração)"};
    const Chamador who = caller(req);
    if (const auto refused = politica.usaConsola(who))
        throw Refusal{refused->status, refused->texto};
    const std::string statement = parameter(req, "sql");
    writeLog("consola SQL, conta " + who.login + ", op=" + op + ": " + oneLine(statement));
    const auto operation = op == "S" ? SqlConsole::Operation::Select : SqlConsole::Operation::Change;
    res.status = 200;
    res.set_content(sql.run(operation, statement), "text/html; charset=utf-8");
}

namespace {

// Streams `content` as the answer, `size` bytes from its start.
void answerStream(httplib::Response& res, std::shared_ptr<std::istream> content, const std::string& name) {
    content->seekg(0, std::ios::end);
    const auto size = static_cast<std::size_t>(content->tellg());
    res.status = 200;
    res.set_content_provider(size, contentTypeOf(name),
                             [content](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                 char buffer[64 * 1024];
                                 content->seekg(static_cast<std::streamoff>(offset));
                                 content->read(buffer, static_cast<std::streamsize>(std::min(length, sizeof buffer)));
                                 const auto got = content->gcount();
                                 return got > 0 && sink.write(buffer, static_cast<std::size_t>(got));
                             });
}

void answerMissing(httplib::Response& res, const std::string& name) {
    answerText(res, 404, "arquivo inexistente: " + name);
}

} // namespace

void CentralServer::Impl::mayRead(const Chamador& who, const std::string& name) const {
    if (PoliticaDeAcesso::leTudo(who))
        return;
    if (who.unidade)
        for (const Delivery& d : store.waitingFor(*who.unidade))
            if (d.name == name)
                return;
    throw Refusal{403, "o arquivo " + name + " não aguarda a unidade da conta " + who.login};
}

void CentralServer::Impl::mayUse(const httplib::Request& req, const std::string& name) const {
    // Only its owner's or the shared account's upload changes the owner: checking before routing is as good as inside.
    if (const auto refused = PoliticaDeAcesso::usaEnvio(caller(req), name, store.uploadOwner(name)))
        throw Refusal{refused->status, refused->texto};
}

void CentralServer::Impl::serveFile(const fs::path& folder, const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    // Opened once: a file replaced by a new upload meanwhile is served whole, old or new, never mixed.
    auto file = std::make_shared<std::ifstream>();
    if (isBareFileName(name))
        file->open(folder / name, std::ios::binary);
    std::error_code ec;
    if (!*file || !fs::is_regular_file(folder / name, ec))
        return answerMissing(res, name);
    answerStream(res, file, name);
}

void CentralServer::Impl::serveUpload(const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    std::shared_ptr<std::istream> content = isBareFileName(name) ? store.openUpload(name) : nullptr;
    if (!content)
        return answerMissing(res, name);
    answerStream(res, std::move(content), name);
}

CentralServer::CentralServer(ServerConfig config, std::ostream& log)
    : impl_(std::make_unique<Impl>(std::move(config), log)) {}

CentralServer::~CentralServer() {
    stop();
}

int CentralServer::start() {
    Impl& s = *impl_;
    if (s.thread.joinable())
        return s.port;
    if (s.config.port == 0)
        s.port = s.http->bind_to_any_port(s.config.host);
    else
        s.port = s.http->bind_to_port(s.config.host, s.config.port) ? s.config.port : -1;
    if (s.port <= 0)
        throw Error("Não foi possível escutar em " + s.config.host + ":" + std::to_string(s.config.port));
    s.listenEnded = false;
    s.thread = std::thread([&s] {
        s.http->listen_after_bind();
        s.listenEnded = true;
    });
    // stop() does nothing to a server that is not running yet: only return once it runs.
    while (!s.http->is_running() && !s.listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    s.writeLog("escutando em " + s.config.host + ":" + std::to_string(s.port) +
               (s.config.certificate.empty() ? "" : " (https)") + ", raiz web " + s.root.root().string() +
               ", unidade central " + std::to_string(s.config.centralUnit));
    return s.port;
}

void CentralServer::stop() {
    Impl& s = *impl_;
    if (!s.thread.joinable())
        return;
    s.http->stop();
    s.thread.join();
    s.writeLog("parado");
}

bool CentralServer::isRunning() const {
    return impl_->http->is_running();
}

int CentralServer::port() const {
    return impl_->port;
}

CentralStore& CentralServer::store() {
    return impl_->store;
}

} // namespace edi::central
