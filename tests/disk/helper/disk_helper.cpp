// Runs one write of the product, for the disk tests, and prints what it reported:
//   edi_disk_helper packet DATABASE HOME     export of every registered table
//   edi_disk_helper import DATABASE HOME     import of every received packet (exit 0: it reports on the panel)
//   edi_disk_helper download URL FILE
//   edi_disk_helper extract ARCHIVE FOLDER
//   edi_disk_helper estado FILE              the update state file, with a few applied rows
//   edi_disk_helper ini FILE                 stamps the update moment into jaq.ini
// Exit 0 when the write succeeded, 1 when it failed.
#include "app/configuracao.h"
#include "app/console_ui.h"
#include "app/geral.h"
#include "app/session.h"
#include "interchange/tfrm_edi.h"
#include "transport/estado_update.h"
#include "transport/http_client.h"
#include "transport/zip_extract.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: edi_disk_helper packet|download|extract|estado|ini ARG ARG\n";
        return 2;
    }
    const std::string trabalho = argv[1];
    try {
        if (trabalho == "packet" || trabalho == "import") {
            edi::ConsoleUi ui(std::cout);
            edi::TDM dm(edi::db::ConnectionParams{argv[2], "SYSDBA", "", "UTF8"}, ui);
            edi::UGeral geral;
            geral.sPath = std::filesystem::path(argv[3]) / "";
            edi::InicializaParametros(dm, geral);
            edi::TfrmEDI engine(dm, geral, ui);
            engine.FormCreate();
            if (trabalho == "import") {
                engine.btImportarClick();
                return 0;
            }
            engine.btExportarClick();
            std::cout << engine.lbLog(); // the export reports a failed table in its log and goes on
            return engine.lbLog().empty() ? 0 : 1;
        }
        if (trabalho == "download") {
            edi::transport::HttpClient http;
            const auto baixado = http.Download(argv[2], argv[3]);
            if (baixado)
                return 0;
            std::cout << baixado.error() << "\n";
            return 1;
        }
        if (trabalho == "extract") {
            edi::transport::ZipArchive(argv[2]).extractTo(argv[3]);
        } else if (trabalho == "estado") {
            edi::EstadoUpdate estado(argv[2], "2013-05-04 10:22:31");
            estado.aplicada("E:\\Home\\quelmar\\Web\\app\\" + std::string(5000, 'n') + ".zip", "/*APP*/bin/x");
        } else if (trabalho == "ini") {
            edi::AtualizaUpdate(argv[2]);
        } else {
            return 2;
        }
        return 0;
    } catch (const std::exception& e) {
        std::cout << e.what() << "\n";
        return 1;
    }
}
