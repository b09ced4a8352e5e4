#pragma once

#include "app/ui.h"

#include <iosfwd>

namespace edi {

// The port for edi-sync: prints what a window would show, one line per change; questions answer No.
class ConsoleUi : public Ui {
public:
    explicit ConsoleUi(std::ostream& out, bool verbose = false) : out_(out), verbose_(verbose) {}

    void setStageText(const std::string& text) override;
    void setMessage(const std::string& text) override;
    std::string message() const override { return message_; }
    void setUnitText(const std::string& text) override;
    void setActive(bool) override {}
    void setProgressMax(int max) override { max_ = max; }
    void setProgressPosition(int position) override { position_ = position; }
    int progressPosition() const override { return position_; }
    void pumpEvents() override {}
    void repaint() override {}
    void pause(int milliseconds) override;
    void showWarning(const std::string& caption, const std::string& text) override;
    void showError(const std::string& text) override;
    void showInformation(const std::string& text) override;
    bool askYesNo(const std::string& caption, const std::string& text) override;

private:
    void line(const std::string& kind, const std::string& text);

    std::ostream& out_;
    bool verbose_;
    std::string message_;
    int max_ = 0, position_ = 0;
};

} // namespace edi
