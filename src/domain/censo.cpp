#include "domain/censo.h"

namespace edi::domain {

std::vector<std::pair<std::string, std::string>> tabelasDoCenso() {
    auto cria = [](const char* nome, const char* colunas) {
        return std::pair<std::string, std::string>(nome, std::string("CREATE TABLE ") + nome + " (" + colunas + ")");
    };
    return {
        cria(kTabelaEstadoCenso,
             "NM_TABELA VARCHAR(31) NOT NULL PRIMARY KEY, ID_CENSO VARCHAR(80), DT_CENSO TIMESTAMP, "
             "QT_LINHAS INTEGER, QT_FAIXAS INTEGER, DT_RESPOSTA TIMESTAMP, QT_IGUAIS INTEGER, QT_REPARADAS INTEGER, "
             "QT_EXCLUSOES INTEGER, QT_DIVERGENTES INTEGER"),
        cria(kTabelaReparosCenso, "NM_TABELA VARCHAR(31) NOT NULL, NR_FAIXA INTEGER NOT NULL, "
                                  "QT_REPAROS INTEGER NOT NULL, FL_RELATADA SMALLINT DEFAULT 0 NOT NULL, "
                                  "PRIMARY KEY (NM_TABELA, NR_FAIXA)"),
        cria(kTabelaLacunas, "CD_DE BIGINT NOT NULL, CD_ATE BIGINT NOT NULL, DT_REGISTRO TIMESTAMP"),
        cria(kTabelaColunasCenso, "NM_TABELA VARCHAR(31) NOT NULL PRIMARY KEY, DS_COLUNAS BLOB SUB_TYPE TEXT"),
    };
}

} // namespace edi::domain
