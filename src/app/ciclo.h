#pragma once

#include "app/diario_do_intercambio.h"
#include "app/etapas.h"
#include "app/ui.h"

#include <functional>
#include <string>
#include <string_view>

namespace edi {

class TDM;

// The synchronization cycle of the main window without any widget: the stages of the table in etapas.h with
// their busy flags, the status bar texts, the status text in PARAMETRO row 29, the start-up run and the timer run.
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
    // Told when each stage ends, with the error that ended it.
    EventosDoIntercambio* eventos = &semRegistroDeEventos();

    bool bImportando = false, bExportando = false, bEnviando = false, bRecebendo = false;
    bool bAtivo = false;

    // Runs one stage as its row says: network check, busy flag, status texts, bodies, alerts.
    void executa(const Etapa& etapa);
    void executa(std::string_view nome) { executa(etapa(nome)); }
    void PNGButton2Click(); // "Enviar": the sending side
    void PNGButton1Click(); // "Receber": the receiving side

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
    bool refusedOffline(const Etapa& etapa);
    void executaCorpos(const Etapa& etapa);
    void refreshIndicators();
    // Runs the stages of a start-up or timer run, then renews the session transaction, also when a stage failed.
    void execucao(const std::function<void()>& etapas);
    // Runs every stage of a side, in table order.
    void executaLado(Lado lado);

    TDM& dm_;
    Ui& ui_;
    CorposDasEtapas corpos_;
    int etapasEmCurso_ = 0;
    bool emExecucao_ = false; // a start-up or timer run is going on
};

} // namespace edi
