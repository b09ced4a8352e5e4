#include "app/ciclo.h"

#include "app/session.h"
#include "core/datetime.h"

#include <chrono>
#include <optional>

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
    const Etapa* nomeia = nullptr;
    bAtivo = false;
    for (const Etapa& e : etapas())
        if (e.ocupado && this->*e.ocupado) {
            bAtivo = true;
            if (!nomeia || e.precedenciaNoPainel < nomeia->precedenciaNoPainel)
                nomeia = &e;
        }
    ui_.setStageText(nomeia ? nomeia->textoOcupado : "");
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

bool CicloEDI::refusedOffline(const Etapa& etapa) {
    if (estaNaInternet())
        return false;
    eventos->etapaTerminou(etapa.nome, "sem comunicação com o servidor central");
    GravaStatus("Erro:");
    ui_.showWarning("Atenção", "Não foi possivel efetuar a comunicação com o Servidor WEB.\n"
                               "Verifique a conexão com a Internet e Tente novamente!");
    return true;
}

static void run(const std::function<void()>& body) {
    if (body)
        body();
}

void CicloEDI::executa(const Etapa& etapa) {
    if (etapa.semRede == SemRede::Recusa && refusedOffline(etapa))
        return;
    if (etapa.semRede == SemRede::Salta && !estaNaInternet())
        return;
    if (etapa.ocupado && this->*etapa.ocupado)
        return;
    std::optional<Ocupado> ocupado;
    std::optional<EmCurso> emCurso;
    if (etapa.ocupado)
        ocupado.emplace(*this, this->*etapa.ocupado);
    else if (etapa.contaComoEmCurso)
        emCurso.emplace(*this);
    if (etapa.statusAoEntrar)
        GravaStatus(etapa.statusAoEntrar);
    executaCorpos(etapa);
    if (etapa.statusAoSair && etapa.statusAoSairAindaOcupado)
        GravaStatus(etapa.statusAoSair);
    if (ocupado) {
        ocupado->libera();
        AtualizaStatus();
    }
    if (etapa.statusAoSair && !etapa.statusAoSairAindaOcupado)
        GravaStatus(etapa.statusAoSair);
    if (etapa.lancaAlertas && !emExecucao_)
        run(alertas);
}

void CicloEDI::executaCorpos(const Etapa& etapa) {
    try {
        for (const auto corpo : etapa.corpos)
            run(corpos_.*corpo);
    } catch (const std::exception& e) {
        eventos->etapaTerminou(etapa.nome, e.what());
        throw;
    }
    eventos->etapaTerminou(etapa.nome, "");
}

void CicloEDI::executaLado(Lado lado) {
    for (const Etapa& e : etapas())
        if (e.lado == lado)
            executa(e);
}

void CicloEDI::PNGButton2Click() {
    executaLado(Lado::Envio);
}

void CicloEDI::PNGButton1Click() {
    executaLado(Lado::Recebimento);
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
        for (const Etapa& e : etapas())
            if (e.lado != Lado::Fora)
                executa(e);
        GravaStatus("EDI - Inicio:");
    });
}

std::string CicloEDI::textoProximaExecucao(int intervaloMs) {
    const auto next = std::chrono::system_clock::now() + std::chrono::milliseconds(intervaloMs);
    const std::time_t t = std::chrono::system_clock::to_time_t(next);
    std::tm tm{};
    localtime_r(&t, &tm);
    const Timestamp ts =
        Timestamp::fromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
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
        if (bImportar)
            executaLado(Lado::Recebimento);
        if (bExportar)
            executaLado(Lado::Envio);
        executaLado(Lado::Sempre);
    });
}

} // namespace edi
