#pragma once

#include <QAbstractTableModel>
#include <QDialog>

#include <functional>
#include <memory>

class QAbstractButton;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QToolButton;

namespace edi {
struct Configuracao;
}
namespace edi::tools {
class DePara;
class LinhasLidas;
} // namespace edi::tools

namespace edi::gui {

// The rows a De-Para grid shows: read from the cursor only as far as the view scrolls.
class ModeloLinhas : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    // The rows to show from now on; nothing empties the grid.
    void mostra(tools::LinhasLidas* linhas);

    int rowCount(const QModelIndex& pai = {}) const override;
    int columnCount(const QModelIndex& pai = {}) const override;
    QVariant data(const QModelIndex& indice, int papel = Qt::DisplayRole) const override;
    QVariant headerData(int secao, Qt::Orientation orientacao, int papel = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& pai) const override;
    void fetchMore(const QModelIndex& pai) override;

private:
    tools::LinhasLidas* linhas_ = nullptr;
    int mostradas_ = 0;
};

// The De-Para window: created at start-up and shown modally from the menu; connections, filters and grids
// stay as they were between showings.
class TfrmDePara : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDePara(const Configuracao& config, QWidget* parent = nullptr);
    ~TfrmDePara() override;

    QLineEdit* edTabela = nullptr;
    QLineEdit* edProvincia = nullptr;
    QLineEdit* edMunicipio = nullptr;
    QLineEdit* edUnidade = nullptr;
    QLineEdit* edUnd = nullptr;
    QLineEdit* edMesAno = nullptr;
    QLineEdit* edDe = nullptr;
    QLineEdit* edPara = nullptr;
    QToolButton* btDe = nullptr;
    QToolButton* btPara = nullptr;
    QPushButton* btAbrir = nullptr;
    QPushButton* btDelPara = nullptr;
    QPushButton* btDePara = nullptr;
    QPushButton* btComparar = nullptr;
    QTableView* gdDe = nullptr;
    QTableView* gdPara = nullptr;
    QPlainTextEdit* mLog = nullptr;
    QProgressBar* pb = nullptr;

    tools::DePara& form() { return *form_; }

private:
    QWidget* criaPaginaGeral();
    QWidget* criaGrade(const QString& legenda, ModeloLinhas* modelo, QTableView*& grade);
    void liga(QAbstractButton* botao, void (tools::DePara::*operacao)());
    void opera(const std::function<void()>& operacao);
    void btDelParaClick();
    bool confirmaExclusao();
    void paraOsCampos();
    void dosCampos();

    std::unique_ptr<tools::DePara> form_;
    ModeloLinhas* modeloDe_ = nullptr;
    ModeloLinhas* modeloPara_ = nullptr;
};

} // namespace edi::gui
