#include "app/console_ui.h"

#include "core/datetime.h"

#include <chrono>
#include <ostream>
#include <thread>

namespace edi {

void ConsoleUi::line(const std::string& kind, const std::string& text) {
    std::string shown = text;
    // Multi-line panel texts print on one line.
    for (auto& c : shown)
        if (c == '\r' || c == '\n')
            c = ' ';
    out_ << formatDateTime("hh:nn:ss", Timestamp::localNow()) << " [" << kind << "] " << shown << std::endl;
}

void ConsoleUi::setStageText(const std::string& text) {
    if (!text.empty())
        line("etapa", text);
}

void ConsoleUi::setMessage(const std::string& text) {
    message_ = text;
    // Per-record counters would flood the console; they are shown only when asked for.
    if (!verbose_ && text.rfind("N:", 0) == 0)
        return;
    line("estado", text);
}

void ConsoleUi::setUnitText(const std::string& text) {
    line("unidade", text);
}

void ConsoleUi::pause(int milliseconds) {
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void ConsoleUi::showWarning(const std::string& caption, const std::string& text) {
    line("aviso", caption + ": " + text);
}
void ConsoleUi::showError(const std::string& text) {
    line("erro", text);
}
void ConsoleUi::showInformation(const std::string& text) {
    line("info", text);
}

bool ConsoleUi::askYesNo(const std::string& caption, const std::string& text) {
    line("pergunta", caption + ": " + text + " -> Não");
    return false;
}

} // namespace edi
