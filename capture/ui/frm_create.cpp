#include "capture/ui/frm_create.h"

#include <QApplication>
#include <exception>
#include <utility>

#include "app/failure_messages.h"
#include "app/paths.h"
#include "app/ui/form_controls.h"
#include "capture/capture_to_file.h"
#include "capture/create_dat.h"
#include "platform/file_system.h"
#include "platform/os_error.h"

// Resources of a static library must be registered by name from the global
// namespace.
static void registerCreateDatResources() {
    Q_INIT_RESOURCE(frm_create);
}

namespace zfe::capture {

namespace {

using ui::imageButton;
using ui::twipsRect;

QString fromText(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* captionLabel(QWidget* container, const char* name, const QString& caption,
                     const QRect& geometry) {
    QLabel* text = ui::label(container, QString::fromLatin1(name), caption, geometry);
    text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return text;
}

QLabel* borderedLabel(QWidget* container, const char* name, const QString& caption,
                      const QRect& geometry) {
    QLabel* text = ui::label(container, QString::fromLatin1(name), caption, geometry);
    text->setFrameStyle(QFrame::Box | QFrame::Plain);
    return text;
}

// The capture's state shown in the window for as long as it runs, put back
// however it ends.
class CaptureInProgress {
public:
    CaptureInProgress(FrmCreate& dialog, bool& running) : dialog_(dialog), running_(running) {
        running_ = true;
        dialog_.cpvButton1->setEnabled(false);
        dialog_.cmdCreatDat->setEnabled(false);
    }
    ~CaptureInProgress() {
        dialog_.cpvButton1->setEnabled(true);
        dialog_.cmdCreatDat->setEnabled(true);
        running_ = false;
    }
    CaptureInProgress(const CaptureInProgress&) = delete;
    CaptureInProgress& operator=(const CaptureInProgress&) = delete;

private:
    const ui::BusyCursor busy_;
    FrmCreate& dialog_;
    bool& running_;
};

}  // namespace

FrmCreate::FrmCreate(UserInterface& ui, std::string applicationPath, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui_(ui),
      applicationPath_(std::move(applicationPath)) {
    registerCreateDatResources();
    setObjectName(QStringLiteral("frmCreate"));
    setWindowTitle(QStringLiteral("Crea un File Dat da un Eseguibile di MAME"));
    setFixedSize(5760 / kTwipsPerPixel, 2535 / kTwipsPerPixel);
    setModal(true);
    setFont(ui::designFont());
    createControls();
}

void FrmCreate::createControls() {
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipsRect(120, 0, 5535, 2415));

    txtDatFile = new QLineEdit(QStringLiteral("Text1"), Frame1);
    txtDatFile->setObjectName(QStringLiteral("txtDatFile"));
    txtDatFile->setGeometry(twipsRect(1200, 720, 4095, 285));

    cpvButton1 =
        imageButton(Frame1, "cpvButton1", QStringLiteral("..."), twipsRect(4920, 240, 375, 255));
    cmdCreatDat = imageButton(Frame1, "cmdCreatDat", QStringLiteral("Crea DatFile"),
                              twipsRect(120, 1680, 5295, 615));
    cmdCreatDat->setIcon(QIcon(QStringLiteral(":/capture/create_dat.svg")));
    cmdCreatDat->setIconSize(QSize(32, 32));

    Label3 = captionLabel(Frame1, "Label3", QStringLiteral("Dati ricevuti:"),
                          twipsRect(120, 1200, 975, 255));
    lblReceivedBytes = borderedLabel(Frame1, "lblReceivedBytes", QStringLiteral("lblReceivedBytes"),
                                     twipsRect(1200, 1200, 4095, 255));
    Label4 = captionLabel(Frame1, "Label4", QStringLiteral("Descrizione:"),
                          twipsRect(120, 720, 975, 255));
    lblExe =
        borderedLabel(Frame1, "lblExe", QStringLiteral("lblExe"), twipsRect(1200, 240, 3615, 255));
    Label1 = captionLabel(Frame1, "Label1", QStringLiteral("Eseguibile:"),
                          twipsRect(120, 240, 975, 255));

    // Of the tab order only these three take the focus.
    setTabOrder(cpvButton1, txtDatFile);
    setTabOrder(txtDatFile, cmdCreatDat);

    connect(cpvButton1, &QToolButton::clicked, this, &FrmCreate::onCpvButton1Clicked);
    connect(cmdCreatDat, &QToolButton::clicked, this, &FrmCreate::onCmdCreatDatClicked);
}

void FrmCreate::showModal() {
    load();
    centreOnOwner();
    exec();
    // Closing unloads the dialog: nothing of this showing is offered again.
    lastChosenFile_.clear();
}

void FrmCreate::load() {
    lblExe->setText(QString());
    lblReceivedBytes->setText(QString());
    txtDatFile->setText(QString());
    lastChosenFile_.clear();
    stopRequested_ = false;
    cpvButton1->setFocus();
}

void FrmCreate::centreOnOwner() {
    const QWidget* owner = parentWidget();
    if (owner == nullptr) return;
    const QRect ownerFrame = owner->window()->frameGeometry();
    QRect frame = frameGeometry();
    frame.moveCenter(ownerFrame.center());
    move(frame.topLeft());
}

void FrmCreate::onCpvButton1Clicked() {
    FileDialogRequest request;
    request.initialFileName = lastChosenFile_;
    request.filter = executableFilter();
    if (const std::optional<std::string> chosen = ui_.showOpenDialog(request)) {
        lastChosenFile_ = *chosen;
        try {
            enterFolderOf(*chosen);
        } catch (const platform::OsError& error) {
            ui_.showMessage(folderChangeFailedMessage(error.subject(), error));
        }
    }
    // A cancel keeps what this showing last accepted, or nothing.
    lblExe->setText(fromText(fileNameOf(lastChosenFile_)));
    exePath_ = lastChosenFile_;
}

void FrmCreate::onCmdCreatDatClicked() {
    if (captureRunning_) return;
    const std::string exeLabel = lblExe->text().toStdString();
    const std::string datName = txtDatFile->text().toStdString();
    if (const std::optional<Message> warning = checkCreateInput(exeLabel, datName)) {
        ui_.showMessage(*warning);
        return;
    }
    const std::string outputPath = datOutputPath(applicationPath_, datName);
    const std::string commandLine = listInfoCommandLine(exePath_);

    CaptureCallbacks callbacks;
    callbacks.serveEvents = [] { QCoreApplication::processEvents(); };
    callbacks.showReceivedBytes = [this](const std::string& digits) {
        lblReceivedBytes->setText(fromText(digits));
        lblReceivedBytes->repaint();
    };
    callbacks.stopRequested = [this] { return stopRequested_; };

    CaptureOutcome outcome = CaptureOutcome::OutputFailed;
    try {
        CaptureInProgress running(*this, captureRunning_);
        stopRequested_ = false;
        outcome = captureToFile(ui_, commandLine, outputPath, callbacks).outcome;
    } catch (const std::exception& error) {
        // Nothing the capture throws may escape into the event loop; the old
        // dat is whole and the dialog stays open for another try.
        ui_.showMessage(failureMessage("Impossibile creare il file Dat.", error.what()));
    }
    // A failed output leaves the dialog open so that another name or place
    // can be tried; a stopped capture has its dialog closing already.
    if (outcome == CaptureOutcome::Completed || outcome == CaptureOutcome::StartFailed) {
        accept();
    }
}

void FrmCreate::reject() {
    if (captureRunning_) stopRequested_ = true;
    QDialog::reject();
}

}  // namespace zfe::capture
