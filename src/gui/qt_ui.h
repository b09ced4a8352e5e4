#pragma once

#include "app/ui.h"

#include <string>

namespace edi::gui {

class TfrmMenuEDI;

// The UI port on the main window: status bar panels, indicator, progress bar and modal boxes.
class QtUi : public Ui {
public:
    explicit QtUi(TfrmMenuEDI& janela) : janela_(janela) {}

    void setStageText(const std::string& text) override;
    void setMessage(const std::string& text) override;
    std::string message() const override { return message_; }
    void setUnitText(const std::string& text) override;
    void setActive(bool active) override;

    void setProgressMax(int max) override;
    void setProgressPosition(int position) override;
    int progressPosition() const override;

    void pumpEvents() override;
    void repaint() override;
    void pause(int milliseconds) override;

    void showWarning(const std::string& caption, const std::string& text) override;
    void showError(const std::string& text) override;
    void showInformation(const std::string& text) override;
    bool askYesNo(const std::string& caption, const std::string& text) override;

private:
    void setPanelText(int panel, const std::string& text);

    TfrmMenuEDI& janela_;
    std::string message_;
    int max_ = 0;
};

} // namespace edi::gui
