#pragma once

#include "interchange/estado_do_intercambio.h"

#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace edi::gui {

// Bars of the rows sent and received per day, drawn with QPainter.
class GraficoDeLinhas : public QWidget {
    Q_OBJECT
public:
    explicit GraficoDeLinhas(QWidget* parent = nullptr);
    void mostra(std::vector<LinhasDoDia> dias);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<LinhasDoDia> dias_;
};

// "Estado do intercâmbio": renders an EstadoDoIntercambio, read again by "Atualizar" and at every showing.
class TfrmEstado : public QWidget {
    Q_OBJECT
public:
    explicit TfrmEstado(std::function<EstadoDoIntercambio()> le, QWidget* parent = nullptr);

    void atualiza();
    void mostra(const EstadoDoIntercambio& e);

    QLabel* lbResumo = nullptr;
    QLabel* lbPastas = nullptr;
    QTableWidget* tbPendentes = nullptr;
    QTableWidget* tbEtapas = nullptr;
    QTableWidget* tbPacotes = nullptr;
    GraficoDeLinhas* grafico = nullptr;
    QPushButton* btAtualizar = nullptr;

private:
    std::function<EstadoDoIntercambio()> le_;
};

} // namespace edi::gui
