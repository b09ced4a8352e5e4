#pragma once

#include "app/diario_do_intercambio.h"
#include "app/geral.h"
#include "app/ui.h"
#include "transport/http_client.h"
#include "transport/resultado.h"
#include "transport/zip_extract.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace edi {

struct Configuracao;
class TDM;
class PacketTable;
namespace db {
class Dataset;
}

// The server's web root, as the server names its files in its lists.
inline constexpr const char* kRaizServidor = "E:\\Home\\quelmar\\Web";

// A server path turned into a download address: the web root becomes the server's domain name, every "\" a "/".
std::string CaminhoServidorParaUrl(const std::string& caminho, const std::string& dominio);
// The domain name: sDominio without a leading "www." label.
std::string DominioDoServidor(const std::string& sDominio);
// The last "/"-separated segment of an address ("" when it ends with "/").
std::string NomeNoUrl(const std::string& url);

// Credentials and transfer limits from jaq.ini.
transport::HttpOptions OpcoesHttp(const Configuracao& config);

// The exchanges with the central server: requests, send, receive, unit versions and application update.
// Every outcome a person should see goes to the message panel of the UI port. Inside, a failure travels as a
// transport::Resultado; the per-file operations answer "OK" or "Erro", and a stage that cannot go on throws.
class TransporteEDI {
public:
    TransporteEDI(UGeral& geral, Ui& ui, transport::HttpOptions opcoes);

    // GET of sDominio + path; the body.
    transport::Resultado<std::string> Requisita(const std::string& caminhoEConsulta);
    // GET of a whole address; the page, whatever its status.
    transport::Resultado<transport::Pagina> Get(const std::string& url);
    // Downloads into sPathIn; the stored name, or the failure after showing its text. Each path segment of the
    // address is sent percent-encoded; an address with a ".." segment, or on another host than the central
    // server's domain, is refused. `ponto` names the test point reached after each piece written.
    transport::Resultado<std::string> ReceberArquivo(const std::string& url, const char* ponto = "receive:downloading");

    // Send: every data packet of sPathOut, newest name first; archived as .bkp once uploaded and registered.
    void btnEnviarArquivoClick();
    std::string EnviarArquivo(const std::string& nome); // "OK" or "Erro"

    // Receive: downloads and acknowledges the files waiting for this unit.
    void btnReceberArquivoClick();
    // Asks the server to drop an unreadable file; "OK", or "Erro" when the request failed.
    std::string DeleteRefEDI_UNIDADE(const std::string& nome);

    // Gets a list answer, saves it as `arquivo` (CR LF lines) and loads it; throws TransportError or PacketError.
    PacketTable CarregaLista(const std::string& caminhoEConsulta, const std::filesystem::path& arquivo);

    // Application update: downloads, unpacks and starts what the server published since prmDataUpdate. A row
    // whose destination lies outside the program folder (sPathApp) is refused.
    // A row applied once is not applied again while the moment stays; a failing row is tried on later runs
    // and given up after EstadoUpdate::kTentativas. When no row is left to try, `atualizaUpdate` stamps the
    // moment into jaq.ini and returns it.
    void Aplicao1Click();
    std::function<std::string()> atualizaUpdate;
    // The fixed-path replacement of the client's executable ("Teste" in the menu).
    void este1Click();

    // Sending protocols: uploads the document of every pending PROTOCOLO_ENVIO row, marks each uploaded one
    // sent through `TB_PROTOCOLO_ENVIO` and commits the mark at once, so it is never sent again; then uploads
    // and registers an HTML summary of the rows.
    void Protocolo1Click(TDM& dm, db::Dataset& TB_PROTOCOLO_ENVIO);
    // Uploads a file of the protocol folder and moves it into the "bk" folder beside it; with `bProtocolo`,
    // registers it as a protocol summary. "OK" or "Erro".
    std::string EnviarArquivoProtocolo(const std::filesystem::path& arquivo, bool bProtocolo);

    // What one update archive may unpack in all.
    std::uint64_t limiteDescompactado = transport::ZipArchive::kMaxExtractedBytes;

    // Starts a program by path, without a shell and without waiting (replaceable in tests).
    std::function<void(const std::filesystem::path&)> iniciaPrograma;

    // Called at named points of the work ("send:uploaded", "send:registered", "receive:downloading",
    // "receive:downloaded", "update:downloading", "update:extracting", "update:extracted", "protocol:marked"),
    // so tests can crash there.
    std::function<void(const char*)> pontoDeTeste = [](const char*) {};
    // Told of the packets sent, registered, downloaded and acknowledged, and of the failed requests.
    EventosDoIntercambio* eventos = &semRegistroDeEventos();

private:
    std::string url(const std::string& caminhoEConsulta) const;
    transport::Resultado<std::string> Requisita(const std::string& caminhoEConsulta,
                                                const transport::HttpOptions& opcoes);
    // A request that changes the server's state (registration, acknowledgement, drop): follows no redirect.
    transport::Resultado<> Registra(const std::string& caminhoEConsulta);
    std::string consultaUnidade() const;
    // Posts a file to the upload endpoint.
    transport::Resultado<> Envia(const std::filesystem::path& arquivo);
    // The protocol's outcome text of a per-file operation; a failure's text goes to the message panel.
    std::string Desfecho(const transport::Resultado<>& feito, const char* sucesso);
    // One row of the update list.
    transport::Resultado<> AplicaLinha(const std::string& nome, const std::string& destino, bool arquivoZip,
                                       bool executa);
    // Unpacks a downloaded archive over the destination's folder.
    transport::Resultado<> Instala(const std::string& recebido, const std::filesystem::path& destino);

    UGeral& geral_;
    Ui& ui_;
    transport::HttpOptions opcoes_;
};

} // namespace edi
