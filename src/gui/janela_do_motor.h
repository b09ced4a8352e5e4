#pragma once

#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace edi::gui {

// What the engine window's buttons do and where its log comes from.
struct AcoesDoMotor {
    std::function<void()> btExportarClick;
    std::function<void()> btImportarClick;
    std::function<void()> btLimparDtExpClick;
    std::function<std::string()> lbLog;
};

// The interchange engine's own window. The program creates it hidden and never shows it; its buttons
// start the engine's operations directly, outside the cycle.
class JanelaDoMotor : public QWidget {
    Q_OBJECT
public:
    explicit JanelaDoMotor(AcoesDoMotor acoes, QWidget* parent = nullptr);

    // Shows the engine log as it stands.
    void atualizaLog();

    QPushButton* btExportar = nullptr;
    QPushButton* btImportar = nullptr;
    QPushButton* btLimparDtExp = nullptr;
    QLabel* lbTabela = nullptr; // "Tabela:"
    QLabel* lbLog = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPushButton* botao(const QString& legenda, const std::function<void()>& acao);

    AcoesDoMotor acoes_;
};

} // namespace edi::gui
