#include "gui/frm_create.h"

#include <QApplication>
#include <QKeyEvent>
#include <array>
#include <exception>
#include <utility>

#include "core/failure_messages.h"
#include "core/paths.h"
#include "gui/form_controls.h"
#include "gui/pictures.h"
#include "capture/capture_to_file.h"
#include "capture/create_dat.h"
#include "platform/file_system.h"
#include "platform/os_error.h"

namespace zfe::gui {

namespace {

using gui::imageButton;
using gui::twipsRect;

QString fromText(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* captionLabel(QWidget* container, const char* name, const QString& caption,
                     const QRect& geometry) {
    QLabel* text = gui::label(container, QString::fromLatin1(name), caption, geometry);
    text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return text;
}

QLabel* borderedLabel(QWidget* container, const char* name, const QString& caption,
                      const QRect& geometry) {
    QLabel* text = gui::label(container, QString::fromLatin1(name), caption, geometry);
    text->setFrameStyle(QFrame::Box | QFrame::Plain);
    // They show a file name and a count: a name like "<b>" is shown as typed.
    text->setTextFormat(Qt::PlainText);
    return text;
}

// The capture's state shown in the window for as long as it runs, put back
// however it ends.
class CaptureInProgress {
public:
    CaptureInProgress(std::array<QWidget*, 2> buttons, bool& running)
        : buttons_(buttons), running_(running) {
        running_ = true;
        for (QWidget* button : buttons_) button->setEnabled(false);
    }
    ~CaptureInProgress() {
        for (QWidget* button : buttons_) button->setEnabled(true);
        running_ = false;
    }
    CaptureInProgress(const CaptureInProgress&) = delete;
    CaptureInProgress& operator=(const CaptureInProgress&) = delete;

private:
    const gui::BusyCursor busy_;
    std::array<QWidget*, 2> buttons_;
    bool& running_;
};

}  // namespace

FrmCreate::FrmCreate(core::UserInterface& ui, std::string dataPath, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui_(ui),
      dataPath_(std::move(dataPath)) {
    registerResources();
    setObjectName(QStringLiteral("frmCreate"));
    setWindowTitle(QStringLiteral("Crea un File Dat da un Eseguibile di MAME"));
    setFixedSize(5760 / core::kTwipsPerPixel, 2535 / core::kTwipsPerPixel);
    setModal(true);
    setFont(gui::designFont());
    createControls();
}

void FrmCreate::createControls() {
    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twipsRect(120, 0, 5535, 2415));

    datNameEdit = new QLineEdit(QStringLiteral("Text1"), frame);
    datNameEdit->setObjectName(QStringLiteral("txtDatFile"));
    datNameEdit->setGeometry(twipsRect(1200, 720, 4095, 285));

    browseExeButton =
        imageButton(frame, "cpvButton1", QStringLiteral("..."), twipsRect(4920, 240, 375, 255));
    createDatButton = imageButton(frame, "cmdCreatDat", QStringLiteral("Crea DatFile"),
                              twipsRect(120, 1680, 5295, 615));
    createDatButton->setIcon(picture(QStringLiteral(":/capture/create_dat")));
    createDatButton->setIconSize(QSize(32, 32));

    captionLabel(frame, "Label3", QStringLiteral("Dati ricevuti:"),
                          twipsRect(120, 1200, 975, 255));
    receivedBytesLabel = borderedLabel(frame, "lblReceivedBytes", QStringLiteral("lblReceivedBytes"),
                                     twipsRect(1200, 1200, 4095, 255));
    captionLabel(frame, "Label4", QStringLiteral("Descrizione:"),
                          twipsRect(120, 720, 975, 255));
    exeLabel =
        borderedLabel(frame, "lblExe", QStringLiteral("lblExe"), twipsRect(1200, 240, 3615, 255));
    captionLabel(frame, "Label1", QStringLiteral("Eseguibile:"),
                          twipsRect(120, 240, 975, 255));

    // Of the tab order only these three take the focus.
    setTabOrder(browseExeButton, datNameEdit);
    setTabOrder(datNameEdit, createDatButton);

    connect(browseExeButton, &QToolButton::clicked, this, &FrmCreate::browseExecutable);
    connect(createDatButton, &QToolButton::clicked, this, &FrmCreate::createDat);
}

void FrmCreate::showModal() {
    load();
    centreOnOwner();
    exec();
    // Closing unloads the dialog: nothing of this showing is offered again.
    lastChosenFile_.clear();
}

void FrmCreate::load() {
    exeLabel->setText(QString());
    receivedBytesLabel->setText(QString());
    datNameEdit->setText(QString());
    lastChosenFile_.clear();
    stopRequested_ = false;
    // The name field, whose caret shows where the keyboard is: the flat
    // "..." button before it in the tab order shows no focus until Tab is
    // pressed.
    datNameEdit->setFocus();
}

void FrmCreate::centreOnOwner() {
    const QWidget* owner = parentWidget();
    if (owner == nullptr) return;
    const QRect ownerFrame = owner->window()->frameGeometry();
    QRect frame = frameGeometry();
    frame.moveCenter(ownerFrame.center());
    move(frame.topLeft());
}

void FrmCreate::browseExecutable() {
    core::FileDialogRequest request;
    request.initialFileName = lastChosenFile_;
    request.filter = capture::executableFilter();
    if (const std::optional<std::string> chosen = ui_.showOpenDialog(request)) {
        lastChosenFile_ = *chosen;
        try {
            core::enterFolderOf(*chosen);
        } catch (const platform::OsError& error) {
            ui_.showMessage(core::folderChangeFailedMessage(error.subject(), error));
        }
    }
    // A cancel keeps what this showing last accepted, or nothing.
    exeLabel->setText(fromText(core::fileNameOf(lastChosenFile_)));
    exePath_ = lastChosenFile_;
}

void FrmCreate::createDat() {
    if (captureRunning_) return;
    const std::string exeShown = exeLabel->text().toStdString();
    const std::string datName = datNameEdit->text().toStdString();
    if (const std::optional<core::Message> warning =
            capture::checkCreateInput(exeShown, datName, dataPath_)) {
        ui_.showMessage(*warning);
        return;
    }
    const std::optional<std::string> outputPath = capture::confirmedOutputPath(ui_, dataPath_, datName);
    if (!outputPath) return;

    capture::CaptureCallbacks callbacks;
    callbacks.serveEvents = [] { QCoreApplication::processEvents(); };
    callbacks.showReceivedBytes = [this](const std::string& count) {
        receivedBytesLabel->setText(fromText(count));
        receivedBytesLabel->repaint();
    };
    callbacks.stopRequested = [this] { return stopRequested_; };

    capture::CreateDatOutcome outcome = capture::CreateDatOutcome::OutputFailed;
    try {
        CaptureInProgress running({browseExeButton, createDatButton}, captureRunning_);
        stopRequested_ = false;
        outcome = capture::createDat(ui_, exePath_, *outputPath, callbacks);
    } catch (const std::exception& error) {
        // Nothing the capture throws may escape into the event loop; the old
        // dat is whole and the dialog stays open for another try.
        ui_.showMessage(core::failureMessage("Impossibile creare il file Dat.", error.what()));
    }
    // A failed run or output leaves the dialog open with its fields as typed,
    // so that another emulator, name or place can be tried; a stopped capture
    // has its dialog closing already.
    if (outcome == capture::CreateDatOutcome::Stored ||
        outcome == capture::CreateDatOutcome::StartFailed) {
        accept();
    }
}

void FrmCreate::keyPressEvent(QKeyEvent* event) {
    // "Crea DatFile" is the default button, as Enter presses it; the image
    // buttons are no QPushButton that QDialog would press by itself. Escape
    // is QDialog's own: it closes the dialog.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (createDatButton->isEnabled()) createDatButton->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmCreate::reject() {
    if (captureRunning_) stopRequested_ = true;
    QDialog::reject();
}

}  // namespace zfe::gui
