#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace edi {
class ListaLogSQL;
}

namespace edi::gui {

// The SQL log window: the session's SQL trace, live while it is shown. Created once at start-up.
class TfrmLogSQL : public QWidget {
    Q_OBJECT
public:
    explicit TfrmLogSQL(ListaLogSQL& LogSQL, QWidget* parent = nullptr);
    ~TfrmLogSQL() override;

    QPlainTextEdit* mmLog = nullptr;
    QWidget* pnBaixo = nullptr;
    QPushButton* btLimpar = nullptr;

    // Empties the trace list and the memo.
    void btLimparClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ouve(const std::string* linha);
    void recarrega();

    ListaLogSQL& LogSQL_;
    int observador_ = 0;
    // While hidden the memo is not kept: the cycle traces thousands of statements nobody reads.
    bool desatualizado_ = true;
};

} // namespace edi::gui
