#include "tools/depara.h"

#include "core/errors.h"
#include "db/dataset.h"
#include "db/query.h"
#include "interchange/row_writer.h"

#include <utility>

namespace edi::tools {

namespace {

// Refuses what could end the statement or turn the rest of it into a comment.
void recusaFimDeComando(const std::string& valor, const char* rotulo) {
    for (const char* marca : {";", "--", "/*"})
        if (valor.find(marca) != std::string::npos)
            throw Error(std::string("O filtro \"") + rotulo +
                        "\" não pode conter \";\", \"--\" nem \"/*\": escreva só o valor (um texto leva as suas "
                        "próprias aspas).");
}

void clausula(std::string& sql, const std::string& valor, const char* rotulo, const std::string& antes,
              const std::string& depois = "") {
    recusaFimDeComando(valor, rotulo);
    if (!valor.empty())
        sql += antes + valor + depois;
}

int64_t conta(db::Database& banco, const std::string& sql) {
    db::Query q(banco, "select count(*) from (" + sql + ")");
    q.open();
    return q.value(0).asInt64();
}

} // namespace

std::string MontaFiltro(const FiltroDePara& f) {
    recusaFimDeComando(f.tabela, "Tabela:");
    std::string sql = "select * from " + f.tabela + " where (1=1)  ";
    clausula(sql, f.provincia, "Provincia:", " and cd_provincia = ");
    clausula(sql, f.mesano, "Mes/Ano:", " and vl_mesano in (", ")");
    clausula(sql, f.municipio, "Municipio:", " and cd_municipio = ");
    clausula(sql, f.unidade, "Unidade:", " and cd_unidade = ");
    clausula(sql, f.und, "Und:", " and cd_und = ");
    return sql;
}

LinhasLidas::LinhasLidas(db::Database& db, const std::string& sql) : cursor_(std::make_unique<db::Query>(db, sql)) {
    campos_ = cursor_->fields();
    cursor_->open();
}

LinhasLidas::~LinhasLidas() = default;

bool LinhasLidas::haMais() const {
    return !cursor_->eof();
}

std::size_t LinhasLidas::buscaMais(std::size_t n) {
    std::size_t lidas = 0;
    for (; lidas < n && !cursor_->eof(); ++lidas) {
        std::vector<Value> linha(campos_.size());
        for (std::size_t i = 0; i < linha.size(); ++i)
            linha[i] = cursor_->value(i);
        linhas_.push_back(std::move(linha));
        cursor_->next();
    }
    return lidas;
}

const std::array<const char*, 9> DePara::kRegistros = {
    "REGISTRO_ATV",      "REGISTRO_COINFECCAO",   "REGISTRO_PROGRAMA",
    "REGISTRO_PTV",      "REGISTRO_TARV",         "REGISTRO_TARV_ACOMP",
    "REGISTRO_TARV_CD4", "REGISTRO_TARV_ESQUEMA", "REGISTRO_TESTES_POSITIVOS"};

DePara::DePara(db::ConnectionParams login, AvisosDePara avisos)
    : login_(std::move(login)), avisos_(std::move(avisos)) {}

DePara::~DePara() {
    fechaDe();
    fechaPara();
}

void DePara::log(const std::string& linha) const {
    if (avisos_.log)
        avisos_.log(linha);
}

std::unique_ptr<db::Database> DePara::abre(const std::string& conexao) {
    db::ConnectionParams p = login_;
    p.database = conexao;
    return db::Database::open(p);
}

// Datasets and grids go before their connection.
void DePara::fechaDe() {
    gradeDe_.reset();
    tbDe_.reset();
    ibDe_.reset();
    aberto_.reset();
}

void DePara::fechaPara() {
    gradePara_.reset();
    tbPara_.reset();
    ibPara_.reset();
    aberto_.reset();
}

db::Database& DePara::de() {
    if (!ibDe_)
        throw Error("O banco De não está aberto: use o botão ao lado do campo \"De:\".");
    return *ibDe_;
}

db::Database& DePara::para() {
    if (!ibPara_)
        throw Error("O banco Para não está aberto: use o botão ao lado do campo \"Para:\".");
    return *ibPara_;
}

const DePara::Aberto& DePara::aberto() const {
    if (!aberto_)
        throw Error("Nenhuma tabela aberta: use \"Abrir\" primeiro.");
    return *aberto_;
}

void DePara::btDeClick() {
    fechaDe();
    ibDe_ = abre(edDe);
    log("DB De - Aberto");
}

void DePara::btParaClick() {
    fechaPara();
    ibPara_ = abre(edPara);
    log("DB Para - Aberto");
}

void DePara::mostraDe() {
    gradeDe_ = std::make_unique<LinhasLidas>(de(), aberto().sql);
}

void DePara::mostraPara() {
    gradePara_ = std::make_unique<LinhasLidas>(para(), aberto().sql);
}

void DePara::btAbrirClick() {
    const std::string S = MontaFiltro(filtro);
    const std::string tabela = filtro.tabela;
    aberto_.reset();
    gradeDe_.reset();
    gradePara_.reset();

    tbDe_ = std::make_unique<db::Dataset>(de());
    tbDe_->setSelectSql(S);
    tbDe_->open();
    contagemDe_ = conta(de(), S);

    // The statements come from Para's own catalogue: that is where they run.
    const ComandosTabela c = MontaComandos(para(), tabela);
    tbPara_ = std::make_unique<db::Dataset>(para());
    tbPara_->setInsertSql(c.insert);
    tbPara_->setModifySql(c.modify);
    tbPara_->setDeleteSql(c.del);
    tbPara_->setSelectSql(S);
    tbPara_->open();
    contagemPara_ = conta(para(), S);

    aberto_ = Aberto{tabela, S};
    mostraDe();
    mostraPara();
    log("Tabela: " + tabela + " De: " + std::to_string(contagemDe_) + " Para: " + std::to_string(contagemPara_));
}

void DePara::ComitaPara() {
    para().transaction().commitRetaining();
}

void DePara::btDelParaClick() {
    const Aberto a = aberto();
    gradePara_.reset();
    tbPara_->setSelectSql(a.sql);
    for (tbPara_->open(); !tbPara_->eof();) {
        tbPara_->remove();
        --contagemPara_;
        if (avisos_.eventos)
            avisos_.eventos();
    }
    ComitaPara();
    log("Exclusao Para - Realizado");
    mostraPara();
}

void DePara::btDeParaClick() {
    const Aberto a = aberto();
    gradeDe_.reset();
    gradePara_.reset();
    tbDe_->setSelectSql(a.sql);
    tbDe_->open();
    tbPara_->open();
    if (avisos_.maximo)
        avisos_.maximo(contagemDe_);
    const std::vector<FieldDef> campos = tbDe_->fields();
    ultimaCopia_ = {};
    for (int64_t RecNo = 1; !tbDe_->eof(); ++RecNo) {
        bool postado = false;
        try {
            tbPara_->append();
            for (std::size_t i = 0; i < campos.size(); ++i)
                tbPara_->setValue(campos[i].name, tbDe_->value(i));
            tbPara_->post();
            ++contagemPara_;
            postado = true;
        } catch (const std::exception& e) {
            log("RecNo:" + std::to_string(RecNo) + "Erro: " + e.what());
            tbPara_->cancel();
            ++ultimaCopia_.falhas;
        }
        if (avisos_.posicao)
            avisos_.posicao(contagemPara_);
        tbDe_->next();
        if (postado) {
            try {
                ComitaPara();
                ++ultimaCopia_.copiadas;
            } catch (const std::exception& e) {
                // The row never became durable: drop it from the transaction so the next commits can succeed.
                log("RecNo:" + std::to_string(RecNo) + "Erro: " + e.what());
                para().transaction().rollbackRetaining();
                --contagemPara_;
                ++ultimaCopia_.falhas;
            }
        }
        if (avisos_.eventos)
            avisos_.eventos();
    }
    mostraDe();
    mostraPara();
}

void DePara::btCompararClick() {
    for (const char* tabela : kRegistros) {
        filtro.tabela = tabela;
        btAbrirClick();
    }
}

} // namespace edi::tools
