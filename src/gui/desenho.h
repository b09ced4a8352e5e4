#pragma once

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QSize>

class QPainter;

// The pictures of the main window, painted at run time so the program carries no image files.
namespace edi::gui::desenho {

// The window's palette: calm teal and blue, warm accent, dark text.
namespace cor {
inline const QColor tintaEscura{0x14, 0x46, 0x5a};
inline const QColor azulProfundo{0x16, 0x4c, 0x66};
inline const QColor verdeAgua{0x3a, 0x97, 0x93};
inline const QColor coral{0xe2, 0x7d, 0x60};
inline const QColor textoClaro{0xe4, 0xf3, 0xf1};
} // namespace cor

enum class Sentido { Enviar, Receber };

// The background picture: a gradient with soft waves, sized to the client area.
QPixmap pinturaDeFundo(QSize tamanho);
// The logo: two arrows closing a circle around a health cross.
QPixmap logotipo(int lado);
// The icon of an image button: an arrow leaving (Enviar) or entering (Receber) a tray, on a disc.
void desenhaIconeTransferencia(QPainter& p, const QRectF& area, Sentido sentido);

} // namespace edi::gui::desenho
