#pragma once

// A scripted stand-in for the message boxes and file dialogs. A test queues the
// answers the user would give, in order; every message and dialog request the
// code makes is recorded. A box or dialog the test did not script, or one of
// the wrong kind, is a test failure, so unexpected questions cannot pass
// unnoticed. (Not named zfe::testing, which would hide gtest's ::testing inside zfe.)

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/user_interface.h"

namespace zfe::testsupport {

class ScriptedUi : public core::UserInterface {
public:
    enum class DialogKind { Open, Save };

    struct RecordedDialog {
        DialogKind kind;
        core::FileDialogRequest request;
    };

    // --- scripting -----------------------------------------------------------
    // The answer to the next message box.
    ScriptedUi& answerMessage(core::MessageAnswer answer) {
        script_.push_back(Step{StepKind::Message, answer, false, {}});
        return *this;
    }
    // The next message box is acknowledged with OK.
    ScriptedUi& acknowledgeMessage() { return answerMessage(core::MessageAnswer::Ok); }
    // The next Open dialog returns this path.
    ScriptedUi& chooseOpen(std::string path) {
        script_.push_back(Step{StepKind::Open, core::MessageAnswer::Ok, false, std::move(path)});
        return *this;
    }
    ScriptedUi& cancelOpen() {
        script_.push_back(Step{StepKind::Open, core::MessageAnswer::Ok, true, {}});
        return *this;
    }
    // The next Save dialog returns this path.
    ScriptedUi& chooseSave(std::string path) {
        script_.push_back(Step{StepKind::Save, core::MessageAnswer::Ok, false, std::move(path)});
        return *this;
    }
    ScriptedUi& cancelSave() {
        script_.push_back(Step{StepKind::Save, core::MessageAnswer::Ok, true, {}});
        return *this;
    }

    // --- what happened -------------------------------------------------------
    const std::vector<core::Message>& messages() const { return messages_; }
    const std::vector<RecordedDialog>& dialogs() const { return dialogs_; }
    std::size_t pendingSteps() const { return script_.size(); }
    bool allScriptedStepsUsed() const { return script_.empty(); }

    // Fails the test when scripted answers were left unused, i.e. the code
    // asked fewer questions than the test expected.
    void expectScriptUsedUp() const {
        EXPECT_TRUE(script_.empty()) << script_.size() << " scripted answer(s) never asked for";
    }

    // The text of the one message shown, which must be a critical box in the
    // application's title with an OK button, as every failed step is reported.
    std::string onlyCriticalMessageText() const {
        EXPECT_EQ(messages_.size(), 1u);
        if (messages_.empty()) {
            return {};
        }
        const core::Message& message = messages_.front();
        EXPECT_EQ(message.title, core::kApplicationTitle);
        EXPECT_EQ(message.icon, core::MessageIcon::Critical);
        EXPECT_EQ(message.buttons, core::MessageButtons::Ok);
        return message.text;
    }

    // --- UserInterface ---------------------------------------------------------
    core::MessageAnswer showMessage(const core::Message& message) override {
        messages_.push_back(message);
        if (script_.empty() || script_.front().kind != StepKind::Message) {
            ADD_FAILURE() << "unscripted message box: " << describe(message)
                          << (script_.empty() ? " (script empty)" : " (a dialog was scripted)");
            return fallbackAnswer(message);
        }
        const core::MessageAnswer answer = script_.front().answer;
        script_.pop_front();
        return answer;
    }

    std::optional<std::string> showOpenDialog(const core::FileDialogRequest& request) override {
        return dialog(DialogKind::Open, request);
    }

    std::optional<std::string> showSaveDialog(const core::FileDialogRequest& request) override {
        return dialog(DialogKind::Save, request);
    }

    static std::string describe(const core::Message& message) {
        std::ostringstream out;
        out << "[title \"" << message.title << "\", text \"" << message.text << "\", icon "
            << static_cast<int>(message.icon) << ", buttons " << static_cast<int>(message.buttons)
            << "]";
        return out.str();
    }

private:
    // One flat record rather than a variant of optionals: GCC 12 reports a
    // false -Wmaybe-uninitialized inside std::optional when moved through a
    // std::variant.
    enum class StepKind { Message, Open, Save };
    struct Step {
        StepKind kind;
        core::MessageAnswer answer;  // for a message box
        bool cancelled;        // for a dialog
        std::string path;      // for a confirmed dialog
    };

    std::optional<std::string> dialog(DialogKind kind, const core::FileDialogRequest& request) {
        dialogs_.push_back(RecordedDialog{kind, request});
        const char* name = kind == DialogKind::Open ? "Open" : "Save";
        const StepKind wanted = kind == DialogKind::Open ? StepKind::Open : StepKind::Save;
        if (script_.empty() || script_.front().kind != wanted) {
            ADD_FAILURE() << "unscripted " << name << " dialog (initial file name \""
                          << request.initialFileName << "\")";
            return std::nullopt;  // behave as a cancel
        }
        Step step = std::move(script_.front());
        script_.pop_front();
        if (step.cancelled) {
            return std::nullopt;
        }
        return std::move(step.path);
    }

    // After a failure has been recorded the code under test still needs an
    // answer; the least harmful one is the "don't do it" answer.
    static core::MessageAnswer fallbackAnswer(const core::Message& message) {
        return message.buttons == core::MessageButtons::YesNo ? core::MessageAnswer::No : core::MessageAnswer::Ok;
    }

    std::deque<Step> script_;
    std::vector<core::Message> messages_;
    std::vector<RecordedDialog> dialogs_;
};

}  // namespace zfe::testsupport
