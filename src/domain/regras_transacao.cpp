#include "domain/regras_transacao.h"

#include "domain/lista_de_datasets.h"

namespace edi::domain {

bool ComitaAposGravar(std::string_view dataset) {
    return consta({"TB_ABANDONO", "TB_ATENDIMENTO", "TB_NOT_GESTANTE", "TB_NR_NOTIFICACAO", "TB_PARAMETRO",
                   "TB_RESULTADO_CD4", "TB_ST_UNIDADE", "TB_TABELA_EDI", "TB_TESTE", "TB_ATV_ARE", "TB_PTV_ARE",
                   "TB_TARV_ARE", "TB_TARV_ACOMP_ARE", "TB_TARV_ESQUEMA_ARE", "TB_TARV_CD4_ARE", "TB_COINFECCAO_ARE",
                   "TB_PROGRAMA_ARE"},
                  dataset);
}

bool ComitaAposExcluir(std::string_view dataset) {
    return consta({"TB_ABANDONO",      "TB_ATENDIMENTO",    "TB_CARACTERIZACAO",  "TB_DOCUMENTO",  "TB_ENDERECO",
                   "TB_ESQUEMA",       "TB_INVESTIGADOR",   "TB_MEDICO",          "TB_MUNICIPIO",  "TB_NOTIFICACAO",
                   "TB_NOT_GESTANTE",  "TB_NR_NOTIFICACAO", "TB_OCUPACAO",        "TB_PAIS",       "TB_PARAMETRO",
                   "TB_PESSOA",        "TB_PESSOA_DOC",     "TB_PESSOA_ENDERECO", "TB_PESSOA_TEL", "TB_PROVINCIA",
                   "TB_RESULTADO_CD4", "TB_TESTE",          "TB_TIPO_DOCUMENTO",  "TB_UNIDADE",    "TB_USUARIO",
                   "TB_USUARIO_CMP"},
                  dataset);
}

} // namespace edi::domain
