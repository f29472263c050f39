#include "app/ui/qt_user_interface.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace zfe::ui {

namespace {

QMessageBox::Icon toQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton toQtButton(MessageAnswer answer) {
    switch (answer) {
        case MessageAnswer::Yes:
            return QMessageBox::Yes;
        case MessageAnswer::No:
            return QMessageBox::No;
        case MessageAnswer::Ok:
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

QString qtFilterText(const FileFilter& filter) {
    const QString description = QString::fromStdString(filter.description);
    const QString pattern = QString::fromStdString(filter.pattern);
    if (description.contains(QLatin1Char('(') + pattern + QLatin1Char(')'))) {
        return description;
    }
    return description + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

MessageAnswer QtUserInterface::showMessage(const Message& message) {
    const bool yesNo = message.buttons == MessageButtons::YesNo;
    QMessageBox box(toQtIcon(message.icon), QString::fromStdString(message.title),
                    messageText(message.text),
                    yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, owner_);
    const QMessageBox::StandardButton defaultButton = toQtButton(message.defaultButton);
    if (box.button(defaultButton) != nullptr) {
        box.setDefaultButton(defaultButton);
    }
    box.setEscapeButton(yesNo ? QMessageBox::No : QMessageBox::Ok);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        default:
            return yesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }
}

std::optional<std::string> QtUserInterface::showOpenDialog(const FileDialogRequest& request) {
    // No caption: the platform's own title for an Open dialog shows.
    const QString filter = request.filter ? qtFilterText(*request.filter) : QString();
    return chosenPath(QFileDialog::getOpenFileName(
        owner_, QString(), QString::fromStdString(request.initialFileName), filter));
}

std::optional<std::string> QtUserInterface::showSaveDialog(const FileDialogRequest& request) {
    const QString filter = request.filter ? qtFilterText(*request.filter) : QString();
    return chosenPath(QFileDialog::getSaveFileName(
        owner_, QString(), QString::fromStdString(request.initialFileName), filter));
}

}  // namespace zfe::ui
