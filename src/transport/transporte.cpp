#include "transport/transporte.h"

#include "app/session.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"
#include "db/query.h"
#include "packet/packet_table.h"
#include "transport/program_start.h"
#include "transport/zip_extract.h"

#include <algorithm>

namespace edi {

namespace fs = std::filesystem;
using transport::encodeQueryValue;

std::string DominioDoServidor(const std::string& sDominio) {
    std::string d = sDominio;
    const size_t scheme = d.find("://");
    const size_t inicio = scheme == std::string::npos ? 0 : scheme + 3;
    if (formats::equalsIgnoreCase(d.substr(inicio, 4), "www."))
        d.erase(inicio, 4);
    return d;
}

std::string CaminhoServidorParaUrl(const std::string& caminho, const std::string& dominio) {
    std::string url = caminho;
    const std::string raiz = kRaizServidor;
    if (const size_t p = url.find(raiz); p != std::string::npos)
        url.replace(p, raiz.size(), dominio);
    std::replace(url.begin(), url.end(), '\\', '/');
    return url;
}

std::string NomeNoUrl(const std::string& url) {
    const size_t barra = url.rfind('/');
    return barra == std::string::npos ? url : url.substr(barra + 1);
}

TransporteEDI::TransporteEDI(UGeral& geral, Ui& ui, transport::HttpOptions opcoes)
    : iniciaPrograma([](const fs::path& p) { transport::startProgram(p); }), geral_(geral), ui_(ui),
      opcoes_(std::move(opcoes)) {}

std::string TransporteEDI::url(const std::string& caminhoEConsulta) const { return geral_.sDominio + caminhoEConsulta; }

// Every value goes percent-encoded, so the server receives it exactly as it is here.
std::string TransporteEDI::consultaUnidade() const { return "&unidade=" + encodeQueryValue(geral_.prmUnidade); }

std::optional<std::string> TransporteEDI::Requisita(const std::string& caminhoEConsulta) {
    transport::HttpClient http(opcoes_); // a fresh client per request
    auto body = http.getText(url(caminhoEConsulta));
    lastError_ = body ? std::string() : http.lastError();
    return body;
}

std::string TransporteEDI::Get(const std::string& endereco) {
    transport::HttpClient http(opcoes_);
    auto body = http.getText(endereco);
    lastError_ = body ? std::string() : http.lastError();
    return body.value_or(std::string());
}

std::string TransporteEDI::ReceberArquivo(const std::string& endereco, const char* ponto) {
    const std::string nome = NomeNoUrl(endereco);
    transport::HttpOptions opcoes = opcoes_;
    opcoes.onDownloadPiece = [this, ponto] { pontoDeTeste(ponto); };
    transport::HttpClient http(opcoes);
    if (!nome.empty() && http.Download(endereco, geral_.sPathIn / nome) == 1) {
        ui_.setMessage("Arquivo Recebido com Sucesso!");
        return nome;
    }
    lastError_ = nome.empty() ? "No file name in " + endereco : http.lastError();
    ui_.setMessage(lastError_);
    return "";
}

PacketTable TransporteEDI::CarregaLista(const std::string& caminhoEConsulta, const fs::path& arquivo) {
    const auto resposta = Requisita(caminhoEConsulta);
    // The answer is kept as the list file, line by line with CR LF, as operators know it.
    std::string texto;
    for (char c : resposta.value_or(std::string())) {
        if (c == '\n' && (texto.empty() || texto.back() != '\r'))
            texto += '\r';
        texto += c;
    }
    if (!texto.empty() && texto.back() != '\n')
        texto += "\r\n";
    writeFileAtomically(arquivo, texto);
    if (!resposta) {
        ui_.setMessage(lastError_);
        throw TransportError("The central server did not answer " + caminhoEConsulta + ": " + lastError_);
    }
    return PacketTable::loadFromFile(arquivo);
}

// ---- Send ----

void TransporteEDI::btnEnviarArquivoClick() {
    std::vector<std::string> nomes;
    for (const auto& e : fs::directory_iterator(geral_.sPathOut))
        if (e.is_regular_file())
            nomes.push_back(e.path().filename().string());
    std::sort(nomes.begin(), nomes.end(),
              [](const std::string& a, const std::string& b) { return formats::toUpper(a) < formats::toUpper(b); });
    for (auto it = nomes.rbegin(); it != nomes.rend(); ++it) {
        const std::string& nome = *it;
        std::string arquivado = nome;
        if (const size_t p = arquivado.find(".xml"); p != std::string::npos)
            arquivado.replace(p, 4, ".bkp");
        const fs::path pasta = geral_.sPathOut / formatDateTime("ddmmyy", Timestamp::localNow());
        std::error_code ec;
        fs::create_directories(pasta, ec);
        if (EnviarArquivo(nome) == "Erro")
            continue;
        pontoDeTeste("send:registered");
        try {
            moveFileReplacing(geral_.sPathOut / nome, pasta / arquivado);
        } catch (const IoError&) {
            // stays in the outgoing folder and is sent again next time; the server keeps one file per name
        }
    }
}

std::string TransporteEDI::EnviarArquivo(const std::string& nome) {
    transport::HttpClient http(opcoes_);
    if (http.BlockingUpload(url("/edi/ReceiveUpload.aspx"), geral_.sPathOut / nome, "file1") != 1) {
        lastError_ = http.lastError();
        ui_.setMessage(lastError_);
        return "Erro";
    }
    pontoDeTeste("send:uploaded");
    // A file the server holds but never routes is not sent: it stays here and goes again next time.
    if (!Requisita("/dbArquivo.php?op=I&nome=" + encodeQueryValue(nome) + consultaUnidade())) {
        ui_.setMessage(lastError_);
        return "Erro";
    }
    ui_.setMessage("Arquivo enviado com sucesso!");
    return "OK";
}

// ---- Receive ----

void TransporteEDI::btnReceberArquivoClick() {
    PacketTable cds = CarregaLista("/dbArquivo.php?op=S" + consultaUnidade(), geral_.sPathIn / "arquivos.xml");
    if (cds.fieldCount() < 2 && cds.recordCount() > 0)
        throw PacketError("The file list of the central server has fewer than two fields");
    const std::string dominio = DominioDoServidor(geral_.sDominio);
    for (cds.first(); !cds.eof(); cds.next()) {
        const std::string caminho = cds.value(1).asText();
        if (caminho.size() < 4 || caminho.substr(caminho.size() - 4) != ".xml")
            continue;
        const std::string endereco = CaminhoServidorParaUrl(caminho, dominio);
        // A file of that name still waiting here is not overwritten: its rows would be lost. The server
        // offers the entry again once import has taken the waiting file.
        if (fs::exists(geral_.sPathIn / NomeNoUrl(endereco)))
            continue;
        if (ReceberArquivo(endereco).empty())
            continue; // not acknowledged: the server keeps offering it
        pontoDeTeste("receive:downloaded");
        Requisita("/dbArquivo.php?op=A&edi=" + encodeQueryValue(cds.value(0).asText()) + consultaUnidade());
    }
}

std::string TransporteEDI::DeleteRefEDI_UNIDADE(const std::string& nome) {
    if (!Requisita("/dbArquivo.php?op=D&nome=" + encodeQueryValue(nome) + consultaUnidade())) {
        ui_.setMessage(lastError_);
        return "Erro";
    }
    ui_.setMessage("Referencia corrigida com sucesso!");
    return "OK";
}

// ---- Unit versions ----

void TransporteEDI::GetVersaoUnidadesWeb(TDM& dm) {
    PacketTable cds = CarregaLista("/dbUnidade.php?op=S", geral_.sPathTemp / "Unidades.xml");
    db::Query grava(dm.DB(), "update UNIDADE set VL_VERSAO = :VL_VERSAO where CD_UNIDADE = :CD_UNIDADE");
    for (cds.first(); !cds.eof(); cds.next()) {
        grava.setParam("VL_VERSAO", Value::text(cds.value("VERSAO").asText()));
        grava.setParam("CD_UNIDADE", Value::int32(cds.value("UNIDADE").asInt32()));
        grava.execute();
    }
}

// ---- Application update ----

void TransporteEDI::Aplicao1Click() {
    std::string data = geral_.prmDataUpdate;
    for (size_t p = data.find('\''); p != std::string::npos; p = data.find('\'', p + 2))
        data.insert(p, 1, '\'');
    PacketTable cds = CarregaLista("/dbArquivo.php?op=APP&data=" + encodeQueryValue("'" + data + "'"),
                                     geral_.sPathIn / "arquivosApp.xml");
    ui_.setProgressMax(static_cast<int>(cds.recordCount()));
    const std::string dominio = DominioDoServidor(geral_.sDominio);
    bool falhou = false;
    for (cds.first(); !cds.eof(); cds.next()) {
        const std::string NOME = cds.value("NOME").asText();
        ui_.setMessage("Update...." + NOME.substr(NOME.find_last_of("\\:") == std::string::npos
                                                      ? 0
                                                      : NOME.find_last_of("\\:") + 1));
        ui_.setProgressPosition(ui_.progressPosition() + 1);
        ui_.pumpEvents();
        std::string destino = cds.value("DESTINO").asText();
        if (const size_t p = destino.find("/*APP*/"); p != std::string::npos)
            destino.replace(p, 7, geral_.sPathApp.string());
        const std::string recebido = ReceberArquivo(CaminhoServidorParaUrl(NOME, dominio), "update:downloading");
        falhou = falhou || recebido.empty();
        if (cds.value("TIPO").asText() == "1") {
            std::error_code ec;
            fs::rename(destino, destino + "_", ec); // the previous file is set aside when there is one
            bool extraido = false;
            if (!recebido.empty()) {
                try {
                    const auto r = transport::Descompactar(geral_.sPathIn / recebido, fs::path(destino).parent_path(),
                                                           [this] { pontoDeTeste("update:extracting"); });
                    extraido = !r.written.empty();
                    if (!r.refused.empty())
                        ui_.setMessage("Update: entradas recusadas em " + recebido + ": " + r.refused.front());
                } catch (const Error& e) {
                    ui_.setMessage(std::string("Update: ") + e.what());
                }
            }
            if (extraido)
                fs::remove(geral_.sPathIn / recebido, ec);
            falhou = falhou || !extraido;
        }
        if (cds.value("EXEC").asText() == "1") {
            try {
                iniciaPrograma(destino);
            } catch (const Error& e) {
                ui_.setMessage(std::string("Update: ") + e.what());
            }
        }
    }
    // A run whose downloads or extractions failed does not advance the moment: the files are offered again.
    if (falhou)
        return;
    pontoDeTeste("update:extracted");
    if (atualizaUpdate)
        geral_.prmDataUpdate = atualizaUpdate();
    ui_.setMessage("Update conlcuido!");
}

void TransporteEDI::este1Click() {
    const fs::path programa = geral_.sPathApp / "edi";
    std::error_code ec;
    fs::rename(programa, geral_.sPathApp / "edi.old", ec);
    fs::copy_file(geral_.sPathIn / "edi", programa, fs::copy_options::overwrite_existing, ec);
    if (ec)
        ui_.showInformation("Erro!");
    else
        ui_.showInformation("Sucesso!");
}

} // namespace edi
