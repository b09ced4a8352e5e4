// Sending protocols: the documents of the pending PROTOCOLO_ENVIO rows, then a summary of them.
#include "app/constants.h"
#include "app/session.h"
#include "core/datetime.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"
#include "db/dataset.h"
#include "transport/transporte.h"

#include <array>
#include <string_view>

namespace edi {

namespace fs = std::filesystem;
using transport::encodeQueryValue;

namespace {

// The pending protocols, each once. A name list may hold a code under several owners (the central unit's list
// and a unit's own rows): one name is taken, the central unit's first, then the protocol's own unit's.
std::string protocolosPendentes(const std::string& unidadeCentral) {
    const auto central = formats::parseInteger(unidadeCentral);
    const std::string preferencia = central ? std::to_string(*central) : std::to_string(NUMERO_INDEFINIDO);
    auto nome = [&](const char* tabela, const char* coluna, const char* codigo) {
        return std::string("(SELECT FIRST 1 X.") + coluna + " FROM " + tabela + " X WHERE X." + codigo + " = PE." +
               codigo + " ORDER BY CASE WHEN X.CD_UND = " + preferencia +
               " THEN 0 WHEN X.CD_UND = PE.CD_UND THEN 1 ELSE 2 END, X.CD_UND) AS " + coluna;
    };
    return "SELECT PE.*, " + nome("UNIDADE", "DS_UNIDADE", "CD_UNIDADE") + ", " +
           nome("MUNICIPIO", "DS_MUNICIPIO", "CD_MUNICIPIO") + ", " +
           nome("PROVINCIA", "DS_PROVINCIA", "CD_PROVINCIA") +
           " FROM PROTOCOLO_ENVIO PE WHERE ((PE.FL_ENVIADO IS NULL) OR (PE.FL_ENVIADO='N'))";
}

// The columns that name the month sheet a protocol announces; the marking dataset selects by them.
constexpr std::array<const char*, 5> kFolhaDoMes = {"CD_UNIDADE", "CD_PROVINCIA", "CD_MUNICIPIO", "VL_MESANO",
                                                    "TP_PROTOCOLO"};

// Names in the summary come from the database: a "<" or "&" in them must stay text.
std::string html(std::string_view texto) {
    std::string out;
    for (char c : texto) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string celula(std::string_view texto) {
    return "<td>" + html(texto) + "</td>";
}

std::string nomeDoTipo(const Value& tipo) {
    const int64_t n = tipo.isNull() ? 0 : tipo.asInt64();
    if (n >= 1 && n < static_cast<int64_t>(Protocolo.size()))
        return Protocolo[static_cast<size_t>(n)];
    return "Tipo de protocolo desconhecido (" + tipo.asText() + ")";
}

bool mesmaLinha(db::Dataset& ds, const db::Query& pendente) {
    return ds.value("CD_PROTOCOLO").asInt64() == pendente.value("CD_PROTOCOLO").asInt64() &&
           ds.value("CD_UND").asInt64() == pendente.value("CD_UND").asInt64();
}

// Marks the row just sent. Several rows may share the month sheet's values (one sent earlier among them), so
// the row is found by its key among those the dataset selects: marking another would send this one again.
void MarcaEnviado(TDM& dm, db::Dataset& ds, const db::Query& pendente) {
    ds.close();
    for (const char* coluna : kFolhaDoMes)
        ds.setParam(coluna, Value::text(pendente.value(coluna).asText()));
    ds.open();
    while (!ds.eof() && !mesmaLinha(ds, pendente))
        ds.next();
    if (!ds.eof()) {
        ds.edit();
        ds.setValue("FL_ENVIADO", Value::text("S"));
        ds.post();
    }
    ds.close();
    // At once: a run that stops before its end must not leave an uploaded protocol pending.
    dm.Commit();
}

} // namespace

void TransporteEDI::Protocolo1Click(TDM& dm, db::Dataset& TB_PROTOCOLO_ENVIO) {
    std::string Memo1; // the summary, CR LF lines
    auto linha = [&Memo1](std::string_view texto) { Memo1.append(texto).append("\r\n"); };

    db::Query& qyGeral = dm.qyGeral();
    qyGeral.setSql(protocolosPendentes(geral_.prmUnidadeCentral));
    qyGeral.open();
    if (qyGeral.eof()) {
        qyGeral.close();
        return;
    }
    for (const char* cabecalho : {"<table>", "<tr>", "<td>Protocolo</td>", "<td>Provincia</td>", "<td>Municipio</td>",
                                  "<td>Unidade</td>", "<td>Mes/Ano</td>", "<td>Excluido</td>", "<td></td>", "</tr>"})
        linha(cabecalho);
    for (; !qyGeral.eof(); qyGeral.next()) {
        const std::string nome =
            "Protocolo" + qyGeral.value("CD_UND").asText() + "_" + qyGeral.value("CD_PROTOCOLO").asText() + ".xml";
        const Bytes documento = qyGeral.value("BL_PROTOCOLO").asBytes();
        writeFileAtomically(geral_.sPathProt / nome,
                            std::string_view(reinterpret_cast<const char*>(documento.data()), documento.size()));
        if (EnviarArquivoProtocolo(geral_.sPathProt / nome, false) == "OK") {
            MarcaEnviado(dm, TB_PROTOCOLO_ENVIO, qyGeral);
            pontoDeTeste("protocol:marked");
        }
        linha("<tr>");
        linha(celula(nomeDoTipo(qyGeral.value("TP_PROTOCOLO"))));
        for (const char* coluna : {"DS_PROVINCIA", "DS_MUNICIPIO", "DS_UNIDADE", "VL_MESANO", "DT_EXCLUSAO"})
            linha(celula(qyGeral.value(coluna).asText()));
        linha("<td><a href=\"" + html(transport::completeUrl(geral_.sDominio + "/edi/central/in/" + nome)) +
              "\"> Ver </a></td>");
        linha("</tr>");
    }
    qyGeral.close();
    linha("</table>");

    const fs::path resumo = geral_.sPathProt / ("Protocolo" + geral_.prmUnidade + "_" +
                                                formatDateTime("ddmmyyhhnnss", dm.GetDateTime()) + ".html");
    writeFileAtomically(resumo, Memo1);
    EnviarArquivoProtocolo(resumo, true);
}

std::string TransporteEDI::EnviarArquivoProtocolo(const fs::path& arquivo, bool bProtocolo) {
    const auto enviado = Envia(arquivo);
    if (enviado) {
        const fs::path bk = arquivo.parent_path() / "bk";
        std::error_code ec;
        fs::create_directories(bk, ec);
        try {
            moveFileReplacing(arquivo, bk / arquivo.filename());
        } catch (const IoError&) {
            // stays in the protocol folder; a document is written anew when it is sent again
        }
        if (bProtocolo)
            Registra("/dbArquivoProtocolo.php?op=I&nome=" + encodeQueryValue(arquivo.filename().string()) +
                     consultaUnidade());
    }
    return Desfecho(enviado, "Arquivo enviado com sucesso!");
}

} // namespace edi
