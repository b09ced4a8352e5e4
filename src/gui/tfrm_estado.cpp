#include "gui/tfrm_estado.h"

#include "gui/caixas.h"
#include "gui/desenho.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace edi::gui {

namespace {

QString q(const std::string& texto) {
    return QString::fromStdString(texto);
}

QTableWidget* tabela(const QStringList& colunas, QWidget* pai) {
    auto* t = new QTableWidget(0, static_cast<int>(colunas.size()), pai);
    t->setHorizontalHeaderLabels(colunas);
    t->verticalHeader()->hide();
    // One line of text a row: the stages and the packets fit without scrolling.
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void linha(QTableWidget* t, const QStringList& celulas) {
    const int r = t->rowCount();
    t->insertRow(r);
    for (int c = 0; c < celulas.size(); ++c) {
        auto* item = new QTableWidgetItem(celulas[c]);
        item->setToolTip(celulas[c]); // error texts are longer than their column
        t->setItem(r, c, item);
    }
}

QWidget* emGrupo(const QString& titulo, QWidget* conteudo, QWidget* pai) {
    auto* g = new QGroupBox(titulo, pai);
    auto* l = new QVBoxLayout(g);
    l->addWidget(conteudo);
    return g;
}

QString textoDasPastas(const EstadoDoIntercambio& e) {
    QString t = QStringLiteral("Pacotes à espera de envio em EDI/OUT: %1\n"
                               "Pacotes à espera de importação em EDI/IN: %2\n"
                               "Arquivos ilegíveis separados: %3 à espera do servidor, %4 já liberados\n")
                    .arg(e.pacotesEmOut)
                    .arg(e.pacotesEmIn)
                    .arg(e.separadosAguardando)
                    .arg(e.separadosLiberados);
    t += e.retidos.vazia() ? QStringLiteral("Registros retidos: nenhum") : q(textoRetidos(e.retidos));
    if (!e.baseLida)
        t += QStringLiteral("\nBase de dados não lida: ") + q(e.erroDaBase);
    return t;
}

void preenchePendentes(QTableWidget* t, const EstadoDoIntercambio& e) {
    t->setRowCount(0);
    for (const PendentesDaTabela& p : e.pendentes)
        if (!p.erro.empty())
            linha(t, {q(p.tabela), QStringLiteral("não contadas: ") + q(p.erro)});
        else if (p.linhas > 0)
            linha(t, {q(p.tabela), QString::number(p.linhas)});
}

void preencheEtapas(QTableWidget* t, const DiarioLido& d) {
    t->setRowCount(0);
    for (const EstadoDaEtapa& e : d.etapas)
        linha(t, {q(nomeDaEtapaParaOperador(e.etapa)),
                  e.ultimoSucesso ? q(textoDoMomento(*e.ultimoSucesso)) : QStringLiteral("nenhum"),
                  e.ultimoErro ? q(textoDoMomento(*e.ultimoErro)) : QStringLiteral("nenhum"), q(e.textoDoErro)});
}

void preenchePacotes(QTableWidget* t, const DiarioLido& d) {
    t->setRowCount(0);
    for (const CaminhoDoPacote& c : d.pacotes) {
        QStringList celulas{q(c.pacote)};
        for (int i = 0; i < kPassosDoPacote; ++i)
            celulas << QString();
        // The latest time of each step: a kept record is imported again later.
        for (const PassoRegistrado& p : c.passos) {
            QString texto = q(textoDoMomento(p.momento));
            if (p.linhas > 0)
                texto += QStringLiteral(" (%1)").arg(p.linhas);
            celulas[1 + static_cast<int>(p.passo)] = texto;
        }
        linha(t, celulas);
    }
}

} // namespace

GraficoDeLinhas::GraficoDeLinhas(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(150);
}

void GraficoDeLinhas::mostra(std::vector<LinhasDoDia> dias) {
    dias_ = std::move(dias);
    update();
}

void GraficoDeLinhas::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Qt::white);
    const QColor enviadas = desenho::cor::verdeAgua, recebidas = desenho::cor::azulProfundo;
    const QFontMetrics fm = p.fontMetrics();
    const int alturaTexto = fm.height();
    // Legend on top, day labels below, bars in between.
    p.setPen(Qt::black);
    int x = 8;
    for (const auto& [cor, nome] : {std::pair{enviadas, QStringLiteral("Linhas enviadas")},
                                    std::pair{recebidas, QStringLiteral("Linhas recebidas")}}) {
        p.fillRect(x, 6, 12, 12, cor);
        p.drawText(x + 16, 6 + fm.ascent(), nome);
        x += 16 + fm.horizontalAdvance(nome) + 16;
    }
    const QRect area(40, 12 + alturaTexto, width() - 48, height() - 2 * alturaTexto - 24);
    long long maximo = 1;
    for (const LinhasDoDia& d : dias_)
        maximo = std::max({maximo, d.enviadas, d.recebidas});
    p.setPen(Qt::gray);
    p.drawLine(area.bottomLeft(), area.bottomRight());
    p.drawText(QRect(0, area.top() - alturaTexto / 2, 36, alturaTexto), Qt::AlignRight, QString::number(maximo));
    p.drawText(QRect(0, area.bottom() - alturaTexto / 2, 36, alturaTexto), Qt::AlignRight, QStringLiteral("0"));
    if (dias_.empty())
        return;
    const double largura = static_cast<double>(area.width()) / static_cast<double>(dias_.size());
    for (size_t i = 0; i < dias_.size(); ++i) {
        const double x0 = area.left() + largura * static_cast<double>(i);
        auto barra = [&](long long valor, double desloca, const QColor& cor) {
            const double h =
                static_cast<double>(area.height()) * static_cast<double>(valor) / static_cast<double>(maximo);
            p.fillRect(QRectF(x0 + desloca, area.bottom() - h, largura * 0.4, h), cor);
        };
        barra(dias_[i].enviadas, largura * 0.1, enviadas);
        barra(dias_[i].recebidas, largura * 0.5, recebidas);
        // A label each week, from the last day backwards, so today always has one.
        if ((dias_.size() - 1 - i) % 7 == 0) {
            const QString dia = q(dias_[i].dia.substr(8, 2) + "/" + dias_[i].dia.substr(5, 2));
            p.setPen(Qt::black);
            p.drawText(QRectF(x0 - 20, area.bottom() + 4, largura + 40, alturaTexto), Qt::AlignHCenter, dia);
        }
    }
}

TfrmEstado::TfrmEstado(std::function<EstadoDoIntercambio()> le, QWidget* parent)
    : QWidget(parent, Qt::Window), le_(std::move(le)) {
    setWindowTitle(QStringLiteral("Estado do intercâmbio"));
    resize(980, 820);

    lbResumo = new QLabel(this);
    lbResumo->setObjectName(QStringLiteral("lbResumo"));
    lbResumo->setWordWrap(true);
    QFont negrito = lbResumo->font();
    negrito.setBold(true);
    lbResumo->setFont(negrito);
    lbPastas = new QLabel(this);
    lbPastas->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbPastas->setWordWrap(true);
    tbPendentes = tabela({QStringLiteral("Tabela"), QStringLiteral("Linhas por exportar")}, this);
    tbEtapas = tabela({QStringLiteral("Etapa"), QStringLiteral("Último sucesso"), QStringLiteral("Último erro"),
                       QStringLiteral("Erro")},
                      this);
    QStringList colunas{QStringLiteral("Pacote")};
    for (const char* passo : {"Exportado", "Enviado", "Registrado", "Baixado", "Confirmado", "Importado", "Recusado"})
        colunas << QString::fromUtf8(passo);
    tbPacotes = tabela(colunas, this);
    grafico = new GraficoDeLinhas(this);
    btAtualizar = new QPushButton(QStringLiteral("Atualizar"), this);
    connect(btAtualizar, &QPushButton::clicked, this, [this] { executaProtegido(this, [this] { atualiza(); }); });

    auto* topo = new QHBoxLayout;
    topo->addWidget(emGrupo(QStringLiteral("Pastas do intercâmbio"), lbPastas, this), 1);
    topo->addWidget(emGrupo(QStringLiteral("Linhas por exportar"), tbPendentes, this), 1);
    auto* botoes = new QHBoxLayout;
    botoes->addStretch(1);
    botoes->addWidget(btAtualizar);
    auto* coluna = new QVBoxLayout(this);
    coluna->addWidget(lbResumo);
    coluna->addLayout(topo, 1);
    coluna->addWidget(emGrupo(QStringLiteral("Etapas"), tbEtapas, this), 2);
    coluna->addWidget(emGrupo(QStringLiteral("Pacotes recentes"), tbPacotes, this), 3);
    coluna->addWidget(emGrupo(QStringLiteral("Linhas enviadas e recebidas por dia (últimas 4 semanas)"), grafico, this),
                      2);
    coluna->addLayout(botoes);
}

void TfrmEstado::atualiza() {
    if (le_)
        mostra(le_());
}

void TfrmEstado::mostra(const EstadoDoIntercambio& e) {
    lbResumo->setText(q(resumoDoEstado(e)));
    lbPastas->setText(textoDasPastas(e));
    preenchePendentes(tbPendentes, e);
    preencheEtapas(tbEtapas, e.diario);
    preenchePacotes(tbPacotes, e.diario);
    tbPacotes->resizeColumnsToContents();
    tbEtapas->resizeColumnToContents(0);
    tbEtapas->resizeColumnToContents(1);
    tbEtapas->resizeColumnToContents(2);
    tbPendentes->resizeColumnToContents(0);
    grafico->mostra(e.diario.linhasPorDia);
}

} // namespace edi::gui
