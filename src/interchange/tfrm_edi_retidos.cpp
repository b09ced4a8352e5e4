#include "interchange/tfrm_edi.h"

#include "app/unidade_de_trabalho.h"
#include "interchange/retidos.h"
#include "packet/nome_do_pacote.h"
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

namespace {

bool temExclusao(PacketTable& registros) {
    for (registros.first(); !registros.eof(); registros.next())
        if (registros.rowState() == PacketTable::RowState::Deleted)
            return true;
    return false;
}

} // namespace

void TfrmEDI::btReimportarClick() {
    incluiRetidosDoOperador_ = true;
    struct Desliga {
        bool& b;
        ~Desliga() { b = false; }
    } desliga{incluiRetidosDoOperador_};
    btImportarClick();
}

// Kept before the packet leaves: a kill in between imports the packet again, and a record kept twice is written
// once. Kept records are rewritten only after this run's successes are committed. True when the kept packet being
// imported was rewritten in place (records left by a lock, or failing again in the run that kept them).
bool TfrmEDI::guardaNaoEscritos(const std::string& T, const Pacote& pacote, PacketTable& falhados,
                                PacketTable& bloqueados, std::vector<std::string>& Log) {
    const int tentativas = pacote.tentativas.value_or(0);
    const int falharam = pacote.daExecucao ? tentativas : tentativas + 1;
    bool reescrito = false;
    if (falhados.recordCount() > 0) {
        const fs::path retido = caminhoRetido(geral_.sPathIn, pacote.nome, falharam);
        reescrito = retido == pacote.caminho;
        guardaRetidos(retido, falhados, !reescrito);
        if (temExclusao(falhados))
            retidosDaExecucao_[retido] = T;
        Log.push_back("Registros retidos em " + fs::relative(retido, geral_.sPath).generic_string() + ": " +
                      std::to_string(falhados.recordCount()));
        if (falharam >= kTentativasAutomaticas)
            Log.push_back("Estes registros falharam em " + std::to_string(falharam) +
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

// A parent's deletion is refused while a child row is there, and the child's table comes later: the deletions this
// run kept are tried again, the last tables first, for as long as some of them goes. What stays keeps its count.
void TfrmEDI::retentaRetidosDaExecucao(const fs::path& pastaDia, const std::string& D) {
    for (bool saiu = !retidosDaExecucao_.empty(); saiu;) {
        saiu = false;
        for (auto reg = registro_.rbegin(); reg != registro_.rend(); ++reg) {
            const std::vector<Pacote> pacotes =
                reg->receber() ? retidosDaExecucao(reg->NM_TABELA) : std::vector<Pacote>();
            if (pacotes.empty())
                continue;
            UnidadeDeTrabalho unidade(dm_);
            std::string ultimoArquivo;
            try {
                importaPacotes(*reg, pacotes, pastaDia, D, ultimoArquivo, saiu);
            } catch (const std::exception& e) {
                ui_.setMessage(ultimoArquivo + "\r" + reg->NM_TABELA + "\r" + "Erro:" + e.what());
            }
            unidade.confirma();
        }
    }
}

// In moment order, as the table's files are taken.
std::vector<TfrmEDI::Pacote> TfrmEDI::retidosDaExecucao(const std::string& T) const {
    std::vector<Pacote> pacotes;
    for (const auto& [caminho, tabela] : retidosDaExecucao_)
        if (tabela == T && fs::exists(caminho))
            if (auto r = arquivoRetido(caminho))
                pacotes.push_back({r->caminho, r->original, r->tentativas, true});
    std::stable_sort(pacotes.begin(), pacotes.end(), [](const Pacote& a, const Pacote& b) {
        return MomentoDoPacote(a.nome) < MomentoDoPacote(b.nome);
    });
    return pacotes;
}

std::chrono::milliseconds TfrmEDI::aguardaBloqueio(std::chrono::milliseconds restante) {
    const auto passo = std::min(restante, std::chrono::milliseconds(200));
    ui_.pumpEvents();
    std::this_thread::sleep_for(passo);
    return passo;
}

} // namespace edi
