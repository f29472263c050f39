#include "gui/qt_user_interface.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace zfe::gui {

namespace {

QMessageBox::Icon toQtIcon(core::MessageIcon icon) {
    switch (icon) {
        case core::MessageIcon::Warning:
            return QMessageBox::Warning;
        case core::MessageIcon::Critical:
            return QMessageBox::Critical;
        case core::MessageIcon::Question:
            return QMessageBox::Question;
        case core::MessageIcon::Information:
            return QMessageBox::Information;
        case core::MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton toQtButton(core::MessageAnswer answer) {
    switch (answer) {
        case core::MessageAnswer::Yes:
            return QMessageBox::Yes;
        case core::MessageAnswer::No:
            return QMessageBox::No;
        case core::MessageAnswer::Ok:
            break;
    }
    return QMessageBox::Ok;
}

// The logic separates the lines of a two-line text by "\r\n", as the message
// boxes it was written for do; Qt wants a bare "\n".
QString messageText(const std::string& text) {
    QString result = QString::fromStdString(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

std::optional<std::string> chosenPath(const QString& path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(path).toStdString();
}

}  // namespace

QString qtFilterText(const core::FileFilter& filter) {
    const QString description = QString::fromStdString(filter.description);
    const QString pattern = QString::fromStdString(filter.pattern);
    if (description.contains(QLatin1Char('(') + pattern + QLatin1Char(')'))) {
        return description;
    }
    return description + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

core::MessageAnswer QtUserInterface::showMessage(const core::Message& message) {
    const bool yesNo = message.buttons == core::MessageButtons::YesNo;
    QMessageBox box(toQtIcon(message.icon), QString::fromStdString(message.title),
                    messageText(message.text),
                    yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, owner_);
    // Names and paths are shown as they are: a file name is never markup.
    box.setTextFormat(Qt::PlainText);
    if (!message.details.empty()) {
        box.setDetailedText(messageText(message.details));
    }
    const QMessageBox::StandardButton defaultButton = toQtButton(message.defaultButton);
    if (box.button(defaultButton) != nullptr) {
        box.setDefaultButton(defaultButton);
    }
    box.setEscapeButton(yesNo ? QMessageBox::No : QMessageBox::Ok);
    // A box that a long operation shows (a question, its outcome) waits for
    // the user, who gets the arrow back while it is up.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int pressed = box.exec();
    if (busy) QApplication::restoreOverrideCursor();
    switch (pressed) {
        case QMessageBox::Yes:
            return core::MessageAnswer::Yes;
        case QMessageBox::No:
            return core::MessageAnswer::No;
        default:
            return yesNo ? core::MessageAnswer::No : core::MessageAnswer::Ok;
    }
}

std::optional<std::string> QtUserInterface::showOpenDialog(const core::FileDialogRequest& request) {
    // No caption: the platform's own title for an Open dialog shows.
    const QString filter = request.filter ? qtFilterText(*request.filter) : QString();
    return chosenPath(QFileDialog::getOpenFileName(
        owner_, QString(), QString::fromStdString(request.initialFileName), filter));
}

std::optional<std::string> QtUserInterface::showSaveDialog(const core::FileDialogRequest& request) {
    const QString filter = request.filter ? qtFilterText(*request.filter) : QString();
    return chosenPath(QFileDialog::getSaveFileName(
        owner_, QString(), QString::fromStdString(request.initialFileName), filter));
}

}  // namespace zfe::gui
