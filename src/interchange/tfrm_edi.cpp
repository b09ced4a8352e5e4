#include "interchange/tfrm_edi.h"

#include "app/session.h"
#include "app/unidade_de_trabalho.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"
#include "db/catalogue.h"
#include "db/dataset.h"
#include "db/query.h"
#include "domain/schema.h"
#include "interchange/chaves.h"
#include "interchange/estado_do_intercambio.h"
#include "interchange/estado_instalacao.h"
#include "interchange/lote_importacao.h"
#include "interchange/nomes.h"
#include "interchange/retidos.h"
#include "interchange/versoes.h"
#include "packet/nome_do_pacote.h"
#include "packet/packet_table.h"
#include "platform/system_info.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <sstream>
#include <thread>
#include <tuple>

namespace edi {

namespace fs = std::filesystem;

namespace {

constexpr char CR = '\r';

// The position in `tabela` of each packet column; -1 where the table has no such column.
std::vector<int> colunasDestino(db::Dataset& tabela, const std::vector<FieldDef>& campos) {
    std::vector<int> destinos;
    destinos.reserve(campos.size());
    for (const auto& c : campos)
        destinos.push_back(tabela.fieldIndex(c.name));
    return destinos;
}

// How many names a packet may try when earlier ones are taken.
constexpr int kSegundosDoDia = 86400;
// The longest the data-entry application may wait on the locks of an import batch.
constexpr std::chrono::seconds kIdadeMaximaDoLote{1};

// A value written as an attribute can carry no control character but tab, carriage return and line feed; a text
// blob travels as base64 and carries any byte. The first such character, if any.
std::optional<unsigned char> caractereProibido(const FieldDef& campo, const Value& valor) {
    if (valor.kind() != Value::Kind::Text || campo.type == FieldType::TextBlob)
        return std::nullopt;
    for (unsigned char c : valor.rawText())
        if (c < 32 && c != '\t' && c != '\r' && c != '\n')
            return c;
    return std::nullopt;
}

// The packet names the send stage archived in the dated folders below the outgoing folder (".bkp" for ".xml").
std::set<std::string> pacotesJaEnviados(const fs::path& saida) {
    std::set<std::string> nomes;
    std::error_code ec;
    for (const auto& pasta : fs::directory_iterator(saida, ec)) {
        if (!pasta.is_directory(ec))
            continue;
        for (const auto& f : fs::directory_iterator(pasta.path(), ec)) {
            if (auto nome = PacoteArquivado(f.path().filename().string()))
                nomes.insert(std::move(*nome));
        }
    }
    return nomes;
}

bool temCampo(const std::vector<std::string>& colunas, const char* nome) {
    return std::any_of(colunas.begin(), colunas.end(),
                       [&](const std::string& c) { return formats::equalsIgnoreCase(c, nome); });
}

std::string condicaoChave(const ComandosTabela& c) {
    std::string cond;
    for (size_t i = 0; i < c.chaves.size(); ++i)
        cond += (i ? " AND " : "") + c.chaves[i] + " = :OLD_" + c.chaves[i];
    return cond;
}

// The pending rows by what marking them needs: the key and the interchange key. The other columns are read
// from the marked row only, so a text there that the connection cannot carry fails that row alone, not the
// cursor over the whole table.
std::string selecaoPendentes(const std::string& T, const ComandosTabela& c) {
    std::vector<std::string> colunas = c.chaves;
    for (const char* campo : {"CD_EDI", "CD_UND"})
        if (temCampo(c.colunas, campo) && !temCampo(colunas, campo))
            colunas.push_back(campo);
    std::string lista;
    for (const auto& coluna : colunas)
        lista += (lista.empty() ? "" : ", ") + coluna;
    return "SELECT " + lista + " FROM " + T + " WHERE DT_EXP IS NULL";
}

void defineChave(db::Query& q, const ComandosTabela& c, const db::Query& linha) {
    for (const auto& k : c.chaves)
        q.setParam("OLD_" + k, linha.value(k));
}

std::string descreveChave(const ComandosTabela& c, const db::Query& linha) {
    std::string texto;
    for (const auto& k : c.chaves)
        texto += (texto.empty() ? "" : ", ") + k + "=" + linha.value(k).asText();
    return texto;
}

// The engine names no column when it cannot carry a text in the connection's character set: ask it column
// by column.
std::string colunaIntransportavel(db::Database& db, const std::string& T, const ComandosTabela& c,
                                  const std::vector<FieldDef>& campos, const db::Query& linha) {
    for (const auto& campo : campos) {
        if (!isTextType(campo.type))
            continue;
        db::Query q(db, "SELECT " + campo.name + " FROM " + T + " WHERE " + condicaoChave(c));
        defineChave(q, c, linha);
        try {
            q.open();
        } catch (const DatabaseError& e) {
            if (db::isTransliterationFailure(e))
                return campo.name;
        }
    }
    return "?";
}

// A key value as a comparable text: CHAR values come back padded.
std::string textoDeChave(const Value& v) {
    std::string t = v.asText();
    t.erase(t.find_last_not_of(' ') + 1);
    return t;
}

// The row found by the record's interchange key must be the record's row: when its primary key differs, the key
// was issued again (a unit restored from a backup) and writing would replace another row, which then exists
// nowhere.
void confirmaMesmaLinha(const ComandosTabela& c, const db::Dataset& linha, const PacketTable& registro) {
    for (const auto& k : c.chaves) {
        const int i = registro.fieldIndex(k);
        if (i < 0 || registro.value(static_cast<size_t>(i)).isNull())
            continue;
        const std::string doRegistro = textoDeChave(registro.value(static_cast<size_t>(i)));
        const std::string daLinha = textoDeChave(linha.value(k));
        if (doRegistro != daLinha)
            throw Error("código de intercâmbio reutilizado: CD_UND " + textoDeChave(linha.value("CD_UND")) +
                        ", CD_EDI " + textoDeChave(linha.value("CD_EDI")) + " já é a linha de " + k + " " + daLinha +
                        ", e o registro traz " + k + " " + doRegistro);
    }
}

// Copies the current record of `de` into a new record of `para`, which has the same fields; a deletion stays one.
void copiaRegistro(const PacketTable& de, PacketTable& para) {
    para.append();
    if (de.rowState() == PacketTable::RowState::Deleted)
        para.setRowState(PacketTable::RowState::Deleted);
    for (size_t i = 0; i < de.fieldCount(); ++i)
        if (!de.value(i).isNull())
            para.setValue(i, de.value(i));
    para.post();
}

} // namespace

MemoriaFisica memoriaDaMaquina() {
    MemoriaFisica m;
    if (const auto figures = platform::physicalMemory()) {
        m.totalKb = static_cast<int64_t>(figures->totalBytes / 1024);
        m.disponivelKb = static_cast<int64_t>(figures->availableBytes / 1024);
    }
    return m;
}

TfrmEDI::TfrmEDI(TDM& dm, UGeral& geral, Ui& ui)
    : memoria(memoriaDaMaquina), computador(platform::NomeDoComputador()), dm_(dm), geral_(geral), ui_(ui),
      ibds_(std::make_unique<db::Dataset>(dm.DB())) {}

TfrmEDI::~TfrmEDI() = default;

void TfrmEDI::FormCreate() {
    if (geral_.sPath.empty())
        throw Error("A pasta do programa não foi definida");
    geral_.definePastas(geral_.sPath);
    ValidaDiretorio(geral_.sPathIn);
    ValidaDiretorio(geral_.sPathOut);
    ValidaDiretorio(geral_.sPathProt);
    // Only the unit-version fetch and the SQL console save there: without it they fail, everything else runs.
    try {
        ValidaDiretorio(geral_.sPathTemp);
    } catch (const std::exception& e) {
        registraErro("Temp", std::string("não foi possível criar a pasta: ") + e.what());
    }
}

void TfrmEDI::btOrdemClick() {
    if (registroCarregado_)
        return;
    registro_ = carregaRegistro(dm_);
    registroCarregado_ = true;
}

bool TfrmEDI::ValidaCamposEDI(const std::string& T) {
    bool temDtExp = false, temCdEdi = false, temCdUnd = false;
    {
        db::Query TB(dm_.DB(), "SELECT * FROM " + T + " WHERE 1=2");
        for (const auto& f : TB.fields()) {
            temDtExp = temDtExp || formats::equalsIgnoreCase(f.name, "DT_EXP");
            temCdEdi = temCdEdi || formats::equalsIgnoreCase(f.name, "CD_EDI");
            temCdUnd = temCdUnd || formats::equalsIgnoreCase(f.name, "CD_UND");
        }
    }
    if (!temDtExp) {
        dm_.DB().execute("ALTER TABLE " + T + " ADD DT_EXP TIMESTAMP");
        dm_.DB().execute("CREATE INDEX " + indiceLivre(T) + " ON " + T + "(DT_EXP)");
    }
    if (!temCdEdi)
        dm_.DB().execute("ALTER TABLE " + T + " ADD CD_EDI INTEGER");
    const bool exclusoes = temCdUnd && enviada(T) && preparaExclusoes(T);
    return preparaChaves(T) || exclusoes || !temDtExp || !temCdEdi;
}

bool TfrmEDI::preparaChaves(const std::string& T) {
    if (!chaves_)
        chaves_ = std::make_unique<PreparacaoChaves>(dm_, geral_.prmUnidade);
    // The statements of the table handled before may name a table whose keys change now.
    ibds_ = std::make_unique<db::Dataset>(dm_.DB());
    std::vector<std::string> avisos;
    const bool alterou = chaves_->prepara(T, avisos);
    avisaOrdemDasMaes(T, avisos);
    for (const auto& aviso : avisos)
        registraErro(T, aviso);
    return alterou;
}

// Import walks the registry in its order: a child table listed before its parent would meet its rows before
// the rows they belong to.
void TfrmEDI::avisaOrdemDasMaes(const std::string& T, std::vector<std::string>& avisos) const {
    const domain::Table* descrita = domain::findTable(T);
    if (!descrita)
        return;
    auto posicao = [&](const std::string& nome) {
        auto it = std::find_if(registro_.begin(), registro_.end(),
                               [&](const RegistroEDI& r) { return formats::equalsIgnoreCase(r.NM_TABELA, nome); });
        return it == registro_.end() ? std::optional<size_t>() : std::optional<size_t>(it - registro_.begin());
    };
    const auto propria = posicao(T);
    for (const domain::ForeignKey& fk : descrita->foreignKeys) {
        const auto mae = posicao(fk.parent);
        if (propria && mae && *mae > *propria)
            avisos.push_back("a tabela " + fk.parent +
                             ", de que esta depende, vem depois dela em TABELA_EDI (NR_ORDEM): "
                             "ponha-a antes, ou os registros desta que chegarem junto com os dela falham");
    }
}

// Two tables whose names share their first 24 characters would get the same index name, and the second
// table could then never be prepared: it gets a digit in place of the 24th character instead.
std::string TfrmEDI::indiceLivre(const std::string& T) {
    db::Query existe(dm_.DB(), "select count(*) from rdb$indices where rdb$index_name = :NOME");
    auto tomado = [&](const std::string& nome) {
        existe.setParam("NOME", Value::text(nome));
        existe.open();
        const bool sim = existe.value(0).asInt64() > 0;
        existe.close();
        return sim;
    };
    std::string nome = NomeIndiceExp(T);
    for (char digito = '2'; digito <= '9' && tomado(nome); ++digito)
        nome = T.substr(0, 23) + digito + "_EXP_IX";
    return nome;
}

void TfrmEDI::RegistraLog(const std::string& origem, const std::string& mensagem) {
    lbLog_ += origem + ":" + mensagem + CR;
}

void TfrmEDI::registraErro(const std::string& T, const std::string& mensagem) {
    RegistraLog(T, mensagem);
    eventos->falhaNaEtapa(T + ": " + mensagem);
}

// ---------------------------------------------------------------------------------------------------------------
// Export

void TfrmEDI::btExportarClick() {
    struct ZeraProgresso {
        Ui& ui;
        ~ZeraProgresso() { ui.setProgressPosition(0); }
    } zera{ui_};
    btOrdemClick();
    enviados_ = pacotesJaEnviados(geral_.sPathOut);
    momentoDaExportacao_.reset();
    preparaMomentosECodigos();
    ui_.setProgressMax(static_cast<int>(registro_.size()));
    ui_.setProgressPosition(0);
    for (size_t i = 0; i < registro_.size(); ++i) {
        const RegistroEDI& reg = registro_[i];
        if (!reg.enviar())
            continue;
        ui_.pumpEvents();
        ui_.setProgressPosition(static_cast<int>(i) + 1);
        UnidadeDeTrabalho unidade(dm_);
        try {
            exportaTabela(reg, unidade);
        } catch (const std::exception& e) {
            registraErro(reg.NM_TABELA, e.what());
            unidade.desfaz();
        }
    }
    ui_.setMessage("Pronto!");
}

void TfrmEDI::exportaTabela(const RegistroEDI& reg, UnidadeDeTrabalho& unidade) {
    const std::string& T = reg.NM_TABELA;
    ui_.setMessage("Exportando " + T + " ...");
    ValidaCamposEDI(T);
    unidade.confirma();
    ValidaDiretorio(geral_.sPathOut);
    const ComandosTabela c = MontaDataSet(dm_, T, *ibds_);

    const std::string pendentes = selecaoPendentes(T, c);
    {
        db::Query existe(dm_.DB(), pendentes);
        existe.open();
        if (existe.eof() && !haExclusoesPendentes(T))
            return;
    }

    // The interchange keys of new rows become durable before any file names them: a file left by a crash
    // then carries the codes the database kept, and exporting again sends the same codes.
    carimbaChaves(T, c, unidade);
    unidade.confirma();
    guardaCodigosEmitidos();
    pontoDeTeste("export:keys-stamped");

    db::Query linhas(dm_.DB(), pendentes);
    std::vector<FieldDef> campos = db::Query(dm_.DB(), "SELECT * FROM " + T + " WHERE 1=2").fields();
    db::useDeclaredPrecision(dm_.DB(), T, campos);
    PacketTable TB(campos);
    db::Query marca(dm_.DB(), comandoMarca(T, c));
    db::Query desmarca(dm_.DB(), "UPDATE " + T + " SET DT_EXP = NULL WHERE " + condicaoChave(c));
    const bool temChaves = temCampo(c.colunas, "CD_EDI") && temCampo(c.colunas, "CD_UND");
    // The mark is the server's date; one reading serves the table's rows.
    const Value marcaDoDia = Value::timestamp(dm_.GetDate());

    for (linhas.open(); !linhas.eof(); linhas.next()) {
        if (!temChaves || linhas.value("CD_EDI").isNull() || linhas.value("CD_UND").isNull())
            continue; // its key could not be given: already in the log, and it stays pending
        bool marcada = false;
        pontoDeTeste("export:row");
        try {
            // Only the mark is written; the packet takes the row as it stands after marking, so a change
            // committed meanwhile by the data-entry application is neither undone nor lost.
            defineChave(marca, c, linhas);
            marca.setParam("DT_EXP", marcaDoDia);
            marca.execute();
            if (marca.eof())
                continue; // no longer pending, or its key changed: the next run finds it
            marcada = true;
            TB.append();
            for (size_t i = 0; i < campos.size(); ++i) {
                if (const auto proibido = caractereProibido(campos[i], marca.value(i)))
                    throw PacketError("Coluna " + campos[i].name + ": caractere de controle " +
                                      std::to_string(*proibido) + " não pode ir num pacote");
                if (auto v = CopiaValor(campos[i], marca.value(i)))
                    TB.setValue(i, *v);
            }
            TB.post();
        } catch (const std::exception& e) {
            std::string motivo = e.what();
            if (const auto* erro = dynamic_cast<const DatabaseError*>(&e); erro && db::isTransliterationFailure(*erro))
                motivo = "Coluna " + colunaIntransportavel(dm_.DB(), T, c, campos, linhas) +
                         ": o texto não cabe no conjunto de caracteres da conexão (" + dm_.DB().params().charset + ")";
            registraErro(T, "registro " + descreveChave(c, linhas) + ": " + motivo);
            TB.cancel();
            if (marcada) {
                // A row must not stay marked without being in the packet.
                defineChave(desmarca, c, linhas);
                desmarca.execute();
            }
        }
    }
    linhas.close();
    juntaExclusoes(T, TB, marcaDoDia);
    if (TB.recordCount() > 0) {
        // A packet waiting under the name is never replaced: the name takes the next moment instead, and claims
        // it atomically against another export of this installation. A name already sent is passed over too: the
        // server keeps one file per name.
        TB.setParam(kParamInstalacao, estado().identidade());
        TB.setParam(kParamComputador, computador);
        // The run's moment first, which the other tables' packets share; then moments of their own.
        std::vector<fs::path> candidatos; // the nth candidate is asked for more than once
        bool daExportacao = true;
        const fs::path pacote = TB.saveToNewFile(
            [&](int n) {
                while (candidatos.size() <= static_cast<size_t>(n)) {
                    const Timestamp momento = daExportacao ? momentoDaExportacao() : reservaMomento();
                    daExportacao = false;
                    fs::path nome = geral_.sPathOut / NomeArquivoPacote(T, geral_.prmUnidade, momento);
                    if (!enviados_.count(nome.filename().string()))
                        candidatos.push_back(std::move(nome));
                }
                return candidatos[static_cast<size_t>(n)];
            },
            kSegundosDoDia);
        pontoDeTeste("export:packet-written");
        unidade.confirma();
        eventos->pacoteAndou(pacote.filename().string(), PassoDoPacote::Exportado,
                             static_cast<long long>(TB.recordCount()));
        return;
    }
    unidade.confirma();
}

std::string TfrmEDI::comandoMarca(const std::string& T, const ComandosTabela& c) const {
    std::string retorno;
    for (size_t i = 0; i < c.colunas.size(); ++i)
        retorno += (i ? ", " : "") + c.colunas[i];
    return "UPDATE " + T + " SET DT_EXP = :DT_EXP WHERE " + condicaoChave(c) +
           " AND DT_EXP IS NULL AND CD_EDI IS NOT NULL AND CD_UND IS NOT NULL RETURNING " + retorno;
}

void TfrmEDI::carimbaChaves(const std::string& T, const ComandosTabela& c, UnidadeDeTrabalho& unidade) {
    try {
        db::Query q(dm_.DB(), "UPDATE " + T +
                                  " SET CD_EDI = CASE WHEN CD_EDI IS NULL THEN GEN_ID(GEN_EDI, 1) ELSE CD_EDI END,"
                                  " CD_UND = COALESCE(CD_UND, :CD_UND)"
                                  " WHERE DT_EXP IS NULL AND (CD_EDI IS NULL OR CD_UND IS NULL)");
        q.setParam("CD_UND", Value::text(geral_.prmUnidade));
        q.execute();
    } catch (const Error&) {
        // Something refuses the whole set (a row locked by another user, a missing column or generator):
        // row by row, each failure in the log and every other row keyed.
        unidade.desfaz();
        carimbaChavesLinhaALinha(T, c);
    }
}

void TfrmEDI::carimbaChavesLinhaALinha(const std::string& T, const ComandosTabela& c) {
    db::Query linhas(dm_.DB(), selecaoPendentes(T, c));
    db::Query grava(dm_.DB(), "UPDATE " + T + " SET CD_EDI = :CD_EDI, CD_UND = :CD_UND WHERE " + condicaoChave(c));
    for (linhas.open(); !linhas.eof(); linhas.next()) {
        try {
            Value cdEdi = linhas.value("CD_EDI");
            Value cdUnd = linhas.value("CD_UND");
            if (!cdEdi.isNull() && !cdUnd.isNull())
                continue;
            if (cdEdi.isNull())
                cdEdi = Value::int64(dm_.GeraCodigo("GEN_EDI"));
            if (cdUnd.isNull())
                cdUnd = Value::text(geral_.prmUnidade);
            grava.setParam("CD_EDI", cdEdi);
            grava.setParam("CD_UND", cdUnd);
            defineChave(grava, c, linhas);
            grava.execute();
        } catch (const std::exception& e) {
            registraErro(T, e.what());
        }
    }
}

void TfrmEDI::MudaTodasDatasExp() {
    btOrdemClick();
    UnidadeDeTrabalho unidade(dm_);
    for (const auto& reg : registro_) {
        try {
            dm_.DB().execute("UPDATE " + reg.NM_TABELA + " SET DT_EXP = NULL");
        } catch (const Error&) {
            // a table missing from this database is simply skipped
        }
    }
    unidade.confirma();
}

// ---------------------------------------------------------------------------------------------------------------
// Import

// The status before each record shows figures at most a quarter of a second old: reading them costs about as
// much as writing a record. A failed record's log line reads them afresh.
MemoriaFisica TfrmEDI::memoriaRecente() {
    const auto agora = std::chrono::steady_clock::now();
    if (!memoriaRecente_ || agora - memoriaLidaEm_ >= std::chrono::milliseconds(250)) {
        memoriaRecente_ = memoria();
        memoriaLidaEm_ = agora;
    }
    return *memoriaRecente_;
}

std::string TfrmEDI::textoMemoria(const char* padrao, const MemoriaFisica& m) {
    auto f = [&](int64_t kb) { return std::string(padrao) + formats::formatThousands(kb); };
    return f(m.totalKb) + f(m.disponivelKb);
}

void TfrmEDI::btImportarClick() {
    struct ZeraProgresso {
        Ui& ui;
        ~ZeraProgresso() { ui.setProgressPosition(0); }
    } zera{ui_};
    try {
        const std::string D = formatDateTime("ddmmyy", Timestamp::localNow());
        const fs::path pastaDia = geral_.sPathIn / D;
        // Each unreadable file leaves the incoming folder before the run starts over, so the number of
        // restarts is bounded by the files there; the cap guards against a file that cannot be moved.
        size_t reinicios = 0;
        ignoradosPorVersao_ = 0;
        remetentesDuplicados_.clear();
        retidosDaExecucao_.clear();
        const size_t limite =
            16 + static_cast<size_t>(std::distance(fs::directory_iterator(geral_.sPathIn), fs::directory_iterator{}));
        liberaArquivosCorrompidos();
        while (execucaoImportacao(pastaDia, D) == FimDaImportacao::Reiniciar && ++reinicios < limite) {
        }
        ui_.setMessage(ignoradosPorVersao_ == 0 ? std::string("Pronto!")
                                                : "Pronto! Registros ignorados por já terem versão mais recente: " +
                                                      std::to_string(ignoradosPorVersao_));
        const ContagemRetidos retidos = contaRetidos(geral_.sPathIn);
        if (!retidos.vazia())
            ui_.setMessage(textoRetidos(retidos));
        if (retidos.doOperador > 0) // the panel's text is soon replaced; what needs a person stays in the log
            registraErro("Importação", textoRetidos(retidos));
        dm_.ExecutaECommita("Update PARAMETRO set VALOR = 'Importar!' \nwhere CD_PARAMETRO = 29");
    } catch (const std::exception& e) {
        ui_.setMessage(std::string("Erro:") + e.what());
        eventos->falhaNaEtapa(e.what());
    }
}

TfrmEDI::FimDaImportacao TfrmEDI::execucaoImportacao(const fs::path& pastaDia, const std::string& D) {
    memoriaDeVersoes_.reset(); // looked at again by each run: the database may have changed in between
    btOrdemClick();
    ValidaDiretorio(pastaDia);
    ValidaDiretorio(pastaCorrompidosDoDia(geral_.sPathIn, D) / kPastaLiberados);
    ui_.setProgressMax(static_cast<int>(registro_.size()));
    ui_.setProgressPosition(0);
    std::string ultimoArquivo;
    for (const RegistroEDI& reg : registro_) {
        if (!reg.receber())
            continue;
        UnidadeDeTrabalho unidade(dm_);
        try {
            if (importaTabela(reg, unidade, pastaDia, D, ultimoArquivo) == FimDaImportacao::Reiniciar)
                return FimDaImportacao::Reiniciar;
        } catch (const std::exception& e) {
            ui_.setMessage(ultimoArquivo + CR + reg.NM_TABELA + CR + "Erro:" + e.what());
            eventos->falhaNaEtapa(reg.NM_TABELA + ": " + e.what());
        }
        ui_.setProgressPosition(ui_.progressPosition() + 1);
        unidade.confirma();
    }
    retentaRetidosDaExecucao(pastaDia, D);
    return FimDaImportacao::Normal;
}

std::vector<TfrmEDI::Pacote> TfrmEDI::listaArquivos(const std::string& T) const {
    struct Listado {
        std::optional<Timestamp> momento;
        std::string maiusculo;
        Pacote pacote;
    };
    std::vector<Listado> listados;
    auto lista = [&](Pacote p) {
        const std::string& nome = p.nome;
        if (nome.size() >= T.size() + 4 && formats::equalsIgnoreCase(nome.substr(0, T.size()), T) &&
            formats::equalsIgnoreCase(nome.substr(nome.size() - 4), kExtensaoPacote))
            listados.push_back({MomentoDoPacote(nome), formats::toUpper(p.caminho.filename().string()), std::move(p)});
    };
    for (const auto& entry : fs::directory_iterator(geral_.sPathIn))
        if (entry.is_regular_file())
            lista({entry.path(), entry.path().filename().string(), std::nullopt});
    // Kept records take their packet's moment among the table's files: a newer version of a row still comes after.
    for (auto& r : arquivosRetidos(geral_.sPathIn))
        if (r.tentativas < kTentativasAutomaticas || incluiRetidosDoOperador_)
            lista({std::move(r.caminho), std::move(r.original), r.tentativas});
    // Two versions of a row are applied in the order they were exported, so the later one stands. The
    // name's stamp begins with the day, so name order is not time order.
    std::sort(listados.begin(), listados.end(), [](const Listado& a, const Listado& b) {
        return std::tie(a.momento, a.maiusculo) < std::tie(b.momento, b.maiusculo);
    });
    std::vector<Pacote> pacotes;
    for (auto& l : listados)
        pacotes.push_back(std::move(l.pacote));
    return pacotes;
}

TfrmEDI::FimDaImportacao TfrmEDI::importaTabela(const RegistroEDI& reg, UnidadeDeTrabalho& unidade,
                                                const fs::path& pastaDia, const std::string& D,
                                                std::string& ultimoArquivo) {
    // A column added here is invisible to this transaction's statements until it commits.
    if (ValidaCamposEDI(reg.NM_TABELA))
        unidade.confirma();
    bool saiu = false;
    return importaPacotes(reg, listaArquivos(reg.NM_TABELA), pastaDia, D, ultimoArquivo, saiu);
}

TfrmEDI::FimDaImportacao TfrmEDI::importaPacotes(const RegistroEDI& reg, const std::vector<Pacote>& pacotes,
                                                 const fs::path& pastaDia, const std::string& D,
                                                 std::string& ultimoArquivo, bool& saiu) {
    const std::string& T = reg.NM_TABELA;
    const std::string& destino = reg.destino();
    const ComandosTabela c = MontaDataSet(dm_, destino, *ibds_);
    ui_.setMessage("Importanto " + T + " ...");
    for (const Pacote& pacote : pacotes) {
        ui_.pumpEvents();
        if (!PertenceATabela(pacote.nome, T))
            continue;
        const std::string F = pacote.caminho.filename().string();
        ultimoArquivo = F;
        ui_.setMessage(ui_.message() + CR + "Arquivo :" + F);
        PacketTable ocds;
        try {
            ocds = PacketTable::loadFromFile(pacote.caminho, PacketTable::RowView::WithDeleted);
        } catch (const PacketError&) {
            if (pacote.tentativas) { // ours, not the server's: set aside for the operator, nothing to ask
                moveFileReplacing(pacote.caminho, pastaCorrompidosDoDia(geral_.sPathIn, D) / F);
                continue;
            }
            // Only content the reader refuses makes a file unreadable. Any other failure (I/O, memory) says
            // nothing about the file: it ends the table, and the file waits here for the next run.
            // Moving the file out first is what bounds the restarts: a file that cannot leave the folder
            // ends this table with an error instead.
            arquivoIlegivel(F, D);
            return FimDaImportacao::Reiniciar;
        }
        saiu = importaArquivo(T, destino, c, pacote, ocds, pastaDia) || saiu;
    }
    return FimDaImportacao::Normal;
}

bool TfrmEDI::importaArquivo(const std::string& T, const std::string& destino, const ComandosTabela& c,
                             const Pacote& pacote, PacketTable& ocds, const fs::path& pastaDia) {
    const std::string F = pacote.caminho.filename().string();
    std::vector<std::string> Log;
    Log.push_back("Lendo arquivo:" + F);
    int nI = 0, nA = 0, nE = 0, nV = 0, nX = 0;
    bool comExclusoes = false;
    confereRemetente(T, pacote.nome, ocds);
    const bool unidade = destino == "UNIDADE";
    const std::optional<Timestamp> momento = unidade ? std::nullopt : MomentoDoPacote(pacote.nome);
    if (momento && !memoriaDeVersoes_)
        memoriaDeVersoes_ = std::make_unique<MemoriaDeVersoes>(dm_);
    VersoesRecebidas versoes(momento ? memoriaDeVersoes_.get() : nullptr, destino, momento);
    const std::string select = unidade ? "SELECT * FROM " + destino + " WHERE CD_UNIDADE = :CD_UNIDADE "
                                       : "SELECT * FROM " + destino + " WHERE CD_UND = :CD_UND AND CD_EDI = :CD_EDI";
    db::Dataset oibds(dm_.DB());
    oibds.setInsertSql(c.insert);
    oibds.setModifySql(c.modify);
    oibds.setDeleteSql(c.del);
    oibds.setSelectSql(select);
    const int total = static_cast<int>(ocds.recordCount());
    const auto& campos = ocds.fields();
    std::vector<int> destinos; // the table's column for each of the packet's, found with the first record
    std::optional<domain::RegraDePosse> posse; // read with the first record that needs it, failing it when unreadable
    // What is not written is kept: the failed records, and those left by a row another user holds locked.
    PacketTable falhados(campos), bloqueados(campos);
    std::chrono::milliseconds esperado{0};

    auto valorDoPacote = [&](const char* nome) -> const Value& {
        const int i = ocds.fieldIndex(nome);
        if (i < 0)
            throw Error(std::string("Campo ") + nome + " ausente no arquivo");
        const Value& v = ocds.value(static_cast<size_t>(i));
        // A row without its interchange key would be inserted again by every later import.
        if (v.isNull())
            throw Error(std::string("Campo ") + nome + " vazio no registro");
        return v;
    };

    std::optional<LoteImportacao> lote(std::in_place, dm_, loteImportacao, kIdadeMaximaDoLote);
    auto confirmaLote = [&] {
        versoes.grava();
        if (lote->confirma())
            pontoDeTeste("import:batch-committed");
    };
    int numero = 0;
    try {
        for (ocds.first(); !ocds.eof(); ocds.next()) {
            ++numero;
            if (pacote.daExecucao && ocds.rowState() != PacketTable::RowState::Deleted) {
                copiaRegistro(ocds, falhados); // only a deletion may have been waiting for a later table
                continue;
            }
            for (;;) {
                int* decisao = nullptr; // the counter of the decision taken, undone when the record is retried
                try {
                    ui_.pumpEvents();
                    ui_.setMessage("N:" + std::to_string(numero) + "x" + std::to_string(total) +
                                   textoMemoria(" ", memoriaRecente()));
                    oibds.close();
                    const bool exclusao = ocds.rowState() == PacketTable::RowState::Deleted;
                    if (unidade) {
                        if (!exclusao) // a deletion carries the owner and code only
                            oibds.setParam("CD_UNIDADE", valorDoPacote("CD_UNIDADE"));
                    } else {
                        oibds.setParam("CD_EDI", valorDoPacote("CD_EDI"));
                        oibds.setParam("CD_UND", valorDoPacote("CD_UND"));
                        if (versoes.ultrapassada(valorDoPacote("CD_UND"), valorDoPacote("CD_EDI"))) {
                            ++nV;
                            break;
                        }
                    }
                    lote->abreRegistro();
                    if (!posse)
                        posse = regraDePosse();
                    if (exclusao) {
                        comExclusoes = true;
                        decisao = &nX;
                        ++nX;
                        if (posse->aplicaExclusaoRecebida(valorDoPacote("CD_UND")))
                            aplicaExclusao(destino, valorDoPacote("CD_UND"), valorDoPacote("CD_EDI"));
                        if (!unidade) // its moment keeps an older version of the row from coming back
                            versoes.registra(valorDoPacote("CD_UND"), valorDoPacote("CD_EDI"));
                        lote->fechaRegistro();
                        pontoDeTeste("import:record-written");
                        break;
                    }
                    oibds.open();
                    if (oibds.eof() && !unidade && !posse->aplicaExclusaoRecebida(valorDoPacote("CD_UND")) &&
                        excluidaAqui(destino, valorDoPacote("CD_UND"), valorDoPacote("CD_EDI"))) {
                        ++nV; // deleted since: the deletion is the newer version
                        break;
                    }
                    if (oibds.eof()) {
                        oibds.append();
                        decisao = &nI;
                    } else {
                        if (!unidade) {
                            confirmaMesmaLinha(c, oibds, ocds);
                            if (posse->mudancaLocalPrevalece(oibds.value("CD_UND"), oibds.value("DT_EXP"))) {
                                ++nV;
                                break;
                            }
                        }
                        oibds.edit();
                        decisao = &nA;
                    }
                    ++*decisao;
                    if (destinos.empty())
                        destinos = colunasDestino(oibds, campos);
                    for (size_t i = 0; i < campos.size(); ++i)
                        if (auto v = CopiaValor(campos[i], ocds.value(i))) {
                            if (destinos[i] < 0)
                                oibds.setValue(campos[i].name, *v); // refused, naming the column
                            oibds.setValue(static_cast<size_t>(destinos[i]), *v);
                        }
                    if (posse->importadaSegueAdiante(oibds.value("CD_UND")))
                        oibds.setValue("DT_EXP", Value());
                    oibds.post();
                    if (!unidade)
                        versoes.registra(valorDoPacote("CD_UND"), valorDoPacote("CD_EDI"));
                    lote->fechaRegistro();
                    pontoDeTeste("import:record-written");
                    oibds.close();
                    break;
                } catch (const std::exception& e) {
                    oibds.cancel();
                    oibds.close();
                    const auto* erro = dynamic_cast<const DatabaseError*>(&e);
                    if (erro && db::isLockConflict(*erro)) {
                        if (decisao)
                            --*decisao;
                        if (esperado < esperaPorBloqueio) {
                            // The batch's own locks may be what the other user waits for.
                            confirmaLote();
                            esperado += aguardaBloqueio(esperaPorBloqueio - esperado);
                            continue;
                        }
                        copiaRegistro(ocds, pacote.daExecucao ? falhados : bloqueados);
                        break;
                    }
                    ++nE;
                    Log.push_back("Erro:" + T + " Registro :" + std::to_string(numero) + " Total :" +
                                  std::to_string(total) + textoMemoria("Memória Física:  ", memoria()) + CR + e.what());
                    copiaRegistro(ocds, falhados);
                    break;
                }
            }
            if (lote->cheio())
                confirmaLote();
        }
        // The file leaves the incoming folder only once all its records are durable.
        confirmaLote();
    } catch (...) {
        lote->abandona();
        throw;
    }
    lote.reset(); // the batch ends with the records: what follows writes only files
    Log.push_back(F + " Erros :" + std::to_string(nE) + " Alterados :" + std::to_string(nA) +
                  " Novos :" + std::to_string(nI) + (comExclusoes ? " Excluídos :" + std::to_string(nX) : ""));
    if (nV > 0)
        Log.push_back("Registros ignorados por já terem versão mais recente: " + std::to_string(nV));
    ignoradosPorVersao_ += nV;

    const bool reescrito = guardaNaoEscritos(T, pacote, falhados, bloqueados, Log);
    if (falhados.recordCount() + bloqueados.recordCount() > 0)
        pontoDeTeste("import:kept-written");
    pontoDeTeste("import:file-read");
    if (!reescrito)
        moveFileReplacing(pacote.caminho, pastaDia / F);
    eventos->pacoteAndou(pacote.nome, PassoDoPacote::Importado, nI + nA + nX);
    if (falhados.recordCount() > 0)
        eventos->pacoteAndou(pacote.nome, PassoDoPacote::Recusado, static_cast<long long>(falhados.recordCount()));

    std::ostringstream texto;
    for (const auto& linha : Log)
        texto << linha << "\r\n";
    // Files of one table imported within the same second would share the name: the later logs take a suffix,
    // so no log of refused records is ever replaced.
    const std::string nomeLog = T + formatDateTime("hhnss", Timestamp::localNow());
    writeNewFile(
        [&](int n) { return pastaDia / (nomeLog + (n == 0 ? std::string() : "_" + std::to_string(n + 1)) + ".log"); },
        kSegundosDoDia, texto.str());
    return falhados.recordCount() + bloqueados.recordCount() < static_cast<size_t>(total);
}

void TfrmEDI::arquivoIlegivel(const std::string& F, const std::string& D) {
    const fs::path corrompido = pastaCorrompidosDoDia(geral_.sPathIn, D);
    moveFileReplacing(geral_.sPathIn / F, corrompido / F);
    eventos->pacoteAndou(F, PassoDoPacote::Recusado);
    pedeDescarte(corrompido / F);
    ui_.setMessage("Arquivo corrompido... Reininciando EDI...");
}

bool TfrmEDI::pedeDescarte(const fs::path& arquivo) {
    const std::string F = arquivo.filename().string();
    const std::string resposta = DeleteRefEDI_UNIDADE ? DeleteRefEDI_UNIDADE(F) : std::string("Erro");
    if (resposta == "Erro")
        return false;
    ValidaDiretorio(arquivo.parent_path() / kPastaLiberados);
    moveFileReplacing(arquivo, arquivo.parent_path() / kPastaLiberados / F);
    return true;
}

// Until the server drops its reference, it may offer an unreadable file again; so each run asks again for
// every file still waiting in a day's "corrompido" folder. The first refusal ends the asking: the server is
// not answering, and the files wait for the next run.
void TfrmEDI::liberaArquivosCorrompidos() {
    const fs::path corrompido = pastaCorrompidos(geral_.sPathIn);
    try {
        if (!fs::is_directory(corrompido))
            return;
        std::vector<fs::path> esperando;
        for (const auto& dia : fs::directory_iterator(corrompido))
            if (dia.is_directory())
                for (const auto& f : fs::directory_iterator(dia.path()))
                    if (f.is_regular_file())
                        esperando.push_back(f.path());
        std::sort(esperando.begin(), esperando.end());
        for (const auto& arquivo : esperando)
            if (!pedeDescarte(arquivo))
                return;
    } catch (const std::exception& e) {
        ui_.setMessage(std::string("Erro:") + e.what());
    }
}

} // namespace edi
