#pragma once

#include <string>

namespace edi {

// Everything the core tells a person goes through this port: the main window's status bar and progress bar,
// message boxes, the one yes/no question, and the points where the message loop may run.
// QtUi (widgets), ConsoleUi (edi-sync) and the tests' RecordingUi implement it.
class Ui {
public:
    virtual ~Ui() = default;

    // Status bar: panel 1 (running stage), panel 2 (last message), panel 3 (unit code), panel 0 (indicator).
    virtual void setStageText(const std::string& text) = 0;
    virtual void setMessage(const std::string& text) = 0;
    virtual std::string message() const = 0;
    virtual void setUnitText(const std::string& text) = 0;
    virtual void setActive(bool active) = 0;

    // Progress bar.
    virtual void setProgressMax(int max) = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual int progressPosition() const = 0;

    // Lets the message loop run once.
    virtual void pumpEvents() = 0;
    // Repaints the main window at once.
    virtual void repaint() = 0;
    // A visible pause: the thread sleeps, no messages are processed.
    virtual void pause(int milliseconds) = 0;

    // Modal boxes with an OK button.
    virtual void showWarning(const std::string& caption, const std::string& text) = 0;
    virtual void showError(const std::string& text) = 0;
    virtual void showInformation(const std::string& text) = 0;
    // Yes/No question with a question icon; true only for Yes.
    virtual bool askYesNo(const std::string& caption, const std::string& text) = 0;
};

// A port nobody watches: it keeps the last message and progress position, shows no box and answers no.
// Tools and benchmarks override what they do report.
class QuietUi : public Ui {
public:
    void setStageText(const std::string&) override {}
    void setMessage(const std::string& text) override { message_ = text; }
    std::string message() const override { return message_; }
    void setUnitText(const std::string&) override {}
    void setActive(bool) override {}
    void setProgressMax(int) override {}
    void setProgressPosition(int position) override { position_ = position; }
    int progressPosition() const override { return position_; }
    void pumpEvents() override {}
    void repaint() override {}
    void pause(int) override {}
    void showWarning(const std::string&, const std::string&) override {}
    void showError(const std::string&) override {}
    void showInformation(const std::string&) override {}
    bool askYesNo(const std::string&, const std::string&) override { return false; }

private:
    std::string message_;
    int position_ = 0;
};

} // namespace edi
