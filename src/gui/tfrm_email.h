#pragma once

#include "tools/email.h"

#include <QWidget>

#include <filesystem>
#include <string>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace edi {
struct Configuracao;
}

namespace edi::gui {

// The e-mail window: sender, recipients, SMTP account and server, the body, and the log of failed sends.
// The program never shows it (the error reporter sends through the same fields unshown); shown, it works.
class TfrmEmail : public QWidget {
    Q_OBJECT
public:
    explicit TfrmEmail(const Configuracao& config, QWidget* parent = nullptr);

    QLineEdit* edDe = nullptr;
    QLineEdit* edPara = nullptr;
    QLineEdit* edUsuario = nullptr;
    QLineEdit* edSenha = nullptr;
    QLineEdit* edHost = nullptr;
    QLineEdit* edPort = nullptr;
    QPlainTextEdit* mmMsg = nullptr;
    QPushButton* btEnviar = nullptr;
    QPlainTextEdit* mmLog = nullptr;
    std::string sSubject;

    // Sends what the fields hold; false, with an "ERROR: " line on top of the log, when it did not go out.
    bool Enviar();
    void AddBody(const std::string& sBody);
    void AddBodyHtml(const std::filesystem::path& sHtml);
    void AddAttachment(const std::filesystem::path& sAttachment);
    const std::string& contentType() const { return email_.contentType(); }

private:
    void btEnviarClick();
    void paraOsCampos();
    void dosCampos();

    tools::Email email_;
};

} // namespace edi::gui
