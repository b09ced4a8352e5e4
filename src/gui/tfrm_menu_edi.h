#pragma once

#include <QMainWindow>

#include <array>
#include <functional>
#include <string>
#include <string_view>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QStatusBar;
class QTimer;

namespace edi {
class CicloEDI;
enum class GrupoDoMenu;
struct Etapa;
} // namespace edi

namespace edi::gui {

class BotaoImagem;
class FundoImagem;
class IndicadorAtividade;

// The main window: the cycle's buttons, popup menu, timer, status bar and progress bar.
class TfrmMenuEDI : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int largura = 446;
    static constexpr int altura = 382;
    static constexpr int intervaloInicialMs = 60000;

    explicit TfrmMenuEDI(QWidget* parent = nullptr);
    ~TfrmMenuEDI() override;

    // Connects the stages' menu entries, the buttons and the timer to the cycle and sets the timer's interval from it.
    // `FormShow` is the start-up run; it runs once, after the window has first been shown and painted.
    void ligaCiclo(CicloEDI& ciclo, std::function<void()> FormShow);
    // Where the one-line summary comes from; read now and after every cycle operation.
    void ligaResumo(std::function<std::string()> resumo);
    void atualizaResumo();
    // Connects a menu entry whose work is not a cycle stage, behind the same error guard.
    void ligaOperacao(QAction* acao, std::function<void()> operacao);

    // Status bar panels, left to right: 0 indicator, 1 running stage, 2 last message, 3 unit code.
    QWidget* painel(int indice) const { return paineis_.at(static_cast<std::size_t>(indice)); }
    QLabel* textoDoPainel(int indice) const;
    void setAtivo(bool ativo);

    FundoImagem* Image1 = nullptr; // the background picture
    QLabel* imgLogo = nullptr;
    QLabel* lbEDI = nullptr;
    QLabel* lbDataInterchange = nullptr;
    QLabel* lbResumo = nullptr;        // one line on the state of the exchange, refreshed after each cycle operation
    BotaoImagem* PNGButton2 = nullptr; // "Enviar"
    BotaoImagem* PNGButton1 = nullptr; // "Receber"
    QStatusBar* StatusBar1 = nullptr;
    QProgressBar* pbGeral = nullptr;
    QTimer* tmEDI = nullptr;

    QMenu* PopupMenu1 = nullptr;
    // The entry of a stage of the table in app/etapas.h; nullptr for a stage without one.
    QAction* entradaDaEtapa(std::string_view nome) const;
    QAction* Log1 = nullptr;
    QAction* Estado1 = nullptr; // "Estado do intercâmbio"
    QAction* SQL1 = nullptr;
    QAction* Relatorio1 = nullptr; // opens a local HTML report in the report viewer
    QAction* VersaoUnidades1 = nullptr;
    QAction* Minimizar1 = nullptr;
    QAction* Maximizar1 = nullptr;
    QAction* Sair1 = nullptr;
    QAction* Teste1 = nullptr;
    QAction* DePara1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* objeto, QEvent* event) override;

private:
    void criaFundo();
    void criaBarraDeStatus();
    void criaMenu();
    void abreMenu(QWidget* origem, const QPoint& posicao);
    // Runs a cycle operation behind the error guard; nothing happens before the cycle is connected.
    void executa(const std::function<void(CicloEDI&)>& operacao);
    // The entries of the stages of a group of the popup menu, in their order.
    void criaEntradasDeEtapas(GrupoDoMenu grupo);
    void habilitaTimer(bool ligado);

    CicloEDI* ciclo_ = nullptr;
    std::function<void()> FormShow_;
    std::function<std::string()> resumo_;
    bool jaMostrada_ = false;
    IndicadorAtividade* indicador_ = nullptr;
    std::array<QWidget*, 4> paineis_{};
};

} // namespace edi::gui
