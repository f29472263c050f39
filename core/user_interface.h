#pragma once

#include <optional>
#include <string>
#include <utility>

namespace zfe::core {

// The message boxes and file dialogs that the logic below the windows needs.
// The windows implement it with Qt; tests replace it with a scripted fake.

inline constexpr const char* kApplicationTitle = "ZandorelFE";
inline constexpr const char* kWarningTitle = "Attenzione...";

enum class MessageIcon { None, Warning, Critical, Question, Information };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// The texts are plain text, never markup, wherever they are shown.
struct Message {
    std::string title = kApplicationTitle;
    std::string text;  // lines separated by "\r\n" where the text has two lines
    std::string details;  // longer text the user may open below the box; empty: none
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    MessageAnswer defaultButton = MessageAnswer::Ok;
};

// One entry of a file dialog's filter list, e.g. {"Eseguibile (*.exe)", "*.exe"}.
struct FileFilter {
    std::string description;
    std::string pattern;
};

struct FileDialogRequest {
    std::string initialFileName;        // offered when the dialog opens
    std::optional<FileFilter> filter;   // none: every file is offered
};

class UserInterface {
public:
    virtual ~UserInterface() = default;

    virtual MessageAnswer showMessage(const Message& message) = 0;

    // Return the chosen file's full path, or nothing when the user cancelled.
    // They do not change the current directory: the caller does that.
    virtual std::optional<std::string> showOpenDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> showSaveDialog(const FileDialogRequest& request) = 0;
};

// What the main window's shared file dialog remembers between uses: the full
// path and the bare name last confirmed in it, by the import or the destination
// browse. The full path is offered when the dialog is shown again.
struct CommonDialogMemory {
    std::string fileName;   // full path
    std::string fileTitle;  // name without its folder
};

// A critical error box in the application's title, as every failed file
// operation, directory change or program start is reported.
inline Message criticalMessage(std::string text) {
    Message message;
    message.text = std::move(text);
    message.icon = MessageIcon::Critical;
    return message;
}

inline Message informationMessage(std::string text, std::string details = {}) {
    Message message;
    message.text = std::move(text);
    message.details = std::move(details);
    message.icon = MessageIcon::Information;
    return message;
}

inline Message warningMessage(std::string text) {
    Message message;
    message.title = kWarningTitle;
    message.text = std::move(text);
    message.icon = MessageIcon::Warning;
    return message;
}

}  // namespace zfe::core
