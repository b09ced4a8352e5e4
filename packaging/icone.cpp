// Draws the program's icon for the desktop entry with the window's own logo: one PNG per size given.
//   edi-icone PASTA LADO...   ->  PASTA/LADOxLADO/apps/edi.png
#include "gui/desenho.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "Uso: edi-icone PASTA LADO...\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen"); // drawn at build time, without a display
    QGuiApplication app(argc, argv);
    const QString raiz = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int lado = std::atoi(argv[i]);
        const QString pasta = QStringLiteral("%1/%2x%2/apps").arg(raiz).arg(lado);
        if (lado <= 0 || !QDir().mkpath(pasta) || !edi::gui::desenho::logotipo(lado).save(pasta + "/edi.png")) {
            std::cerr << "edi-icone: não foi possível desenhar o ícone de " << argv[i] << " em " << argv[1] << "\n";
            return 1;
        }
    }
    return 0;
}
