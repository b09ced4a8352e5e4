#pragma once

#include "gui/desenho.h"

#include <QAbstractButton>
#include <QPixmap>
#include <QWidget>

namespace edi::gui {

// Panel 0 of the status bar: red while a stage runs, dark green otherwise, no text.
class IndicadorAtividade : public QWidget {
    Q_OBJECT
public:
    explicit IndicadorAtividade(QWidget* parent = nullptr);
    void setAtivo(bool ativo);
    bool ativo() const { return ativo_; }
    QColor corAtual() const;

protected:
    void paintEvent(QPaintEvent* event) override; // StatusBar1DrawPanel

private:
    bool ativo_ = false;
};

// A button drawn as a card with an icon and its caption.
class BotaoImagem : public QAbstractButton {
    Q_OBJECT
public:
    BotaoImagem(const QString& legenda, desenho::Sentido sentido, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    desenho::Sentido sentido_;
};

// The background picture, repainted to the widget's size.
class FundoImagem : public QWidget {
    Q_OBJECT
public:
    explicit FundoImagem(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPixmap quadro_;
};

} // namespace edi::gui
