#include "domain/exclusoes.h"

#include <cstdio>

namespace edi::domain {

namespace {

constexpr size_t kMaxNome = 31;

// FNV-1a: a long table name keeps a stable, distinct trigger name.
uint32_t resumo(const std::string& texto) {
    uint32_t h = 2166136261u;
    for (const unsigned char c : texto) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

} // namespace

std::string criaTabelaExclusoes() {
    return std::string("CREATE TABLE ") + kTabelaExclusoes +
           " (NM_TABELA VARCHAR(31) NOT NULL, CD_UND BIGINT NOT NULL, CD_EDI BIGINT NOT NULL, "
           "DT_EXCLUSAO TIMESTAMP NOT NULL, DT_EXP TIMESTAMP)";
}

std::string nomeGatilhoExclusao(const std::string& tabela) {
    const std::string nome = "EDI_EXC_" + tabela;
    if (nome.size() <= kMaxNome)
        return nome;
    char sufixo[16];
    std::snprintf(sufixo, sizeof sufixo, "_EXC_%08X", resumo(tabela));
    return tabela.substr(0, kMaxNome - 13) + sufixo;
}

std::string RegraDePosse::exclusaoEnviada(const std::string& coluna, const std::string& importando) const {
    const std::string propria = "(" + coluna + " = " + std::to_string(unidade) + " AND NOT (" + importando + "))";
    if (!ehCentral())
        return propria;
    return "(" + propria + " OR (" + coluna + " <> " + std::to_string(central) + " AND (" + importando + ")))";
}

std::string marcaGatilhoExclusao(const RegraDePosse& posse) {
    return "/* EDI exclusoes 2, unidade " + std::to_string(posse.unidade) + ", central " +
           std::to_string(posse.central) + " */";
}

std::string criaGatilhoExclusao(const std::string& tabela, const RegraDePosse& posse) {
    return "CREATE OR ALTER TRIGGER " + nomeGatilhoExclusao(tabela) + " FOR " + tabela +
           " ACTIVE AFTER DELETE POSITION 32000 AS\nBEGIN\n  " + marcaGatilhoExclusao(posse) +
           "\n  IF (OLD.CD_EDI IS NOT NULL AND " +
           posse.exclusaoEnviada("OLD.CD_UND", std::string("RDB$GET_CONTEXT('USER_SESSION', '") + kContextoImportacao +
                                                   "') IS NOT NULL") +
           ") THEN\n    INSERT INTO " + kTabelaExclusoes + " (NM_TABELA, CD_UND, CD_EDI, DT_EXCLUSAO) VALUES ('" +
           tabela + "', OLD.CD_UND, OLD.CD_EDI, CURRENT_TIMESTAMP);\nEND";
}

} // namespace edi::domain
