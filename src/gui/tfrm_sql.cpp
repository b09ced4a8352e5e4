#include "gui/tfrm_sql.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace edi::gui {

TfrmSQL::TfrmSQL(tools::PedidoGet get, std::string sDominio, std::filesystem::path sPathTemp, QWidget* parent)
    : QDialog(parent), get_(std::move(get)), sDominio_(std::move(sDominio)), sPathTemp_(std::move(sPathTemp)) {
    setObjectName(QStringLiteral("frmSQL"));
    setWindowTitle(QStringLiteral("SQL"));
    setModal(true);
    resize(760, 560);

    pnTopo = new QWidget(this);
    btExecutar = new QPushButton(QStringLiteral("Executar"), pnTopo);
    btExecutar->setObjectName(QStringLiteral("btExecutar"));
    btExecutar->setAutoDefault(false); // Enter in the statement is a line break, not a run
    rbSelect = new QRadioButton(QStringLiteral("Select"), pnTopo);
    rbSelect->setObjectName(QStringLiteral("rbSelect"));
    rbQuery = new QRadioButton(QStringLiteral("Insert/Update/Delete"), pnTopo);
    rbQuery->setObjectName(QStringLiteral("rbQuery"));
    auto* barra = new QHBoxLayout(pnTopo);
    barra->setContentsMargins(6, 6, 6, 6);
    barra->setSpacing(12);
    barra->addWidget(btExecutar);
    barra->addWidget(rbSelect);
    barra->addWidget(rbQuery);
    barra->addStretch(1);

    splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    mmSQL = new QPlainTextEdit(splitter);
    mmSQL->setObjectName(QStringLiteral("mmSQL"));
    mmSQL->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    mmSQL->setPlaceholderText(QStringLiteral("Comando SQL"));
    web = new QTextBrowser(splitter);
    web->setObjectName(QStringLiteral("web"));
    web->setOpenLinks(false); // the answer is a page to read; its links lead nowhere useful from here
    splitter->addWidget(mmSQL);
    splitter->addWidget(web);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    splitter->setChildrenCollapsible(false);

    auto* tudo = new QVBoxLayout(this);
    tudo->setContentsMargins(0, 0, 0, 0);
    tudo->setSpacing(0);
    tudo->addWidget(pnTopo);
    tudo->addWidget(splitter, 1);

    connect(btExecutar, &QPushButton::clicked, this, [this] { btExecutarClick(); });
}

void TfrmSQL::btExecutarClick() {
    const std::string operacao = tools::OperacaoSQL(rbSelect->isChecked(), rbQuery->isChecked());
    QApplication::setOverrideCursor(Qt::WaitCursor); // the request holds the window until it is answered
    const tools::RespostaSQL resposta =
        tools::ExecutaSQLRemoto(get_, sDominio_, operacao, mmSQL->toPlainText().toStdString(), sPathTemp_);
    QApplication::restoreOverrideCursor();
    if (resposta.ok())
        mostraArquivo(resposta.arquivo);
    else
        mostraErro(resposta.erro);
}

void TfrmSQL::mostraArquivo(const std::filesystem::path& arquivo) {
    const QUrl endereco = QUrl::fromLocalFile(QString::fromStdString(arquivo.string()));
    // The same address again would not be read again: the file changed, so reload it.
    if (web->source() == endereco)
        web->reload();
    else
        web->setSource(endereco, QTextDocument::HtmlResource);
}

void TfrmSQL::mostraErro(const std::string& texto) {
    web->setHtml(QStringLiteral("<p style=\"color:#a12a1a\"><b>Erro:</b> %1</p>")
                     .arg(QString::fromStdString(texto).toHtmlEscaped()));
}

} // namespace edi::gui
