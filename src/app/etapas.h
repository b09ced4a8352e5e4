#pragma once

#include <functional>
#include <string_view>
#include <vector>

namespace edi {

class CicloEDI;

// The stage bodies; an empty function is a stage that does nothing yet.
struct CorposDasEtapas {
    std::function<void()> exportar;    // btExportarClick
    std::function<void()> enviar;      // btnEnviarArquivoClick
    std::function<void()> versoes;     // GetVersaoUnidadesWeb
    std::function<void()> receber;     // btnReceberArquivoClick
    std::function<void()> importar;    // btImportarClick
    std::function<void()> aplicacao;   // Aplicao1Click
    std::function<void()> protocolos;  // Protocolo1Click
    std::function<void()> limpaMarcas; // MudaTodasDatasExp
    std::function<void()> reimportar;  // btReimportarClick: import that also retries every kept record
    std::function<void()> censo;       // answers, repairs and the census when one is due
    std::function<void()> censoJa;     // the same with a census now
};

// What a stage does when the central server cannot be reached.
enum class SemRede {
    Indiferente, // it does not use the network
    Recusa,      // it refuses with a warning box and the status "Erro:"
    Salta,       // it does nothing and tells nobody
};

// Which side of the cycle a stage belongs to. The start-up run takes every stage of a side, in table order;
// the timer run takes the receiving side when importing is on, then the sending side when exporting is on,
// then the stages of every run; the "Enviar" and "Receber" buttons take their side.
enum class Lado {
    Fora,        // only by its name (edi-sync) or its menu entry
    Envio,       // button "Enviar"; timer run with [EDI] Exportar
    Recebimento, // button "Receber"; timer run with [EDI] Importar
    Sempre,      // every run
};

// The groups of the main window's popup menu that hold stage entries.
enum class GrupoDoMenu {
    Nenhum,    // no entry
    Ciclo,     // first group, before "Log"
    Aplicacao, // second group, after "SQL"
    Operacoes, // last group, before "Teste"
};

struct EntradaDoMenu {
    GrupoDoMenu grupo = GrupoDoMenu::Nenhum;
    int ordem = 0;            // place within its group
    const char* objeto = "";  // the action's object name
    const char* legenda = ""; // the caption
    bool visivel = true;
};

// One stage of the cycle: everything edi-sync, the cycle's runs and the menu know about it.
struct Etapa {
    const char* nome;        // edi-sync's name for it
    const char* ajuda = "";  // edi-sync's help for a stage outside the runs; "\n" breaks the line
    const char* rotulo = ""; // what the status shows a person for a stage without a menu entry
    std::vector<std::function<void()> CorposDasEtapas::*> corpos; // run in this order
    // The busy flag: the stage is not entered again while it runs, panel 1 shows `textoOcupado` and every
    // entry and exit holds the visible pause. Without one the stage only counts as running.
    bool CicloEDI::*ocupado = nullptr;
    const char* textoOcupado = "";
    int precedenciaNoPainel = 0;  // when stages nest, the lowest one names panel 1
    bool contaComoEmCurso = true; // a run that comes in meanwhile leaves the session transaction alone
    SemRede semRede = SemRede::Indiferente;
    const char* statusAoEntrar = nullptr;  // PARAMETRO row 29, before the bodies
    const char* statusAoSair = nullptr;    // PARAMETRO row 29, after the bodies
    bool statusAoSairAindaOcupado = false; // written before the busy flag is cleared, else after
    // Outside a run, raises what the stage found for a person once it is over.
    bool lancaAlertas = false;
    Lado lado = Lado::Fora;
    EntradaDoMenu menu{};
};

// Every stage, in the order edi-sync's help lists them and the start-up run takes them.
const std::vector<Etapa>& etapas();
// nullptr for a name no stage has.
const Etapa* etapaPorNome(std::string_view nome);
// Throws Error for a name no stage has.
const Etapa& etapa(std::string_view nome);

} // namespace edi
