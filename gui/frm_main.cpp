#include "gui/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <exception>

#include "core/folders.h"
#include "core/startup_check.h"
#include "gui/form_controls.h"
#include "gui/frm_create.h"
#include "datlib/library.h"
#include "diff/command_runner.h"
#include "diff/diff_request.h"

// Resources of a static library must be registered by name from the global
// namespace.
static void registerResourcesFromGlobalNamespace() {
    Q_INIT_RESOURCE(zandorelfe);
}

namespace zfe::gui {

void registerResources() {
    registerResourcesFromGlobalNamespace();
}

namespace {

QGroupBox* frame(QWidget* container, const char* name, const QString& caption,
                 const QRect& geometry) {
    auto* box = new QGroupBox(caption, container);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

std::vector<core::PixelRect> screenRects() {
    std::vector<core::PixelRect> rects;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect r = screen->availableGeometry();
        rects.push_back(core::PixelRect{r.x(), r.y(), r.width(), r.height()});
    }
    return rects;
}

// Before the window is first shown the window manager has not told us its
// frame; assume a common title bar height.
constexpr int kAssumedTitleBarHeight = 24;

}  // namespace

QIcon imageListPicture(int index) {
    registerResources();
    return QIcon(QStringLiteral(":/images/%1.svg").arg(index));
}

QIcon applicationIcon() {
    registerResources();
    return QIcon(QStringLiteral(":/images/zandorelfe.svg"));
}

FrmMain::FrmMain(std::string applicationPath, core::UserInterface& ui, core::SettingsStore& settings,
                 QWidget* parent)
    : FrmMain(applicationPath, applicationPath, ui, settings, parent) {}

FrmMain::FrmMain(std::string applicationPath, std::string dataPath, core::UserInterface& ui,
                 core::SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      applicationPath_(std::move(applicationPath)),
      dataPath_(std::move(dataPath)),
      ui_(ui),
      settings_(settings) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Zandorel FE"));
    setWindowIcon(applicationIcon());
    setFixedSize(8415 / core::kTwipsPerPixel, 5685 / core::kTwipsPerPixel);
    setFont(designFont());
    createControls();
    setTabOrder();
    load();
}

FrmMain::~FrmMain() = default;

void FrmMain::createControls() {
    libraryFrame =
        frame(this, "fraMain", QStringLiteral(" Origine : "), twipsRect(120, 120, 8175, 3615));
    createDatButton = imageButton(libraryFrame, "cmdCreateDat", QStringLiteral("&Crea ..."),
                               twipsRect(3480, 1080, 1215, 495));
    oldList = new FileListBox(libraryFrame);
    oldList->setObjectName(QStringLiteral("filOld"));
    oldList->setGeometry(twipsRect(240, 600, 3015, 2820));
    newList = new FileListBox(libraryFrame);
    newList->setObjectName(QStringLiteral("filNew"));
    newList->setGeometry(twipsRect(4920, 600, 3015, 2820));
    importButton = imageButton(libraryFrame, "cmdImport", QStringLiteral("&Importa ..."),
                            twipsRect(3480, 1680, 1215, 495));
    deleteButton = imageButton(libraryFrame, "cmdDelete", QStringLiteral("&Elimina"),
                            twipsRect(3480, 2280, 1215, 495));
    listCaptions[1] = label(libraryFrame, QStringLiteral("Label2(1)"), QStringLiteral("Nuovo Dat:"),
                      twipsRect(5040, 360, 2895, 255));
    listCaptions[0] = label(libraryFrame, QStringLiteral("Label2(0)"), QStringLiteral("Vecchio Dat:"),
                      twipsRect(360, 360, 2895, 255));

    destinationFrame =
        frame(this, "Frame2", QStringLiteral(" Destinazione : "), twipsRect(120, 3840, 8175, 855));
    browseButton = imageButton(destinationFrame, "cmdBrowse", QStringLiteral("&Sfoglia..."),
                            twipsRect(6960, 360, 1095, 255));
    destinationLabel = label(destinationFrame, QStringLiteral("lblFileDest"), QStringLiteral("lblFileDest"),
                        twipsRect(240, 360, 6615, 255));
    destinationLabel->setFrameStyle(QFrame::Box | QFrame::Plain);
    destinationLabel->setLineWidth(1);

    createDiffFrame = frame(this, "Frame1", QString(), twipsRect(6600, 4800, 1695, 735));
    createDiffButton = imageButton(createDiffFrame, "cmdCrea", QStringLiteral("Crea DiffDat"),
                          twipsRect(120, 165, 1455, 495));

    setTypeFrame =
        frame(this, "fraOpt", QStringLiteral(" Tipo di Set : "), twipsRect(120, 4800, 6375, 735));
    compactCheck = new QCheckBox(QStringLiteral("Compatto"), setTypeFrame);
    compactCheck->setObjectName(QStringLiteral("chkTiny"));
    compactCheck->setGeometry(twipsRect(5040, 240, 1215, 375));
    const char* setTypeCaptions[] = {"Split", "Merged", "Non merged"};
    const int setTypeLefts[] = {240, 1680, 3240};
    for (int index = 0; index < 3; ++index) {
        auto* option = new QRadioButton(QString::fromLatin1(setTypeCaptions[index]), setTypeFrame);
        option->setObjectName(QStringLiteral("optSetType(%1)").arg(index));
        option->setGeometry(twipsRect(setTypeLefts[index], 315, 1215, 255));
        setTypeOptions[static_cast<std::size_t>(index)] = option;
    }

    connect(browseButton, &QToolButton::clicked, this, &FrmMain::browseDestination);
    connect(createDiffButton, &QToolButton::clicked, this, &FrmMain::createDiff);
    connect(importButton, &QToolButton::clicked, this, &FrmMain::importDat);
    connect(deleteButton, &QToolButton::clicked, this, &FrmMain::deleteDat);
    connect(createDatButton, &QToolButton::clicked, this, &FrmMain::openCreateDat);
}

void FrmMain::setTabOrder() {
    // The order of the controls that take the focus; frames and labels are
    // passed over.
    const QWidget* order[] = {newList,    oldList,        createDatButton,  importButton,
                              browseButton, setTypeOptions[2], setTypeOptions[1], setTypeOptions[0],
                              deleteButton, createDiffButton,       compactCheck};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
    }
}

void FrmMain::load() {
    destinationLabel->clear();

    const QString pattern = QStringLiteral("*.dat");
    oldList->setPattern(pattern);
    newList->setPattern(pattern);
    oldList->setFolder(core::datListFolder(dataPath_));
    newList->setFolder(core::datListFolder(dataPath_));

    browseButton->setIcon(imageListPicture(1));
    createDiffButton->setIcon(imageListPicture(4));
    createDatButton->setIcon(imageListPicture(4));
    importButton->setIcon(imageListPicture(5));
    deleteButton->setIcon(imageListPicture(6));

    restorePosition();
    setTypeOptions[static_cast<std::size_t>(core::restoredSetType(settings_))]->setChecked(true);
    compactCheck->setChecked(core::restoredCompact(settings_) != 0);

    if (const auto warning = core::missingFoldersWarning(applicationPath_, dataPath_,
                                                           platform::directoryExists)) {
        ui_.showMessage(*warning);
    }
}

void FrmMain::restorePosition() {
    const QRect frameRect = frameGeometry();
    const int titleBar = geometry().top() - frameRect.top();
    core::WindowPlacement placement;
    placement.current = core::PixelPoint{pos().x(), pos().y()};
    placement.frameWidth = frameRect.width();
    placement.titleBarHeight = titleBar > 0 ? titleBar : kAssumedTitleBarHeight;
    placement.screens = screenRects();
    const core::PixelPoint restored = core::restoredPosition(settings_, placement);
    // Moving to where the window already is would still pin it there and take
    // the placement away from the window manager.
    if (!(restored == placement.current)) {
        move(restored.x, restored.y);
    }
}

void FrmMain::alignBrowseButton() {
    browseButton->move(browseButton->x(), destinationLabel->y());
    browseButton->resize(browseButton->width(), destinationLabel->height());
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
    core::saveWindowSettings(settings_, selectedSetTypes(), compactCheck->isChecked() ? 1 : 0,
                       core::PixelPoint{pos().x(), pos().y()});
}

std::array<bool, 3> FrmMain::selectedSetTypes() const {
    return {setTypeOptions[0]->isChecked(), setTypeOptions[1]->isChecked(), setTypeOptions[2]->isChecked()};
}

void FrmMain::refreshLists() {
    oldList->refresh();
    newList->refresh();
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
        ui_.showMessage(core::criticalMessage(std::string("Errore inatteso: ") + error.what()));
    }
}

void FrmMain::browseDestination() {
    runHandler([&] {
        std::string destination = destinationLabel->text().toStdString();
        diff::browseDestination(ui_, commonDialog_, destination);
        destinationLabel->setText(QString::fromStdString(destination));
    });
}

void FrmMain::createDiff() {
    runHandler([&] {
        diff::DiffControls controls;
        controls.oldIndex = oldList->selectedIndex();
        controls.oldName = oldList->selectedFileName();
        controls.newIndex = newList->selectedIndex();
        controls.newName = newList->selectedFileName();
        controls.destination = destinationLabel->text().toStdString();
        controls.setTypeSelected = selectedSetTypes();
        controls.compact = compactCheck->isChecked() ? 1 : 0;
        const diff::CommandRunner runWithBusyCursor = [](const std::string& commandLine) {
            const BusyCursor busy;
            diff::RunAndWait(commandLine);
        };
        diff::createDiffDat(controls, applicationPath_, dataPath_, fileSystem(), ui_,
                            runWithBusyCursor);
    });
}

void FrmMain::importDat() {
    runHandler([&] {
        if (datlib::importDat(ui_, commonDialog_, dataPath_, fileSystem())) {
            refreshLists();
        }
    });
}

void FrmMain::deleteDat() {
    runHandler([&] {
        if (datlib::deleteDat(ui_, oldList->folder(), oldList->selectedFileName(), fileSystem())) {
            refreshLists();
        }
    });
}

void FrmMain::openCreateDat() {
    runHandler([&] {
        if (frmCreate_ == nullptr) frmCreate_ = new FrmCreate(ui_, dataPath_, this);
        frmCreate_->showModal();
    });
    // Whatever the dialog did, a new dat must show at once.
    refreshLists();
}

}  // namespace zfe::gui
