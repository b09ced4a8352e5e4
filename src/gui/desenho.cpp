#include "gui/desenho.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <numbers>

namespace edi::gui::desenho {

namespace {

// A band of colour whose upper edge is a gentle wave, from `topo` down to the bottom of `area`.
void pintaOnda(QPainter& p, const QRectF& area, qreal topo, qreal amplitude, const QColor& cor) {
    QPainterPath onda;
    onda.moveTo(area.left(), topo);
    onda.cubicTo(area.left() + area.width() * 0.30, topo - amplitude, area.left() + area.width() * 0.62,
                 topo + amplitude, area.right(), topo - amplitude * 0.4);
    onda.lineTo(area.bottomRight());
    onda.lineTo(area.bottomLeft());
    onda.closeSubpath();
    p.fillPath(onda, cor);
}

// Faint dots in the upper corner, like rows of records.
void pintaPontos(QPainter& p, const QRectF& area) {
    p.setPen(Qt::NoPen);
    for (int linha = 0; linha < 6; ++linha) {
        for (int coluna = 0; coluna < 9; ++coluna) {
            const int alfa = 34 - 4 * linha - 2 * coluna;
            if (alfa <= 4)
                continue;
            p.setBrush(QColor(255, 255, 255, alfa));
            p.drawEllipse(QPointF(area.right() - 14 - coluna * 14, area.bottom() - 110 - linha * 14), 1.6, 1.6);
        }
    }
}

// An arc of the logo's circle ending in an arrow head, from `inicio` sweeping `extensao` degrees.
void arcoComSeta(QPainter& p, const QRectF& circulo, qreal inicio, qreal extensao, const QColor& cor, qreal espessura) {
    p.setPen(QPen(cor, espessura, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(circulo, qRound(inicio * 16), qRound(extensao * 16));

    const qreal fim = (inicio + extensao) * std::numbers::pi / 180.0;
    const QPointF centro = circulo.center();
    const qreal raio = circulo.width() / 2;
    const QPointF ponta(centro.x() + raio * std::cos(fim), centro.y() - raio * std::sin(fim));
    // Tangent of a counter-clockwise sweep in screen coordinates.
    const QPointF direcao(-std::sin(fim), -std::cos(fim));
    const QPointF normal(-direcao.y(), direcao.x());
    const qreal tamanho = espessura * 1.9;
    QPolygonF seta;
    seta << ponta + direcao * tamanho << ponta + normal * tamanho * 0.9 << ponta - normal * tamanho * 0.9;
    p.setPen(Qt::NoPen);
    p.setBrush(cor);
    p.drawPolygon(seta);
}

} // namespace

QPixmap pinturaDeFundo(QSize tamanho) {
    QPixmap quadro(tamanho);
    QPainter p(&quadro);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(QPointF(0, 0), QSizeF(tamanho));

    QLinearGradient gradiente(area.topLeft(), area.bottomRight());
    gradiente.setColorAt(0.0, cor::azulProfundo);
    gradiente.setColorAt(1.0, cor::verdeAgua);
    p.fillRect(area, gradiente);

    QRadialGradient brilho(QPointF(area.width() * 0.18, area.height() * 0.1), area.width() * 0.7);
    brilho.setColorAt(0.0, QColor(255, 255, 255, 40));
    brilho.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.fillRect(area, brilho);

    pintaPontos(p, area);
    pintaOnda(p, area, area.height() * 0.56, 18, QColor(255, 255, 255, 16));
    pintaOnda(p, area, area.height() * 0.66, 14, QColor(255, 255, 255, 22));
    pintaOnda(p, area, area.height() * 0.80, 10, QColor(255, 255, 255, 30));
    return quadro;
}

QPixmap logotipo(int lado) {
    QPixmap quadro(lado, lado);
    quadro.fill(Qt::transparent);
    QPainter p(&quadro);
    p.setRenderHint(QPainter::Antialiasing);

    const qreal margem = lado * 0.04;
    const QRectF disco(margem, margem, lado - 2 * margem, lado - 2 * margem);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(disco.translated(0, lado * 0.02));
    p.setBrush(QColor(255, 255, 255, 245));
    p.drawEllipse(disco);

    const qreal espessura = lado * 0.075;
    const QRectF circulo = disco.adjusted(lado * 0.17, lado * 0.17, -lado * 0.17, -lado * 0.17);
    arcoComSeta(p, circulo, 110, 140, cor::verdeAgua, espessura);
    arcoComSeta(p, circulo, 290, 140, cor::coral, espessura);

    // The health cross at the centre.
    const QPointF c = disco.center();
    const qreal braco = lado * 0.12, largura = lado * 0.085;
    p.setBrush(cor::azulProfundo);
    p.drawRoundedRect(QRectF(c.x() - largura / 2, c.y() - braco, largura, 2 * braco), 2, 2);
    p.drawRoundedRect(QRectF(c.x() - braco, c.y() - largura / 2, 2 * braco, largura), 2, 2);
    return quadro;
}

void desenhaIconeTransferencia(QPainter& p, const QRectF& area, Sentido sentido) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fundo = sentido == Sentido::Enviar ? cor::verdeAgua : cor::azulProfundo;
    p.setPen(Qt::NoPen);
    p.setBrush(fundo);
    p.drawEllipse(area);

    const qreal u = area.width() / 10; // one tenth of the icon
    const QPointF c = area.center();
    QPen traco(Qt::white, u * 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(traco);
    p.setBrush(Qt::NoBrush);

    // The tray.
    QPainterPath bandeja;
    bandeja.moveTo(c.x() - 2.6 * u, c.y() + 0.9 * u);
    bandeja.lineTo(c.x() - 2.6 * u, c.y() + 2.4 * u);
    bandeja.lineTo(c.x() + 2.6 * u, c.y() + 2.4 * u);
    bandeja.lineTo(c.x() + 2.6 * u, c.y() + 0.9 * u);
    p.drawPath(bandeja);

    // The arrow: out of the tray to send, into it to receive.
    const qreal alto = c.y() - 2.8 * u, baixo = c.y() + 1.0 * u;
    const qreal ponta = sentido == Sentido::Enviar ? alto : baixo;
    const qreal cauda = sentido == Sentido::Enviar ? baixo : alto;
    const qreal volta = sentido == Sentido::Enviar ? 1.3 * u : -1.3 * u;
    p.drawLine(QPointF(c.x(), cauda), QPointF(c.x(), ponta));
    QPainterPath cabeca;
    cabeca.moveTo(c.x() - 1.4 * u, ponta + volta);
    cabeca.lineTo(c.x(), ponta);
    cabeca.lineTo(c.x() + 1.4 * u, ponta + volta);
    p.drawPath(cabeca);
    p.restore();
}

} // namespace edi::gui::desenho
