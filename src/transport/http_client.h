#pragma once

#include "transport/resultado.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace edi::transport {

struct HttpOptions {
    // HTTP Basic credentials sent with every request; none when both are empty.
    std::string login;
    std::string password;
    // Certificate authorities that https servers are verified against (PEM file); empty: the system's. A server
    // whose certificate does not verify is always refused.
    std::string caFile;
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(10)};
    // Whole-request limit for small requests whose answer is kept in memory. Downloads and uploads have none:
    // a large file over a slow link may take hours as long as it moves.
    std::chrono::milliseconds requestTimeout{std::chrono::seconds(30)};
    // Every request is abandoned once it moved fewer than lowSpeedLimit bytes per second for lowSpeedTime;
    // a limit of 0 turns this off.
    long lowSpeedLimit = 1024;
    std::chrono::seconds lowSpeedTime{60};
    // An answer kept in memory larger than this is abandoned.
    std::size_t maxAnswerBytes = 16u << 20;
    // A download larger than this is abandoned, so an endless answer cannot fill the disk.
    std::uint64_t maxDownloadBytes = std::uint64_t{1} << 30;
    // Called after each piece of a download is written, so tests can crash in the middle of one.
    std::function<void()> onDownloadPiece;
    // Whether a GET follows redirects (at most 5, http and https only). A request that changes the server's
    // state turns it off: only its own endpoint's answer says it was done. An upload never follows one.
    bool followRedirects = true;
};

// A page as the server answered it, whatever its status.
struct Pagina {
    long status = 0;
    std::string corpo;
    bool ok() const { return status >= 200 && status <= 299; }
};

// Blocking HTTP requests on libcurl, a fresh easy handle per request. A failed request does not throw: its
// Falha names the host and the HTTP status or the transfer error, in Portuguese for the message panel.
// Only a library that cannot be initialised at all raises TransportError.
class HttpClient {
public:
    explicit HttpClient(HttpOptions options = {});

    // The body of a 2xx answer.
    Resultado<std::string> getText(const std::string& url);
    // The answer whatever its status (an error page is worth reading); a Falha only when none came.
    Resultado<Pagina> getPage(const std::string& url);
    // Saves the whole body of a 2xx answer to `destination` (created or replaced). The body goes to a temporary
    // file beside it first: a failed transfer leaves the destination untouched.
    Resultado<> Download(const std::string& url, const std::filesystem::path& destination);
    // POSTs `file` as multipart/form-data in the form field `field`; done when the server answered the POST
    // itself with 2xx. No redirect is followed: a page it leads to never stored the file.
    Resultado<> BlockingUpload(const std::string& url, const std::filesystem::path& file,
                               const std::string& field = "file1");

    // The HTTP status of the last answer, 0 when none arrived.
    long lastStatus() const { return lastStatus_; }
    const HttpOptions& options() const { return options_; }

private:
    struct Transfer;
    Resultado<> perform(Transfer& transfer);
    // The transfer alone: any status the server answered with is a success here.
    Resultado<> transfere(Transfer& transfer);
    std::string describeFailure(int curlCode, const char* detail) const;

    HttpOptions options_;
    long lastStatus_ = 0;
};

// Puts "http://" in front of a URL that names no scheme; a URL with a scheme is returned as it is.
std::string completeUrl(const std::string& url);

// The "host[:port]" part of a URL, with or without scheme.
std::string hostOf(const std::string& url);

// Percent-encodes every byte of a query value except the unreserved ones (A-Z a-z 0-9 - . _ ~).
std::string encodeQueryValue(std::string_view value);

// Percent-encodes each "/"-separated segment after the host of a URL (with or without scheme), so a name with
// blanks, "#", "?" or "%" reaches the server as that one name.
std::string encodePathSegments(const std::string& url);

} // namespace edi::transport
