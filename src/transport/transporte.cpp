#include "transport/transporte.h"

#include "app/configuracao.h"
#include "app/session.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"
#include "core/messages.h"
#include "db/query.h"
#include "packet/nome_do_pacote.h"
#include "packet/packet_table.h"
#include "transport/estado_update.h"
#include "transport/program_start.h"
#include "transport/zip_extract.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>

namespace edi {

namespace fs = std::filesystem;
using transport::encodeQueryValue;
using transport::Falha;
using transport::Resultado;

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

transport::HttpOptions OpcoesHttp(const Configuracao& config) {
    transport::HttpOptions o;
    o.login = config.login;
    o.password = config.senhaWeb;
    o.caFile = config.certificadoCA;
    o.connectTimeout = std::chrono::seconds(config.tempoConexao);
    o.lowSpeedLimit = config.velocidadeMinima;
    o.lowSpeedTime = std::chrono::seconds(config.tempoVelocidadeMinima);
    return o;
}

namespace {

bool temSegmentoPai(const std::string& endereco) {
    for (size_t inicio = 0;;) {
        const size_t fim = std::min(endereco.find('/', inicio), endereco.size());
        if (endereco.compare(inicio, fim - inicio, "..") == 0)
            return true;
        if (fim == endereco.size())
            return false;
        inicio = fim + 1;
    }
}

// True when `caminho` names a file below `pasta`, also after following the links of the folders on its way.
bool DentroDaPasta(const fs::path& caminho, const fs::path& pasta) {
    if (!caminho.is_absolute() || temSegmentoPai(caminho.generic_string()) || caminho.filename().empty())
        return false;
    std::error_code ec;
    const fs::path base = fs::weakly_canonical(pasta, ec);
    if (ec)
        return false;
    const fs::path real = fs::weakly_canonical(caminho.parent_path(), ec) / caminho.filename();
    if (ec)
        return false;
    const auto [fimBase, _] = std::mismatch(base.begin(), base.end(), real.begin(), real.end());
    return fimBase == base.end() || (std::next(fimBase) == base.end() && fimBase->empty());
}

// Renames `destino` to `destino` + "_" unless that name is taken: the first copy set aside is the one kept.
bool PoeDeLado(const fs::path& destino) {
    const fs::path copia = destino.string() + "_";
    if (::renameat2(AT_FDCWD, destino.c_str(), AT_FDCWD, copia.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false; // the name is taken, or there is nothing to set aside
    // A file system without the no-replace rename.
    std::error_code ec;
    if (fs::exists(copia, ec) || !fs::exists(destino, ec))
        return false;
    fs::rename(destino, copia, ec);
    return !ec;
}

} // namespace

TransporteEDI::TransporteEDI(UGeral& geral, Ui& ui, transport::HttpOptions opcoes)
    : iniciaPrograma([](const fs::path& p) { transport::startProgram(p); }), geral_(geral), ui_(ui),
      opcoes_(std::move(opcoes)) {}

std::string TransporteEDI::url(const std::string& caminhoEConsulta) const {
    return geral_.sDominio + caminhoEConsulta;
}

// Every value goes percent-encoded, so the server receives it exactly as it is here.
std::string TransporteEDI::consultaUnidade() const {
    return "&unidade=" + encodeQueryValue(geral_.prmUnidade);
}

Resultado<std::string> TransporteEDI::Requisita(const std::string& caminhoEConsulta) {
    return Requisita(caminhoEConsulta, opcoes_);
}

Resultado<> TransporteEDI::Registra(const std::string& caminhoEConsulta) {
    // A redirected registration was answered by some other page: the endpoint itself must say it was done.
    transport::HttpOptions semRedirecionar = opcoes_;
    semRedirecionar.followRedirects = false;
    if (auto resposta = Requisita(caminhoEConsulta, semRedirecionar); !resposta)
        return Falha{resposta.error()};
    return {};
}

Resultado<std::string> TransporteEDI::Requisita(const std::string& caminhoEConsulta,
                                                const transport::HttpOptions& opcoes) {
    return transport::HttpClient(opcoes).getText(url(caminhoEConsulta)); // a fresh client per request
}

Resultado<transport::Pagina> TransporteEDI::Get(const std::string& endereco) {
    return transport::HttpClient(opcoes_).getPage(endereco);
}

namespace {

// Only a file of the central server, by a name of its own, is downloaded.
Resultado<> EnderecoAceito(const std::string& endereco, const std::string& nome, const std::string& dominio) {
    if (temSegmentoPai(endereco))
        return Falha{"Endereço recusado, contém \"..\": " + endereco};
    if (!formats::equalsIgnoreCase(transport::hostOf(endereco), transport::hostOf(DominioDoServidor(dominio))))
        return Falha{"Endereço fora do servidor central recusado: " + endereco}; // it would get the central account
    if (nome.empty())
        return Falha{"Endereço sem nome de arquivo: " + endereco};
    return {};
}

} // namespace

Resultado<std::string> TransporteEDI::ReceberArquivo(const std::string& endereco, const char* ponto) {
    const std::string nome = NomeNoUrl(endereco);
    auto baixado = EnderecoAceito(endereco, nome, geral_.sDominio);
    if (baixado) {
        transport::HttpOptions opcoes = opcoes_;
        opcoes.onDownloadPiece = [this, ponto] { pontoDeTeste(ponto); };
        baixado =
            transport::HttpClient(opcoes).Download(transport::encodePathSegments(endereco), geral_.sPathIn / nome);
    }
    if (!baixado) {
        ui_.setMessage(baixado.error());
        eventos->falhaNaEtapa(baixado.error());
        return Falha{baixado.error()};
    }
    ui_.setMessage("Arquivo Recebido com Sucesso!");
    return nome;
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
        ui_.setMessage(resposta.error());
        throw TransportError("O servidor central não respondeu a " + caminhoEConsulta + ": " + resposta.error());
    }
    try {
        return PacketTable::loadFromFile(arquivo);
    } catch (const PacketError& e) {
        ui_.setMessage("A resposta do servidor central (" + arquivo.filename().string() +
                       ") não é um pacote de dados legível");
        throw;
    }
}

// ---- Send ----

void TransporteEDI::btnEnviarArquivoClick() {
    std::vector<std::string> nomes;
    // Only packets: a temporary file of an export still writing, or killed, is no packet.
    for (const auto& e : fs::directory_iterator(geral_.sPathOut))
        if (e.is_regular_file() && NomeDePacote(e.path().filename().string()))
            nomes.push_back(e.path().filename().string());
    std::sort(nomes.begin(), nomes.end(),
              [](const std::string& a, const std::string& b) { return formats::toUpper(a) < formats::toUpper(b); });
    for (auto it = nomes.rbegin(); it != nomes.rend(); ++it) {
        const std::string& nome = *it;
        const std::string arquivado = NomeArquivado(nome);
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

Resultado<> TransporteEDI::Envia(const fs::path& arquivo) {
    return transport::HttpClient(opcoes_).BlockingUpload(url("/edi/ReceiveUpload.aspx"), arquivo, "file1");
}

std::string TransporteEDI::Desfecho(const Resultado<>& feito, const char* sucesso) {
    ui_.setMessage(feito ? std::string(sucesso) : feito.error());
    if (!feito)
        eventos->falhaNaEtapa(feito.error());
    return feito ? "OK" : "Erro";
}

std::string TransporteEDI::EnviarArquivo(const std::string& nome) {
    auto feito = Envia(geral_.sPathOut / nome);
    if (feito) {
        eventos->pacoteAndou(nome, PassoDoPacote::Enviado);
        pontoDeTeste("send:uploaded");
        // A file the server holds but never routes is not sent: it stays here and goes again next time.
        feito = Registra("/dbArquivo.php?op=I&nome=" + encodeQueryValue(nome) + consultaUnidade());
        if (feito)
            eventos->pacoteAndou(nome, PassoDoPacote::Registrado);
    }
    return Desfecho(feito, "Arquivo enviado com sucesso!");
}

// ---- Receive ----

void TransporteEDI::btnReceberArquivoClick() {
    PacketTable cds = CarregaLista("/dbArquivo.php?op=S" + consultaUnidade(), geral_.sPathIn / "arquivos.xml");
    if (cds.fieldCount() < 2 && cds.recordCount() > 0)
        throw PacketError("A lista de arquivos do servidor central tem menos de dois campos");
    const std::string dominio = DominioDoServidor(geral_.sDominio);
    for (cds.first(); !cds.eof(); cds.next()) {
        const std::string caminho = cds.value(1).asText();
        if (caminho.size() < 4 || caminho.substr(caminho.size() - 4) != ".xml")
            continue;
        const std::string endereco = CaminhoServidorParaUrl(caminho, dominio);
        // A file of that name still waiting here is not overwritten: its rows would be lost. The server
        // offers the entry again once import has taken the waiting file.
        std::error_code ec;
        if (fs::exists(geral_.sPathIn / NomeNoUrl(endereco), ec))
            continue;
        const auto recebido = ReceberArquivo(endereco);
        if (!recebido)
            continue; // not acknowledged: the server keeps offering it
        eventos->pacoteAndou(*recebido, PassoDoPacote::Baixado);
        pontoDeTeste("receive:downloaded");
        if (Registra("/dbArquivo.php?op=A&edi=" + encodeQueryValue(cds.value(0).asText()) + consultaUnidade()))
            eventos->pacoteAndou(*recebido, PassoDoPacote::Confirmado);
    }
}

std::string TransporteEDI::DeleteRefEDI_UNIDADE(const std::string& nome) {
    return Desfecho(Registra("/dbArquivo.php?op=D&nome=" + encodeQueryValue(nome) + consultaUnidade()),
                    "Referencia corrigida com sucesso!");
}

// ---- Application update ----

void TransporteEDI::Aplicao1Click() {
    std::string data = geral_.prmDataUpdate;
    for (size_t p = data.find('\''); p != std::string::npos; p = data.find('\'', p + 2))
        data.insert(p, 1, '\'');
    PacketTable cds = CarregaLista("/dbArquivo.php?op=APP&data=" + encodeQueryValue("'" + data + "'"),
                                   geral_.sPathIn / "arquivosApp.xml");
    ui_.setProgressMax(static_cast<int>(cds.recordCount()));
    EstadoUpdate estado(geral_.sPath / EstadoUpdate::kArquivo, geral_.prmDataUpdate);
    bool pendente = false;
    for (cds.first(); !cds.eof(); cds.next()) {
        const std::string NOME = cds.value("NOME").asText();
        const std::string arquivo =
            NOME.substr(NOME.find_last_of("\\:") == std::string::npos ? 0 : NOME.find_last_of("\\:") + 1);
        ui_.setMessage("Update...." + arquivo);
        ui_.setProgressPosition(ui_.progressPosition() + 1);
        ui_.pumpEvents();
        const std::string DESTINO = cds.value("DESTINO").asText();
        if (estado.concluida(NOME, DESTINO))
            continue;
        const auto aplicada =
            AplicaLinha(NOME, DESTINO, cds.value("TIPO").asText() == "1", cds.value("EXEC").asText() == "1");
        if (aplicada)
            estado.aplicada(NOME, DESTINO);
        else if (estado.falhou(NOME, DESTINO))
            ui_.setMessage("Update: " + arquivo + " abandonado após " + std::to_string(EstadoUpdate::kTentativas) +
                           " tentativas: " + aplicada.error());
        else
            pendente = true;
    }
    // A row still to be retried keeps the moment: the server lists it again next time.
    if (pendente)
        return;
    pontoDeTeste("update:extracted");
    if (atualizaUpdate)
        geral_.prmDataUpdate = atualizaUpdate();
    estado.encerra();
    ui_.setMessage("Update conlcuido!");
}

Resultado<> TransporteEDI::AplicaLinha(const std::string& nome, const std::string& destinoNaLista, bool arquivoZip,
                                       bool executa) {
    std::string destino = destinoNaLista;
    if (const size_t p = destino.find("/*APP*/"); p != std::string::npos)
        destino.replace(p, 7, geral_.sPathApp.string());
    // The list may only change the installation: nothing is written or started outside the program folder.
    if (!DentroDaPasta(destino, geral_.sPathApp)) {
        const std::string erro = "Update: destino fora da pasta do programa recusado: " + destinoNaLista;
        ui_.setMessage(erro);
        return Falha{erro};
    }
    // An installed package keeps its programs where the running program may not write: that row is not
    // downloaded, and is said so.
    const fs::path pastaDestino = fs::path(destino).parent_path();
    if (arquivoZip && !canWriteInto(pastaDestino)) {
        const std::string erro = "a pasta " + pastaDestino.string() +
                                 " não permite escrita (num programa instalado por pacote, atualize pelo pacote)";
        ui_.setMessage("Update: " + nome + " não foi aplicado: " + erro);
        return Falha{erro};
    }
    const auto recebido =
        ReceberArquivo(CaminhoServidorParaUrl(nome, DominioDoServidor(geral_.sDominio)), "update:downloading");
    if (!recebido)
        return Falha{recebido.error()};
    if (arquivoZip)
        if (auto instalado = Instala(*recebido, destino); !instalado)
            return instalado;
    if (executa) {
        try {
            iniciaPrograma(destino);
        } catch (const Error& e) {
            ui_.setMessage(std::string("Update: ") + e.what());
            return Falha{e.what()};
        }
    }
    return {};
}

Resultado<> TransporteEDI::Instala(const std::string& recebido, const fs::path& destino) {
    const fs::path arquivo = geral_.sPathIn / recebido;
    std::string erro;
    try {
        transport::ZipArchive zip(arquivo, limiteDescompactado); // a file that is no archive sets nothing aside
        const bool deLado = PoeDeLado(destino);
        transport::ExtractionResult r;
        try {
            r = zip.extractTo(destino.parent_path(), [this] { pontoDeTeste("update:extracting"); });
        } catch (const Error& e) {
            erro = e.what();
        }
        std::error_code ec;
        if (deLado && !fs::exists(destino, ec)) // nothing took its place: the old file goes back
            fs::rename(destino.string() + "_", destino, ec);
        if (!r.refused.empty())
            ui_.setMessage("Update: entradas recusadas em " + recebido + ": " + r.refused.front());
        if (erro.empty() && r.written.empty())
            erro = "Update: nada extraído de " + recebido;
    } catch (const Error& e) {
        erro = e.what();
    }
    if (!erro.empty()) {
        ui_.setMessage(erro.rfind("Update: ", 0) == 0 ? erro : "Update: " + erro);
        return Falha{erro};
    }
    std::error_code ec;
    fs::remove(arquivo, ec);
    return {};
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
