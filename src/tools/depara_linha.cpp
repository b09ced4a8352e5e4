#include "tools/depara_linha.h"

#include "app/configuracao.h"
#include "tools/depara.h"

#include <algorithm>

namespace edi::tools {

const std::set<std::string> kOpcoesDeParaLinha = {"de",      "para", "tabela", "provincia", "municipio",
                                                  "unidade", "und",  "mesano", "home"};

namespace {

std::string opcao(const std::map<std::string, std::string>& opcoes, const std::string& nome) {
    const auto it = opcoes.find(nome);
    return it == opcoes.end() ? std::string() : it->second;
}

std::string obrigatoria(const std::map<std::string, std::string>& opcoes, const std::string& nome,
                        const std::string& operacao) {
    const std::string valor = opcao(opcoes, nome);
    if (valor.empty())
        throw UsoDeParaErrado("depara " + operacao + " precisa de --" + nome);
    return valor;
}

// The closing line of a copy, so a run whose rows all failed does not read like a success.
std::string linhaDaContagem(const ContagemDaCopia& c) {
    return "De -> Para: " + std::to_string(c.copiadas) + (c.copiadas == 1 ? " linha copiada, " : " linhas copiadas, ") +
           std::to_string(c.falhas) + " com erro";
}

} // namespace

int ExecutaDeParaLinha(const std::string& operacao, const std::map<std::string, std::string>& opcoes,
                       const std::filesystem::path& jaqIni, std::ostream& saida) {
    static const std::set<std::string> operacoes = {"abrir", "apagar-para", "de-para", "comparar"};
    if (!operacoes.count(operacao))
        throw UsoDeParaErrado("operação desconhecida do depara: \"" + operacao +
                              "\" (abrir, apagar-para, de-para ou comparar)");
    const bool comparar = operacao == "comparar";
    if (operacao == "apagar-para" && !opcoes.count("yes"))
        throw UsoDeParaErrado("apagar-para apaga do banco Para todas as linhas do filtro: confirme com --yes");

    const Configuracao config = LeConfiguracao(jaqIni);
    db::ConnectionParams login;
    login.user = config.usuario;
    login.password = config.senha;
    login.charset = config.charset;
    DePara form(login, {[&saida](const std::string& l) { saida << l << std::endl; }, {}, {}, {}});
    form.edDe = obrigatoria(opcoes, "de", operacao);
    form.edPara = obrigatoria(opcoes, "para", operacao);
    form.filtro = {comparar ? std::string() : obrigatoria(opcoes, "tabela", operacao),
                   opcao(opcoes, "provincia"),
                   opcao(opcoes, "municipio"),
                   opcao(opcoes, "unidade"),
                   opcao(opcoes, "und"),
                   opcao(opcoes, "mesano")};
    MontaFiltro(form.filtro); // a refused filter value stops before any connection opens
    try {
        form.btDeClick();
        form.btParaClick();
        if (comparar) {
            form.btCompararClick();
            return 0;
        }
        form.btAbrirClick();
        if (operacao == "apagar-para")
            form.btDelParaClick();
        else if (operacao == "de-para") {
            form.btDeParaClick();
            saida << linhaDaContagem(form.ultimaCopia()) << std::endl;
            return form.ultimaCopia().falhas > 0 ? 1 : 0;
        }
    } catch (const std::exception& e) {
        // The row writer's messages break lines with a carriage return, which a terminal would overwrite.
        std::string texto = e.what();
        std::replace(texto.begin(), texto.end(), '\r', '\n');
        throw Error(texto);
    }
    return 0;
}

} // namespace edi::tools
