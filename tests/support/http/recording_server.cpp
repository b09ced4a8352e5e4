#include "support/http/recording_server.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace edi::test {

namespace {

std::string lowerCase(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string base64Decode(std::string_view in) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned int buffer = 0;
    int bits = 0;
    for (char c : in) {
        const auto pos = alphabet.find(c);
        if (pos == std::string::npos)
            break; // padding or the end
        buffer = (buffer << 6) | static_cast<unsigned int>(pos);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

RecordedRequest record(const httplib::Request& req) {
    RecordedRequest r;
    r.method = req.method;
    r.path = req.path;
    r.target = req.target;
    r.query.insert(req.params.begin(), req.params.end());
    for (const auto& [name, value] : req.headers)
        r.headers.emplace(lowerCase(name), value);
    r.body = req.body;
    for (const auto& [name, file] : req.files)
        r.parts.push_back({file.name, file.filename, file.content});
    r.remotePort = req.remote_port;
    return r;
}

} // namespace

std::string RecordedRequest::header(const std::string& name) const {
    const auto it = headers.find(lowerCase(name));
    return it == headers.end() ? std::string() : it->second;
}

std::string RecordedRequest::queryValue(const std::string& name) const {
    const auto it = query.find(name);
    return it == query.end() ? std::string() : it->second;
}

std::string RecordedRequest::basicCredentials() const {
    const std::string value = header("Authorization");
    if (value.rfind("Basic ", 0) != 0)
        return {};
    return base64Decode(value.substr(6));
}

RecordingServer::RecordingServer() : server_(std::make_unique<httplib::Server>()) {
    const auto handler = [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); };
    server_->Get(".*", handler);
    server_->Post(".*", handler);
    server_->Put(".*", handler);
    server_->Delete(".*", handler);
    server_->set_keep_alive_timeout(1);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("The recording server cannot bind to 127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() does nothing to a server that is not running yet: only return once it runs.
    while (!server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

RecordingServer::~RecordingServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
    server_->stop();
    thread_.join();
}

std::string RecordingServer::host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string RecordingServer::url(std::string_view pathAndQuery) const {
    return "http://" + host() + std::string(pathAndQuery);
}

void RecordingServer::on(const std::string& path, Reply reply) {
    std::lock_guard lock(mutex_);
    replies_[path] = std::move(reply);
}

void RecordingServer::requireCredentials(std::string login, std::string password) {
    std::lock_guard lock(mutex_);
    requiredCredentials_ = login + ":" + password;
}

std::vector<RecordedRequest> RecordingServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool RecordingServer::pause(std::chrono::milliseconds d) {
    std::unique_lock lock(mutex_);
    return stopped_.wait_for(lock, d, [this] { return stopping_; });
}

void RecordingServer::handle(const httplib::Request& req, httplib::Response& res) {
    RecordedRequest recorded = record(req);
    Reply reply = Reply::text("not found", 404);
    {
        std::lock_guard lock(mutex_);
        const bool authorised = requiredCredentials_.empty() || recorded.basicCredentials() == requiredCredentials_;
        // "path?op=X" answers only that operation of an endpoint; "path" answers the rest.
        auto it = req.has_param("op") ? replies_.find(req.path + "?op=" + req.get_param_value("op")) : replies_.end();
        if (it == replies_.end())
            it = replies_.find(req.path);
        if (!authorised)
            reply = Reply::text("unauthorised", 401);
        else if (it != replies_.end())
            reply = it->second;
        requests_.push_back(std::move(recorded));
    }
    if (reply.delay.count() > 0 && pause(reply.delay))
        return;
    answer(reply, res);
}

void RecordingServer::answer(const Reply& reply, httplib::Response& res) {
    res.status = reply.status;
    if (!reply.location.empty())
        res.set_header("Location", reply.location);
    switch (reply.mode) {
    case Reply::Mode::Whole: res.set_content(reply.body, "text/plain"); break;
    case Reply::Mode::CutHalfway: {
        const std::string body = reply.body;
        res.set_content_provider(body.size(), "application/octet-stream",
                                 [body](size_t, size_t, httplib::DataSink& sink) {
                                     sink.write(body.data(), body.size() / 2);
                                     return false; // drops the connection
                                 });
        break;
    }
    case Reply::Mode::Endless: {
        const std::string chunk = reply.body.empty() ? std::string(64 * 1024, 'x') : reply.body;
        const auto pace = reply.pace;
        res.set_chunked_content_provider("application/octet-stream",
                                         [this, chunk, pace](size_t, httplib::DataSink& sink) {
                                             if (pace.count() > 0 && pause(pace))
                                                 return false;
                                             return sink.write(chunk.data(), chunk.size()) && !pause({});
                                         });
        break;
    }
    case Reply::Mode::Paced: {
        const std::string body = reply.body;
        const auto pace = reply.pace;
        const std::size_t piece = std::max<std::size_t>(reply.piece, 1);
        res.set_content_provider(body.size(), "application/octet-stream",
                                 [this, body, pace, piece](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset > 0 && pause(pace))
                                         return false;
                                     return sink.write(body.data() + offset, std::min(piece, body.size() - offset));
                                 });
        break;
    }
    case Reply::Mode::NeverAnswer:
        while (!pause(std::chrono::hours(1))) {
        }
        res.status = 503;
        break;
    }
}

} // namespace edi::test
