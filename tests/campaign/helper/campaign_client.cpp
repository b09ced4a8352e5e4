// One run of a whole installation, as edi-sync runs it, that kills itself (SIGKILL) at a test point:
//   edi_campaign_client HOME [--kill POINT N] [--writer SQL] [--exclui SQL] [STAGE...]
// POINT is a point name, or "*" for any point; the run dies the Nth time it reaches it. No stage: the start-up
// run. --writer: another user of the database holds the statement's changes uncommitted for the whole run.
// --exclui: a user's deleting statement, committed before the run starts, then the point "delete:committed". Prints
// "pontos=<count>" (the points reached) when it ends without being killed.
#include "app/console_ui.h"
#include "db/database.h"
#include "shell/programa.h"

#include <csignal>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: edi_campaign_client HOME [--kill POINT N] [--writer SQL] [--exclui SQL] [STAGE...]\n";
        return 2;
    }
    const std::filesystem::path home = argv[1];
    std::string ponto;
    long alvo = 0;
    std::string escrita, exclusao;
    std::vector<std::string> etapas;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--kill" && i + 2 < argc) {
            ponto = argv[++i];
            alvo = std::stol(argv[++i]);
        } else if (a == "--writer" && i + 1 < argc) {
            escrita = argv[++i];
        } else if (a == "--exclui" && i + 1 < argc) {
            exclusao = argv[++i];
        } else {
            etapas.push_back(a);
        }
    }
    std::ofstream log(home / "campanha.log", std::ios::app);
    edi::ConsoleUi ui(log);
    edi::Programa p(home, ui);
    edi::db::ConnectionParams base;
    base.database = (home / "edi.fdb").string();
    std::unique_ptr<edi::db::Database> outroUsuario;
    if (!escrita.empty()) {
        outroUsuario = edi::db::Database::open(base);
        outroUsuario->execute(escrita);
    }
    long vistos = 0, todos = 0;
    auto mataNoPonto = [&](const char* nome) {
        ++todos;
        if (!ponto.empty() && (ponto == "*" || ponto == nome) && ++vistos == alvo) {
            log << "-- morto em " << nome << " (" << alvo << ")" << std::endl;
            std::raise(SIGKILL);
        }
    };
    p.engine().pontoDeTeste = mataNoPonto;
    p.transporte().pontoDeTeste = mataNoPonto;
    if (!exclusao.empty()) { // the capture is committed with the deletion, before anything is exported
        auto usuario = edi::db::Database::open(base);
        usuario->execute(exclusao);
        usuario->transaction().commit();
        mataNoPonto("delete:committed");
    }

    edi::CicloEDI& ciclo = p.ciclo();
    try {
        if (etapas.empty())
            p.ExecucaoInicial();
        for (const auto& e : etapas)
            ciclo.executa(e);
    } catch (const std::exception& e) {
        log << "-- erro: " << e.what() << std::endl;
        std::cout << "erro=" << e.what() << "\n";
    }
    std::cout << "pontos=" << todos << std::endl;
    return 0;
}
