// The whole exchange of a unit's backlog: export at unit 12, send to the reference central server over loopback,
// receive at the central unit 31 and import there, against the sum of its raw parts.
#include "bench_figures.h"
#include "bench_site.h"

#include "central/server.h"
#include "packet/nome_do_pacote.h"
#include "transport/transporte.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace edi::bench {
namespace {

constexpr const char* kLogin = "quelmar";
constexpr const char* kPassword = "dorven";

transport::HttpOptions credentials() {
    transport::HttpOptions o;
    o.login = kLogin;
    o.password = kPassword;
    return o;
}

// The data packets in `folder` (not the lists and logs beside them).
std::vector<fs::path> packetsIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_regular_file() && NomeDePacote(e.path().filename().string()))
            files.push_back(e.path());
    return files;
}

// Moving the packets' bytes alone: each uploaded once and downloaded once with the client the stages use.
double rawTransfer(const std::vector<fs::path>& packets, const std::string& server, const fs::path& scratch) {
    transport::HttpClient client(credentials());
    fs::create_directories(scratch);
    const auto start = std::chrono::steady_clock::now();
    for (const fs::path& p : packets) {
        const std::string name = "BRUTO" + p.filename().string();
        const fs::path copy = scratch / name;
        fs::copy_file(p, copy, fs::copy_options::overwrite_existing);
        auto feito = client.BlockingUpload(server + "/edi/ReceiveUpload.aspx", copy);
        if (feito)
            feito = client.Download(server + "/edi/out/" + name, scratch / ("baixado-" + name));
        if (!feito)
            throw std::runtime_error("transferência direta falhou: " + feito.error());
    }
    return seconds(start);
}

} // namespace

void wholeExchangeFigure(const fs::path& dir, int patients, const RawParts& raw) {
    std::printf("\nTroca completa: outra cópia da unidade 12 (%d pacientes), o servidor central de referência e a "
                "unidade central 31...\n",
                patients);
    Site unit(dir / "e2e-u12", 12, patients), central(dir / "e2e-c31", 31, 0);
    std::ostream quiet(nullptr);
    central::ServerConfig config;
    config.root = dir / "e2e-servidor";
    config.login = kLogin;
    config.password = kPassword;
    config.units = {{12, {}}, {31, {}}};
    central::CentralServer server(config, quiet);
    const std::string address = "127.0.0.1:" + std::to_string(server.start());
    unit.geral.sDominio = central.geral.sDominio = address;
    TransporteEDI sender(unit.geral, unit.ui, credentials()), receiver(central.geral, central.ui, credentials());

    const int64_t sent = unit.pending();
    double etapas[4] = {};
    const auto etapa = [&](double& duracao, auto&& trabalho) {
        const auto inicio = std::chrono::steady_clock::now();
        trabalho();
        duracao = seconds(inicio);
    };
    etapa(etapas[0], [&] { unit.engine->btExportarClick(); });
    etapa(etapas[1], [&] { sender.btnEnviarArquivoClick(); });
    etapa(etapas[2], [&] { receiver.btnReceberArquivoClick(); });
    etapa(etapas[3], [&] { central.engine->btImportarClick(); });
    const double whole = etapas[0] + etapas[1] + etapas[2] + etapas[3];
    if (!packetsIn(unit.geral.sPathOut).empty())
        throw std::runtime_error("a unidade 12 não enviou todos os pacotes: " + unit.ui.message());
    if (!packetsIn(central.geral.sPathIn).empty())
        throw std::runtime_error("a unidade central não importou tudo: " + central.ui.message());
    // A fast exchange that lost rows would be no figure at all.
    int64_t arrived = 0;
    for (const auto& r : unit.engine->CDSTabela())
        if (r.enviar())
            arrived += central.count("select count(*) from " + r.NM_TABELA + " where CD_UND = 12");
    if (arrived != sent)
        throw std::runtime_error("a unidade central tem " + std::to_string(arrived) + " linhas da unidade 12, não " +
                                 std::to_string(sent));

    const double transfer = rawTransfer(packetsIn(config.root / "edi" / "out"), "http://" + address, dir / "e2e-bruto");
    server.stop();
    const double parts = raw.exportSeconds + transfer + raw.importSeconds;
    std::printf("%s%10.0f linhas/s  (exportação %.2f s, envio %.2f s, recepção %.2f s, importação %.2f s; partes "
                "diretas %.0f linhas/s: exportação %.2f s, transferência %.2f s, importação %.2f s)  razão %.2f  "
                "meta <= 1,30: %s\n",
                rotulo("troca completa").c_str(), static_cast<double>(raw.rows) / whole, etapas[0], etapas[1],
                etapas[2], etapas[3], static_cast<double>(raw.rows) / parts, raw.exportSeconds, transfer,
                raw.importSeconds, whole / parts, veredicto(whole / parts <= 1.30));
}

} // namespace edi::bench
