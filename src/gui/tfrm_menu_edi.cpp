#include "gui/tfrm_menu_edi.h"

#include "app/ciclo.h"
#include "app/etapas.h"
#include "gui/caixas.h"
#include "gui/componentes.h"
#include "gui/desenho.h"
#include "platform/versao.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace edi::gui {

namespace {

QLabel* rotulo(const QString& texto, int tamanhoPx, bool negrito, const QColor& cor, QWidget* pai) {
    auto* r = new QLabel(texto, pai);
    QFont fonte = r->font();
    fonte.setPixelSize(tamanhoPx);
    fonte.setBold(negrito);
    r->setFont(fonte);
    QPalette paleta = r->palette();
    paleta.setColor(QPalette::WindowText, cor);
    r->setPalette(paleta);
    r->adjustSize();
    return r;
}

} // namespace

TfrmMenuEDI::TfrmMenuEDI(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QString::fromUtf8(platform::kNomeDoProduto) + QStringLiteral(" [Versão ") +
                   QString::fromUtf8(platform::kVersaoDoSistema) + QStringLiteral("]"));
    // Single border: system menu and minimise box, no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(largura, altura);

    criaFundo();
    criaBarraDeStatus();
    criaMenu();

    tmEDI = new QTimer(this);
    tmEDI->setObjectName(QStringLiteral("tmEDI"));
    tmEDI->setInterval(intervaloInicialMs);
    // A tick inside an open box would put its own box on top of it: that run waits for the next tick.
    connect(tmEDI, &QTimer::timeout, this, [this] {
        if (!caixaAberta())
            executa(&CicloEDI::tmEDITimer);
    });
    tmEDI->start();
}

TfrmMenuEDI::~TfrmMenuEDI() = default;

void TfrmMenuEDI::criaFundo() {
    Image1 = new FundoImagem(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    setCentralWidget(Image1);

    lbEDI = rotulo(QStringLiteral("EDI"), 64, true, Qt::white, Image1);
    lbEDI->setObjectName(QStringLiteral("lbEDI"));
    lbEDI->move(30, 22);
    lbDataInterchange = rotulo(QStringLiteral("Data Interchange"), 21, false, desenho::cor::textoClaro, Image1);
    lbDataInterchange->setObjectName(QStringLiteral("lbDataInterchange"));
    lbDataInterchange->move(34, lbEDI->geometry().bottom() + 2);

    lbResumo = rotulo(QString(), 12, true, Qt::white, Image1);
    lbResumo->setObjectName(QStringLiteral("lbResumo"));
    lbResumo->setWordWrap(true);
    lbResumo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbResumo->setGeometry(34, 150, largura - 68, 48);

    imgLogo = new QLabel(Image1);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setPixmap(desenho::logotipo(112));
    imgLogo->setGeometry(largura - 112 - 34, 24, 112, 112);

    PNGButton2 = new BotaoImagem(QStringLiteral("Enviar"), desenho::Sentido::Enviar, Image1);
    PNGButton2->setObjectName(QStringLiteral("PNGButton2"));
    PNGButton2->setGeometry(46, 210, 164, 66);
    PNGButton1 = new BotaoImagem(QStringLiteral("Receber"), desenho::Sentido::Receber, Image1);
    PNGButton1->setObjectName(QStringLiteral("PNGButton1"));
    PNGButton1->setGeometry(largura - 46 - 164, 210, 164, 66);
    connect(PNGButton2, &QAbstractButton::clicked, this, [this] { executa(&CicloEDI::PNGButton2Click); });
    connect(PNGButton1, &QAbstractButton::clicked, this, [this] { executa(&CicloEDI::PNGButton1Click); });

    // The progress bar runs along the bottom edge of the background, under the positioned widgets.
    pbGeral = new QProgressBar(Image1);
    pbGeral->setObjectName(QStringLiteral("pbGeral"));
    pbGeral->setRange(0, 1);
    pbGeral->setValue(0);
    pbGeral->setTextVisible(false);
    pbGeral->setFixedHeight(14);
    QPalette paleta = pbGeral->palette();
    paleta.setColor(QPalette::Highlight, desenho::cor::verdeAgua);
    pbGeral->setPalette(paleta);
    auto* coluna = new QVBoxLayout(Image1);
    coluna->setContentsMargins(0, 0, 0, 0);
    coluna->addStretch(1);
    coluna->addWidget(pbGeral);
}

void TfrmMenuEDI::criaBarraDeStatus() {
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    setStatusBar(StatusBar1);

    indicador_ = new IndicadorAtividade(StatusBar1);
    indicador_->setMinimumHeight(16);
    paineis_[0] = indicador_;
    for (int i = 1; i < 4; ++i)
        paineis_[static_cast<std::size_t>(i)] = new QLabel(StatusBar1);
    constexpr std::array<int, 4> larguras{50, 100, 200, 20};
    for (std::size_t i = 0; i < paineis_.size(); ++i) {
        paineis_[i]->setObjectName(QStringLiteral("Panel%1").arg(i));
        paineis_[i]->setFixedWidth(larguras[i]);
        // Added left to right: permanent widgets would be pushed to the right edge.
        StatusBar1->addWidget(paineis_[i]);
    }
}

QLabel* TfrmMenuEDI::textoDoPainel(int indice) const {
    return qobject_cast<QLabel*>(painel(indice));
}

void TfrmMenuEDI::setAtivo(bool ativo) {
    indicador_->setAtivo(ativo);
}

void TfrmMenuEDI::criaMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto item = [this](const char* nome, const QString& legenda, bool visivel = true) {
        QAction* acao = PopupMenu1->addAction(legenda);
        acao->setObjectName(QString::fromLatin1(nome));
        acao->setVisible(visivel);
        return acao;
    };
    criaEntradasDeEtapas(GrupoDoMenu::Ciclo);
    Log1 = item("Log1", QStringLiteral("Log"));
    Estado1 = item("Estado1", QStringLiteral("Estado do intercâmbio"));
    PopupMenu1->addSeparator();
    SQL1 = item("SQL1", QStringLiteral("SQL"));
    criaEntradasDeEtapas(GrupoDoMenu::Aplicacao);
    VersaoUnidades1 = item("VersaoUnidades1", QStringLiteral("Versao Unidades"), false);
    PopupMenu1->addSeparator();
    Minimizar1 = item("Minimizar1", QStringLiteral("Minimizar"));
    Maximizar1 = item("Maximizar1", QStringLiteral("Maximizar"));
    Sair1 = item("Sair1", QStringLiteral("Sair"));
    PopupMenu1->addSeparator();
    criaEntradasDeEtapas(GrupoDoMenu::Operacoes);
    Teste1 = item("Teste1", QStringLiteral("Teste"));
    DePara1 = item("DePara1", QStringLiteral("De->Para"));
    Relatorio1 = item("Relatorio1", QStringLiteral("Relatório..."));

    connect(Minimizar1, &QAction::triggered, this, &QWidget::showMinimized);
    connect(Maximizar1, &QAction::triggered, this, [this] {
        showNormal();
        raise();
        activateWindow();
    });
    connect(Sair1, &QAction::triggered, this, &QWidget::close);

    // The menu belongs to the window and to the background picture.
    for (QWidget* origem : {static_cast<QWidget*>(this), static_cast<QWidget*>(Image1)}) {
        origem->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(origem, &QWidget::customContextMenuRequested, this,
                [this, origem](const QPoint& posicao) { abreMenu(origem, posicao); });
    }
}

void TfrmMenuEDI::abreMenu(QWidget* origem, const QPoint& posicao) {
    PopupMenu1->popup(origem->mapToGlobal(posicao));
}

void TfrmMenuEDI::criaEntradasDeEtapas(GrupoDoMenu grupo) {
    std::vector<const Etapa*> doGrupo;
    for (const Etapa& e : etapas())
        if (e.menu.grupo == grupo)
            doGrupo.push_back(&e);
    std::stable_sort(doGrupo.begin(), doGrupo.end(),
                     [](const Etapa* a, const Etapa* b) { return a->menu.ordem < b->menu.ordem; });
    for (const Etapa* e : doGrupo) {
        QAction* acao = PopupMenu1->addAction(QString::fromUtf8(e->menu.legenda));
        acao->setObjectName(QString::fromLatin1(e->menu.objeto));
        acao->setVisible(e->menu.visivel);
        connect(acao, &QAction::triggered, this, [this, e] { executa([e](CicloEDI& c) { c.executa(*e); }); });
    }
}

QAction* TfrmMenuEDI::entradaDaEtapa(std::string_view nome) const {
    const EntradaDoMenu& menu = etapa(nome).menu;
    if (menu.grupo == GrupoDoMenu::Nenhum)
        return nullptr;
    return PopupMenu1->findChild<QAction*>(QString::fromLatin1(menu.objeto), Qt::FindDirectChildrenOnly);
}

void TfrmMenuEDI::ligaOperacao(QAction* acao, std::function<void()> operacao) {
    connect(acao, &QAction::triggered, this,
            [this, operacao = std::move(operacao)] { executaProtegido(this, operacao); });
}

void TfrmMenuEDI::executa(const std::function<void(CicloEDI&)>& operacao) {
    if (!ciclo_)
        return;
    executaProtegido(this, [this, operacao] { operacao(*ciclo_); });
    atualizaResumo();
}

void TfrmMenuEDI::ligaResumo(std::function<std::string()> resumo) {
    resumo_ = std::move(resumo);
    atualizaResumo();
}

void TfrmMenuEDI::atualizaResumo() {
    if (!resumo_)
        return;
    executaProtegido(this, [this] {
        const QString texto = QString::fromStdString(resumo_());
        lbResumo->setText(texto);
        lbResumo->setToolTip(texto); // a long error text is cut by the label's two lines
    });
}

void TfrmMenuEDI::ligaCiclo(CicloEDI& ciclo, std::function<void()> FormShow) {
    ciclo_ = &ciclo;
    FormShow_ = std::move(FormShow);
    // The cycle may outlive the window; it must not reach a deleted timer.
    ciclo.habilitaTimer = [janela = QPointer<TfrmMenuEDI>(this)](bool ligado) {
        if (janela)
            janela->habilitaTimer(ligado);
    };
    // Like the engine's start-up: the interval changes and the countdown starts again from it.
    const bool ligado = tmEDI->isActive();
    tmEDI->setInterval(std::max(ciclo.intervaloMs, 0));
    habilitaTimer(ligado);
}

void TfrmMenuEDI::habilitaTimer(bool ligado) {
    // A zero interval would tick on every pass of the event loop; it means "never" here.
    if (ligado && tmEDI->interval() > 0)
        tmEDI->start();
    else
        tmEDI->stop();
}

void TfrmMenuEDI::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (jaMostrada_)
        return;
    jaMostrada_ = true;
    // The start-up run waits for the first exposure: its pauses hold the thread, and the window must be on
    // the screen, painted, before that.
    windowHandle()->installEventFilter(this);
}

bool TfrmMenuEDI::eventFilter(QObject* objeto, QEvent* event) {
    if (objeto == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        // Queued behind the paint this exposure causes.
        QTimer::singleShot(0, this, [this] {
            if (FormShow_)
                executaProtegido(this, FormShow_);
            atualizaResumo();
        });
    }
    return QMainWindow::eventFilter(objeto, event);
}

} // namespace edi::gui
