#include "gui/componentes.h"

#include <QPainter>
#include <QResizeEvent>

namespace edi::gui {

IndicadorAtividade::IndicadorAtividade(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void IndicadorAtividade::setAtivo(bool ativo) {
    if (ativo_ == ativo)
        return;
    ativo_ = ativo;
    update();
}

QColor IndicadorAtividade::corAtual() const {
    return ativo_ ? QColor(255, 0, 0) : QColor(0, 128, 0);
}

void IndicadorAtividade::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), corAtual());
}

BotaoImagem::BotaoImagem(const QString& legenda, desenho::Sentido sentido, QWidget* parent)
    : QAbstractButton(parent), sentido_(sentido) {
    setText(legenda);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    QFont fonte = font();
    fonte.setPixelSize(17);
    fonte.setBold(true);
    setFont(fonte);
}

QSize BotaoImagem::sizeHint() const {
    return {160, 64};
}

void BotaoImagem::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF cartao = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -3.5);

    // A soft shadow, then the card; pressed cards sink onto their shadow.
    const qreal afundado = isDown() ? 1.5 : 0.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 45));
    p.drawRoundedRect(cartao.translated(0, 2), 10, 10);
    QColor face(255, 255, 255, underMouse() ? 255 : 236);
    if (isDown())
        face = QColor(0xdc, 0xee, 0xec);
    p.setBrush(face);
    // Keyboard focus: a quiet outline in the window's own teal.
    QPen borda(hasFocus() ? desenho::cor::verdeAgua : QColor(255, 255, 255, 0), 1.5);
    p.setPen(borda);
    const QRectF superficie = cartao.translated(0, afundado);
    p.drawRoundedRect(superficie, 10, 10);

    const qreal lado = superficie.height() - 20;
    const QRectF icone(superficie.left() + 14, superficie.center().y() - lado / 2, lado, lado);
    desenho::desenhaIconeTransferencia(p, icone, sentido_);

    p.setPen(isEnabled() ? desenho::cor::tintaEscura : QColor(0x88, 0x99, 0x99));
    p.setFont(font());
    p.drawText(superficie.adjusted(icone.right() - superficie.left() + 12, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft,
               text());
}

FundoImagem::FundoImagem(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FundoImagem::resizeEvent(QResizeEvent* event) {
    quadro_ = desenho::pinturaDeFundo(event->size());
    QWidget::resizeEvent(event);
}

void FundoImagem::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (quadro_.size() != size())
        quadro_ = desenho::pinturaDeFundo(size());
    p.drawPixmap(0, 0, quadro_);
}

} // namespace edi::gui
