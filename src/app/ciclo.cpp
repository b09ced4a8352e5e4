#include "app/ciclo.h"

#include "app/session.h"
#include "core/datetime.h"

#include <chrono>

namespace edi {

class CicloEDI::EmCurso {
public:
    explicit EmCurso(CicloEDI& ciclo) : ciclo_(ciclo) { ++ciclo_.etapasEmCurso_; }
    ~EmCurso() { --ciclo_.etapasEmCurso_; }
    EmCurso(const EmCurso&) = delete;
    EmCurso& operator=(const EmCurso&) = delete;

private:
    CicloEDI& ciclo_;
};

class CicloEDI::Ocupado {
public:
    Ocupado(CicloEDI& ciclo, bool& flag) : ciclo_(ciclo), flag_(flag), emCurso_(ciclo) {
        flag_ = true;
        ciclo_.AtualizaStatus();
    }
    // The normal way out clears the flag before the caller's status refresh.
    void libera() {
        flag_ = false;
        released_ = true;
    }
    ~Ocupado() {
        if (!released_) {
            // A failed body: the stage must run again next time, and the indicator must not stay red.
            flag_ = false;
            ciclo_.refreshIndicators();
        }
    }

private:
    CicloEDI& ciclo_;
    bool& flag_;
    EmCurso emCurso_;
    bool released_ = false;
};

CicloEDI::CicloEDI(TDM& dm, Ui& ui, CorposDasEtapas corpos) : dm_(dm), ui_(ui), corpos_(std::move(corpos)) {}

void CicloEDI::refreshIndicators() {
    if (bExportando)
        ui_.setStageText("Exportando...");
    else if (bImportando)
        ui_.setStageText("Importando...");
    else if (bEnviando)
        ui_.setStageText("Enviando...");
    else if (bRecebendo)
        ui_.setStageText("Recebendo...");
    else
        ui_.setStageText("");
    bAtivo = bExportando || bImportando || bEnviando || bRecebendo;
    ui_.setActive(bAtivo);
}

void CicloEDI::AtualizaStatus() {
    refreshIndicators();
    ui_.repaint();
    ui_.pause(pausaMs);
}

void CicloEDI::GravaStatus(const std::string& texto) {
    dm_.ExecutaECommita("Update PARAMETRO set VALOR = '" + texto + "' \nwhere CD_PARAMETRO = 29");
}

bool CicloEDI::refusedOffline() {
    if (estaNaInternet())
        return false;
    GravaStatus("Erro:");
    ui_.showWarning("Atenção", "Não foi possivel efetuar a comunicação com o Servidor WEB.\n"
                               "Verifique a conexão com a Internet e Tente novamente!");
    return true;
}

static void run(const std::function<void()>& body) {
    if (body)
        body();
}

void CicloEDI::Exportar1Click() {
    if (bExportando)
        return;
    Ocupado ocupado(*this, bExportando);
    run(corpos_.exportar);
    GravaStatus("Exportar!");
    ocupado.libera();
    AtualizaStatus();
}

void CicloEDI::Enviar1Click() {
    if (refusedOffline() || bEnviando)
        return;
    Ocupado ocupado(*this, bEnviando);
    run(corpos_.enviar);
    ocupado.libera();
    AtualizaStatus();
    GravaStatus("Enviar!");
}

void CicloEDI::Receber1Click() {
    if (refusedOffline() || bRecebendo)
        return;
    Ocupado ocupado(*this, bRecebendo);
    run(corpos_.versoes);
    run(corpos_.receber);
    ocupado.libera();
    AtualizaStatus();
    GravaStatus("Receber!");
}

void CicloEDI::Importar1Click() {
    importa(corpos_.importar);
}

void CicloEDI::Reimportar1Click() {
    importa(reimportar);
}

void CicloEDI::importa(const std::function<void()>& corpo) {
    if (bImportando)
        return;
    Ocupado ocupado(*this, bImportando);
    GravaStatus("Importar!");
    run(corpo);
    GravaStatus("EDI - Fim:");
    ocupado.libera();
    AtualizaStatus();
    if (!emExecucao_)
        run(alertas);
}

void CicloEDI::Aplicao1Click() {
    // Offline there is no list to ask for; unlike send and receive, nobody needs to be told.
    if (!estaNaInternet())
        return;
    EmCurso emCurso(*this);
    run(corpos_.aplicacao);
}

void CicloEDI::PNGButton2Click() {
    Exportar1Click();
    Enviar1Click();
}

void CicloEDI::PNGButton1Click() {
    Receber1Click();
    Importar1Click();
}

void CicloEDI::execucao(const std::function<void()>& etapas) {
    // Only at a quiet point: a stage still running (this run came in through its message loop) may be walking a
    // cursor of the transaction.
    auto renova = [this] {
        if (etapasEmCurso_ == 0)
            dm_.RenovaTransacao();
    };
    struct EmExecucao {
        bool& flag;
        bool antes = flag;
        ~EmExecucao() { flag = antes; }
    } emExecucao{emExecucao_};
    emExecucao_ = true;
    try {
        etapas();
    } catch (...) {
        try {
            renova();
        } catch (const std::exception&) {
            // the stage's failure is the one to report
        }
        throw;
    }
    renova();
    emExecucao_ = emExecucao.antes;
    if (!emExecucao_) // a run that came in through a stage's message loop leaves them to the run it interrupted
        run(alertas);
}

void CicloEDI::ExecucaoInicial(const std::string& unidade) {
    ui_.setUnitText(unidade);
    execucao([this] {
        Exportar1Click();
        Enviar1Click();
        Receber1Click();
        Importar1Click();
        Aplicao1Click();
        GravaStatus("EDI - Inicio:");
    });
}

std::string CicloEDI::textoProximaExecucao(int intervaloMs) {
    const auto next = std::chrono::system_clock::now() + std::chrono::milliseconds(intervaloMs);
    const std::time_t t = std::chrono::system_clock::to_time_t(next);
    std::tm tm{};
    localtime_r(&t, &tm);
    const Timestamp ts = Timestamp::fromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                              tm.tm_sec);
    return "Próxima execução " + formatDateTime("hh:n:ss", ts);
}

void CicloEDI::tmEDITimer() {
    habilitaTimer(false);
    struct Reabilita {
        CicloEDI& c;
        ~Reabilita() {
            c.habilitaTimer(true);
            c.ui_.setMessage(textoProximaExecucao(c.intervaloMs));
        }
    } reabilita{*this};
    execucao([this] {
        if (bImportar) {
            Receber1Click();
            Importar1Click();
        }
        if (bExportar) {
            Exportar1Click();
            Enviar1Click();
        }
        Aplicao1Click();
    });
}

} // namespace edi
