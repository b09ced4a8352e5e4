#pragma once

#include "transport/http_client.h"
#include "transport/resultado.h"

#include <filesystem>
#include <functional>
#include <string>

namespace edi::tools {

// The central server's answer to one statement of the remote SQL console.
struct RespostaSQL {
    std::string erro;              // short Portuguese text; empty when the answer arrived and was saved
    std::filesystem::path arquivo; // the saved answer (tmpSQL.html in the temporary folder)
    bool ok() const { return erro.empty(); }
};

// An HTTP GET: the page the server answered, or why none came.
using PedidoGet = std::function<transport::Resultado<transport::Pagina>(const std::string& url)>;

// The operation code of the console's radio buttons: "S", "Q", or "" when neither is chosen.
std::string OperacaoSQL(bool select, bool query);

// sDominio + "/dbSQL.php?op=...&sql=...", both values percent-encoded so that "&", "#" and line breaks
// reach the server as typed. The statement's lines are joined by CR LF.
std::string EnderecoSQL(const std::string& dominio, const std::string& operacao, const std::string& sql);

// Sends the statement and saves the answer as CR LF lines in `pastaTemp`/tmpSQL.html (the folder is created
// when missing), replacing the file. A refusal's page is saved and shown like any answer (it says why); one
// without a body, or no answer at all, leaves the file as it was and says why.
RespostaSQL ExecutaSQLRemoto(const PedidoGet& get, const std::string& dominio, const std::string& operacao,
                             const std::string& sql, const std::filesystem::path& pastaTemp);

} // namespace edi::tools
