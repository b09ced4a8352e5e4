#include "gui/tfrm_depara.h"

#include "app/configuracao.h"
#include "gui/caixas.h"
#include "tools/depara.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace edi::gui {

namespace {

// Rows a grid reads from the cursor at a time, as it scrolls.
constexpr std::size_t kLote = 200;

db::ConnectionParams loginDe(const Configuracao& config) {
    db::ConnectionParams p;
    p.user = config.usuario;
    p.password = config.senha;
    p.charset = config.charset;
    return p;
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

bool numerico(FieldType t) {
    return isIntegerType(t) || t == FieldType::Double || t == FieldType::Numeric;
}

} // namespace

void ModeloLinhas::mostra(tools::LinhasLidas* linhas) {
    beginResetModel();
    linhas_ = linhas;
    mostradas_ = linhas ? static_cast<int>(linhas->lidas()) : 0;
    endResetModel();
    // A first batch at once: a view asks for more only when it lays itself out or scrolls.
    if (mostradas_ == 0)
        fetchMore({});
}

int ModeloLinhas::rowCount(const QModelIndex& pai) const {
    return pai.isValid() ? 0 : mostradas_;
}

int ModeloLinhas::columnCount(const QModelIndex& pai) const {
    return pai.isValid() || !linhas_ ? 0 : static_cast<int>(linhas_->campos().size());
}

QVariant ModeloLinhas::data(const QModelIndex& indice, int papel) const {
    if (!linhas_ || !indice.isValid() || indice.row() >= mostradas_)
        return {};
    const Value& v =
        linhas_->linha(static_cast<std::size_t>(indice.row())).at(static_cast<std::size_t>(indice.column()));
    if (papel == Qt::DisplayRole)
        return v.isNull() ? QString() : qs(v.asText());
    if (papel == Qt::TextAlignmentRole &&
        numerico(linhas_->campos().at(static_cast<std::size_t>(indice.column())).type))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant ModeloLinhas::headerData(int secao, Qt::Orientation orientacao, int papel) const {
    if (papel != Qt::DisplayRole || !linhas_)
        return {};
    if (orientacao == Qt::Vertical)
        return secao + 1;
    return qs(linhas_->campos().at(static_cast<std::size_t>(secao)).name);
}

bool ModeloLinhas::canFetchMore(const QModelIndex& pai) const {
    return !pai.isValid() && linhas_ && (static_cast<std::size_t>(mostradas_) < linhas_->lidas() || linhas_->haMais());
}

void ModeloLinhas::fetchMore(const QModelIndex& pai) {
    if (!canFetchMore(pai))
        return;
    if (static_cast<std::size_t>(mostradas_) == linhas_->lidas())
        linhas_->buscaMais(kLote);
    const int ate = static_cast<int>(linhas_->lidas());
    if (ate == mostradas_)
        return;
    beginInsertRows({}, mostradas_, ate - 1);
    mostradas_ = ate;
    endInsertRows();
}

TfrmDePara::TfrmDePara(const Configuracao& config, QWidget* parent)
    : QDialog(parent),
      form_(std::make_unique<tools::DePara>(
          loginDe(config),
          tools::AvisosDePara{
              [this](const std::string& l) { mLog->appendPlainText(qs(l)); },
              [this](int64_t m) { pb->setMaximum(static_cast<int>(m)); },
              // Para may hold rows already: the bar stays full rather than ignore the value.
              [this](int64_t p) { pb->setValue(static_cast<int>(std::min<int64_t>(p, pb->maximum()))); },
              [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }})) {
    setWindowTitle(QStringLiteral("De - > Para"));
    setObjectName(QStringLiteral("frmDePara"));
    modeloDe_ = new ModeloLinhas(this);
    modeloPara_ = new ModeloLinhas(this);

    auto* paginas = new QTabWidget(this);
    paginas->addTab(criaPaginaGeral(), QStringLiteral("Geral"));

    auto* grades = new QSplitter(Qt::Horizontal, this);
    grades->addWidget(criaGrade(QStringLiteral("De"), modeloDe_, gdDe));
    grades->addWidget(criaGrade(QStringLiteral("Para"), modeloPara_, gdPara));

    mLog = new QPlainTextEdit(this);
    mLog->setObjectName(QStringLiteral("mLog"));
    mLog->setReadOnly(true);
    mLog->setMaximumBlockCount(10000);
    mLog->setFixedHeight(fontMetrics().lineSpacing() * 6 + 10);
    pb = new QProgressBar(this);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setValue(0);
    pb->setTextVisible(false);

    auto* coluna = new QVBoxLayout(this);
    coluna->addWidget(paginas);
    coluna->addWidget(grades, 1);
    coluna->addWidget(mLog);
    coluna->addWidget(pb);
    resize(940, 640);

    paraOsCampos();
    liga(btDe, &tools::DePara::btDeClick);
    liga(btPara, &tools::DePara::btParaClick);
    liga(btAbrir, &tools::DePara::btAbrirClick);
    liga(btDePara, &tools::DePara::btDeParaClick);
    liga(btComparar, &tools::DePara::btCompararClick);
    connect(btDelPara, &QPushButton::clicked, this, [this] { btDelParaClick(); });
}

TfrmDePara::~TfrmDePara() {
    // The grids hold rows of the form's cursors.
    modeloDe_->mostra(nullptr);
    modeloPara_->mostra(nullptr);
}

QWidget* TfrmDePara::criaPaginaGeral() {
    auto* pagina = new QWidget;
    auto campo = [pagina](const char* nome) {
        auto* c = new QLineEdit(pagina);
        c->setObjectName(QString::fromLatin1(nome));
        return c;
    };
    auto botao = [pagina](const char* nome, const QString& legenda) {
        auto* b = new QPushButton(legenda, pagina);
        b->setObjectName(QString::fromLatin1(nome));
        return b;
    };
    auto conexao = [pagina](QLineEdit* ed, QToolButton*& bt, const char* nome) {
        bt = new QToolButton(pagina);
        bt->setObjectName(QString::fromLatin1(nome));
        bt->setText(QStringLiteral("..."));
        bt->setToolTip(QStringLiteral("Abrir a conexão"));
        auto* linha = new QHBoxLayout;
        linha->addWidget(ed, 1);
        linha->addWidget(bt);
        return linha;
    };
    edTabela = campo("edTabela");
    edProvincia = campo("edProvincia");
    edMunicipio = campo("edMunicipio");
    edUnidade = campo("edUnidade");
    edUnd = campo("edUnd");
    edMesAno = campo("edMesAno");
    edDe = campo("edDe");
    edPara = campo("edPara");

    // Room for the longest register's name, with a little to spare.
    int larguraDoNome = 0;
    for (const char* registro : tools::DePara::kRegistros)
        larguraDoNome =
            std::max(larguraDoNome, edTabela->fontMetrics().horizontalAdvance(QString::fromLatin1(registro)));
    edTabela->setMinimumWidth(larguraDoNome + edTabela->fontMetrics().horizontalAdvance(QStringLiteral("MM")));

    auto* filtros = new QFormLayout;
    filtros->addRow(QStringLiteral("Tabela:"), edTabela);
    filtros->addRow(QStringLiteral("Provincia:"), edProvincia);
    filtros->addRow(QStringLiteral("Municipio:"), edMunicipio);
    auto* filtros2 = new QFormLayout;
    filtros2->addRow(QStringLiteral("Unidade:"), edUnidade);
    filtros2->addRow(QStringLiteral("Und:"), edUnd);
    filtros2->addRow(QStringLiteral("Mes/Ano:"), edMesAno);
    auto* conexoes = new QFormLayout;
    conexoes->addRow(QStringLiteral("De:"), conexao(edDe, btDe, "btDe"));
    conexoes->addRow(QStringLiteral("Para:"), conexao(edPara, btPara, "btPara"));

    btAbrir = botao("btAbrir", QStringLiteral("Abrir"));
    btDelPara = botao("btDelPara", QStringLiteral("Apagar Para"));
    btDePara = botao("btDePara", QStringLiteral("De -> Para"));
    btComparar = botao("btComparar", QStringLiteral("Comparar"));
    auto* botoes = new QHBoxLayout;
    for (QPushButton* b : {btAbrir, btDelPara, btDePara, btComparar})
        botoes->addWidget(b);
    botoes->addStretch(1);
    conexoes->addRow(botoes);

    auto* linha = new QHBoxLayout(pagina);
    linha->addLayout(filtros, 2);
    linha->addSpacing(12);
    linha->addLayout(filtros2, 2);
    linha->addSpacing(12);
    linha->addLayout(conexoes, 5);
    return pagina;
}

QWidget* TfrmDePara::criaGrade(const QString& legenda, ModeloLinhas* modelo, QTableView*& grade) {
    auto* caixa = new QGroupBox(legenda, this);
    grade = new QTableView(caixa);
    grade->setObjectName(QStringLiteral("gd") + legenda);
    grade->setModel(modelo);
    grade->setAlternatingRowColors(true);
    grade->setSelectionBehavior(QAbstractItemView::SelectRows);
    grade->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grade->verticalHeader()->setDefaultSectionSize(fontMetrics().lineSpacing() + 6);
    grade->horizontalHeader()->setDefaultSectionSize(110);
    auto* dentro = new QVBoxLayout(caixa);
    dentro->setContentsMargins(4, 4, 4, 4);
    dentro->addWidget(grade);
    return caixa;
}

void TfrmDePara::liga(QAbstractButton* botao, void (tools::DePara::*operacao)()) {
    connect(botao, &QAbstractButton::clicked, this,
            [this, operacao] { opera([this, operacao] { ((*form_).*operacao)(); }); });
}

// The grids let go of their rows while an operation replaces them, and show the new ones after, failed or not.
void TfrmDePara::opera(const std::function<void()>& operacao) {
    modeloDe_->mostra(nullptr);
    modeloPara_->mostra(nullptr);
    dosCampos();
    pb->setValue(pb->minimum()); // the last operation's progress is not this one's
    executaProtegido(this, operacao);
    paraOsCampos();
    modeloDe_->mostra(form_->gradeDe());
    modeloPara_->mostra(form_->gradePara());
    gdDe->resizeColumnsToContents();
    gdPara->resizeColumnsToContents();
}

bool TfrmDePara::confirmaExclusao() {
    const std::string tabela = form_->tabelaAberta();
    if (tabela.empty())
        return true; // nothing open: the operation says so itself
    const QString texto = QStringLiteral("Apagar do banco Para as %1 linhas de %2 que \"Abrir\" mostrou?\n"
                                         "As linhas apagadas não voltam.")
                              .arg(form_->contagemPara())
                              .arg(qs(tabela));
    return caixaModal(this, QMessageBox::Question, QStringLiteral("Apagar Para"), texto,
                      QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TfrmDePara::btDelParaClick() {
    if (!confirmaExclusao())
        return;
    opera([this] { form_->btDelParaClick(); });
}

void TfrmDePara::paraOsCampos() {
    const tools::FiltroDePara& f = form_->filtro;
    edTabela->setText(qs(f.tabela));
    edProvincia->setText(qs(f.provincia));
    edMunicipio->setText(qs(f.municipio));
    edUnidade->setText(qs(f.unidade));
    edUnd->setText(qs(f.und));
    edMesAno->setText(qs(f.mesano));
    edDe->setText(qs(form_->edDe));
    edPara->setText(qs(form_->edPara));
}

void TfrmDePara::dosCampos() {
    form_->filtro = {edTabela->text().toStdString(),    edProvincia->text().toStdString(),
                     edMunicipio->text().toStdString(), edUnidade->text().toStdString(),
                     edUnd->text().toStdString(),       edMesAno->text().toStdString()};
    form_->edDe = edDe->text().toStdString();
    form_->edPara = edPara->text().toStdString();
}

} // namespace edi::gui
