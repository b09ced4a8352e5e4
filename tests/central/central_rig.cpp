#include "central_rig.h"

#include "core/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace edi::central::test {

using namespace std::chrono_literals;
using transport::encodeQueryValue;

std::string LogCapture::text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

bool LogCapture::waitFor(const std::string& needle) const {
    for (int i = 0; i < 200; ++i) {
        if (text().find(needle) != std::string::npos)
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

int LogCapture::overflow(int c) {
    if (c != std::streambuf::traits_type::eof()) {
        std::lock_guard lock(mutex_);
        text_ += static_cast<char>(c);
    }
    return c;
}

std::streamsize LogCapture::xsputn(const char* s, std::streamsize n) {
    std::lock_guard lock(mutex_);
    text_.append(s, static_cast<std::size_t>(n));
    return n;
}

transport::HttpOptions clientOptions(const std::string& login, const std::string& password) {
    transport::HttpOptions o;
    o.login = login;
    o.password = password;
    o.connectTimeout = 2s;
    o.requestTimeout = 10s;
    o.lowSpeedTime = 30s;
    return o;
}

CentralRig::CentralRig(ServerConfig config) : config_(std::move(config)) {
    config_.root = dir_.path() / "root";
    config_.host = "127.0.0.1";
    config_.port = 0;
    std::filesystem::create_directories(scratch());
    start();
}

void CentralRig::start() {
    server_ = std::make_unique<CentralServer>(config_, *log_);
    config_.port = server_->start();
}

void CentralRig::restart() {
    server_.reset();
    start();
}

std::string CentralRig::url(const std::string& pathAndQuery) const {
    return (config_.certificate.empty() ? "http://127.0.0.1:" : "https://127.0.0.1:") + std::to_string(config_.port) +
           pathAndQuery;
}

transport::Resultado<std::string> CentralRig::get(const std::string& pathAndQuery) {
    return client.getText(url(pathAndQuery));
}

std::string CentralRig::mustGet(const std::string& pathAndQuery) {
    const auto body = get(pathAndQuery);
    EXPECT_TRUE(body.has_value()) << pathAndQuery << ": " << body.error();
    return body.value_or(std::string());
}

transport::Resultado<> CentralRig::upload(const std::string& name, const std::string& content) {
    const auto file = scratch() / name;
    writeFileAtomically(file, content);
    return client.BlockingUpload(url("/edi/ReceiveUpload.aspx"), file);
}

long CentralRig::registerFile(const std::string& name, int unit) {
    get("/dbArquivo.php?op=I&nome=" + encodeQueryValue(name) + "&unidade=" + std::to_string(unit));
    return status();
}

long CentralRig::send(const std::string& name, int unit, const std::string& content) {
    const auto sent = upload(name, content);
    EXPECT_TRUE(sent) << sent.error();
    return registerFile(name, unit);
}

long CentralRig::acknowledge(const std::string& id, int unit) {
    get("/dbArquivo.php?op=A&edi=" + encodeQueryValue(id) + "&unidade=" + std::to_string(unit));
    return status();
}

PacketTable CentralRig::packet(const std::string& pathAndQuery) {
    return PacketTable::loadFromString(mustGet(pathAndQuery), pathAndQuery);
}

std::vector<std::pair<std::string, std::string>> CentralRig::waiting(int unit) {
    PacketTable list = packet("/dbArquivo.php?op=S&unidade=" + std::to_string(unit));
    std::vector<std::pair<std::string, std::string>> rows;
    for (list.first(); !list.eof(); list.next())
        rows.emplace_back(list.value(0).asText(), list.value(1).asText());
    return rows;
}

std::string uploadedPath(const std::string& name) {
    return "E:\\Home\\quelmar\\Web\\edi\\out\\" + name;
}

} // namespace edi::central::test
