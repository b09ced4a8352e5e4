#include "gui/tfrm_email.h"

#include "gui/caixas.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace edi::gui {

namespace {

QString juntaLinhas(const std::vector<std::string>& linhas) {
    QStringList l;
    for (const auto& s : linhas)
        l << QString::fromStdString(s);
    return l.join(QLatin1Char('\n'));
}

} // namespace

TfrmEmail::TfrmEmail(const Configuracao& config, QWidget* parent) : QWidget(parent, Qt::Window), email_(config) {
    setWindowTitle(QStringLiteral("Email"));
    auto campo = [this](const char* nome) {
        auto* c = new QLineEdit(this);
        c->setObjectName(QString::fromLatin1(nome));
        return c;
    };
    edDe = campo("edDe");
    edPara = campo("edPara");
    edUsuario = campo("edUsuario");
    edSenha = campo("edSenha");
    edSenha->setEchoMode(QLineEdit::Password);
    edHost = campo("edHost");
    edPort = campo("edPort");
    mmMsg = new QPlainTextEdit(this);
    mmMsg->setObjectName(QStringLiteral("mmMsg"));
    btEnviar = new QPushButton(QStringLiteral("Enviar"), this);
    btEnviar->setObjectName(QStringLiteral("btEnviar"));
    mmLog = new QPlainTextEdit(this);
    mmLog->setObjectName(QStringLiteral("mmLog"));
    mmLog->setReadOnly(true);

    auto* campos = new QFormLayout;
    campos->addRow(QStringLiteral("De"), edDe);
    campos->addRow(QStringLiteral("Para"), edPara);
    campos->addRow(QStringLiteral("Usuario"), edUsuario);
    campos->addRow(QStringLiteral("Senha"), edSenha);
    campos->addRow(QStringLiteral("Host"), edHost);
    campos->addRow(QStringLiteral("Port"), edPort);
    auto* coluna = new QVBoxLayout(this);
    coluna->addLayout(campos);
    coluna->addWidget(mmMsg, 2);
    coluna->addWidget(btEnviar, 0, Qt::AlignLeft);
    coluna->addWidget(mmLog, 1);
    resize(420, 480);

    paraOsCampos();
    connect(btEnviar, &QPushButton::clicked, this, [this] { executaProtegido(this, [this] { btEnviarClick(); }); });
}

// The window and the form's data hold the same thing; every operation copies in one direction.
void TfrmEmail::paraOsCampos() {
    edDe->setText(QString::fromStdString(email_.edDe));
    edPara->setText(QString::fromStdString(email_.edPara));
    edUsuario->setText(QString::fromStdString(email_.edUsuario));
    edSenha->setText(QString::fromStdString(email_.edSenha));
    edHost->setText(QString::fromStdString(email_.edHost));
    edPort->setText(QString::fromStdString(email_.edPort));
    mmMsg->setPlainText(juntaLinhas(email_.mmMsg));
    mmLog->setPlainText(juntaLinhas(email_.mmLog));
}

void TfrmEmail::dosCampos() {
    email_.edDe = edDe->text().toStdString();
    email_.edPara = edPara->text().toStdString();
    email_.edUsuario = edUsuario->text().toStdString();
    email_.edSenha = edSenha->text().toStdString();
    email_.edHost = edHost->text().toStdString();
    email_.edPort = edPort->text().toStdString();
    email_.mmMsg = tools::linhasDoTexto(mmMsg->toPlainText().toStdString());
    email_.sSubject = sSubject;
}

bool TfrmEmail::Enviar() {
    dosCampos();
    const bool enviado = email_.Enviar();
    paraOsCampos();
    return enviado;
}

void TfrmEmail::AddBody(const std::string& sBody) {
    dosCampos();
    email_.AddBody(sBody);
    paraOsCampos();
}

void TfrmEmail::AddBodyHtml(const std::filesystem::path& sHtml) {
    dosCampos();
    email_.AddBodyHtml(sHtml);
    paraOsCampos();
}

void TfrmEmail::AddAttachment(const std::filesystem::path& sAttachment) {
    email_.AddAttachment(sAttachment);
}

void TfrmEmail::btEnviarClick() {
    Enviar();
}

} // namespace edi::gui
