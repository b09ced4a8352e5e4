#pragma once

#include "core/value.h"
#include "db/database.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace edi::db {
class Dataset;
class Query;
} // namespace edi::db

namespace edi::tools {

// The filter fields of the De-Para window; the values go into the statement as typed.
struct FiltroDePara {
    std::string tabela, provincia, municipio, unidade, und, mesano;
};

// The select of both sides for the filter. Operators type SQL fragments on purpose (a text carries its own
// quotes, the months are a list), so values stay verbatim; but a value that could end the statement or hide
// the rest of it (";", "--", "/*") is refused with an Error naming its field.
std::string MontaFiltro(const FiltroDePara& filtro);

// The rows of a select, read from its cursor only as far as someone asks: a grid over a large table reads
// what it shows and no more.
class LinhasLidas {
public:
    LinhasLidas(db::Database& db, const std::string& sql);
    ~LinhasLidas();

    const std::vector<FieldDef>& campos() const { return campos_; }
    std::size_t lidas() const { return linhas_.size(); }
    const std::vector<Value>& linha(std::size_t i) const { return linhas_.at(i); }
    bool haMais() const;
    // Reads up to `n` more rows; how many it read.
    std::size_t buscaMais(std::size_t n);

private:
    std::unique_ptr<db::Query> cursor_;
    std::vector<FieldDef> campos_;
    std::vector<std::vector<Value>> linhas_;
};

// What De-Para tells whoever shows it: the log lines, the progress bar, and a chance to keep a window alive.
struct AvisosDePara {
    std::function<void(const std::string&)> log;
    std::function<void(int64_t)> maximo;
    std::function<void(int64_t)> posicao;
    std::function<void()> eventos;
};

// What the last "De -> Para" did with the De rows.
struct ContagemDaCopia {
    int64_t copiadas = 0;
    int64_t falhas = 0;
};

// De-Para without its widgets: copies the rows of one table from the De database into the Para database,
// shows both sides and compares the programme registers. The window TfrmDePara and `edi-admin depara` both
// drive it; the log lines are the same for both.
class DePara {
public:
    static constexpr const char* kDeInicial = "localhost:/var/lib/edi/central.fdb";
    static constexpr const char* kParaInicial = "/var/lib/edi/para.fdb";
    static const std::array<const char*, 9> kRegistros;

    // `login` gives the user, password and character set of both connections; its database is ignored.
    DePara(db::ConnectionParams login, AvisosDePara avisos);
    ~DePara();

    std::string edDe = kDeInicial;
    std::string edPara = kParaInicial;
    FiltroDePara filtro;

    void btDeClick();       // (re)opens the De connection
    void btParaClick();     // (re)opens the Para connection
    void btAbrirClick();    // both sides with the filter, and their counts
    void btDelParaClick();  // deletes the Para rows the last "Abrir" showed
    void btDeParaClick();   // inserts every De row of the last "Abrir" into Para, one commit per row
    void btCompararClick(); // "Abrir" for each programme register

    bool deAberto() const { return ibDe_ != nullptr; }
    bool paraAberto() const { return ibPara_ != nullptr; }
    // The table of the last "Abrir"; empty when nothing is open.
    std::string tabelaAberta() const { return aberto_ ? aberto_->tabela : std::string(); }
    int64_t contagemDe() const { return contagemDe_; }
    int64_t contagemPara() const { return contagemPara_; }
    const ContagemDaCopia& ultimaCopia() const { return ultimaCopia_; }
    // The rows the grids show; nothing before the first "Abrir" after a connection was opened.
    LinhasLidas* gradeDe() { return gradeDe_.get(); }
    LinhasLidas* gradePara() { return gradePara_.get(); }

private:
    struct Aberto {
        std::string tabela, sql;
    };

    std::unique_ptr<db::Database> abre(const std::string& conexao);
    db::Database& de();
    db::Database& para();
    const Aberto& aberto() const;
    void fechaDe();
    void fechaPara();
    void mostraDe();
    void mostraPara();
    void ComitaPara();
    void log(const std::string& linha) const;

    db::ConnectionParams login_;
    AvisosDePara avisos_;
    std::unique_ptr<db::Database> ibDe_, ibPara_;
    std::unique_ptr<db::Dataset> tbDe_, tbPara_;
    std::unique_ptr<LinhasLidas> gradeDe_, gradePara_;
    std::optional<Aberto> aberto_;
    int64_t contagemDe_ = 0, contagemPara_ = 0;
    ContagemDaCopia ultimaCopia_;
};

} // namespace edi::tools
