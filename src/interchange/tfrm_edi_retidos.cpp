#include "interchange/tfrm_edi.h"

#include "interchange/retidos.h"
#include "packet/packet_table.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

// Records import could not write: kept in packets of their own, waited for when another user holds their row,
// and retried by the operator's re-import.
namespace edi {

namespace fs = std::filesystem;

void TfrmEDI::btReimportarClick() {
    incluiRetidosDoOperador_ = true;
    struct Desliga {
        bool& b;
        ~Desliga() { b = false; }
    } desliga{incluiRetidosDoOperador_};
    btImportarClick();
}

// Kept before the packet leaves: a kill in between imports the packet again, and a record kept twice is written
// once. Kept records are rewritten only after this run's successes are committed. True when the records left by a
// lock replaced the kept packet being imported.
bool TfrmEDI::guardaNaoEscritos(const Pacote& pacote, PacketTable& falhados, PacketTable& bloqueados,
                                std::vector<std::string>& Log) {
    const int tentativas = pacote.tentativas.value_or(0);
    bool reescrito = false;
    if (falhados.recordCount() > 0) {
        const fs::path retido = caminhoRetido(geral_.sPathIn, pacote.nome, tentativas + 1);
        guardaRetidos(retido, falhados, true);
        Log.push_back("Registros retidos em " + fs::relative(retido, geral_.sPath).generic_string() + ": " +
                      std::to_string(falhados.recordCount()));
        if (tentativas + 1 >= kTentativasAutomaticas)
            Log.push_back("Estes registros falharam em " + std::to_string(tentativas + 1) +
                          " execuções e esperam o operador: corrija o motivo acima e execute \"edi-sync "
                          "reimportar\"");
    }
    if (bloqueados.recordCount() > 0) {
        const fs::path retido = caminhoRetido(geral_.sPathIn, pacote.nome, tentativas);
        reescrito = retido == pacote.caminho;
        guardaRetidos(retido, bloqueados, !reescrito);
        Log.push_back("Registros deixados para a próxima execução por estarem bloqueados por outro usuário: " +
                      std::to_string(bloqueados.recordCount()));
    }
    return reescrito;
}

std::chrono::milliseconds TfrmEDI::aguardaBloqueio(std::chrono::milliseconds restante) {
    const auto passo = std::min(restante, std::chrono::milliseconds(200));
    ui_.pumpEvents();
    std::this_thread::sleep_for(passo);
    return passo;
}

} // namespace edi
