#include "interchange/tfrm_edi.h"

#include "app/session.h"
#include "app/unidade_de_trabalho.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"
#include "db/query.h"
#include "domain/censo.h"
#include "domain/exclusoes.h"
#include "interchange/censo.h"
#include "interchange/estado_instalacao.h"
#include "packet/nome_do_pacote.h"
#include "packet/packet_table.h"

#include <algorithm>
#include <map>
#include <set>

// The census: a unit hashes its rows per range of codes, the central unit answers with the ranges where its rows of
// that unit differ, and the unit sends those ranges again (and deletions of the codes it no longer holds).
namespace edi {

namespace fs = std::filesystem;

namespace {

// A range still differing after this many repairs in a row is reported once.
constexpr int kReparosAteRelatar = 3;
// Census rows with this range describe the table as a whole.
constexpr int64_t kFaixaDaTabela = -1;

FieldDef campo(const char* nome, FieldType tipo, int tamanho = 0) {
    FieldDef f;
    f.name = nome;
    f.type = tipo;
    f.size = tamanho;
    return f;
}

std::vector<FieldDef> camposDoCenso() {
    return {campo("ID_CENSO", FieldType::VarChar, 80), campo("NM_TABELA", FieldType::VarChar, 31),
            campo("CD_UND", FieldType::Integer),       campo("NR_FAIXA", FieldType::Integer),
            campo("QT_LINHAS", FieldType::Integer),    campo("CD_RESUMO", FieldType::VarChar, 16),
            campo("CD_GERADOR", FieldType::Integer),   campo("DS_COLUNAS", FieldType::VarChar, 8000)};
}

std::vector<FieldDef> camposDaResposta() {
    return {campo("ID_CENSO", FieldType::VarChar, 80),     campo("NM_TABELA", FieldType::VarChar, 31),
            campo("CD_UND", FieldType::Integer),           campo("NR_FAIXA", FieldType::Integer),
            campo("QT_UNIDADE", FieldType::Integer),       campo("QT_CENTRAL", FieldType::Integer),
            campo("CD_MAIOR", FieldType::Integer),         campo("DS_CODIGOS", FieldType::VarChar, 4000),
            campo("DS_COLUNAS", FieldType::VarChar, 8000), campo("FL_COLUNAS_DIFERENTES", FieldType::Integer)};
}

bool existeTabela(db::Database& db, const std::string& nome) {
    db::Query q(db, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = :NOME");
    q.setParam("NOME", Value::text(nome));
    q.open();
    return q.value(0).asInt64() > 0;
}

bool temChavesDeIntercambio(db::Database& db, const std::string& T) {
    db::Query q(db, "SELECT * FROM " + T + " WHERE 1=2");
    return q.fieldIndex("CD_UND") >= 0 && q.fieldIndex("CD_EDI") >= 0;
}

int64_t inteiro(const PacketTable& t, const char* nome) {
    const Value& v = t.value(nome);
    return v.isNull() ? 0 : v.asInt64();
}

std::string texto(const PacketTable& t, const char* nome) {
    const Value& v = t.value(nome);
    return v.isNull() ? std::string() : v.asText();
}

// A field packets of older installations lack: absent as when null.
std::optional<std::string> textoSeHouver(const PacketTable& t, const char* nome) {
    if (t.fieldIndex(nome) < 0 || t.isNull(nome))
        return std::nullopt;
    return t.value(nome).asText();
}

// What one census packet says of one table.
struct CensoRecebido {
    std::string id;
    int64_t gerador = 0;
    int64_t linhas = 0;
    CensoDaTabela faixas;
    std::optional<Colunas> colunas; // hashed by the unit; an older one hashed all it has
};

// What an answer says to this unit of one table.
struct RespostaDaTabela {
    std::optional<int64_t> maiorCodigo; // the central unit holds codes of this unit above the census' generator
    std::optional<Colunas> colunasNaCentral;
    bool colunasDiferentes = false; // the census hashed columns the central unit lacks: its hashes tell nothing
    std::vector<std::pair<FaixaDivergente, std::vector<int64_t>>> faixas; // with the codes the central unit holds
};

// Codes a restored database never held: never deleted at the central unit.
struct Lacunas {
    std::vector<std::pair<int64_t, int64_t>> faixas;
    bool contem(int64_t c) const {
        return std::any_of(faixas.begin(), faixas.end(), [&](const auto& f) { return c >= f.first && c <= f.second; });
    }
};

} // namespace

// Counts a repair of the range; true once it has needed kReparosAteRelatar in a row and was not yet reported (it is
// then marked reported).
bool TfrmEDI::contaReparo(const std::string& T, int64_t faixa) {
    const std::string tabela = domain::kTabelaReparosCenso;
    db::Query atual(dm_.DB(), "SELECT QT_REPAROS, FL_RELATADA FROM " + tabela +
                                  " WHERE NM_TABELA = :NM_TABELA AND NR_FAIXA = :NR_FAIXA");
    atual.setParam("NM_TABELA", Value::text(T));
    atual.setParam("NR_FAIXA", Value::int64(faixa));
    atual.open();
    const int64_t reparos = (atual.eof() ? 0 : atual.value(0).asInt64()) + 1;
    const bool relatada = !atual.eof() && atual.value(1).asInt64() != 0;
    atual.close();
    const bool relata = reparos >= kReparosAteRelatar && !relatada;
    db::Query grava(dm_.DB(), "UPDATE OR INSERT INTO " + tabela +
                                  " (NM_TABELA, NR_FAIXA, QT_REPAROS, FL_RELATADA) VALUES (:NM_TABELA, :NR_FAIXA, "
                                  ":QT_REPAROS, :FL_RELATADA) MATCHING (NM_TABELA, NR_FAIXA)");
    grava.setParam("NM_TABELA", Value::text(T));
    grava.setParam("NR_FAIXA", Value::int64(faixa));
    grava.setParam("QT_REPAROS", Value::int64(reparos));
    grava.setParam("FL_RELATADA", Value::int64(relatada || relata ? 1 : 0));
    grava.execute();
    return relata;
}

// What the operator reads of the table's last answer.
void TfrmEDI::gravaRespostaDaTabela(const std::string& T, int64_t reparadas, int64_t exclusoes) {
    const std::string estado = domain::kTabelaEstadoCenso;
    int64_t faixas = 0;
    {
        db::Query q(dm_.DB(), "SELECT QT_FAIXAS FROM " + estado + " WHERE NM_TABELA = :NM_TABELA");
        q.setParam("NM_TABELA", Value::text(T));
        q.open();
        if (!q.eof() && !q.value(0).isNull())
            faixas = q.value(0).asInt64();
    }
    db::Query divergentes(dm_.DB(), std::string("SELECT COUNT(*) FROM ") + domain::kTabelaReparosCenso +
                                        " WHERE NM_TABELA = :NM_TABELA AND QT_REPAROS >= :LIMITE");
    divergentes.setParam("NM_TABELA", Value::text(T));
    divergentes.setParam("LIMITE", Value::int64(kReparosAteRelatar));
    divergentes.open();
    db::Query grava(dm_.DB(), "UPDATE OR INSERT INTO " + estado +
                                  " (NM_TABELA, DT_RESPOSTA, QT_IGUAIS, QT_REPARADAS, QT_EXCLUSOES, QT_DIVERGENTES) "
                                  "VALUES (:NM_TABELA, :DT_RESPOSTA, :QT_IGUAIS, :QT_REPARADAS, :QT_EXCLUSOES, "
                                  ":QT_DIVERGENTES) MATCHING (NM_TABELA)");
    grava.setParam("NM_TABELA", Value::text(T));
    grava.setParam("DT_RESPOSTA", Value::timestamp(dm_.GetDateTime()));
    grava.setParam("QT_IGUAIS", Value::int64(std::max<int64_t>(0, faixas - reparadas)));
    grava.setParam("QT_REPARADAS", Value::int64(reparadas));
    grava.setParam("QT_EXCLUSOES", Value::int64(exclusoes));
    grava.setParam("QT_DIVERGENTES", divergentes.value(0));
    grava.execute();
}

void TfrmEDI::preparaTabelasDoCenso() {
    for (const auto& [nome, ddl] : domain::tabelasDoCenso()) {
        if (existeTabela(dm_.DB(), nome))
            continue;
        UnidadeDeTrabalho unidade(dm_);
        unidade.confirma();
        dm_.DB().execute(ddl);
        unidade.confirma();
    }
}

void TfrmEDI::registraLacuna(int64_t de, int64_t ate) {
    preparaTabelasDoCenso();
    db::Query q(dm_.DB(), std::string("INSERT INTO ") + domain::kTabelaLacunas +
                              " (CD_DE, CD_ATE, DT_REGISTRO) VALUES (:DE, :ATE, CURRENT_TIMESTAMP)");
    q.setParam("DE", Value::int64(de));
    q.setParam("ATE", Value::int64(ate));
    q.execute();
}

// The census never holds back the exchange it checks: its failure is logged and the run goes on to export.
void TfrmEDI::btCensoClick(bool sobDemanda) {
    try {
        censo(sobDemanda);
    } catch (const std::exception& e) {
        registraErro("Censo", e.what());
        ui_.setMessage(std::string("Erro no censo: ") + e.what());
    }
}

void TfrmEDI::censo(bool sobDemanda) {
    btOrdemClick();
    preparaTabelasDoCenso();
    preparaMomentosECodigos(); // the packets' moments; and a restored database's codes before any are compared
    const domain::RegraDePosse posse = regraDePosse();
    const fs::path pastaDia = geral_.sPathIn / formatDateTime("ddmmyy", Timestamp::localNow());
    if (posse.unidade == posse.central) {
        respondeCensos(pastaDia);
        return;
    }
    if (!haTabelaDeExclusoes()) { // the repair records deletions
        UnidadeDeTrabalho unidade(dm_);
        dm_.DB().execute(domain::criaTabelaExclusoes());
        unidade.confirma();
    }
    aplicaRespostas(pastaDia);
    if (sobDemanda || censoDevido())
        tiraCenso();
}

// Due once the days asked for have passed since the last one, or when the clock went back before it.
bool TfrmEDI::censoDevido() {
    if (diasEntreCensos <= 0)
        return false;
    db::Query q(dm_.DB(), std::string("SELECT MAX(DT_CENSO) FROM ") + domain::kTabelaEstadoCenso);
    q.open();
    if (q.value(0).isNull())
        return true;
    const Timestamp ultimo = q.value(0).asTimestamp();
    const Timestamp agora = dm_.GetDateTime();
    const int64_t dias = agora.date.days - ultimo.date.days;
    return agora < ultimo || dias > diasEntreCensos || (dias == diasEntreCensos && !(agora.time < ultimo.time));
}

std::vector<fs::path> TfrmEDI::pacotesDoCenso(const char* tabela) const {
    std::vector<fs::path> pacotes;
    for (const auto& e : fs::directory_iterator(geral_.sPathIn))
        if (e.is_regular_file() && PertenceATabela(e.path().filename().string(), tabela))
            pacotes.push_back(e.path());
    std::sort(pacotes.begin(), pacotes.end(), [](const fs::path& a, const fs::path& b) {
        return MomentoDoPacote(a.filename().string()) < MomentoDoPacote(b.filename().string());
    });
    return pacotes;
}

fs::path TfrmEDI::gravaPacoteDoCenso(PacketTable& pacote, const char* tabela) {
    ValidaDiretorio(geral_.sPathOut);
    pacote.setParam(kParamInstalacao, estado().identidade());
    pacote.setParam(kParamComputador, computador);
    std::vector<fs::path> candidatos;
    return pacote.saveToNewFile(
        [&](int n) {
            while (candidatos.size() <= static_cast<size_t>(n))
                candidatos.push_back(geral_.sPathOut / NomeArquivoPacote(tabela, geral_.prmUnidade, reservaMomento()));
            return candidatos[static_cast<size_t>(n)];
        },
        16);
}

// ---------------------------------------------------------------------------------------------------------------
// The unit's census

void TfrmEDI::tiraCenso() {
    const domain::RegraDePosse posse = regraDePosse();
    const Timestamp agora = dm_.GetDateTime();
    const std::string id = estado().identidade() + "/" + formatDateTime("yyyymmddhhnnss", agora);
    // Rows stamped while the census reads are left to the next one, on both sides.
    const int64_t gerador = valorDoGerador("GEN_EDI");
    PacketTable pacote(camposDoCenso());
    db::Query estadoDaTabela(dm_.DB(), std::string("UPDATE OR INSERT INTO ") + domain::kTabelaEstadoCenso +
                                           " (NM_TABELA, ID_CENSO, DT_CENSO, QT_LINHAS, QT_FAIXAS) VALUES "
                                           "(:NM_TABELA, :ID_CENSO, :DT_CENSO, :QT_LINHAS, :QT_FAIXAS) MATCHING "
                                           "(NM_TABELA)");
    auto linha = [&](const std::string& T, int64_t faixa, int64_t linhas, const std::string& resumo,
                     const Colunas* colunas = nullptr) {
        pacote.append();
        pacote.setValue("ID_CENSO", Value::text(id));
        pacote.setValue("NM_TABELA", Value::text(T));
        pacote.setValue("CD_UND", Value::int64(posse.unidade));
        pacote.setValue("NR_FAIXA", Value::int64(faixa));
        pacote.setValue("QT_LINHAS", Value::int64(linhas));
        if (!resumo.empty())
            pacote.setValue("CD_RESUMO", Value::text(resumo));
        pacote.setValue("CD_GERADOR", Value::int64(gerador));
        if (colunas)
            pacote.setValue("DS_COLUNAS", Value::text(textoDasColunas(*colunas)));
        pacote.post();
    };
    UnidadeDeTrabalho unidade(dm_);
    int64_t linhas = 0, faixas = 0, tabelas = 0;
    for (const RegistroEDI& reg : registro_) {
        const std::string& T = reg.NM_TABELA;
        try {
            if (!reg.enviar() || !temChavesDeIntercambio(dm_.DB(), T))
                continue;
            ui_.setMessage("Censo de " + T + " ...");
            ui_.pumpEvents();
            const Recenseamento r = recenseia(dm_.DB(), T, posse.unidade, gerador, colunasDaCentral(T));
            const CensoDaTabela& censo = r.faixas;
            int64_t daTabela = 0;
            for (const auto& [faixa, resumo] : censo) {
                linha(T, faixa, resumo.linhas, textoDoResumo(resumo.resumo));
                daTabela += resumo.linhas;
            }
            linha(T, kFaixaDaTabela, daTabela, "", &r.colunas);
            estadoDaTabela.setParam("NM_TABELA", Value::text(T));
            estadoDaTabela.setParam("ID_CENSO", Value::text(id));
            estadoDaTabela.setParam("DT_CENSO", Value::timestamp(agora));
            estadoDaTabela.setParam("QT_LINHAS", Value::int64(daTabela));
            estadoDaTabela.setParam("QT_FAIXAS", Value::int64(static_cast<int64_t>(censo.size())));
            estadoDaTabela.execute();
            linhas += daTabela;
            faixas += static_cast<int64_t>(censo.size());
            ++tabelas;
        } catch (const std::exception& e) {
            registraErro(T, std::string("censo: ") + e.what());
        }
    }
    if (tabelas == 0)
        return;
    gravaPacoteDoCenso(pacote, domain::kPacoteCenso);
    pontoDeTeste("census:packet-written");
    unidade.confirma(); // only a census that left in a packet counts as taken
    ui_.setMessage("Censo enviado: " + std::to_string(tabelas) + " tabelas, " + std::to_string(linhas) + " linhas em " +
                   std::to_string(faixas) + " faixas de códigos");
}

// ---------------------------------------------------------------------------------------------------------------
// The central unit's answer

void TfrmEDI::respondeCensos(const fs::path& pastaDia) {
    const std::vector<fs::path> censos = pacotesDoCenso(domain::kPacoteCenso);
    if (censos.empty())
        return;
    PacketTable resposta(camposDaResposta());
    std::vector<fs::path> respondidos;
    for (const fs::path& arquivo : censos) {
        try {
            PacketTable censo = PacketTable::loadFromFile(arquivo);
            respondeCenso(censo, resposta);
            respondidos.push_back(arquivo);
        } catch (const std::exception& e) {
            // Kept in EDI/IN and answered again by the next run.
            registraErro(arquivo.filename().string(), std::string("censo não respondido: ") + e.what());
        }
    }
    if (respondidos.empty())
        return;
    gravaPacoteDoCenso(resposta, domain::kPacoteRespostaCenso);
    pontoDeTeste("census:answer-written");
    ValidaDiretorio(pastaDia);
    for (const fs::path& arquivo : respondidos)
        moveFileReplacing(arquivo, pastaDia / arquivo.filename());
    ui_.setMessage("Censos respondidos: " + std::to_string(respondidos.size()));
}

void TfrmEDI::respondeCenso(PacketTable& censo, PacketTable& resposta) {
    std::map<std::pair<int64_t, std::string>, CensoRecebido> porTabela; // by unit and table
    for (censo.first(); !censo.eof(); censo.next()) {
        CensoRecebido& t = porTabela[{inteiro(censo, "CD_UND"), formats::toUpper(texto(censo, "NM_TABELA"))}];
        t.id = texto(censo, "ID_CENSO");
        t.gerador = inteiro(censo, "CD_GERADOR");
        const int64_t faixa = inteiro(censo, "NR_FAIXA");
        if (faixa == kFaixaDaTabela) {
            t.linhas = inteiro(censo, "QT_LINHAS");
            if (const auto colunas = textoSeHouver(censo, "DS_COLUNAS"))
                t.colunas = leColunas(*colunas);
            continue;
        }
        const auto resumo = leResumo(texto(censo, "CD_RESUMO"));
        if (!resumo)
            throw PacketError("resumo inválido na faixa " + std::to_string(faixa) + " de " + texto(censo, "NM_TABELA"));
        t.faixas[faixa] = {inteiro(censo, "QT_LINHAS"), *resumo};
    }
    UnidadeDeTrabalho unidade(dm_);
    for (const auto& [chave, recebido] : porTabela) {
        const auto& [cdUnd, T] = chave;
        // A table this installation does not receive holds none of the unit's rows: asking for them again would
        // change nothing.
        if (!recebida(T))
            continue;
        if (!existeTabela(dm_.DB(), T) || !temChavesDeIntercambio(dm_.DB(), T)) {
            registraErro(T, "censo da unidade " + std::to_string(cdUnd) + ": a tabela não existe aqui");
            continue;
        }
        // Only the columns both sides have are compared; the unit learns ours from the answer.
        const Recenseamento contagem = recenseia(dm_.DB(), T, cdUnd, recebido.gerador, recebido.colunas);
        const CensoDaTabela& aqui = contagem.faixas;
        auto linha = [&](int64_t faixa, int64_t naUnidade, int64_t naCentral) {
            resposta.append();
            resposta.setValue("ID_CENSO", Value::text(recebido.id));
            resposta.setValue("NM_TABELA", Value::text(T));
            resposta.setValue("CD_UND", Value::int64(cdUnd));
            resposta.setValue("NR_FAIXA", Value::int64(faixa));
            resposta.setValue("QT_UNIDADE", Value::int64(naUnidade));
            resposta.setValue("QT_CENTRAL", Value::int64(naCentral));
        };
        int64_t linhasAqui = 0;
        for (const auto& [faixa, r] : aqui)
            linhasAqui += r.linhas;
        linha(kFaixaDaTabela, recebido.linhas, linhasAqui);
        if (const auto maior = maiorCodigoAcima(dm_.DB(), T, cdUnd, recebido.gerador))
            resposta.setValue("CD_MAIOR", Value::int64(*maior));
        resposta.setValue("DS_COLUNAS", Value::text(textoDasColunas(colunasDoCenso(dm_.DB(), T))));
        if (recebido.colunas && contagem.colunas.size() != recebido.colunas->size())
            resposta.setValue("FL_COLUNAS_DIFERENTES", Value::int64(1));
        resposta.post();
        for (const FaixaDivergente& d : comparaCensos(recebido.faixas, aqui)) {
            linha(d.faixa, d.linhasNaUnidade, d.linhasNaCentral);
            resposta.setValue("DS_CODIGOS", Value::text(textoDosCodigos(
                                                codigosDaFaixa(dm_.DB(), T, cdUnd, d.faixa, recebido.gerador))));
            resposta.post();
        }
    }
    unidade.confirma();
}

// ---------------------------------------------------------------------------------------------------------------
// The unit's repair

void TfrmEDI::aplicaRespostas(const fs::path& pastaDia) {
    const int64_t propria = regraDePosse().unidade;
    for (const fs::path& arquivo : pacotesDoCenso(domain::kPacoteRespostaCenso)) {
        UnidadeDeTrabalho unidade(dm_);
        try {
            PacketTable resposta = PacketTable::loadFromFile(arquivo);
            std::map<std::string, RespostaDaTabela> porTabela;
            for (resposta.first(); !resposta.eof(); resposta.next()) {
                if (inteiro(resposta, "CD_UND") != propria)
                    continue; // the central unit's answers reach every unit
                RespostaDaTabela& t = porTabela[formats::toUpper(texto(resposta, "NM_TABELA"))];
                const int64_t faixa = inteiro(resposta, "NR_FAIXA");
                if (faixa == kFaixaDaTabela) {
                    if (!resposta.isNull("CD_MAIOR"))
                        t.maiorCodigo = inteiro(resposta, "CD_MAIOR");
                    if (const auto colunas = textoSeHouver(resposta, "DS_COLUNAS"))
                        t.colunasNaCentral = leColunas(*colunas);
                    const auto diferentes = textoSeHouver(resposta, "FL_COLUNAS_DIFERENTES");
                    t.colunasDiferentes = diferentes && *diferentes != "0";
                    continue;
                }
                t.faixas.push_back({{faixa, inteiro(resposta, "QT_UNIDADE"), inteiro(resposta, "QT_CENTRAL")},
                                    leCodigos(texto(resposta, "DS_CODIGOS"))});
            }
            std::vector<std::string> resumos;
            int64_t maiorNaCentral = 0;
            for (const auto& [T, r] : porTabela) {
                maiorNaCentral = std::max(maiorNaCentral, r.maiorCodigo.value_or(0));
                if (!existeTabela(dm_.DB(), T))
                    continue;
                if (r.colunasNaCentral)
                    guardaColunasDaCentral(T, *r.colunasNaCentral);
                resumos.push_back(reparaTabela(T, r.faixas, r.maiorCodigo, r.colunasDiferentes));
            }
            unidade.confirma();
            passaCodigosVistosNaCentral(maiorNaCentral);
            ValidaDiretorio(pastaDia);
            moveFileReplacing(arquivo, pastaDia / arquivo.filename());
            for (const auto& r : resumos)
                ui_.setMessage(r);
        } catch (const std::exception& e) {
            unidade.desfaz();
            registraErro(arquivo.filename().string(), std::string("resposta do censo não aplicada: ") + e.what());
        }
    }
}

// Codes of this unit the central unit holds above the generator were issued before the database was restored; the
// program folder came back with it, or its mark would have moved the generator already. They are never issued
// again (a new row would overwrite theirs at the central unit) nor deleted by a later census.
void TfrmEDI::passaCodigosVistosNaCentral(int64_t maior) {
    if (maior <= estado().marcaGenEdi())
        return;
    estado().guardaMarcaGenEdi(maior);
    passaCodigosJaEmitidos();
}

std::optional<Colunas> TfrmEDI::colunasDaCentral(const std::string& T) {
    db::Query q(dm_.DB(),
                std::string("SELECT DS_COLUNAS FROM ") + domain::kTabelaColunasCenso + " WHERE NM_TABELA = :NM_TABELA");
    q.setParam("NM_TABELA", Value::text(T));
    q.open();
    if (q.eof() || q.value(0).isNull())
        return std::nullopt;
    return leColunas(q.value(0).asText());
}

void TfrmEDI::guardaColunasDaCentral(const std::string& T, const Colunas& colunas) {
    db::Query q(dm_.DB(), std::string("UPDATE OR INSERT INTO ") + domain::kTabelaColunasCenso +
                              " (NM_TABELA, DS_COLUNAS) VALUES (:NM_TABELA, :DS_COLUNAS) MATCHING (NM_TABELA)");
    q.setParam("NM_TABELA", Value::text(T));
    q.setParam("DS_COLUNAS", Value::text(textoDasColunas(colunas)));
    q.execute();
}

// With `colunasDiferentes` the hashes compared columns the central unit lacks: only a range whose counts differ is
// known to differ; the rest waits for the next census, taken over the common columns.
std::string TfrmEDI::reparaTabela(const std::string& T,
                                  std::vector<std::pair<FaixaDivergente, std::vector<int64_t>>> faixas,
                                  std::optional<int64_t> maiorCodigo, bool colunasDiferentes) {
    if (colunasDiferentes)
        std::erase_if(faixas, [](const auto& f) { return f.first.linhasNaUnidade == f.first.linhasNaCentral; });
    const int64_t propria = regraDePosse().unidade;
    const int64_t gerador = valorDoGerador("GEN_EDI");
    Lacunas lacunas;
    {
        db::Query q(dm_.DB(), std::string("SELECT CD_DE, CD_ATE FROM ") + domain::kTabelaLacunas);
        for (q.open(); !q.eof(); q.next())
            lacunas.faixas.emplace_back(q.value(0).asInt64(), q.value(1).asInt64());
    }
    db::Query pendente(dm_.DB(),
                       "UPDATE " + T + " SET DT_EXP = NULL WHERE CD_UND = :CD_UND AND CD_EDI BETWEEN :DE AND :ATE");
    db::Query exclui(dm_.DB(), std::string("INSERT INTO ") + domain::kTabelaExclusoes +
                                   " (NM_TABELA, CD_UND, CD_EDI, DT_EXCLUSAO) SELECT :NM_TABELA, :CD_UND, :CD_EDI, "
                                   "CURRENT_TIMESTAMP FROM RDB$DATABASE WHERE NOT EXISTS (SELECT 1 FROM " +
                                   domain::kTabelaExclusoes +
                                   " WHERE NM_TABELA = :NM_TABELA AND CD_UND = :CD_UND AND CD_EDI = :CD_EDI "
                                   "AND DT_EXP IS NULL)");
    std::vector<int64_t> naoEmitidos, aRelatar;
    std::string faixasDivergentes;
    int64_t exclusoes = 0;
    for (const auto& [d, codigosNaCentral] : faixas) {
        faixasDivergentes += (faixasDivergentes.empty() ? "" : ", ") + std::to_string(d.faixa);
        const int64_t de = primeiroCodigoDaFaixa(d.faixa), ate = primeiroCodigoDaFaixa(d.faixa + 1) - 1;
        pendente.setParam("CD_UND", Value::int64(propria));
        pendente.setParam("DE", Value::int64(de));
        pendente.setParam("ATE", Value::int64(ate));
        pendente.execute();
        const std::vector<int64_t> aqui = codigosDaFaixa(dm_.DB(), T, propria, d.faixa, ate);
        const std::set<int64_t> proprios(aqui.begin(), aqui.end());
        for (const int64_t c : codigosNaCentral) {
            if (proprios.count(c))
                continue;
            // The owner deletes at the central unit only the codes it knows it issued.
            if (c > gerador || lacunas.contem(c)) {
                naoEmitidos.push_back(c);
                continue;
            }
            exclui.setParam("NM_TABELA", Value::text(T));
            exclui.setParam("CD_UND", Value::int64(propria));
            exclui.setParam("CD_EDI", Value::int64(c));
            exclui.execute();
            exclusoes += exclui.rowsAffected();
        }
        if (contaReparo(T, d.faixa))
            aRelatar.push_back(d.faixa);
    }
    if (maiorCodigo && *maiorCodigo > gerador)
        naoEmitidos.push_back(*maiorCodigo);
    // A range in step again starts counting anew.
    std::string emDia = "DELETE FROM " + std::string(domain::kTabelaReparosCenso) + " WHERE NM_TABELA = :NM_TABELA";
    for (const auto& [d, codigos] : faixas)
        emDia += " AND NR_FAIXA <> " + std::to_string(d.faixa);
    db::Query limpa(dm_.DB(), emDia);
    limpa.setParam("NM_TABELA", Value::text(T));
    limpa.execute();
    if (!aRelatar.empty()) {
        std::string lista;
        for (const int64_t f : aRelatar)
            lista += (lista.empty() ? "" : ", ") + std::to_string(f) + " (códigos " +
                     std::to_string(primeiroCodigoDaFaixa(f)) + " a " +
                     std::to_string(primeiroCodigoDaFaixa(f + 1) - 1) + ")";
        alertasDoCenso_.push_back("O censo de " + T + " continua a divergir da unidade central depois de " +
                                  std::to_string(kReparosAteRelatar) + " reenvios nas faixas " + lista +
                                  ": verifique os registros retidos e o registro do motor nas duas instalações.");
    }
    if (!naoEmitidos.empty()) {
        std::sort(naoEmitidos.begin(), naoEmitidos.end());
        const std::string aviso =
            "A base de dados desta unidade parece restaurada de uma cópia: a unidade central tem linhas de " + T +
            " desta unidade com códigos que esta base não emitiu (de " + std::to_string(naoEmitidos.front()) + " a " +
            std::to_string(naoEmitidos.back()) +
            "). Essas linhas não são excluídas na central; recupere-as ou apague-as lá à mão.";
        registraErro(T, aviso);
        ui_.setMessage(aviso);
        alertasDoCenso_.push_back(aviso);
    }
    gravaRespostaDaTabela(T, static_cast<int64_t>(faixas.size()), exclusoes);
    const std::string censo = "Censo de " + T + ": ";
    const std::string reenvio =
        faixas.empty() ? ""
                       : quantos(static_cast<int64_t>(faixas.size()), "faixa divergente", "faixas divergentes") + " (" +
                             faixasDivergentes + ") reenviadas, " + quantos(exclusoes, "exclusão", "exclusões");
    if (colunasDiferentes)
        return censo + "colunas diferentes na unidade central; o próximo censo compara só as comuns" +
               (reenvio.empty() ? "" : "; " + reenvio);
    return censo + (reenvio.empty() ? "em dia com a unidade central" : reenvio);
}

} // namespace edi
