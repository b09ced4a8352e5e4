#pragma once

#include "app/ui.h"

#include <functional>
#include <string>
#include <vector>

namespace edi::test {

// Records everything the core shows, in order, as "kind: text" lines; questions answer as told.
class RecordingUi : public Ui {
public:
    std::vector<std::string> events;
    std::string stage, unit;
    bool active = false;
    int progressMax = 0, position = 0;
    int pumps = 0;
    bool answerYes = false;
    std::function<void()> onPump; // lets a test act "during" a long loop

    void setStageText(const std::string& text) override {
        stage = text;
        events.push_back("stage: " + text);
    }
    void setMessage(const std::string& text) override {
        message_ = text;
        events.push_back("message: " + text);
    }
    std::string message() const override { return message_; }
    void setUnitText(const std::string& text) override { unit = text; }
    void setActive(bool a) override { active = a; }
    void setProgressMax(int max) override { progressMax = max; }
    void setProgressPosition(int p) override { position = p; }
    int progressPosition() const override { return position; }
    void pumpEvents() override {
        ++pumps;
        if (onPump)
            onPump();
    }
    void repaint() override {}
    void pause(int ms) override { events.push_back("pause: " + std::to_string(ms)); }
    void showWarning(const std::string& caption, const std::string& text) override {
        events.push_back("warning: " + caption + ": " + text);
    }
    void showError(const std::string& text) override { events.push_back("error: " + text); }
    void showInformation(const std::string& text) override { events.push_back("info: " + text); }
    bool askYesNo(const std::string& caption, const std::string& text) override {
        events.push_back("question: " + caption + ": " + text);
        return answerYes;
    }

    // The events of one kind, without the kind prefix.
    std::vector<std::string> of(const std::string& kind) const {
        std::vector<std::string> out;
        const std::string prefix = kind + ": ";
        for (const auto& e : events)
            if (e.rfind(prefix, 0) == 0)
                out.push_back(e.substr(prefix.size()));
        return out;
    }

private:
    std::string message_;
};

} // namespace edi::test
