#include "gui/tfrm_relatorio_web.h"

#include "core/files.h"
#include "gui/caixas.h"
#include "gui/desenho.h"

#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QToolButton>
#include <QVBoxLayout>

namespace edi::gui {

namespace fs = std::filesystem;

namespace {

// A sheet with a header row and a grid: the spreadsheet export.
QIcon iconePlanilha() {
    QPixmap figura(48, 48);
    figura.fill(Qt::transparent);
    QPainter p(&figura);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF folha(6, 5, 36, 38);
    p.setPen(QPen(desenho::cor::tintaEscura, 2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(folha, 3, 3);
    p.fillRect(QRectF(folha.left() + 1, folha.top() + 1, folha.width() - 2, 9), desenho::cor::verdeAgua);
    p.setPen(QPen(desenho::cor::verdeAgua, 1.5));
    for (int i = 1; i < 4; ++i)
        p.drawLine(QPointF(folha.left() + 2, folha.top() + 10 + i * 7),
                   QPointF(folha.right() - 2, folha.top() + 10 + i * 7));
    for (int i = 1; i < 3; ++i)
        p.drawLine(QPointF(folha.left() + i * 12, folha.top() + 10),
                   QPointF(folha.left() + i * 12, folha.bottom() - 2));
    p.setPen(Qt::NoPen);
    p.setBrush(desenho::cor::coral);
    p.drawEllipse(QRectF(28, 28, 16, 16));
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(36, 32), QPointF(36, 40));
    p.drawPolyline(QPolygonF({QPointF(32.5, 36.5), QPointF(36, 40), QPointF(39.5, 36.5)}));
    return QIcon(figura);
}

QString textoDaCelula(const QTextTableCell& celula) {
    QTextCursor cursor = celula.firstCursorPosition();
    cursor.setPosition(celula.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    QString texto = cursor.selectedText();
    texto.replace(QChar::ParagraphSeparator, QLatin1Char('\n')).replace(QChar::LineSeparator, QLatin1Char('\n'));
    texto.replace(QChar::Nbsp, QLatin1Char(' '));
    return texto.trimmed();
}

void linhasDaTabela(const QTextTable& tabela, tools::LinhasDeTabela& linhas) {
    for (int r = 0; r < tabela.rows(); ++r) {
        std::vector<std::string> linha;
        for (int c = 0; c < tabela.columns(); ++c) {
            const QTextTableCell celula = tabela.cellAt(r, c);
            const bool propria = celula.row() == r && celula.column() == c;
            linha.push_back(propria ? textoDaCelula(celula).toStdString() : std::string());
        }
        linhas.push_back(std::move(linha));
    }
}

void linhasDoQuadro(const QTextFrame& quadro, tools::LinhasDeTabela& linhas) {
    for (auto it = quadro.begin(); !it.atEnd(); ++it) {
        if (const QTextFrame* filho = it.currentFrame()) {
            if (const auto* tabela = qobject_cast<const QTextTable*>(filho))
                linhasDaTabela(*tabela, linhas);
            else
                linhasDoQuadro(*filho, linhas);
        } else if (const QTextBlock bloco = it.currentBlock(); bloco.isValid()) {
            const QString texto = bloco.text().replace(QChar::Nbsp, QLatin1Char(' ')).trimmed();
            if (!texto.isEmpty())
                linhas.push_back({texto.toStdString()});
        }
    }
}

} // namespace

tools::LinhasDeTabela LinhasDoDocumento(const QTextDocument& documento) {
    tools::LinhasDeTabela linhas;
    linhasDoQuadro(*documento.rootFrame(), linhas);
    return linhas;
}

std::string CorpoDoHtml(const std::string& html) {
    std::string minusculo = html;
    for (char& c : minusculo)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto abre = minusculo.find("<body");
    if (abre == std::string::npos)
        return html;
    const auto inicio = minusculo.find('>', abre);
    if (inicio == std::string::npos)
        return html;
    const auto fim = minusculo.rfind("</body");
    return html.substr(inicio + 1, (fim == std::string::npos || fim < inicio ? html.size() : fim) - inicio - 1);
}

TfrmRelatorioWEB::TfrmRelatorioWEB(fs::path pastaTemp, fs::path arquivoImagem, QWidget* parent)
    : QWidget(parent, Qt::Window), abreNoDesktop([](const QUrl& u) { return QDesktopServices::openUrl(u); }),
      pastaTemp_(std::move(pastaTemp)), arquivoImagem_(std::move(arquivoImagem)) {
    setObjectName(QStringLiteral("frmRelatorioWEB"));
    setWindowTitle(QStringLiteral("Relatório"));
    resize(900, 640);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(40);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setBackgroundRole(QPalette::Window);
    Panel1->setAutoFillBackground(true);

    btExcel = new QToolButton(Panel1);
    btExcel->setObjectName(QStringLiteral("btExcel"));
    btExcel->setAutoRaise(true); // flat
    btExcel->setIcon(iconePlanilha());
    btExcel->setIconSize(QSize(30, 30));
    btExcel->setFixedSize(36, 36);
    btExcel->setToolTip(QStringLiteral("Exportar Excel"));

    Button1 = new QPushButton(QStringLiteral("Salvar Imagem"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setVisible(false);

    auto* barra = new QHBoxLayout(Panel1);
    barra->setContentsMargins(4, 1, 4, 1);
    barra->addWidget(btExcel);
    barra->addWidget(Button1);
    barra->addStretch(1);

    relatorio = new QTextBrowser(this);
    relatorio->setObjectName(QStringLiteral("relatorio"));
    relatorio->setOpenExternalLinks(false);

    auto* tudo = new QVBoxLayout(this);
    tudo->setContentsMargins(0, 0, 0, 0);
    tudo->setSpacing(0);
    tudo->addWidget(Panel1);
    tudo->addWidget(relatorio, 1);

    connect(btExcel, &QToolButton::clicked, this, [this] { executaProtegido(this, [this] { btExcelClick(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { executaProtegido(this, [this] { Button1Click(); }); });
}

void TfrmRelatorioWEB::Abre(const fs::path& arquivo) {
    const QUrl endereco = QUrl::fromLocalFile(QString::fromStdString(fs::absolute(arquivo).string()));
    if (relatorio->source() == endereco)
        relatorio->reload();
    else
        relatorio->setSource(endereco, QTextDocument::HtmlResource);
}

fs::path TfrmRelatorioWEB::btExcelClick() {
    fs::create_directories(pastaTemp_);
    const fs::path arquivo = tools::NomeDePlanilha(pastaTemp_);
    tools::GravaPlanilha(LinhasDoDocumento(*relatorio->document()), arquivo);
    if (!abreNoDesktop(QUrl::fromLocalFile(QString::fromStdString(arquivo.string()))))
        caixaModal(this, QMessageBox::Information, windowTitle(),
                   QStringLiteral("Nenhum programa abriu a planilha. Ela foi gravada em:\n%1")
                       .arg(QString::fromStdString(arquivo.string())),
                   QMessageBox::Ok);
    return arquivo;
}

void TfrmRelatorioWEB::Button1Click() {
    // The page as it came, not as the view rebuilt it.
    const QUrl fonte = relatorio->source();
    const std::string html = fonte.isLocalFile() ? readFile(fonte.toLocalFile().toStdString())
                                                 : relatorio->document()->toHtml().toStdString();
    if (arquivoImagem_.has_parent_path())
        fs::create_directories(arquivoImagem_.parent_path());
    writeFileAtomically(arquivoImagem_, linesWithCrLf(CorpoDoHtml(html)));
}

void TfrmRelatorioWEB::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    setWindowState(windowState() | Qt::WindowMaximized);
}

} // namespace edi::gui
