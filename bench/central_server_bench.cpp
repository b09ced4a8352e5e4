// Requests per second of the reference central server with a large state (op=S lists what waits for a unit,
// op=I registers a new file), against the same requests with a small state.
#include "bench_figures.h"

#include "central/server.h"
#include "central/web_root.h"
#include "core/files.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace edi::bench {
namespace {

constexpr int kCentralUnit = 31;
constexpr double kSecondsPerFigure = 3.0;
constexpr const char* kMoment = "2024-01-01 00:00:00";

double secondsSince(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<int> plainUnits(int units) {
    std::vector<int> codes;
    for (int code = 1; codes.size() < static_cast<std::size_t>(units); ++code)
        if (code != kCentralUnit)
            codes.push_back(code);
    return codes;
}

// A saved state in the server's file format: every unit known; deliveries alternate between a unit's packet to the
// central unit and a central packet to a unit, all received but the newest five per unit.
void writeState(const fs::path& file, const std::vector<int>& units, long long deliveries) {
    std::ofstream out(file, std::ios::binary);
    out << "<central next-id=\"" << deliveries + 1 << "\">\n";
    out << "<unit code=\"" << kCentralUnit << "\" first-seen=\"" << kMoment << "\"/>\n";
    for (const int code : units)
        out << "<unit code=\"" << code << "\" first-seen=\"" << kMoment << "\"/>\n";
    const long long waitingFrom = deliveries - 5LL * static_cast<long long>(units.size());
    for (long long i = 0; i < deliveries; ++i) {
        const int unit = units[static_cast<std::size_t>(i / 2) % units.size()];
        const bool toCentral = i % 2 == 0;
        out << "<delivery id=\"" << i + 1 << "\" name=\"P" << i << ".xml\" from=\"" << (toCentral ? unit : kCentralUnit)
            << "\" to=\"" << (toCentral ? kCentralUnit : unit) << "\" registered=\"" << kMoment << "\"";
        if (i >= waitingFrom)
            out << " status=\"waiting\"/>\n";
        else
            out << " status=\"received\" closed=\"" << kMoment << "\"/>\n";
    }
    out << "<central-file name=\"P1.xml\" registered=\"" << kMoment << "\"/>\n</central>\n";
    if (!out.flush())
        throw std::runtime_error("não foi possível escrever " + file.string());
}

struct ServerRates {
    double startSeconds = 0; // loading the state
    double listsPerSecond = 0;
    double registrationsPerSecond = 0;
};

// Runs `request(i)` for kSecondsPerFigure (at most `limit` times); requests per second.
template <typename Request> double rate(int limit, Request request) {
    const auto start = std::chrono::steady_clock::now();
    int done = 0;
    while (done < limit && (done == 0 || secondsSince(start) < kSecondsPerFigure))
        request(done++);
    return done / secondsSince(start);
}

void mustAnswer(const httplib::Result& res, const std::string& what) {
    if (!res || res->status != 200)
        throw std::runtime_error(
            what + ": " + (res ? std::to_string(res->status) + " " + res->body : httplib::to_string(res.error())));
}

ServerRates measure(const fs::path& root, int unitCount, long long deliveries) {
    fs::remove_all(root);
    const central::WebRoot webRoot(root);
    webRoot.prepare();
    const std::vector<int> units = plainUnits(unitCount - 1);
    writeState(root / "central-state.xml", units, deliveries);
    // Files to register, written before the clock starts.
    constexpr int kRegistrations = 4000;
    for (int k = 0; k < kRegistrations; ++k)
        writeFileAtomically(webRoot.uploads() / ("NOVO" + std::to_string(k) + ".xml"), "<DATAPACKET/>");

    ServerRates r;
    std::ostream quiet(nullptr);
    central::ServerConfig config;
    config.root = root;
    config.centralUnit = kCentralUnit;
    auto start = std::chrono::steady_clock::now();
    central::CentralServer server(config, quiet);
    r.startSeconds = secondsSince(start);
    server.start();

    httplib::Client client("127.0.0.1", server.port());
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    client.set_read_timeout(std::chrono::minutes(10)); // a state rewritten whole takes its time
    client.set_basic_auth(config.login, config.password);
    r.listsPerSecond = rate(1 << 30, [&](int i) {
        const int unit = units[static_cast<std::size_t>(i) % units.size()];
        mustAnswer(client.Get("/dbArquivo.php?op=S&unidade=" + std::to_string(unit)), "op=S");
    });
    r.registrationsPerSecond = rate(kRegistrations, [&](int i) {
        const int unit = units[static_cast<std::size_t>(i) % units.size()];
        mustAnswer(
            client.Get("/dbArquivo.php?op=I&nome=NOVO" + std::to_string(i) + ".xml&unidade=" + std::to_string(unit)),
            "op=I");
    });
    server.stop();
    return r;
}

} // namespace

void centralServerFigures(const fs::path& dir, int units, long long deliveries) {
    constexpr long long kSmall = 1000;
    std::printf("\nServidor central com %d unidades: estado de %lld e de %lld entregas...\n", units, kSmall,
                deliveries);
    const ServerRates small = measure(dir / "central-small", units, std::min(kSmall, deliveries));
    const ServerRates large = measure(dir / "central-large", units, deliveries);
    fs::remove_all(dir / "central-small");
    fs::remove_all(dir / "central-large");
    std::printf("%s%10.1f s para carregar %lld entregas\n", rotulo("servidor: arranque").c_str(), large.startSeconds,
                deliveries);
    // The goal: a request costs the same at any size of the state.
    const auto line = [&](const char* what, double atSmall, double atLarge) {
        std::printf("%s%10.0f pedidos/s  (com %lld entregas %8.0f/s)  razão %.2f  meta <= 1,50: %s\n",
                    rotulo(what).c_str(), atLarge, kSmall, atSmall, atSmall / atLarge,
                    veredicto(atSmall / atLarge <= 1.50));
    };
    line("servidor: op=S (lista)", small.listsPerSecond, large.listsPerSecond);
    line("servidor: op=I (registro)", small.registrationsPerSecond, large.registrationsPerSecond);
}

} // namespace edi::bench
