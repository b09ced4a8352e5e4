// The module's datasets. Every table with a dataset in the schema description gets one generated from it;
// what differs per dataset (filters, orders, looked-up columns, the exceptions to the generated statements)
// is written down here and nothing else. The main table is always "t" in a generated select.
#include "datamodule/dataset_def.h"

#include "core/formats.h"
#include "domain/regras_padroes.h"
#include "domain/schema.h"

#include <functional>
#include <map>

namespace edi::datamodule {

namespace {

using Patch = std::function<void(DatasetDef&)>;

// A looked-up column: the first matching row's value, so a code held by several owning units never
// repeats the row.
std::string lookup(const std::string& expression, const std::string& table, const std::string& condition,
                   const std::string& alias) {
    return "(select first 1 " + expression + " from " + table + " x where " + condition + ") as " + alias;
}

std::string description(const std::string& table, const std::string& codeColumn, const std::string& rowColumn,
                        const std::string& descriptionColumn, const std::string& alias) {
    const std::string row = rowColumn.find('.') == std::string::npos ? "t." + rowColumn : rowColumn;
    return lookup("x." + descriptionColumn, table, "x." + codeColumn + " = " + row, alias);
}

std::string list(std::initializer_list<std::string> items) {
    std::string out;
    for (const auto& i : items)
        out += (out.empty() ? "" : ",\n  ") + i;
    return out;
}

// The patient beside a clinical form or an appointment (alias pa).
const char* kPacienteLookups = "pa.NR_PROCESSO, pa.NM_PACIENTE, pa.DT_NASCIMENTO, pa.IDADE, pa.TP_SEXO, pa.NM_MAE";

const std::string kMonthSheet = "t.CD_UNIDADE = :CD_UNIDADE and t.CD_PROVINCIA = :CD_PROVINCIA and "
                                "t.CD_MUNICIPIO = :CD_MUNICIPIO and t.VL_MESANO = :VL_MESANO";
const std::string kYearSheet =
    "t.CD_UNIDADE = :CD_UNIDADE and t.CD_PROVINCIA = :CD_PROVINCIA and t.CD_MUNICIPIO = :CD_MUNICIPIO";

void monthly(DatasetDef& d, const std::string& order = "") {
    d.where = kMonthSheet;
    d.deleteKey = {"CD_UNIDADE", "CD_PROVINCIA", "CD_MUNICIPIO", "VL_MESANO"};
    d.order = order;
}

void yearly(DatasetDef& d) {
    d.where = kYearSheet;
    d.deleteKey = {"CD_UNIDADE", "CD_PROVINCIA", "CD_MUNICIPIO"};
    d.undeclared = {"VL_MESANO"};
}

void clinicalForm(DatasetDef& d) {
    d.where = "t.CD_PACIENTE = :CD_PACIENTE";
    d.joins = "left outer join PACIENTE pa on pa.CD_PACIENTE = t.CD_PACIENTE";
    d.lookups = list({kPacienteLookups,
                      description("MUNICIPIO", "CD_MUNICIPIO", "pa.CD_MUNICIPIO", "DS_MUNICIPIO", "DS_MUNICIPIO"),
                      description("PROVINCIA", "CD_PROVINCIA", "pa.CD_PROVINCIA", "DS_PROVINCIA", "DS_PROVINCIA")});
}

void orderBy(DatasetDef& d, const std::string& order) {
    d.order = order;
}

const std::map<std::string, Patch>& patches() {
    static const std::map<std::string, Patch> m = {
        // People, users and staff
        {"TB_PESSOA",
         [](DatasetDef& d) {
             d.where = "t.TP_PESSOA = :TP_PESSOA";
             d.joins = "left outer join DOCUMENTO d on d.CD_PESSOA = t.CD_PESSOA and d.FL_PRINCIPAL = 'S'\n"
                       "left outer join ENDERECO e on e.CD_PESSOA = t.CD_PESSOA and e.FL_PRINCIPAL = 'S'\n"
                       "left outer join TELEFONE f on f.CD_PESSOA = t.CD_PESSOA and f.FL_PRINCIPAL = 'S'";
             d.lookups = "d.TP_DOCUMENTO, d.NR_DOCUMENTO, e.DS_ENDERECO, e.DS_BAIRRO, e.DS_CIDADE, "
                         "e.TP_ENDERECO, f.NR_TELEFONE, f.TP_TELEFONE";
         }},
        {"TB_PESSOA_DOC",
         [](DatasetDef& d) {
             d.joins = "join DOCUMENTO d on d.CD_DOCUMENTO = t.CD_DOCUMENTO";
             d.lookups = "d.TP_DOCUMENTO, d.NR_DOCUMENTO";
             d.where = "t.CD_PESSOA = :CD_PESSOA and d.TP_DOCUMENTO = :TP_DOC";
             d.master = {"TB_PESSOA", {"CD_PESSOA"}};
             d.fills = {{"CD_UND", Fill::UnitCode}};
         }},
        {"TB_PESSOA_ENDERECO",
         [](DatasetDef& d) {
             d.joins = "join ENDERECO e on e.CD_ENDERECO = t.CD_ENDERECO";
             d.lookups = "e.TP_ENDERECO, e.DS_ENDERECO, e.DS_BAIRRO, e.DS_CIDADE, e.DS_COMPLEMENTO";
             d.where = "t.CD_PESSOA = :CD_PESSOA and e.TP_ENDERECO = :TP_ENDERECO";
             d.master = {"TB_PESSOA", {"CD_PESSOA"}};
             d.fills = {{"CD_UND", Fill::UnitCode}};
         }},
        {"TB_ENDERECO",
         [](DatasetDef& d) {
             d.where = "t.CD_ENDERECO = :CD_ENDERECO";
             d.fills = {{"CD_UND", Fill::UnitCode}};
         }},
        {"TB_DOCUMENTO", [](DatasetDef& d) { d.where = "t.CD_DOCUMENTO = :CD_DOCUMENTO"; }},
        {"TB_PESSOA_TEL",
         [](DatasetDef& d) {
             d.where = "t.CD_PESSOA = :CD_PESSOA";
             d.master = {"TB_PESSOA", {"CD_PESSOA"}};
         }},
        {"TB_USUARIO",
         [](DatasetDef& d) {
             d.written = {"CD_USUARIO", "CD_UND", "EMAIL",    "NOME",       "SENHA",
                          "DT_EXP",     "CD_EDI", "NM_LOGIN", "DT_CADASTRO"};
             d.undeclared = {"DT_EXP", "CD_EDI"};
         }},
        {"TB_PERMISSAO_USUARIO",
         [](DatasetDef& d) {
             d.undeclared = {"CD_PERUSU",   "CD_UND", "CD_EMPRESA", "CD_EMPRESA_ORIGEM", "CD_EDI", "NM_USUARIO",
                             "DT_CADASTRO", "TP_EDI", "DT_EXP"};
         }},
        {"TB_USUARIO_CMP", [](DatasetDef& d) { orderBy(d, "t.CD_USUARIO, t.CD_UND"); }},
        {"TB_VINC_USUARIO_MEDICO",
         [](DatasetDef& d) {
             d.where = "t.CD_USUARIO = :CD_USUARIO";
             d.lookups = description("MEDICO", "CD_MEDICO", "CD_MEDICO", "NM_MEDICO", "NM_MEDICO");
         }},
        {"TB_MEDICO", [](DatasetDef& d) { orderBy(d, "t.CD_MEDICO"); }},
        // Units and geography
        {"TB_UNIDADE",
         [](DatasetDef& d) {
             d.joins = "left outer join PROVINCIA p on p.CD_PROVINCIA = t.CD_PROVINCIA and p.CD_UND = t.CD_UND\n"
                       "left outer join MUNICIPIO m on m.CD_MUNICIPIO = t.CD_MUNICIPIO and m.CD_UND = t.CD_UND";
             d.lookups = "p.DS_PROVINCIA, m.DS_MUNICIPIO";
             d.order = "t.CD_UNIDADE";
         }},
        {"TB_ST_UNIDADE",
         [](DatasetDef& d) {
             d.where = "t.CD_UND = (select VALOR from PARAMETRO where CD_PARAMETRO = 1)";
             d.lookups = list({description("PROVINCIA", "CD_PROVINCIA", "CD_PROVINCIA", "DS_PROVINCIA", "DS_PROVINCIA"),
                               description("MUNICIPIO", "CD_MUNICIPIO", "CD_MUNICIPIO", "DS_MUNICIPIO", "DS_MUNICIPIO"),
                               description("UNIDADE", "CD_UNIDADE", "CD_UND", "DS_UNIDADE", "UNIDADE_ENVIO")});
         }},
        {"TB_SERVICOS", [](DatasetDef& d) { orderBy(d, "t.CD_SERVICO"); }},
        {"TB_UNIDADE_SERVICOS",
         [](DatasetDef& d) {
             d.where = "t.CD_UNIDADE = :CD_UNIDADE";
             d.lookups = description("SERVICOS", "CD_SERVICO", "CD_SERVICO", "DS_SERVICO", "DS_SERVICO");
             d.undeclared = {"DT_EXP", "CD_EDI", "CD_UND"};
             // The owner is part of the key: a new row gets the code its first export would give it.
             d.fills = {{"CD_UND", Fill::UnitCode}};
             d.master = {"TB_UNIDADE", {"CD_UNIDADE"}};
         }},
        {"TB_PAIS", [](DatasetDef& d) { orderBy(d, "t.CD_PAIS"); }},
        {"TB_PROVINCIA",
         [](DatasetDef& d) {
             d.lookups = description("PAIS", "CD_PAIS", "CD_PAIS", "DS_PAIS", "DS_PAIS");
             d.order = "t.CD_PAIS, t.CD_PROVINCIA";
         }},
        {"TB_MUNICIPIO",
         [](DatasetDef& d) {
             d.joins = "left outer join PROVINCIA p on p.CD_PROVINCIA = t.CD_PROVINCIA and p.CD_UND = t.CD_UND\n"
                       "left outer join PAIS c on c.CD_PAIS = p.CD_PAIS and c.CD_UND = p.CD_UND";
             d.lookups = "p.DS_PROVINCIA, c.DS_PAIS, p.CD_PAIS";
             d.order = "c.DS_PAIS, p.DS_PROVINCIA, t.CD_MUNICIPIO";
         }},
        // Reference tables
        {"TB_OCUPACAO", [](DatasetDef& d) { orderBy(d, "t.CD_OCUPACAO"); }},
        {"TB_TIPO_DOCUMENTO", [](DatasetDef& d) { orderBy(d, "t.CD_TIPO_DOCUMENTO"); }},
        {"TB_ESQUEMA",
         [](DatasetDef& d) {
             d.order = "t.CD_ESQUEMA";
             // A row saved here goes out with the next export; its interchange code stays as it was.
             d.undeclared = {"CD_EDI"};
             d.fills = {{"DT_EXP", Fill::Null}};
         }},
        {"TB_FORMA", [](DatasetDef& d) { orderBy(d, "t.CD_FORMA"); }},
        {"TB_CID10",
         [](DatasetDef& d) {
             d.canInsert = d.canDelete = false;
             d.updateColumns = {"FL_USAR"};
             d.lookups = list(
                 {description("CID10_CAPITULO", "CD_CAPITULO", "CD_CAPITULO", "DS_DESCRABREV", "DS_CAPITULO"),
                  description("CID10_CATEGORIA", "CD_CATEGORIA", "CD_CATEGORIA", "DS_DESCRABREV", "DS_CATEGORIA")});
             d.marker = "/*WHERE*/";
             d.order = "t.CD_CAPITULO, t.CD_GRUPO, t.CD_CATEGORIA, t.CD_SUBCATEGORIA";
         }},
        // System and interchange tables
        {"TB_PARAMETRO", [](DatasetDef& d) { orderBy(d, "t.CD_PARAMETRO"); }},
        {"TB_TABELA_EDI", [](DatasetDef& d) { d.where = "t.NM_TABELA = :NM_TABELA"; }},
        {"TB_ARQUIVO_EDI",
         [](DatasetDef& d) {
             d.where = "(t.FL_IMPORTADO <> 'S' or (t.FL_IMPORTADO IS NULL))";
             d.marker = "/**/";
         }},
        {"TB_PROTOCOLO_ENVIO",
         [](DatasetDef& d) {
             d.where =
                 "t.CD_UNIDADE = :CD_UNIDADE and t.CD_PROVINCIA = :CD_PROVINCIA and t.CD_MUNICIPIO = :CD_MUNICIPIO "
                 "and t.VL_MESANO = :VL_MESANO and t.TP_PROTOCOLO = :TP_PROTOCOLO";
             d.lookups =
                 list({description("UNIDADE", "CD_UNIDADE", "CD_UNIDADE", "DS_UNIDADE", "DS_UNIDADE"),
                       description("MUNICIPIO", "CD_MUNICIPIO", "CD_MUNICIPIO", "DS_MUNICIPIO", "DS_MUNICIPIO"),
                       description("PROVINCIA", "CD_PROVINCIA", "CD_PROVINCIA", "DS_PROVINCIA", "DS_PROVINCIA")});
         }},
        {"TB_VERSAO_RELATORIO", [](DatasetDef& d) { d.where = "t.TP_RELATORIO = :TP_RELATORIO"; }},
        // Patients and notifications
        {"TB_PACIENTE",
         [](DatasetDef& d) {
             d.where = "t.CD_PACIENTE = :CD_PACIENTE and t.CD_UND = :CD_UND";
             d.order = "t.CD_PACIENTE";
             d.lookups = list(
                 {description("PROVINCIA", "CD_PROVINCIA", "CD_PROVINCIA", "DS_PROVINCIA", "DS_PROVINCIA"),
                  description("MUNICIPIO", "CD_MUNICIPIO", "CD_MUNICIPIO", "DS_MUNICIPIO", "DS_MUNICIPIO"),
                  description("PAIS", "CD_PAIS", "CD_PAIS", "DS_PAIS", "DS_PAIS"),
                  description("PROVINCIA", "CD_PROVINCIA", "CD_NAR_PROVINCIA", "DS_PROVINCIA", "DS_PROVINCIA_MORADA"),
                  description("MUNICIPIO", "CD_MUNICIPIO", "CD_MOR_MUNICIPIO", "DS_MUNICIPIO", "DS_MUNICIPIO_MORADA"),
                  lookup("x.DS_OCUPACAO", "OCUPACAO", "x.CD_OCUPACAO = t.CD_OCUPACAO and x.CD_UND = t.CD_UND",
                         "DS_OCUPACAO"),
                  description("UNIDADE", "CD_UNIDADE", "CD_UNIDADE", "DS_UNIDADE", "DS_UNIDADE")});
         }},
        {"TB_NOTIFICACAO",
         [](DatasetDef& d) {
             d.notWritten = {"DT_EXP", "CD_EDI"};
             d.where = "t.CD_FICHA = :CD_FICHA and t.CD_UND = :CD_UND";
             d.lookups =
                 list({lookup("x.NM_PACIENTE", "PACIENTE", "x.CD_PACIENTE = t.CD_PACIENTE and x.CD_UND = t.CD_UND",
                              "NM_PACIENTE"),
                       description("PROVINCIA", "CD_PROVINCIA", "CD_PROVINCIA_NOT", "DS_PROVINCIA", "DS_PROVINCIA_NOT"),
                       description("MUNICIPIO", "CD_MUNICIPIO", "CD_MUNICIPIO", "DS_MUNICIPIO", "DS_MUNICIPIO_NOT"),
                       description("UNIDADE", "CD_UNIDADE", "CD_UNIDADE", "DS_UNIDADE", "DS_UNIDADE"),
                       description("PROVINCIA", "CD_PROVINCIA", "CD_PROVINCIA_TRATAMENTO", "DS_PROVINCIA",
                                   "DS_PROVINCIA_TRATAMENTO"),
                       description("MUNICIPIO", "CD_MUNICIPIO", "CD_MUNICIPIO_TRATAMENTO", "DS_MUNICIPIO",
                                   "DS_MUNICIPIO_TRATAMENTO"),
                       description("UNIDADE", "CD_UNIDADE", "CD_UNIDADE_TRATAMENTO", "DS_UNIDADE",
                                   "DS_UNIDADE_TRATAMENTO")});
         }},
        {"TB_TRANSFUSAO", [](DatasetDef& d) { d.where = "t.CD_FICHA = :CD_FICHA"; }},
        {"TB_PERFURACAO", [](DatasetDef& d) { d.where = "t.CD_FICHA = :CD_FICHA"; }},
        {"TB_TATUAGEM", [](DatasetDef& d) { d.where = "t.CD_FICHA = :CD_FICHA"; }},
        {"TB_DENTARIO", [](DatasetDef& d) { d.where = "t.CD_FICHA = :CD_FICHA"; }},
        {"TB_INTERV_CIRURGICA", [](DatasetDef& d) { d.where = "t.CD_FICHA = :CD_FICHA"; }},
        {"TB_CIRCUNCISAO", [](DatasetDef& d) { d.where = "t.CD_FICHA = :CD_FICHA"; }},
        {"TB_NOT_GESTANTE",
         [](DatasetDef& d) { d.where = "t.CD_NOT_GESTANTE = :CD_NOT_GESTANTE and t.CD_UND = :CD_UND"; }},
        {"TB_ABANDONO",
         [](DatasetDef& d) {
             d.notWritten = {"DT_EXP", "CD_EDI", "CD_USU_INCLUSAO", "DT_INCLUSAO", "CD_USU_ALTERACAO", "DT_ALTERACAO"};
             d.where = "t.CD_ABANDONO_HIST = :CD_ABANDONO_HIST";
             d.joins = "left outer join PACIENTE pa on pa.CD_PACIENTE = t.CD_PACIENTE and pa.CD_UND = t.CD_UND";
             d.lookups =
                 list({"t.DT_EXP, t.CD_EDI, t.CD_USU_INCLUSAO, t.DT_INCLUSAO, t.CD_USU_ALTERACAO, t.DT_ALTERACAO",
                       "pa.NM_PACIENTE, pa.NR_TEL_1, pa.NR_TEL_2",
                       description("TIPO_ABANDONO", "CD_TIPO_ABANDONO", "TP_ABANDONO", "DS_TIPO_ABANDONO",
                                   "DS_TIPO_ABANDONO")});
         }},
        {"TB_CARACTERIZACAO",
         [](DatasetDef& d) {
             d.where = "t.CD_CARACTERIZACAO = :CD_CARACTERIZACAO";
             d.lookups = list({description("PROVINCIA", "CD_PROVINCIA", "CD_PROVINCIA", "DS_PROVINCIA", "DS_PROVINCIA"),
                               description("MUNICIPIO", "CD_MUNICIPIO", "CD_MUNICIPIO", "DS_MUNICIPIO", "DS_MUNICIPIO"),
                               description("UNIDADE", "CD_UNIDADE", "CD_UNIDADE", "DS_UNIDADE", "DS_UNIDADE"),
                               description("INVESTIGADOR", "CD_INVESTIGADOR", "CD_INVESTIGADOR", "NM_INVESTIGADOR",
                                           "DS_INVESTIGADOR")});
         }},
        // Appointments and clinical forms
        {"TB_AGENDA",
         [](DatasetDef& d) {
             // Inner joins: an appointment without its patient, unit or doctor is not shown.
             d.joins = "join PACIENTE pa on pa.CD_PACIENTE = t.CD_PACIENTE and pa.CD_UND = t.CD_UND";
             d.where = "t.DT_AGENDA >= :DT_DE and t.DT_AGENDA < :DT_ATE\n"
                       "and exists (select 1 from UNIDADE x where x.CD_UNIDADE = t.CD_UNIDADE)\n"
                       "and exists (select 1 from MEDICO x where x.CD_MEDICO = t.CD_MEDICO)";
             d.marker = "/*MEDICO*/";
             d.order = "t.CD_AGENDA";
             d.lookups =
                 list({"pa.NM_PACIENTE, pa.NR_PROCESSO, pa.TP_SEXO, pa.IDADE, pa.DT_NASCIMENTO",
                       "cast(pa.NR_TEL_1 || ' ' || pa.NR_TEL_2 as varchar(41)) as NR_TEL",
                       description("UNIDADE", "CD_UNIDADE", "CD_UNIDADE", "DS_UNIDADE", "DS_UNIDADE"),
                       description("MEDICO", "CD_MEDICO", "CD_MEDICO", "NM_MEDICO", "NM_MEDICO"),
                       description("PROCESSO", "NR_PROCESSO", "pa.NR_PROCESSO", "FL_DIGITAL", "DIGITAL"),
                       description("PROVINCIA", "CD_PROVINCIA", "pa.CD_PROVINCIA", "DS_PROVINCIA", "DS_PROVINCIA"),
                       description("MUNICIPIO", "CD_MUNICIPIO", "pa.CD_MUNICIPIO", "DS_MUNICIPIO", "DS_MUNICIPIO")});
         }},
        {"TB_REQUISICAO", [](DatasetDef& d) { d.where = "t.CD_AGENDA = :CD_AGENDA"; }},
        {"TB_RESULTADO_CD4",
         [](DatasetDef& d) {
             // An appointment without a result shows its own code, so saving it stores its first result.
             d.select = "select coalesce(t.CD_AGENDA, a.CD_AGENDA) as CD_AGENDA, t.NR_CD3, t.NR_CD4, t.NR_CD8, "
                        "t.CD_RESPONSAVEL, t.DT_RESULTADO, "
                        "t.CD_ARQUIVO, t.FL_REFAZER,\n"
                        "  a.CD_PACIENTE, pa.NM_PACIENTE, pa.IDADE, a.DT_AGENDA, pa.NR_PROCESSO, pa.TP_SEXO, a.NR_LAB, "
                        "a.DT_CONFIRMACAO,\n"
                        "  (select first 1 x.DS_DESCRICAO from TABELA_AUXILIAR x where x.CD_TABELA = :CD_TABELA "
                        "and x.CD_CODIGO = t.CD_RESPONSAVEL) as NM_RESPONSAVEL\n"
                        "from AGENDA a\n"
                        "left outer join RESULTADO_CD4 t on t.CD_AGENDA = a.CD_AGENDA\n"
                        "left outer join PACIENTE pa on pa.CD_PACIENTE = a.CD_PACIENTE and pa.CD_UND = a.CD_UND\n"
                        "where a.NR_LAB = :NR_LAB";
             d.insertWhenMissing = true;
         }},
        {"TB_ATENDIMENTO",
         [](DatasetDef& d) {
             d.where = "t.CD_MEDICO = :MEDICO and t.DT_ATENDIMENTO >= :DT_DE and t.DT_ATENDIMENTO < :DT_ATE";
             d.order = "t.CD_ATENDIMENTO";
             d.lookups = description("MEDICO", "CD_MEDICO", "CD_MEDICO", "NM_MEDICO", "NM_MEDICO");
         }},
        {"TB_PRIMEIRA_CONSULTA", clinicalForm},
        {"TB_AVALIACAO_INICIAL", clinicalForm},
        {"TB_SEGUIMENTO_ENFERMAGEM", clinicalForm},
        {"TB_TRIAGEM_ENFERMAGEM", clinicalForm},
        {"TB_MAPA",
         [](DatasetDef& d) {
             d.where = "t.CD_MEDICO = :CD_MEDICO and t.DT_MAPA = :DT_MAPA\n"
                       "and exists (select 1 from MEDICO x where x.CD_MEDICO = t.CD_MEDICO)";
             d.order = "t.CD_MAPA";
             d.joins = "left outer join PACIENTE pa on pa.CD_PACIENTE = t.CD_PACIENTE";
             d.lookups =
                 list({"pa.NR_PROCESSO, pa.NM_PACIENTE, pa.IDADE, pa.TP_SEXO",
                       description("MUNICIPIO", "CD_MUNICIPIO", "pa.CD_MUNICIPIO", "DS_MUNICIPIO", "DS_MUNICIPIO"),
                       description("PROVINCIA", "CD_PROVINCIA", "pa.CD_PROVINCIA", "DS_PROVINCIA", "DS_PROVINCIA"),
                       description("MEDICO", "CD_MEDICO", "CD_MEDICO", "NM_MEDICO", "NM_MEDICO"),
                       lookup("x.CD_SUBCAT", "CID10_SUBCATEGORIA",
                              "cast(x.CD_SUBCATEGORIA as varchar(10)) = t.CD_CID10", "CD_SUBCAT")});
         }},
        // Programme registers
        {"TB_ATV", [](DatasetDef& d) { monthly(d); }},
        {"TB_PTV", [](DatasetDef& d) { monthly(d, "t.CD_REGISTRO_PTV"); }},
        {"TB_TARV", [](DatasetDef& d) { monthly(d); }},
        {"TB_TARV_ACOMP", [](DatasetDef& d) { monthly(d); }},
        {"TB_TARV_ESQUEMA",
         [](DatasetDef& d) {
             monthly(d, "t.CD_REGISTRO_TARV_ESQUEMA");
             d.updateColumns = {"CD_REGISTRO_TARV_ESQUEMA",
                                "CD_UND",
                                "DT_REGISTRO",
                                "CD_UNIDADE",
                                "CD_PROVINCIA",
                                "CD_MUNICIPIO",
                                "VL_MESANO",
                                "VL_ANTERIOR_CRIANCA",
                                "VL_ANTERIOR_ADULTO",
                                "VL_CORRENTE_CRIANCA",
                                "VL_CORRENTE_ADULTO",
                                "VL_ESQUEMA",
                                "VL_X",
                                "VL_Y",
                                "CD_REGISTRO_GERAL"};
         }},
        {"TB_TARV_CD4", [](DatasetDef& d) { monthly(d, "t.CD_REGISTRO_TARV_CD4"); }},
        {"TB_COINFECCAO", [](DatasetDef& d) { monthly(d, "t.CD_REGISTRO_COINFECCAO"); }},
        {"TB_PROGRAMA",
         [](DatasetDef& d) {
             monthly(d);
             d.columnsMarker = true;
         }},
        {"TB_TESTES_POSITIVOS", [](DatasetDef& d) { d.where = kMonthSheet; }},
        {"TB_CRIANCAS_EXP", yearly},
        {"TB_PRE_NATAL", yearly},
        {"TB_SERVICOS_ACOMP", yearly},
        {"TB_SERVICOS_TARV", yearly},
    };
    return m;
}

// Second datasets on a table, beside the one the schema names.
std::vector<DatasetDef> secondDatasets() {
    std::vector<DatasetDef> out;
    DatasetDef teste;
    teste.name = "TB_TESTE";
    teste.table = "PACIENTE";
    const auto& paciente = domain::table("PACIENTE").columns;
    // CD_PACIENTE to FL_RESULTADO: the first 30 columns of the patient.
    for (size_t i = 0; i < 30; ++i) {
        teste.written.push_back(paciente[i].name);
        if (paciente[i].name != "FL_GESTANTE")
            teste.undeclared.push_back(paciente[i].name);
    }
    // The owning unit too, so a new row gets this unit's code and an update finds only the row read.
    teste.written.push_back("CD_UND");
    teste.undeclared.push_back("CD_UND");
    teste.fills = {{"CD_UND", Fill::UnitCode}};
    out.push_back(teste);

    DatasetDef numero;
    numero.name = "TB_NR_NOTIFICACAO";
    numero.table = "NOTIFICACAO";
    numero.notWritten = {"DT_EXP", "CD_EDI", "DT_ENTRADA", "DT_EVOLUCAO_2"};
    numero.lookups = "t.DT_EXP, t.CD_EDI";
    numero.where = "t.NR_NOTIFICACAO IS NULL";
    out.push_back(numero);

    DatasetDef agendamentos;
    agendamentos.name = "TB_AGENDAMENTOS";
    agendamentos.table = "AGENDA";
    agendamentos.written = {"CD_AGENDA",     "CD_UND",       "CD_PACIENTE",   "DT_AGENDA",     "CD_UNIDADE",
                            "FL_REMARCADO",  "FL_REALIZADO", "TP_ESQUEMA",    "VL_CD4",        "CD_MEDICO",
                            "DT_REMARCACAO", "DS_ESQUEMA",   "FL_CONFIRMADO", "FL_TRANSFERIDO"};
    agendamentos.where = "t.CD_AGENDA = :AGENDA";
    agendamentos.lookups = list(
        {lookup("x.NM_PACIENTE", "PACIENTE", "x.CD_PACIENTE = t.CD_PACIENTE and x.CD_UND = t.CD_UND", "NM_PACIENTE"),
         lookup("x.NR_PROCESSO", "PACIENTE", "x.CD_PACIENTE = t.CD_PACIENTE and x.CD_UND = t.CD_UND", "NR_PROCESSO"),
         description("UNIDADE", "CD_UNIDADE", "CD_UNIDADE", "DS_UNIDADE", "DS_UNIDADE"),
         description("MEDICO", "CD_MEDICO", "CD_MEDICO", "NM_MEDICO", "NM_MEDICO")});
    out.push_back(agendamentos);
    return out;
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
    add("qyDadosEmpresa", "select t.*, p.NM_PESSOA, e.DS_ENDERECO, e.DS_BAIRRO, e.DS_CIDADE, d.NR_DOCUMENTO,\n"
                          "  d.TP_DOCUMENTO, f.NR_TELEFONE\n"
                          "from EMPRESA t\n"
                          "left outer join PESSOA p on p.CD_PESSOA = t.CD_PESSOA\n"
                          "left outer join ENDERECO e on e.CD_PESSOA = t.CD_PESSOA and e.FL_PRINCIPAL = 'S'\n"
                          "left outer join DOCUMENTO d on d.CD_PESSOA = t.CD_PESSOA and d.FL_PRINCIPAL = 'S'\n"
                          "left outer join TELEFONE f on f.CD_PESSOA = t.CD_PESSOA and f.FL_PRINCIPAL = 'S'\n"
                          "where t.CD_EMPRESA = :CD_EMPRESA");
    add("qyValorParametro", "select * from VALOR_PARAMETRO where CD_PARAMETRO = :CD_PARAMETRO");
    add("qyStatus", "select SG_STATUS, DS_STATUS from STATUS");
    add("qyUsuario", "select * from USUARIO where NM_LOGIN = :NM_LOGIN");
    add("qyUsuarios", "select CD_USUARIO, NM_USUARIO from USUARIO");
    add("qyPaciente", "select CD_PACIENTE, NM_PACIENTE from PACIENTE");
    add("qyParametro", "select * from PARAMETRO where CD_PARAMETRO = :CD_PARAMETRO");
    add("qyMedico", "SELECT * FROM MEDICO");
    add("qyUnidade", "select u.*, p.DS_PROVINCIA, m.DS_MUNICIPIO\n"
                     "from UNIDADE u\n"
                     "left outer join PROVINCIA p on p.CD_PROVINCIA = u.CD_PROVINCIA and p.CD_UND = u.CD_UND\n"
                     "left outer join MUNICIPIO m on m.CD_MUNICIPIO = u.CD_MUNICIPIO and m.CD_UND = u.CD_UND\n"
                     "where u.CD_UNIDADE = :Unidade");
    add("qyMapaMedico",
        "select a.*, pa.NM_PACIENTE, pa.NR_PROCESSO, pa.TP_SEXO, pa.IDADE,\n"
        "  (select first 1 x.DS_UNIDADE from UNIDADE x where x.CD_UNIDADE = a.CD_UNIDADE) as DS_UNIDADE,\n"
        "  (select first 1 x.DS_PROVINCIA from PROVINCIA x where x.CD_PROVINCIA = pa.CD_PROVINCIA) as DS_PROVINCIA,\n"
        "  (select first 1 x.DS_MUNICIPIO from MUNICIPIO x where x.CD_MUNICIPIO = pa.CD_MUNICIPIO) as DS_MUNICIPIO\n"
        "from AGENDA a\n"
        "left outer join PACIENTE pa on pa.CD_PACIENTE = a.CD_PACIENTE and pa.CD_UND = a.CD_UND\n"
        "where a.FL_CONFIRMADO = 1 and a.FL_REALIZADO = 1 and a.FL_PARECER = 1\n"
        "and a.DT_AGENDA >= :DTAGENDA and a.DT_AGENDA < dateadd(1 day to cast(:DTAGENDA as date))\n"
        "and a.CD_MEDICO = :CDMEDICO\n"
        "order by a.CD_AGENDA");
    add("qyProtocolo", "select CD_UNIDADE, CD_PROVINCIA, CD_MUNICIPIO, VL_MESANO, CD_REGISTRO_GERAL, FL_ACEITAR,\n"
                       "  FL_IMPORTADO, TP_PROTOCOLO\n"
                       "from PROTOCOLO_ENVIO\n"
                       "where CD_REGISTRO_GERAL = :CD_REGISTRO_GERAL");
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
            d.generators.push_back({g->gerador, g->coluna, g->momento});
        if (auto it = patches().find(d.name); it != patches().end())
            it->second(d);
        defs.push_back(std::move(d));
    }
    for (DatasetDef& d : secondDatasets())
        defs.push_back(std::move(d));
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
