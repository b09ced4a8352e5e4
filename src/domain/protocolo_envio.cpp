#include "domain/protocolo_envio.h"

#include "domain/schema.h"

namespace edi::domain {

namespace {

std::string juntados(const std::vector<std::string>& partes, const char* separador) {
    std::string out;
    for (const auto& p : partes)
        out += (out.empty() ? "" : separador) + p;
    return out;
}

} // namespace

void MontaTB_PROTOCOLO_ENVIO(db::Dataset& ds) {
    const Table& t = table("PROTOCOLO_ENVIO");
    std::vector<std::string> colunas, atribuicoes, chave, filtro;
    for (const Column& c : t.columns) {
        colunas.push_back(c.name);
        atribuicoes.push_back(c.name + " = :" + c.name);
    }
    for (const auto& k : t.primaryKey)
        chave.push_back(k + " = :OLD_" + k);
    for (const char* p : {"CD_UNIDADE", "CD_PROVINCIA", "CD_MUNICIPIO", "VL_MESANO", "TP_PROTOCOLO"})
        filtro.push_back(std::string(p) + " = :" + p);
    ds.close();
    ds.setSelectSql("select " + juntados(colunas, ", ") + " from " + t.name + " where " + juntados(filtro, " and "));
    ds.setModifySql("update " + t.name + " set " + juntados(atribuicoes, ", ") + " where " + juntados(chave, " and "));
}

} // namespace edi::domain
