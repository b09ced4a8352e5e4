// Runs one export or import on an installation and kills itself (SIGKILL) at a named point of the work,
// so the tests can check what a crash there leaves behind.
//   edi_crash_helper DATABASE HOME export|import POINT N [BATCH]
#include "app/console_ui.h"
#include "app/geral.h"
#include "app/session.h"
#include "interchange/tfrm_edi.h"

#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 6 && argc != 7) {
        std::cerr << "usage: edi_crash_helper DATABASE HOME export|import POINT N [BATCH]\n";
        return 2;
    }
    const std::string ponto = argv[4];
    const int n = std::stoi(argv[5]);
    std::ofstream nada("/dev/null");
    edi::ConsoleUi ui(nada);
    edi::TDM dm(edi::db::ConnectionParams{argv[1], "SYSDBA", "", "UTF8"}, ui);
    edi::UGeral geral;
    geral.sPath = std::filesystem::path(argv[2]) / "";
    edi::InicializaParametros(dm, geral);
    edi::TfrmEDI engine(dm, geral, ui);
    engine.FormCreate();
    if (argc == 7)
        engine.loteImportacao = std::stoi(argv[6]);
    engine.DeleteRefEDI_UNIDADE = [](const std::string&) { return std::string("OK"); };
    int vistos = 0;
    engine.pontoDeTeste = [&](const char* nome) {
        if (ponto == nome && ++vistos == n)
            std::raise(SIGKILL);
    };
    if (std::strcmp(argv[3], "export") == 0)
        engine.btExportarClick();
    else
        engine.btImportarClick();
    return 3; // the point was never reached
}
