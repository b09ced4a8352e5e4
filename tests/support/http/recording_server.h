#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace edi::test {

struct RecordedPart {
    std::string name;
    std::string filename;
    std::string content;
};

struct RecordedRequest {
    std::string method;
    std::string path;                              // decoded
    std::string target;                            // as sent, query included
    std::multimap<std::string, std::string> query; // decoded
    std::map<std::string, std::string> headers;    // names in lower case
    std::string body;
    std::vector<RecordedPart> parts; // multipart/form-data fields
    int remotePort = 0;

    std::string header(const std::string& name) const;     // empty when absent
    std::string queryValue(const std::string& name) const; // empty when absent
    std::string basicCredentials() const;                  // "login:password", empty without Basic auth
};

// How the server answers one path.
struct Reply {
    enum class Mode {
        Whole,       // status and body
        CutHalfway,  // announces the body's length, sends half of it and closes the connection
        Endless,     // a chunked body that never ends (the body, or 64 KiB of "x", again and again)
        NeverAnswer, // reads the request and stays silent until the server stops
        Paced,       // announces the body's length and sends it `piece` bytes at a time, `pace` apart
    };
    int status = 200;
    std::string body;
    Mode mode = Mode::Whole;
    std::chrono::milliseconds delay{0}; // before the answer starts
    std::chrono::milliseconds pace{0};  // between the chunks of an endless or paced body
    std::size_t piece = 1024;           // bytes per chunk of a paced body
    std::string location{};             // sent as the Location header when not empty

    static Reply text(std::string body, int status = 200) { return Reply{status, std::move(body)}; }
    static Reply with(Mode mode, std::string body = {}) { return Reply{200, std::move(body), mode}; }
    static Reply redirect(int status, std::string location) {
        Reply r{status, "moved"};
        r.location = std::move(location);
        return r;
    }
};

// An HTTP server on 127.0.0.1 (a free port) that records every request and answers each path as told (a reply
// for "path?op=X" takes precedence for requests whose "op" is X); unknown paths get 404. Stops when destroyed, waking
// any answer it holds back.
class RecordingServer {
public:
    RecordingServer();
    ~RecordingServer();
    RecordingServer(const RecordingServer&) = delete;
    RecordingServer& operator=(const RecordingServer&) = delete;

    int port() const { return port_; }
    std::string host() const; // "127.0.0.1:<port>"
    std::string url(std::string_view pathAndQuery) const;

    void on(const std::string& path, Reply reply);
    // Requests without these Basic credentials get 401 (and are still recorded).
    void requireCredentials(std::string login, std::string password);

    std::vector<RecordedRequest> requests() const;

private:
    void handle(const httplib::Request& request, httplib::Response& response);
    void answer(const Reply& reply, httplib::Response& response);
    // Sleeps up to `d`; true when the server is stopping.
    bool pause(std::chrono::milliseconds d);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    std::map<std::string, Reply> replies_;
    std::vector<RecordedRequest> requests_;
    std::string requiredCredentials_;
};

} // namespace edi::test
