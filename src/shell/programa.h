#pragma once

#include "app/ciclo.h"
#include "app/configuracao.h"
#include "app/diario_do_intercambio.h"
#include "app/geral.h"
#include "app/session.h"
#include "app/ui.h"
#include "datamodule/tdmgeral.h"
#include "interchange/tfrm_edi.h"
#include "transport/transporte.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace edi {

// The program's long-lived modules, created in start-up order: configuration and session (the connection
// opens), the data module's start-up (parameters and this unit), the engine with its folders, and the cycle
// with every stage body wired. The desktop program and edi-sync both run on it.
class Programa {
public:
    // `home` is the program folder: jaq.ini and the interchange folders live there.
    // A connection failure raises DatabaseError; nothing else has been created then.
    Programa(const std::filesystem::path& home, Ui& ui);
    ~Programa();

    // FormShow: the start-up run (Temp folder, unit code in panel 3, every stage).
    void ExecucaoInicial();
    // Sends the pending protocols: the body of the stage "protocols".
    void Protocolo1Click();

    Configuracao& config() { return config_; }
    TDM& dm() { return *dm_; }
    datamodule::TDMGERAL& dmGeral() { return *dmGeral_; }
    // Every unit's application version from the central server (the receive stage, menu "Versao Unidades").
    void GetVersaoUnidadesWeb();
    UGeral& geral() { return geral_; }
    TfrmEDI& engine() { return *engine_; }
    TransporteEDI& transporte() { return *transporte_; }
    CicloEDI& ciclo() { return *ciclo_; }

private:
    CorposDasEtapas corpos();
    // The lines of the error reports that say which computer, unit, user and system version.
    void identificaInstalacao();

    Ui& ui_;
    Configuracao config_;
    UGeral geral_;
    std::unique_ptr<TDM> dm_;
    std::unique_ptr<datamodule::TDMGERAL> dmGeral_;
    std::unique_ptr<DiarioDoIntercambio> diario_;
    std::unique_ptr<TfrmEDI> engine_;
    std::unique_ptr<TransporteEDI> transporte_;
    std::unique_ptr<CicloEDI> ciclo_;
};

// The program folder: --home, else EDI_HOME, else the folder of the executable.
std::filesystem::path pastaDoPrograma(const std::string& home, const char* argv0);

} // namespace edi
