#pragma once

#include <QObject>

namespace edi {

// Declared apart from the test bodies: moc reads only this, not the standard headers the bodies need.
class FerramentasTest : public QObject {
    Q_OBJECT
private slots:
    void consoleSQLMandaOComandoIntactoEMostraCadaResposta();
    void logSQLMostraOTracoAoVivoELimparEsvaziaOsDois();
    void relatorioExportaATabelaComTiposESalvaOCorpo();
};

} // namespace edi
