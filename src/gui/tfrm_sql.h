#pragma once

#include "tools/console_sql.h"

#include <QDialog>

#include <filesystem>
#include <string>

class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTextBrowser;
class QWidget;

namespace edi::gui {

// The remote SQL console: one statement goes to the central server, its HTML answer is shown.
// A new console for every opening; it keeps nothing but the answer file.
class TfrmSQL : public QDialog {
    Q_OBJECT
public:
    TfrmSQL(tools::PedidoGet get, std::string sDominio, std::filesystem::path sPathTemp, QWidget* parent = nullptr);

    QWidget* pnTopo = nullptr;
    QPushButton* btExecutar = nullptr;
    QRadioButton* rbSelect = nullptr;
    QRadioButton* rbQuery = nullptr;
    QSplitter* splitter = nullptr;
    QPlainTextEdit* mmSQL = nullptr;
    QTextBrowser* web = nullptr;

    // Sends the statement; the view shows the answer, or a short message saying why there is none.
    void btExecutarClick();

private:
    void mostraArquivo(const std::filesystem::path& arquivo);
    void mostraErro(const std::string& texto);

    tools::PedidoGet get_;
    std::string sDominio_;
    std::filesystem::path sPathTemp_;
};

} // namespace edi::gui
