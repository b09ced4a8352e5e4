#pragma once

#include "app/ui.h"

#include <functional>
#include <string>

namespace edi {

class TDM;

// The stage bodies the cycle calls; an empty function is a stage that does nothing yet.
struct CorposDasEtapas {
    std::function<void()> exportar;      // btExportarClick
    std::function<void()> enviar;        // btnEnviarArquivoClick
    std::function<void()> versoes;       // GetVersaoUnidadesWeb
    std::function<void()> receber;      // btnReceberArquivoClick
    std::function<void()> importar;     // btImportarClick
    std::function<void()> aplicacao;     // Aplicao1Click
};

// The synchronization cycle of the main window without any widget: stage wrappers with their busy flags,
// the status bar texts, the status text in PARAMETRO row 29, the start-up run and the timer run.
class CicloEDI {
public:
    CicloEDI(TDM& dm, Ui& ui, CorposDasEtapas corpos);

    // Configuration read at start-up.
    bool bExportar = false;
    bool bImportar = false;
    int intervaloMs = 3600000; // timer interval: nTempo x 60 000
    int pausaMs = 2000;        // the visible pauses around each stage body
    std::function<bool()> estaNaInternet = [] { return true; };
    std::function<void(bool)> habilitaTimer = [](bool) {}; // enables or disables tmEDI
    // Throws what the stages found that a person must act on; called once the whole run is over, so that it
    // holds back none of the run's stages (after an import on its own, once that is over).
    std::function<void()> alertas;
    std::function<void()> reimportar; // btReimportarClick: the import body that also retries every kept record

    bool bImportando = false, bExportando = false, bEnviando = false, bRecebendo = false;
    bool bAtivo = false;

    void Exportar1Click();
    void Enviar1Click();
    void Receber1Click();
    void Importar1Click();
    void Reimportar1Click(); // the import stage, also retrying the kept records that wait for the operator
    void Aplicao1Click();
    void PNGButton2Click(); // "Enviar": export then send
    void PNGButton1Click(); // "Receber": receive then import

    // Start-up run (first display of the main window) and timer run (tick of tmEDI).
    void ExecucaoInicial(const std::string& unidade);
    void tmEDITimer();

    void AtualizaStatus();
    // Writes a status text into PARAMETRO row 29 and commits.
    void GravaStatus(const std::string& texto);
    // "Próxima execução " + the time of the next tick.
    static std::string textoProximaExecucao(int intervaloMs);

private:
    // Counts a stage body as running for as long as it lives.
    class EmCurso;
    // Sets a busy flag for a stage body and clears it on every way out.
    class Ocupado;
    bool refusedOffline();
    void refreshIndicators();
    // Runs the stages of a start-up or timer run, then renews the session transaction, also when a stage failed.
    void execucao(const std::function<void()>& etapas);
    void importa(const std::function<void()>& corpo);

    TDM& dm_;
    Ui& ui_;
    CorposDasEtapas corpos_;
    int etapasEmCurso_ = 0;
    bool emExecucao_ = false; // a start-up or timer run is going on
};

} // namespace edi
