#include "domain/regras_exclusao.h"

#include "domain/lista_de_datasets.h"

namespace edi::domain {

bool ConfirmaAntesDeExcluir(std::string_view dataset) {
    return consta({"TB_ABANDONO",         "TB_AGENDA",          "TB_ATENDIMENTO",
                   "TB_CARACTERIZACAO",   "TB_CIRCUNCISAO",     "TB_DENTARIO",
                   "TB_DOCUMENTO",        "TB_ENDERECO",        "TB_ESQUEMA",
                   "TB_INTERV_CIRURGICA", "TB_INVESTIGADOR",    "TB_MEDICO",
                   "TB_MUNICIPIO",        "TB_NOT_GESTANTE",    "TB_NOTIFICACAO",
                   "TB_OCUPACAO",         "TB_PACIENTE",        "TB_PAIS",
                   "TB_PARAMETRO",        "TB_PERFURACAO",      "TB_PESSOA",
                   "TB_PESSOA_DOC",       "TB_PESSOA_ENDERECO", "TB_PESSOA_TEL",
                   "TB_PROVINCIA",        "TB_TATUAGEM",        "TB_TIPO_DOCUMENTO",
                   "TB_TRANSFUSAO",       "TB_UNIDADE",         "TB_USUARIO",
                   "TB_USUARIO_CMP"},
                  dataset);
}

bool TraduzErroDelete(std::string_view dataset) {
    return consta({"TB_PESSOA",     "TB_PESSOA_DOC",        "TB_PESSOA_ENDERECO", "TB_ENDERECO",   "TB_DOCUMENTO",
                   "TB_USUARIO",    "TB_PERMISSAO_USUARIO", "TB_PESSOA_TEL",      "TB_UNIDADE",    "TB_PAIS",
                   "TB_PROVINCIA",  "TB_MUNICIPIO",         "TB_NOTIFICACAO",     "TB_PACIENTE",   "TB_TRANSFUSAO",
                   "TB_PERFURACAO", "TB_TATUAGEM",          "TB_AGENDA",          "TB_OCUPACAO",   "TB_TIPO_DOCUMENTO",
                   "TB_MEDICO",     "TB_PARAMETRO",         "TB_AGENDAMENTOS",    "TB_USUARIO_CMP"},
                  dataset);
}

std::string PegaNomeTabela(std::string_view erro) {
    const auto onTable = erro.find("on table");
    if (onTable == std::string_view::npos)
        return {};
    const auto resto = erro.substr(onTable + 8);
    const auto abre = resto.find('"');
    if (abre == std::string_view::npos)
        return {};
    const auto fecha = resto.find('"', abre + 1);
    return std::string(resto.substr(abre + 1, fecha == std::string_view::npos ? fecha : fecha - abre - 1));
}

std::string MensagemErroDelete(std::string_view dataset, std::string_view erro) {
    std::string complemento;
    if (erro.find("FOREIGN KEY") != std::string_view::npos) {
        const std::string tabela = PegaNomeTabela(erro);
        const char* palavraTabela = tabela == "NOTIFICACAO" ? "notificação" : tabela == "TATUAGEM" ? "tatuagem" : "";
        const char* palavraDataset = dataset == "TB_PACIENTE"      ? "paciente"
                                     : dataset == "TB_NOTIFICACAO" ? "notificação"
                                                                   : "";
        complemento = std::string(palavraDataset) + ",pois existe uma associação com " + palavraTabela + "!";
    }
    return "Não foi possível excluir " + complemento;
}

} // namespace edi::domain
