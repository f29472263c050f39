#pragma once

#include <QPointer>
#include <QWidget>

#include "core/user_interface.h"

namespace zfe::gui {

// The message boxes and file dialogs of the real program, in Qt. Boxes and
// dialogs are modal to `owner` (may be null: application-modal, centred on the
// screen).
class QtUserInterface : public core::UserInterface {
public:
    explicit QtUserInterface(QWidget* owner = nullptr) : owner_(owner) {}

    void setOwner(QWidget* owner) { owner_ = owner; }

    core::MessageAnswer showMessage(const core::Message& message) override;
    std::optional<std::string> showOpenDialog(const core::FileDialogRequest& request) override;
    std::optional<std::string> showSaveDialog(const core::FileDialogRequest& request) override;

private:
    QPointer<QWidget> owner_;
};

// Qt's filter text for one entry: the description alone when it already names
// its pattern in parentheses ("Eseguibile (*.exe)"), otherwise
// "description (pattern)", since Qt takes the patterns from the parentheses.
QString qtFilterText(const core::FileFilter& filter);

}  // namespace zfe::gui
