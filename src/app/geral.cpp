#include "app/geral.h"

#include "app/constants.h"
#include "app/session.h"
#include "core/errors.h"
#include "core/messages.h"
#include "db/query.h"

#include <system_error>

namespace edi {

namespace fs = std::filesystem;

const std::array<std::string, 9> Protocolo = {
    "",
    "Relatório de ATV",
    "Relatório de PTV",
    "Relatório de TARV",
    "Relatório de TARV Esquema",
    "Relatório de TARV CD4",
    "Relatório de Acompanhamento",
    "Relatório do Programa",
    "Relatório de Coinfecção",
};

UGeral::UGeral() : sDominio(sDominioPadrao) {}

void UGeral::definePastas(const fs::path& programFolder) {
    sPath = programFolder / "";
    sPathApp = sPath;
    sPathIn = sPath / "EDI" / "IN" / "";
    sPathOut = sPath / "EDI" / "OUT" / "";
    sPathProt = sPath / "EDI" / "PROT" / "";
    sPathTemp = sPath / "Temp" / "";
    sArquivoDiario = sPath / "DiarioIntercambio.txt";
}

const std::vector<ParametroDef>& Parametros() {
    static const std::vector<ParametroDef> table = {
#define EDI_LINHA_PARAMETRO(numero, constante, variavel) {numero, #constante, &UGeral::variavel},
        EDI_PARAMETROS(EDI_LINHA_PARAMETRO)
#undef EDI_LINHA_PARAMETRO
    };
    return table;
}

std::string ValorParametro(TDM& dm, int numero) {
    db::Query& q = dm.qyParametro();
    q.close();
    q.setParam("CD_PARAMETRO", Value::int32(numero));
    try {
        q.open();
        std::string result = q.eof() ? sIndefinido : q.value("VALOR").asText();
        q.close();
        return result;
    } catch (...) {
        q.close();
        throw;
    }
}

void InicializaParametros(TDM& dm, UGeral& geral) {
    for (const auto& p : Parametros()) {
        std::string& variavel = geral.*(p.variavel);
        if (variavel == sIndefinido)
            variavel = ValorParametro(dm, p.numero);
        if (p.numero == nParUnidadeCentral && geral.prmUnidadeCentral == sIndefinido)
            geral.prmUnidadeCentral = "31";
    }
}

void InicializaDados(TDM& dm, UGeral& geral) {
    geral.sUnidadeDefautDescricao =
        PegaValor(dm, "DS_UNIDADE", "UNIDADE", {"CD_UNIDADE"}, {Value::text(geral.prmUnidade)}).asText();
}

bool ValidaDiretorio(const fs::path& path) {
    fs::path prefix;
    for (const auto& part : path) {
        if (part.empty())
            continue;
        prefix /= part;
        std::error_code ec;
        if (fs::is_directory(prefix, ec))
            continue;
        if (!fs::create_directory(prefix, ec) && !fs::is_directory(prefix))
            throw IoError(msg::withCause(msg::cannotCreateFolder(prefix), ec.message()));
    }
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::string SelectNomeUnidadeParametro(TDM& dm) {
    db::Query q(dm.DB(), "select (cd_unidade||'-'||ds_unidade) Nome \n"
                         "from unidade                              \n"
                         "where cd_unidade in (                     \n"
                         "select valor from parametro               \n"
                         "where cd_parametro = 1)                   ");
    q.open();
    return q.eof() ? std::string() : q.value(0).asText();
}

Value PegaValor(TDM& dm, const std::string& coluna, const std::string& tabela, const std::vector<std::string>& chaves,
                const std::vector<Value>& valores, db::Database* conexao) {
    if (chaves.size() != valores.size())
        throw Error("PegaValor: o número de chaves difere do de valores");
    std::string sql = "select " + coluna + " from " + tabela;
    for (size_t i = 0; i < chaves.size(); ++i)
        sql += (i == 0 ? "\nwhere " : "\nand ") + chaves[i] + " = :P" + std::to_string(i);
    db::Query q(conexao ? *conexao : dm.DB(), sql);
    for (size_t i = 0; i < valores.size(); ++i)
        q.setParam("P" + std::to_string(i), valores[i]);
    q.open();
    return q.eof() ? Value() : q.value(0);
}

db::Query* ExecutaSQL(db::Query& query, const std::vector<std::string>& nomes, const std::vector<Value>& valores) {
    try {
        query.close();
        query.prepare();
        for (size_t i = 0; i < nomes.size() && i < valores.size(); ++i)
            query.setParam(nomes[i], valores[i]);
        query.open();
        return &query;
    } catch (...) {
        return nullptr;
    }
}

} // namespace edi
