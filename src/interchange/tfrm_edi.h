#pragma once

#include "app/constants.h"
#include "app/diario_do_intercambio.h"
#include "app/geral.h"
#include "app/ui.h"
#include "domain/exclusoes.h"
#include "interchange/censo.h"
#include "interchange/registro.h"
#include "interchange/row_writer.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace edi {

class TDM;
class UnidadeDeTrabalho;
class PacketTable;
class MemoriaDeVersoes;
class PreparacaoChaves;
class EstadoDaInstalacao;
namespace db {
class Dataset;
} // namespace db

// The machine's physical memory in kilobytes, for the import's status and log texts.
struct MemoriaFisica {
    int64_t totalKb = 0;
    int64_t disponivelKb = 0;
};

// The interchange engine: registry, schema preparation, export of pending rows into data packets and
// import of received packets. Everything it tells a person goes through the UI port.
class TfrmEDI {
public:
    TfrmEDI(TDM& dm, UGeral& geral, Ui& ui);
    ~TfrmEDI();

    // Sets the interchange folder variables and creates the folders (in, out, protocol, and Temp, whose failure
    // is only logged).
    void FormCreate();

    // Loads TABELA_EDI once per program run and orders it.
    void btOrdemClick();
    const std::vector<RegistroEDI>& CDSTabela() const { return registro_; }

    // Adds DT_EXP (with its index) and CD_EDI when the table lacks them, the trigger that records deletions of the
    // rows owned here when the loaded registry sends the table, and widens its primary key to the owning
    // unit and adds its foreign keys where that is safe (once; what cannot be done goes to the engine log and is
    // tried again at the next call). True when the schema changed: commit before using the table.
    bool ValidaCamposEDI(const std::string& T);

    void btExportarClick();
    void btImportarClick();
    // Throws, once, what the last import found that a person must act on (two installations sending as one unit).
    void LancaAlertas();
    // An import run that also retries the kept records waiting for the operator.
    void btReimportarClick();
    void MudaTodasDatasExp();
    // The census stage. At the central unit: answers the units' censuses waiting in EDI/IN. At a unit: applies the
    // answers to its code (ranges sent again, deletions of codes it no longer holds) and takes a census of the
    // tables it sends when one is due, or now when `sobDemanda`.
    void btCensoClick(bool sobDemanda);
    // Days between a unit's censuses; 0: only on demand.
    int diasEntreCensos = 1;
    void btLimparDtExpClick() { MudaTodasDatasExp(); }

    // The engine log: one line per failure, each ended by a carriage return.
    const std::string& lbLog() const { return lbLog_; }
    // Adds a line to the engine log, for what the program's start-up has to report.
    // Not a failure of the running stage.
    void RegistraLog(const std::string& origem, const std::string& mensagem);
    // Told of the packets exported, imported and refused, and of the failures the engine log gets.
    EventosDoIntercambio* eventos = &semRegistroDeEventos();

    // Asks the central server to drop its reference to an unreadable file; "Erro" when it could not.
    std::function<std::string(const std::string&)> DeleteRefEDI_UNIDADE;
    // Memory figures; the machine's by default.
    std::function<MemoriaFisica()> memoria;
    // Called at named points of the work ("export:keys-stamped", "export:row", "export:packet-written",
    // "import:record-written", "import:batch-committed", "import:file-read"), so tests can interfere or crash there.
    std::function<void(const char*)> pontoDeTeste = [](const char*) {};
    // Records import commits together (1: each on its own); a batch is committed sooner once it is a second old.
    int loteImportacao = kLoteImportacaoPadrao;
    // How long, in all, one file's records wait for rows another user holds locked before they are left for the
    // next run.
    std::chrono::milliseconds esperaPorBloqueio{3000};
    // The local clock that stamps packet names.
    std::function<Timestamp()> relogio = Timestamp::localNow;
    // This computer's name, which the packets carry beside the installation's identity.
    std::string computador;

private:
    enum class FimDaImportacao { Normal, Reiniciar };
    // A packet an import run takes: one received into EDI/IN, or one of records kept from an earlier run.
    struct Pacote {
        std::filesystem::path caminho;
        std::string nome;              // the received packet's name, whose moment orders it
        std::optional<int> tentativas; // kept records: the runs that failed them
        bool daExecucao = false; // kept by this very run, which counted their failure: only its deletions are retried
    };

    void exportaTabela(const RegistroEDI& reg, UnidadeDeTrabalho& unidade);
    void carimbaChaves(const std::string& T, const ComandosTabela& c, UnidadeDeTrabalho& unidade);
    void carimbaChavesLinhaALinha(const std::string& T, const ComandosTabela& c);
    std::string comandoMarca(const std::string& T, const ComandosTabela& c) const;
    void registraErro(const std::string& T, const std::string& mensagem);
    EstadoDaInstalacao& estado();
    int64_t valorDoGerador(const std::string& gerador, int64_t passo = 0);
    void preparaMomentosECodigos();
    void passaCodigosJaEmitidos();
    void guardaCodigosEmitidos();
    Timestamp reservaMomento();
    Timestamp momentoDaExportacao();
    void confereRemetente(const std::string& T, const std::string& F, const PacketTable& ocds);
    std::string indiceLivre(const std::string& T);
    bool preparaChaves(const std::string& T);
    bool preparaExclusoes(const std::string& T);
    bool haTabelaDeExclusoes();
    void aplicaExclusao(const std::string& destino, const Value& cdUnd, const Value& cdEdi);
    bool excluidaAqui(const std::string& destino, const Value& cdUnd, const Value& cdEdi);
    bool haExclusoesPendentes(const std::string& T);
    void juntaExclusoes(const std::string& T, PacketTable& TB, const Value& marcaDoDia);
    // Whether the registry (as loaded) sends the table: only its deletions are recorded, as only it is exported.
    bool enviada(const std::string& T) const;
    // Whether the registry (as loaded) receives the table: the central unit answers a census for it only then.
    bool recebida(const std::string& T) const;
    // Reads the central unit's code, failing when it is not a number; this unit's is 0 when it is none.
    domain::RegraDePosse regraDePosse() const;
    void avisaOrdemDasMaes(const std::string& T, std::vector<std::string>& avisos) const;

    // The census (tfrm_edi_censo.cpp).
    void censo(bool sobDemanda);
    void preparaTabelasDoCenso();
    // Codes issued by this installation that a restored database never held: never deleted at the central unit.
    void registraLacuna(int64_t de, int64_t ate);
    void passaCodigosVistosNaCentral(int64_t maior);
    bool censoDevido();
    void tiraCenso();
    std::vector<std::filesystem::path> pacotesDoCenso(const char* tabela) const;
    std::filesystem::path gravaPacoteDoCenso(PacketTable& pacote, const char* tabela);
    void respondeCensos(const std::filesystem::path& pastaDia);
    void respondeCenso(PacketTable& censo, PacketTable& resposta);
    void aplicaRespostas(const std::filesystem::path& pastaDia);
    std::string reparaTabela(const std::string& T, std::vector<std::pair<FaixaDivergente, std::vector<int64_t>>> faixas,
                             std::optional<int64_t> maiorCodigo, bool colunasDiferentes);
    // The columns the central unit last said it has of T, if it said.
    std::optional<Colunas> colunasDaCentral(const std::string& T);
    void guardaColunasDaCentral(const std::string& T, const Colunas& colunas);
    bool contaReparo(const std::string& T, int64_t faixa);
    void gravaRespostaDaTabela(const std::string& T, int64_t reparadas, int64_t exclusoes);

    FimDaImportacao execucaoImportacao(const std::filesystem::path& pastaDia, const std::string& D);
    FimDaImportacao importaTabela(const RegistroEDI& reg, UnidadeDeTrabalho& unidade,
                                  const std::filesystem::path& pastaDia, const std::string& D,
                                  std::string& ultimoArquivo);
    // `saiu` becomes true when some record left its packet (written, or passed over as older).
    FimDaImportacao importaPacotes(const RegistroEDI& reg, const std::vector<Pacote>& pacotes,
                                   const std::filesystem::path& pastaDia, const std::string& D,
                                   std::string& ultimoArquivo, bool& saiu);
    bool importaArquivo(const std::string& T, const std::string& destino, const ComandosTabela& c, const Pacote& pacote,
                        PacketTable& ocds, const std::filesystem::path& pastaDia);
    bool guardaNaoEscritos(const std::string& T, const Pacote& pacote, PacketTable& falhados, PacketTable& bloqueados,
                           std::vector<std::string>& Log);
    void retentaRetidosDaExecucao(const std::filesystem::path& pastaDia, const std::string& D);
    std::vector<Pacote> retidosDaExecucao(const std::string& T) const;
    // Sleeps a short step of what is left of the file's wait for locked rows, letting the message loop run.
    std::chrono::milliseconds aguardaBloqueio(std::chrono::milliseconds restante);
    void arquivoIlegivel(const std::string& F, const std::string& D);
    // Asks the server to drop its reference to a file set aside; moves it into "Liberado" beside it when
    // the server did. False when it did not.
    bool pedeDescarte(const std::filesystem::path& arquivo);
    void liberaArquivosCorrompidos();
    std::vector<Pacote> listaArquivos(const std::string& T) const;
    static std::string textoMemoria(const char* padrao, const MemoriaFisica& m);
    MemoriaFisica memoriaRecente();

    TDM& dm_;
    UGeral& geral_;
    Ui& ui_;
    bool registroCarregado_ = false;
    std::vector<RegistroEDI> registro_;
    std::string lbLog_;
    std::unique_ptr<db::Dataset> ibds_;
    // Names of the packets already sent (archived as .bkp below sPathOut), read once per export run.
    std::set<std::string> enviados_;
    std::optional<MemoriaFisica> memoriaRecente_;
    std::chrono::steady_clock::time_point memoriaLidaEm_;
    std::unique_ptr<PreparacaoChaves> chaves_;           // made at the first schema preparation
    std::unique_ptr<MemoriaDeVersoes> memoriaDeVersoes_; // of the import run, made at its first packet
    std::unique_ptr<EstadoDaInstalacao> estado_;         // read at first use
    std::optional<Timestamp> momentoDaExportacao_;       // of the export run, reserved with its first packet
    int ignoradosPorVersao_ = 0;                         // records of the import run skipped as older
    std::set<std::string> remetentesDuplicados_;         // what the import run found: two installations, one unit
    std::vector<std::string> alertasDoCenso_;            // what the census stage found that a person must act on
    bool incluiRetidosDoOperador_ = false;
    // Kept packets holding deletions the import run refused, and their table.
    std::map<std::filesystem::path, std::string> retidosDaExecucao_;
};

// The machine's figures; zero when the system does not tell.
MemoriaFisica memoriaDaMaquina();

} // namespace edi
