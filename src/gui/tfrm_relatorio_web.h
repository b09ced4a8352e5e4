#pragma once

#include "tools/planilha.h"

#include <QWidget>

#include <filesystem>
#include <functional>

class QFrame;
class QPushButton;
class QTextBrowser;
class QTextDocument;
class QToolButton;
class QUrl;

namespace edi::gui {

// The report viewer: an HTML report (a protocol summary, any local HTML page) and its export to a spreadsheet.
// Created once at start-up; shown maximised.
class TfrmRelatorioWEB : public QWidget {
    Q_OBJECT
public:
    // `pastaTemp` receives the exported workbooks; "Salvar Imagem" writes to `arquivoImagem`.
    TfrmRelatorioWEB(std::filesystem::path pastaTemp, std::filesystem::path arquivoImagem, QWidget* parent = nullptr);

    QFrame* Panel1 = nullptr;
    QToolButton* btExcel = nullptr;
    QPushButton* Button1 = nullptr; // "Salvar Imagem", hidden
    QTextBrowser* relatorio = nullptr;

    // Shows the report in `arquivo`.
    void Abre(const std::filesystem::path& arquivo);

    // Writes the shown page's table content to a new workbook in the temporary folder and opens it with the
    // desktop's application for it; when none opens it, says where it is. Returns the workbook.
    std::filesystem::path btExcelClick();
    // Writes the HTML of the shown page's body, CR LF lines, to the configured file.
    void Button1Click();

    // Opens a file with the desktop's default application (replaceable in tests).
    std::function<bool(const QUrl&)> abreNoDesktop;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::filesystem::path pastaTemp_;
    std::filesystem::path arquivoImagem_;
};

// The rows of a document as a spreadsheet paste would give them: each table row one row (a spanned cell's text
// in its first column), each other non-empty paragraph a row of one cell.
tools::LinhasDeTabela LinhasDoDocumento(const QTextDocument& documento);

// The inner HTML of the body of `html` (all of it when it has no body element).
std::string CorpoDoHtml(const std::string& html);

} // namespace edi::gui
