#include "shell/programa.h"

#include "app/constants.h"
#include "core/errors.h"
#include "core/files.h"
#include "db/query.h"
#include "platform/system_info.h"

#include <cstdlib>
#include <unistd.h>

namespace edi {

namespace fs = std::filesystem;

fs::path pastaDoPrograma(const std::string& home, const char* argv0) {
    if (!home.empty())
        return fs::absolute(home);
    if (const char* env = std::getenv("EDI_HOME"); env && *env)
        return fs::absolute(env);
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return exe.parent_path();
    return fs::absolute(argv0 ? fs::path(argv0).parent_path() : fs::current_path());
}

Programa::Programa(const fs::path& home, Ui& ui) : ui_(ui) {
    config_ = LeConfiguracao(home / "jaq.ini");
    geral_.sPath = home / "";
    geral_.sDominio = config_.servidor;
    geral_.prmDataUpdate = config_.update;

    dm_ = std::make_unique<TDM>(db::ConnectionParams{config_.DB, config_.usuario, config_.senha, config_.charset}, ui_);
    dmGeral_ = std::make_unique<datamodule::TDMGERAL>(*dm_, geral_);
    dmGeral_->DataModuleCreate();
    // Before any stage runs: an error report of a single stage identifies the installation too.
    identificaInstalacao();

    engine_ = std::make_unique<TfrmEDI>(*dm_, geral_, ui_);
    engine_->FormCreate();
    diario_ = std::make_unique<DiarioDoIntercambio>(geral_.sArquivoDiario);
    engine_->eventos = diario_.get();
    engine_->loteImportacao = config_.loteImportacao;
    engine_->diasEntreCensos = config_.diasEntreCensos;
    // Temporary files a killed run left; a day old, so no running process still writes them.
    for (const fs::path& pasta : {geral_.sPathOut, geral_.sPathIn, geral_.sPathTemp})
        removeStaleTemporaries(pasta, std::chrono::hours(24));
    for (const auto& aviso : config_.avisos)
        engine_->RegistraLog("jaq.ini", aviso);

    transporte_ = std::make_unique<TransporteEDI>(geral_, ui_, OpcoesHttp(config_));
    transporte_->eventos = diario_.get();
    transporte_->atualizaUpdate = [this] { return AtualizaUpdate(config_.arquivo); };
    engine_->DeleteRefEDI_UNIDADE = [this](const std::string& nome) { return transporte_->DeleteRefEDI_UNIDADE(nome); };

    ciclo_ = std::make_unique<CicloEDI>(*dm_, ui_, corpos());
    ciclo_->bExportar = config_.bExportar;
    ciclo_->bImportar = config_.bImportar;
    ciclo_->intervaloMs = config_.intervaloTimerMs();
    ciclo_->pausaMs = config_.pausaMs;
    ciclo_->estaNaInternet = [this] { return EstaNaInternet(config_); };
    ciclo_->alertas = [this] { engine_->LancaAlertas(); };
    ciclo_->eventos = diario_.get();
}

Programa::~Programa() = default;

void Programa::GetVersaoUnidadesWeb() {
    dmGeral_->GetVersaoUnidadesWeb([this](const std::string& consulta, const fs::path& arquivo) {
        return transporte_->CarregaLista(consulta, arquivo);
    });
}

CorposDasEtapas Programa::corpos() {
    CorposDasEtapas c;
    c.exportar = [this] { engine_->btExportarClick(); };
    c.enviar = [this] { transporte_->btnEnviarArquivoClick(); };
    c.versoes = [this] { GetVersaoUnidadesWeb(); };
    c.receber = [this] { transporte_->btnReceberArquivoClick(); };
    c.importar = [this] { engine_->btImportarClick(); };
    c.aplicacao = [this] { transporte_->Aplicao1Click(); };
    c.protocolos = [this] { Protocolo1Click(); };
    c.limpaMarcas = [this] { engine_->MudaTodasDatasExp(); };
    c.reimportar = [this] { engine_->btReimportarClick(); };
    c.censo = [this] { engine_->btCensoClick(false); };
    c.censoJa = [this] { engine_->btCensoClick(true); };
    return c;
}

void Programa::Protocolo1Click() {
    transporte_->Protocolo1Click(*dm_, dmGeral_->TB_PROTOCOLO_ENVIO().raw());
}

void Programa::identificaInstalacao() {
    geral_.sLogComputer = platform::NomeDoComputador();
    geral_.sLogUnidade = SelectNomeUnidadeParametro(*dm_);
    geral_.sLogUsuario = "-"; // the login query is never opened: code and name read empty
    geral_.sLogSistema = std::string("EDI - ( Versão: ").append(geral_.prmVersao).append(" )");
}

void Programa::ExecucaoInicial() {
    geral_.sPathTemp = geral_.sPath / "Temp" / ""; // created with the interchange folders
    ciclo_->ExecucaoInicial(geral_.prmUnidade);
}

} // namespace edi
