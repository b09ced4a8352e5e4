#include "tools/console_sql.h"

#include "core/files.h"
#include "transport/http_client.h"

namespace edi::tools {

namespace fs = std::filesystem;

std::string OperacaoSQL(bool select, bool query) {
    if (select)
        return "S";
    if (query)
        return "Q";
    return "";
}

namespace {
// The statement's lines joined by CR LF, without a line end after the last.
std::string joinedByCrLf(const std::string& sql) {
    std::string texto = linesWithCrLf(sql);
    if (sql.empty() || (sql.back() != '\n' && sql.back() != '\r'))
        texto.resize(texto.size() >= 2 ? texto.size() - 2 : 0);
    return texto;
}
} // namespace

std::string EnderecoSQL(const std::string& dominio, const std::string& operacao, const std::string& sql) {
    return dominio + "/dbSQL.php?op=" + transport::encodeQueryValue(operacao) +
           "&sql=" + transport::encodeQueryValue(joinedByCrLf(sql));
}

RespostaSQL ExecutaSQLRemoto(const PedidoGet& get, const std::string& dominio, const std::string& operacao,
                             const std::string& sql, const fs::path& pastaTemp) {
    RespostaSQL resposta;
    resposta.arquivo = pastaTemp / "tmpSQL.html";
    const auto pagina = get(EnderecoSQL(dominio, operacao, sql));
    if (!pagina) {
        const std::string& erro = pagina.error();
        resposta.erro = "O servidor central não respondeu: " + (erro.empty() ? std::string("sem detalhe") : erro);
        return resposta;
    }
    if (!pagina->ok() && pagina->corpo.empty()) {
        resposta.erro = "O servidor central respondeu HTTP " + std::to_string(pagina->status) + " sem conteúdo";
        return resposta;
    }
    const std::string texto = linesWithCrLf(pagina->corpo);
    try {
        std::error_code ec;
        fs::create_directories(pastaTemp, ec);
        writeFileAtomically(resposta.arquivo, texto);
    } catch (const std::exception& e) {
        resposta.erro = "Não foi possível gravar a resposta em " + resposta.arquivo.string() + ": " + e.what();
    }
    return resposta;
}

} // namespace edi::tools
