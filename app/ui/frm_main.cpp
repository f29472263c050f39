#include "app/ui/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <exception>

#include "app/folders.h"
#include "app/startup_check.h"
#include "app/ui/form_controls.h"
#include "capture/ui/frm_create.h"
#include "datlib/library.h"
#include "diff/command_runner.h"
#include "diff/diff_request.h"

// Resources of a static library must be registered by name from the global
// namespace.
static void registerMainWindowResources() {
    Q_INIT_RESOURCE(zandorelfe);
}

namespace zfe::ui {

namespace {

QGroupBox* frame(QWidget* container, const char* name, const QString& caption,
                 const QRect& geometry) {
    auto* box = new QGroupBox(caption, container);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

std::vector<PixelRect> screenRects() {
    std::vector<PixelRect> rects;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect r = screen->availableGeometry();
        rects.push_back(PixelRect{r.x(), r.y(), r.width(), r.height()});
    }
    return rects;
}

// Before the window is first shown the window manager has not told us its
// frame; assume a common title bar height.
constexpr int kAssumedTitleBarHeight = 24;

}  // namespace

QIcon imageListPicture(int index) {
    registerMainWindowResources();
    return QIcon(QStringLiteral(":/images/%1.svg").arg(index));
}

QIcon applicationIcon() {
    registerMainWindowResources();
    return QIcon(QStringLiteral(":/images/zandorelfe.svg"));
}

FrmMain::FrmMain(std::string applicationPath, UserInterface& ui, SettingsStore& settings,
                 QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      applicationPath_(std::move(applicationPath)),
      ui_(ui),
      settings_(settings) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Zandorel FE"));
    setWindowIcon(applicationIcon());
    setFixedSize(8415 / kTwipsPerPixel, 5685 / kTwipsPerPixel);
    setFont(designFont());
    createControls();
    setTabOrder();
    load();
}

FrmMain::~FrmMain() = default;

void FrmMain::createControls() {
    fraMain =
        frame(this, "fraMain", QStringLiteral(" Origine : "), twipsRect(120, 120, 8175, 3615));
    cmdCreateDat = imageButton(fraMain, "cmdCreateDat", QStringLiteral("&Crea ..."),
                               twipsRect(3480, 1080, 1215, 495));
    filOld = new FileListBox(fraMain);
    filOld->setObjectName(QStringLiteral("filOld"));
    filOld->setGeometry(twipsRect(240, 600, 3015, 2820));
    filNew = new FileListBox(fraMain);
    filNew->setObjectName(QStringLiteral("filNew"));
    filNew->setGeometry(twipsRect(4920, 600, 3015, 2820));
    cmdImport = imageButton(fraMain, "cmdImport", QStringLiteral("&Importa ..."),
                            twipsRect(3480, 1680, 1215, 495));
    cmdDelete = imageButton(fraMain, "cmdDelete", QStringLiteral("&Elimina"),
                            twipsRect(3480, 2280, 1215, 495));
    Label2[1] = label(fraMain, QStringLiteral("Label2(1)"), QStringLiteral("Nuovo Dat:"),
                      twipsRect(5040, 360, 2895, 255));
    Label2[0] = label(fraMain, QStringLiteral("Label2(0)"), QStringLiteral("Vecchio Dat:"),
                      twipsRect(360, 360, 2895, 255));

    Frame2 =
        frame(this, "Frame2", QStringLiteral(" Destinazione : "), twipsRect(120, 3840, 8175, 855));
    cmdBrowse = imageButton(Frame2, "cmdBrowse", QStringLiteral("&Sfoglia..."),
                            twipsRect(6960, 360, 1095, 255));
    lblFileDest = label(Frame2, QStringLiteral("lblFileDest"), QStringLiteral("lblFileDest"),
                        twipsRect(240, 360, 6615, 255));
    lblFileDest->setFrameStyle(QFrame::Box | QFrame::Plain);
    lblFileDest->setLineWidth(1);

    Frame1 = frame(this, "Frame1", QString(), twipsRect(6600, 4800, 1695, 735));
    cmdCrea = imageButton(Frame1, "cmdCrea", QStringLiteral("Crea DiffDat"),
                          twipsRect(120, 165, 1455, 495));

    fraOpt =
        frame(this, "fraOpt", QStringLiteral(" Tipo di Set : "), twipsRect(120, 4800, 6375, 735));
    chkTiny = new QCheckBox(QStringLiteral("Compatto"), fraOpt);
    chkTiny->setObjectName(QStringLiteral("chkTiny"));
    chkTiny->setGeometry(twipsRect(5040, 240, 1215, 375));
    const char* setTypeCaptions[] = {"Split", "Merged", "Non merged"};
    const int setTypeLefts[] = {240, 1680, 3240};
    for (int index = 0; index < 3; ++index) {
        auto* option = new QRadioButton(QString::fromLatin1(setTypeCaptions[index]), fraOpt);
        option->setObjectName(QStringLiteral("optSetType(%1)").arg(index));
        option->setGeometry(twipsRect(setTypeLefts[index], 315, 1215, 255));
        optSetType[static_cast<std::size_t>(index)] = option;
    }

    connect(cmdBrowse, &QToolButton::clicked, this, &FrmMain::onCmdBrowseClicked);
    connect(cmdCrea, &QToolButton::clicked, this, &FrmMain::onCmdCreaClicked);
    connect(cmdImport, &QToolButton::clicked, this, &FrmMain::onCmdImportClicked);
    connect(cmdDelete, &QToolButton::clicked, this, &FrmMain::onCmdDeleteClicked);
    connect(cmdCreateDat, &QToolButton::clicked, this, &FrmMain::onCmdCreateDatClicked);
}

void FrmMain::setTabOrder() {
    // The order of the controls that take the focus; frames and labels are
    // passed over.
    const QWidget* order[] = {filNew,    filOld,        cmdCreateDat,  cmdImport,
                              cmdBrowse, optSetType[2], optSetType[1], optSetType[0],
                              cmdDelete, cmdCrea,       chkTiny};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
    }
}

void FrmMain::load() {
    lblFileDest->clear();

    const QString pattern = QStringLiteral("*.dat");
    filOld->setPattern(pattern);
    filNew->setPattern(pattern);
    filOld->setFolder(datListFolder(applicationPath_));
    filNew->setFolder(datListFolder(applicationPath_));

    cmdBrowse->setIcon(imageListPicture(1));
    cmdCrea->setIcon(imageListPicture(4));
    cmdCreateDat->setIcon(imageListPicture(4));
    cmdImport->setIcon(imageListPicture(5));
    cmdDelete->setIcon(imageListPicture(6));

    restorePosition();
    optSetType[static_cast<std::size_t>(restoredSetType(settings_))]->setChecked(true);
    chkTiny->setChecked(restoredCompact(settings_) != 0);

    if (const auto warning = missingFoldersWarning(applicationPath_, platform::directoryExists)) {
        ui_.showMessage(*warning);
    }
}

void FrmMain::restorePosition() {
    const QRect frameRect = frameGeometry();
    const int titleBar = geometry().top() - frameRect.top();
    WindowPlacement placement;
    placement.current = PixelPoint{pos().x(), pos().y()};
    placement.frameWidth = frameRect.width();
    placement.titleBarHeight = titleBar > 0 ? titleBar : kAssumedTitleBarHeight;
    placement.screens = screenRects();
    const PixelPoint restored = restoredPosition(settings_, placement);
    // Moving to where the window already is would still pin it there and take
    // the placement away from the window manager.
    if (!(restored == placement.current)) {
        move(restored.x, restored.y);
    }
}

void FrmMain::alignBrowseButton() {
    cmdBrowse->move(cmdBrowse->x(), lblFileDest->y());
    cmdBrowse->resize(cmdBrowse->width(), lblFileDest->height());
}

void FrmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    alignBrowseButton();
}

// Minimizing and restoring a fixed-size window brings no resize event in Qt;
// they count as resizes here.
void FrmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        alignBrowseButton();
    }
}

void FrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    alignBrowseButton();
}

void FrmMain::closeEvent(QCloseEvent* event) {
    unload();
    event->accept();
}

void FrmMain::unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    saveWindowSettings(settings_, selectedSetTypes(), chkTiny->isChecked() ? 1 : 0,
                       PixelPoint{pos().x(), pos().y()});
}

std::array<bool, 3> FrmMain::selectedSetTypes() const {
    return {optSetType[0]->isChecked(), optSetType[1]->isChecked(), optSetType[2]->isChecked()};
}

void FrmMain::refreshLists() {
    filOld->refresh();
    filNew->refresh();
}

platform::FileSystemService& FrmMain::fileSystem() {
    if (!fileSystem_) {
        fileSystem_ = platform::makeFileSystemService();
    }
    return *fileSystem_;
}

template <typename Handler>
void FrmMain::runHandler(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ui_.showMessage(criticalMessage(std::string("Errore inatteso: ") + error.what()));
    }
}

void FrmMain::onCmdBrowseClicked() {
    runHandler([&] {
        std::string destination = lblFileDest->text().toStdString();
        diff::browseDestination(ui_, commonDialog_, destination);
        lblFileDest->setText(QString::fromStdString(destination));
    });
}

void FrmMain::onCmdCreaClicked() {
    runHandler([&] {
        diff::DiffControls controls;
        controls.oldIndex = filOld->selectedIndex();
        controls.oldName = filOld->selectedFileName();
        controls.newIndex = filNew->selectedIndex();
        controls.newName = filNew->selectedFileName();
        controls.destination = lblFileDest->text().toStdString();
        controls.setTypeSelected = selectedSetTypes();
        controls.compact = chkTiny->isChecked() ? 1 : 0;
        const diff::CommandRunner runWithBusyCursor = [](const std::string& commandLine) {
            const BusyCursor busy;
            diff::RunAndWait(commandLine);
        };
        diff::createDiffDat(controls, applicationPath_, fileSystem(), ui_, runWithBusyCursor);
    });
}

void FrmMain::onCmdImportClicked() {
    runHandler([&] {
        if (datlib::importDat(ui_, commonDialog_, applicationPath_, fileSystem())) {
            refreshLists();
        }
    });
}

void FrmMain::onCmdDeleteClicked() {
    runHandler([&] {
        if (datlib::deleteDat(ui_, filOld->folder(), filOld->selectedFileName(), fileSystem())) {
            refreshLists();
        }
    });
}

void FrmMain::onCmdCreateDatClicked() {
    runHandler([&] {
        if (frmCreate_ == nullptr) frmCreate_ = new capture::FrmCreate(ui_, applicationPath_, this);
        frmCreate_->showModal();
    });
    // Whatever the dialog did, a new dat must show at once.
    refreshLists();
}

}  // namespace zfe::ui
