#include "gui/janela_do_motor.h"

#include "gui/caixas.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace edi::gui {

JanelaDoMotor::JanelaDoMotor(AcoesDoMotor acoes, QWidget* parent)
    : QWidget(parent, Qt::Window), acoes_(std::move(acoes)) {
    setWindowTitle(QStringLiteral("EDI - Intercambio de Dados"));
    resize(420, 260);

    btExportar = botao(QStringLiteral("Exportar"), acoes_.btExportarClick);
    btImportar = botao(QStringLiteral("Importar"), acoes_.btImportarClick);
    btLimparDtExp = botao(QStringLiteral("Limpar DtExp"), acoes_.btLimparDtExpClick);
    auto* botoes = new QHBoxLayout;
    botoes->addWidget(btExportar);
    botoes->addWidget(btImportar);
    botoes->addWidget(btLimparDtExp);
    botoes->addStretch(1);

    lbTabela = new QLabel(QStringLiteral("Tabela:"), this);
    QFont negrito = lbTabela->font();
    negrito.setBold(true);
    lbTabela->setFont(negrito);
    lbLog = new QLabel(this);
    lbLog->setObjectName(QStringLiteral("lbLog"));
    lbLog->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbLog->setWordWrap(true);
    lbLog->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* coluna = new QVBoxLayout(this);
    coluna->addLayout(botoes);
    coluna->addWidget(lbTabela);
    coluna->addWidget(lbLog, 1);
}

QPushButton* JanelaDoMotor::botao(const QString& legenda, const std::function<void()>& acao) {
    auto* b = new QPushButton(legenda, this);
    connect(b, &QPushButton::clicked, this, [this, acao] {
        if (acao)
            executaProtegido(this, acao);
        atualizaLog();
    });
    return b;
}

void JanelaDoMotor::atualizaLog() {
    // The engine ends each log line with a carriage return.
    QString texto = acoes_.lbLog ? QString::fromStdString(acoes_.lbLog()) : QString();
    texto.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    texto.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    lbLog->setText(texto.trimmed());
}

void JanelaDoMotor::showEvent(QShowEvent* event) {
    atualizaLog();
    QWidget::showEvent(event);
}

} // namespace edi::gui
