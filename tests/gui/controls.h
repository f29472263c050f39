#pragma once

// The widget tests reach a window's controls as a user's tools would: by their
// object names, which are the designer's control names.

#include <QString>
#include <QWidget>
#include <stdexcept>
#include <string>

namespace zfe::gui {

// The child control `name` of `window`; a missing one fails the test that asks.
template <typename Control>
Control* control(const QWidget& window, const char* name) {
    auto* found = window.findChild<Control*>(QString::fromUtf8(name));
    if (found == nullptr) {
        throw std::logic_error(std::string("no control named ") + name + " of that type in " +
                               window.objectName().toStdString());
    }
    return found;
}

}  // namespace zfe::gui
