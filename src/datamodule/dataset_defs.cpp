// The module's datasets. Every table with a dataset in the schema description gets one generated from it;
// what differs per dataset (select texts with looked-up columns, filters, orders, the exceptions to the
// generated statements) is written down here and nothing else.
#include "datamodule/dataset_def.h"

#include "core/formats.h"
#include "domain/regras_padroes.h"
#include "domain/schema.h"

#include <functional>
#include <map>

namespace edi::datamodule {

namespace {

using Patch = std::function<void(DatasetDef&)>;

// Filters and orders of the generated selects.
const std::map<std::string, std::pair<std::string, std::string>>& whereAndOrder() {
    static const std::map<std::string, std::pair<std::string, std::string>> m = {
        {"TB_USUARIO_CMP", {"", "CD_USUARIO, CD_UND"}},
        {"TB_MEDICO", {"", "CD_MEDICO"}},
        {"TB_SERVICOS", {"", "CD_SERVICO"}},
        {"TB_PAIS", {"", "CD_PAIS"}},
        {"TB_OCUPACAO", {"", "CD_OCUPACAO"}},
        {"TB_TIPO_DOCUMENTO", {"", "CD_TIPO_DOCUMENTO"}},
        {"TB_ESQUEMA", {"", "CD_ESQUEMA"}},
        {"TB_FORMA", {"", "CD_FORMA"}},
        {"TB_PARAMETRO", {"", "CD_PARAMETRO"}},
        {"TB_TABELA_EDI", {"NM_TABELA = :NM_TABELA", ""}},
        {"TB_VERSAO_RELATORIO", {"TP_RELATORIO = :TP_RELATORIO", ""}},
        {"TB_ENDERECO", {"CD_ENDERECO = :CD_ENDERECO", ""}},
        {"TB_DOCUMENTO", {"CD_DOCUMENTO = :CD_DOCUMENTO", ""}},
        {"TB_PESSOA_TEL", {"CD_PESSOA = :CD_PESSOA", ""}},
    };
    return m;
}

// The exceptions, by dataset.
const std::map<std::string, Patch>& patches() {
    static const std::map<std::string, Patch> m = {
        {"TB_UNIDADE",
         [](DatasetDef& d) {
             d.select = "select u.CD_UNIDADE, u.CD_UND, u.CD_PROVINCIA, u.DS_UNIDADE, u.CD_MUNICIPIO, u.FL_ATIVA, "
                        "u.VL_VERSAO, p.DS_PROVINCIA, m.DS_MUNICIPIO\n"
                        "from UNIDADE u\n"
                        "left outer join PROVINCIA p on p.CD_PROVINCIA = u.CD_PROVINCIA and p.CD_UND = u.CD_UND\n"
                        "left outer join MUNICIPIO m on m.CD_MUNICIPIO = u.CD_MUNICIPIO and m.CD_UND = u.CD_UND\n"
                        "order by u.CD_UNIDADE";
         }},
        {"TB_ESQUEMA",
         [](DatasetDef& d) {
             // A row saved here goes out with the next export; its interchange code stays as it was.
             d.undeclared = {"CD_EDI"};
             d.fills = {{"DT_EXP", Fill::Null}};
         }},
        {"TB_USUARIO",
         [](DatasetDef& d) {
             d.written = {"CD_USUARIO", "CD_UND", "EMAIL",    "NOME",       "SENHA",
                          "DT_EXP",     "CD_EDI", "NM_LOGIN", "DT_CADASTRO"};
             d.undeclared = {"DT_EXP", "CD_EDI"};
         }},
        {"TB_PESSOA_DOC",
         [](DatasetDef& d) {
             d.where = "CD_PESSOA = :CD_PESSOA";
             d.master = {"TB_PESSOA", {"CD_PESSOA"}};
             d.fills = {{"CD_UND", Fill::UnitCode}};
         }},
        {"TB_PESSOA_ENDERECO",
         [](DatasetDef& d) {
             d.where = "CD_PESSOA = :CD_PESSOA";
             d.master = {"TB_PESSOA", {"CD_PESSOA"}};
             d.fills = {{"CD_UND", Fill::UnitCode}};
         }},
        {"TB_PESSOA_TEL",
         [](DatasetDef& d) {
             d.master = {"TB_PESSOA", {"CD_PESSOA"}};
         }},
        {"TB_ENDERECO",
         [](DatasetDef& d) {
             d.fills = {{"CD_UND", Fill::UnitCode}};
         }},
        {"TB_PROTOCOLO_ENVIO",
         [](DatasetDef& d) {
             d.where = "CD_UNIDADE = :CD_UNIDADE and CD_PROVINCIA = :CD_PROVINCIA and CD_MUNICIPIO = :CD_MUNICIPIO "
                       "and VL_MESANO = :VL_MESANO and TP_PROTOCOLO = :TP_PROTOCOLO";
         }},
    };
    return m;
}

std::vector<DatasetDef> queries() {
    std::vector<DatasetDef> q;
    auto add = [&](const char* name, const char* select) {
        DatasetDef d;
        d.name = name;
        d.select = select;
        d.canInsert = d.canUpdate = d.canDelete = false;
        q.push_back(std::move(d));
    };
    add("qyUnidade", "select u.*, p.DS_PROVINCIA, m.DS_MUNICIPIO\n"
                     "from UNIDADE u\n"
                     "left outer join PROVINCIA p on p.CD_PROVINCIA = u.CD_PROVINCIA and p.CD_UND = u.CD_UND\n"
                     "left outer join MUNICIPIO m on m.CD_MUNICIPIO = u.CD_MUNICIPIO and m.CD_UND = u.CD_UND\n"
                     "where u.CD_UNIDADE = :Unidade");
    add("qyParametro", "select * from PARAMETRO where CD_PARAMETRO = :CD_PARAMETRO");
    add("qyStatus", "select SG_STATUS, DS_STATUS from STATUS");
    add("qyMedico", "SELECT * FROM MEDICO");
    return q;
}

std::vector<DatasetDef> build() {
    std::vector<DatasetDef> defs;
    for (const domain::Table& t : domain::tables()) {
        if (t.dataset.empty())
            continue;
        DatasetDef d;
        d.name = t.dataset;
        d.table = t.name;
        if (const domain::VinculoGerador* g = domain::VinculoGeradorDe(d.name))
            d.generators.push_back({g->gerador, g->coluna,
                                    g->momento == domain::MomentoGerador::Gravacao ? GeneratorTiming::AtPost
                                                                                   : GeneratorTiming::AtNewRow});
        if (auto it = whereAndOrder().find(d.name); it != whereAndOrder().end()) {
            d.where = it->second.first;
            d.order = it->second.second;
        }
        if (auto it = patches().find(d.name); it != patches().end())
            it->second(d);
        defs.push_back(std::move(d));
    }
    for (DatasetDef& q : queries())
        defs.push_back(std::move(q));
    return defs;
}

} // namespace

const std::vector<DatasetDef>& datasetDefs() {
    static const std::vector<DatasetDef> all = build();
    return all;
}

const DatasetDef* findDatasetDef(const std::string& name) {
    for (const DatasetDef& d : datasetDefs())
        if (formats::equalsIgnoreCase(d.name, name))
            return &d;
    return nullptr;
}

} // namespace edi::datamodule
