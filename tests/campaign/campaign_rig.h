#pragma once

#include "central/server.h"
#include "db/database.h"
#include "support/temp_dir.h"

#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace edi::campaign {

enum class Lado { Unidade, Central };

// How a client run ended: killed at its point, or the number of points it passed.
struct Execucao {
    bool morto = false;
    long pontos = 0;
    std::string erro; // an error that escaped the run
};

// A kill: the nth time the run reaches `ponto` ("*": any point). An empty point never kills.
struct Morte {
    std::string ponto;
    long vez = 0;
};

// A small network as deployed: the reference central server on loopback, unit 12 and the central unit 31, each
// a program folder with its jaq.ini and a database made by create-db (and seed at the unit), and one application
// update published on the server. Every client run is a child process that can be killed at a test point.
class Rede {
public:
    Rede();
    ~Rede();

    const std::filesystem::path& home(Lado lado) const { return lado == Lado::Unidade ? unidade_ : central_; }
    db::ConnectionParams conexao(Lado lado) const;
    central::CentralServer& servidor() { return *servidor_; }

    // The clock the installation's next runs see, through faketime: each run starts at `inicio` (UTC) and reads
    // local time in `fuso`. Without `inicio`, the real clock.
    void acertaRelogio(Lado lado, std::optional<std::time_t> inicio, const std::string& fuso = {});
    // From now on, until solta, each central run has another user holding these changes uncommitted.
    void prendeNaCentral(std::string sql) { escritaNaCentral_ = std::move(sql); }
    void solta() { escritaNaCentral_.clear(); }

    // One run of the installation's client (the start-up run, or the given stages).
    Execucao roda(Lado lado, const Morte& morte = {}, const std::vector<std::string>& etapas = {});
    // The unit's run then the central unit's run, the kill in whichever reaches its point first.
    void ciclo();

    // Every other patient of the unit renamed (" v<rodada>") and pending again, as a user's change leaves it.
    void renomeiaPacientes(int rodada);
    // The unit's users delete a notification with its risk factors, and a third of the coded rows of each table
    // nothing refers to.
    void excluiNaUnidade(int rodada);
    // The same deletion made by the unit's next run itself, which commits it and then passes "delete:committed".
    void excluiNaProximaExecucao(int rodada) { exclusaoNaExecucao_ = comandoDeExclusao(rodada); }
    // The unit's users at work: patients renamed, rows deleted and new rows in every data table (a further seed).
    void alteraUnidade(int rodada);

    // Runs whole cycles until nothing waits on either side (at least one, at most a bound) and judges the end
    // state: empty text when everything holds, else what is wrong, one line per fault.
    std::string assentaEJulga();
    // The oracle alone: rows of unit 12 equal on both sides, files complete, the update installed.
    std::string julga();
    // What still waits: pending rows, packets in an incoming or outgoing folder, deliveries on the server.
    std::string oQueEspera();
    // Temporary files and staging folders left by killed runs (hidden names, never taken for real ones).
    std::vector<std::string> sobras() const;
    int rodadasAteQuieto() const { return rodadas_; }

private:
    static std::string comandoDeExclusao(int rodada);
    std::string julgaLinhas();
    std::string julgaArquivos(Lado lado);
    std::string julgaUpdate(Lado lado);

    struct Relogio {
        std::optional<std::time_t> inicio;
        std::string fuso;
    };
    Relogio relogios_[2]; // the unit's, the central unit's

    test::TempDir raiz_;
    std::ostringstream logServidor_;
    std::unique_ptr<central::CentralServer> servidor_;
    std::filesystem::path unidade_, central_;
    int rodadas_ = 0;
    std::string escritaNaCentral_;
    std::string exclusaoNaExecucao_;
};

// Whether many random trials were asked for: `--long` on the command line or EDI_CAMPAIGN_LONG in the environment.
bool modoLongo();
void registraArgumentos(int argc, char** argv);

} // namespace edi::campaign
