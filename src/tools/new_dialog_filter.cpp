#include "tools/new_dialog_filter.h"

#include "app/configuracao.h"
#include "app/geral.h"
#include "core/files.h"
#include "tools/email.h"
#include "tools/falha_fatal.h"

namespace edi::tools {

namespace fs = std::filesystem;

TNewDialogFilter::TNewDialogFilter(const Configuracao& config, const UGeral& geral, fs::path logFile)
    : config_(config), geral_(geral), logFile_(std::move(logFile)) {}

ResultadoFiltro TNewDialogFilter::ShowException(const ErroCapturado& erro, const TextosDoErro&) {
    const auto agora = std::chrono::steady_clock::now();
    // A process about to end has no next cycle to wait for.
    if (!erro.fatal && ultimaTentativa_ && agora - *ultimaTentativa_ < espacamento)
        return EXC_FILTER_CONTINUE;
    std::error_code ec;
    if (fs::exists(logFile_, ec))
        ultimaTentativa_ = agora;
    enviaLog();
    return EXC_FILTER_CONTINUE;
}

bool TNewDialogFilter::enviaLog() {
    std::error_code ec;
    if (!fs::exists(logFile_, ec))
        return false;
    Email frmEmail(config_);
    frmEmail.mmMsg = linhasDoTexto(readFile(logFile_));
    frmEmail.mmMsg.push_back("Computer:" + geral_.sLogComputer);
    frmEmail.mmMsg.push_back("Unidade:" + geral_.sLogUnidade);
    frmEmail.mmMsg.push_back("Usuário:" + geral_.sLogUsuario);
    frmEmail.mmMsg.push_back("Sistema:" + geral_.sLogSistema);
    frmEmail.mmMsg.push_back("Local:" + geral_.sPath.string());
    frmEmail.sSubject = "Haldren - Erro";
    if (frmEmail.Enviar()) {
        fs::remove(logFile_, ec);
        return true;
    }
    std::string texto;
    for (const auto& linha : frmEmail.mmMsg)
        texto.append(linha).append("\n");
    writeFileAtomically(logFile_, texto);
    return false;
}

void InstalaRelatorDeErros(const fs::path& pasta, std::function<void(const TextosDoErro&)> mostra) {
    TErrorReporter& r = ErrorReporter();
    r.LogFile = pasta / "EDIMorvanix.log";
    r.mostraErro = std::move(mostra);
    instalaGanchosFatais(r.LogFile);
}

FiltroDoPrograma::FiltroDoPrograma(const Configuracao& config, const UGeral& geral) {
    TErrorReporter& r = ErrorReporter();
    r.ocultaSegredos({config.senha, config.senhaWeb, config.emailSenha});
    MyFilter = std::make_shared<TNewDialogFilter>(config, geral, r.LogFile);
    MyFilter->espacamento = std::chrono::milliseconds(std::max(config.intervaloTimerMs(), 0));
    r.RegisterExceptionFilter<std::exception>(MyFilter, false);
    informaMalaDireta(config.arquivo, &geral);
}

FiltroDoPrograma::~FiltroDoPrograma() {
    informaMalaDireta({}, nullptr);
    ErrorReporter().UnregisterExceptionFilter(MyFilter);
}

int AtendeRelatoDeFalhaFatal() {
    const auto pedido = pedidoDeRelatoFatal();
    if (!pedido)
        return -1;
    const Configuracao config = LeConfiguracao(pedido->ini);
    TNewDialogFilter filtro(config, pedido->geral, pedido->log);
    try {
        return filtro.enviaLog() ? 0 : 1;
    } catch (const std::exception&) {
        return 1;
    }
}

} // namespace edi::tools
