#pragma once

#include "app/ui.h"

#include <deque>
#include <istream>
#include <ostream>
#include <string>

namespace edi::datamodule {

class TDMGERAL;

// The Ui of a scenario: every message box is one "box CAPTION: TEXT" line; a question takes the answer the
// script gave (no when it gave none).
class RoteiroUi : public QuietUi {
public:
    explicit RoteiroUi(std::ostream& out) : out_(out) {}

    void answer(bool yes) { answers_.push_back(yes); }

    void showWarning(const std::string& caption, const std::string& text) override { box(caption, text); }
    void showError(const std::string& text) override { box("Erro", text); }
    void showInformation(const std::string& text) override { box("Informação", text); }
    bool askYesNo(const std::string& caption, const std::string& text) override;

private:
    void box(const std::string& caption, const std::string& text) { out_ << "box " << caption << ": " << text << "\n"; }

    std::ostream& out_;
    std::deque<bool> answers_;
};

// Runs a scenario script against the module: one command a line, "#" starts a comment. Prints what the
// commands show and one "error: TEXT" line per failed command, then rolls back what was not committed.
// Returns 0 when no error line was printed, 1 otherwise.
int executaRoteiro(TDMGERAL& modulo, RoteiroUi& ui, std::istream& script, std::ostream& out);

} // namespace edi::datamodule
