#include "app/etapas.h"

#include "app/ciclo.h"
#include "core/errors.h"

#include <string>

namespace edi {

namespace {

// Import, and import that also retries every kept record, are one stage to the operator: one busy flag, one
// set of texts.
Etapa importacao(Etapa e) {
    e.ocupado = &CicloEDI::bImportando;
    e.textoOcupado = "Importando...";
    e.precedenciaNoPainel = 1;
    e.statusAoEntrar = "Importar!";
    e.statusAoSair = "EDI - Fim:";
    e.statusAoSairAindaOcupado = true;
    e.lancaAlertas = true;
    return e;
}

} // namespace

// A new stage is a row here and its body: a member of CorposDasEtapas that Programa::corpos() fills (and, when
// it has a busy flag of its own, that flag in CicloEDI).
const std::vector<Etapa>& etapas() {
    using C = CorposDasEtapas;
    static const std::vector<Etapa> tabela = {
        // Before export: the ranges a census answer sends again go with this run's packets, and a census taken
        // here reaches the central unit after the packets of the rows it counts.
        {.nome = "census", .rotulo = "Censo", .corpos = {&C::censo}, .lancaAlertas = true, .lado = Lado::Envio},
        {.nome = "export",
         .corpos = {&C::exportar},
         .ocupado = &CicloEDI::bExportando,
         .textoOcupado = "Exportando...",
         .precedenciaNoPainel = 0,
         .statusAoSair = "Exportar!",
         .statusAoSairAindaOcupado = true,
         .lado = Lado::Envio,
         .menu = {GrupoDoMenu::Ciclo, 2, "Exportar1", "Exportar"}},
        {.nome = "send",
         .corpos = {&C::enviar},
         .ocupado = &CicloEDI::bEnviando,
         .textoOcupado = "Enviando...",
         .precedenciaNoPainel = 2,
         .semRede = SemRede::Recusa,
         .statusAoSair = "Enviar!",
         .lado = Lado::Envio,
         .menu = {GrupoDoMenu::Ciclo, 3, "Enviar1", "Enviar"}},
        {.nome = "receive",
         .corpos = {&C::versoes, &C::receber},
         .ocupado = &CicloEDI::bRecebendo,
         .textoOcupado = "Recebendo...",
         .precedenciaNoPainel = 3,
         .semRede = SemRede::Recusa,
         .statusAoSair = "Receber!",
         .lado = Lado::Recebimento,
         .menu = {GrupoDoMenu::Ciclo, 4, "Receber1", "Receber"}},
        importacao({.nome = "import",
                    .corpos = {&C::importar},
                    .lado = Lado::Recebimento,
                    .menu = {GrupoDoMenu::Ciclo, 1, "Importar1", "Importar"}}),
        // Offline there is no list to ask for; unlike send and receive, nobody needs to be told.
        {.nome = "update",
         .corpos = {&C::aplicacao},
         .semRede = SemRede::Salta,
         .lado = Lado::Sempre,
         .menu = {GrupoDoMenu::Aplicacao, 1, "Aplicao1", "Aplicação"}},
        {.nome = "protocols",
         .ajuda = "envia ao servidor central os protocolos de envio pendentes e um resumo deles",
         .corpos = {&C::protocolos},
         .contaComoEmCurso = false,
         .menu = {GrupoDoMenu::Operacoes, 1, "Protocolo1", "Protocolo", false}},
        {.nome = "reset-marks",
         .ajuda = "apaga a marca de exportação de todas as linhas, que voltam a ser exportadas",
         .rotulo = "Limpar marcas",
         .corpos = {&C::limpaMarcas},
         .contaComoEmCurso = false},
        {.nome = "census-now",
         .ajuda = "faz já o censo das tabelas enviadas (na unidade central, responde aos censos recebidos)",
         .rotulo = "Censo pedido",
         .corpos = {&C::censoJa},
         .lancaAlertas = true},
        importacao({.nome = "reimportar",
                    .ajuda = "importa como import e tenta de novo todos os registros retidos em EDI/IN/retidos,\n"
                             "também os que já esperam o operador",
                    .rotulo = "Reimportar",
                    .corpos = {&C::reimportar}}),
    };
    return tabela;
}

const Etapa* etapaPorNome(std::string_view nome) {
    for (const Etapa& e : etapas())
        if (nome == e.nome)
            return &e;
    return nullptr;
}

const Etapa& etapa(std::string_view nome) {
    if (const Etapa* e = etapaPorNome(nome))
        return *e;
    throw Error("etapa desconhecida: " + std::string(nome));
}

} // namespace edi
