#include "gui/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <qdrawutil.h>
#include <algorithm>
#include <cmath>
#include <exception>
#include <thread>

#include "core/folders.h"
#include "core/startup_check.h"
#include "gui/form_controls.h"
#include "gui/frm_create.h"
#include "gui/frm_result.h"
#include "gui/pictures.h"
#include "datlib/library.h"
#include "diff/command_runner.h"
#include "diff/diff_request.h"

namespace zfe::gui {

namespace {

// A frame drawn alike under every style: its line runs through the middle of
// the caption's height whether or not it has a caption, and the caption sits
// on the line. (Styles such as Fusion put the caption above the line, which
// moves the line of a captioned frame below that of its uncaptioned
// neighbour, while the table gives both the same top.)
class CaptionFrame : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        const QFontMetrics metrics(font());
        // An etched line in the palette's colours; the styles' own group-box
        // frames place themselves below the caption.
        qDrawShadeRect(&painter, rect().adjusted(0, metrics.height() / 2, 0, 0), palette(), true, 1, 0);
        if (title().isEmpty()) return;
        const QRect caption(kCaptionIndent, 0, metrics.horizontalAdvance(title()), metrics.height());
        painter.fillRect(caption, palette().window());
        painter.drawItemText(caption, Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(), title(),
                             QPalette::WindowText);
    }

private:
    static constexpr int kCaptionIndent = 6;
};

QGroupBox* frame(QWidget* container, const char* name, const QString& caption,
                 const QRect& geometry) {
    auto* box = new CaptionFrame(caption, container);
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
// frame; assume a common title bar height and border.
constexpr int kAssumedTitleBarHeight = 24;
constexpr int kAssumedBorderWidth = 4;

// The client area as designed, and how far a larger font may make it grow.
constexpr int kDesignWidth = 8415 / core::kTwipsPerPixel;
constexpr int kDesignHeight = 5685 / core::kTwipsPerPixel;
constexpr double kLargestLayoutFactor = 3.0;

// The stored position may leave part of the title bar off the screen (one
// saved at another scale factor or on a larger screen): the window is moved
// just far enough that the whole bar, close box included, is on the screen
// that shows most of it.
core::PixelPoint withWholeTitleBarOnAScreen(core::PixelPoint position, const core::WindowPlacement& window) {
    const QRect bar(position.x, position.y, window.frameWidth, window.titleBarHeight);
    const QRect* best = nullptr;
    long bestArea = -1;
    std::vector<QRect> screens;
    for (const core::PixelRect& screen : window.screens) {
        screens.emplace_back(screen.left, screen.top, screen.width, screen.height);
    }
    for (const QRect& screen : screens) {
        if (screen.contains(bar)) return position;
        const QRect shared = screen.intersected(bar);
        const long area = shared.isEmpty() ? 0 : long{shared.width()} * shared.height();
        if (area > bestArea) {
            bestArea = area;
            best = &screen;
        }
    }
    if (best == nullptr) return position;
    const int right = std::max(best->left(), best->left() + best->width() - bar.width());
    const int bottom = std::max(best->top(), best->top() + best->height() - bar.height());
    return core::PixelPoint{std::clamp(position.x, best->left(), right),
                            std::clamp(position.y, best->top(), bottom)};
}

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
    }
}

// Starts the program and waits for it, letting the windows repaint meanwhile:
// the program runs on a thread of its own while this one serves events (input
// to the main window being dropped by its InputBlocker).
int runServingEvents(const platform::ProgramStart& start) {
    const BusyCursor busy;
    std::exception_ptr failure;
    int exitCode = 0;
    QEventLoop loop;
    std::thread runner([&] {
        try {
            exitCode = diff::RunAndWait(start);
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    runner.join();
    if (failure) std::rethrow_exception(failure);
    return exitCode;
}

}  // namespace

// For as long as it lives, clicks and keys meant for the window (or any of its
// controls) are dropped: a request that runs long must not have the input made
// meanwhile replayed when it ends. Dialogs and message boxes are windows of
// their own and keep their input.
class FrmMain::InputBlocker : public QObject {
public:
    explicit InputBlocker(FrmMain& window) : window_(window) {
        window_.requestRunning_ = true;
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputBlocker() override {
        // Input that reached the queue while the request held the thread is
        // delivered, and so dropped, before the window takes input again.
        QCoreApplication::processEvents();
        QCoreApplication::instance()->removeEventFilter(this);
        window_.requestRunning_ = false;
    }
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!isUserInput(event->type()) || !watched->isWidgetType()) return false;
        return static_cast<QWidget*>(watched)->window() == &window_;
    }

private:
    FrmMain& window_;
};

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
    setFixedSize(kDesignWidth, kDesignHeight);
    setFont(designFont());
    createControls();
    for (QWidget* control : findChildren<QWidget*>()) designGeometry_.insert(control, control->geometry());
    fitCaptions();
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
    compactCheck->setGeometry(twipsRect(5205, 240, 1110, 375));
    // Four options and "Compatto" share the row that held three: each as wide
    // as its caption needs.
    const int setTypeLefts[] = {120, 960, 2025, 3465};
    const int setTypeWidths[] = {750, 975, 1350, 1650};
    for (std::size_t index = 0; index < core::kSetTypeCount; ++index) {
        auto* option = new QRadioButton(QString::fromLatin1(diff::kSetTypeNames[index]), setTypeFrame);
        option->setObjectName(QStringLiteral("optSetType(%1)").arg(index));
        option->setGeometry(twipsRect(setTypeLefts[index], 315, setTypeWidths[index], 255));
        setTypeOptions[index] = option;
    }

    for (QRadioButton* option : setTypeOptions) option->installEventFilter(this);

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
                              browseButton, setTypeOptions[3], setTypeOptions[2], setTypeOptions[1], setTypeOptions[0],
                              deleteButton, createDiffButton,       compactCheck};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
    }
}

void FrmMain::load() {
    destinationLabel->clear();

    const QString pattern = QStringLiteral("*.dat;*.xml");
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
    const bool frameKnown = titleBar > 0;
    core::WindowPlacement placement;
    placement.current = core::PixelPoint{pos().x(), pos().y()};
    placement.frameWidth = frameKnown ? frameRect.width() : frameRect.width() + 2 * kAssumedBorderWidth;
    placement.titleBarHeight = frameKnown ? titleBar : kAssumedTitleBarHeight;
    placement.screens = screenRects();
    const core::PixelPoint restored =
        withWholeTitleBarOnAScreen(core::restoredPosition(settings_, placement), placement);
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

// The room a control's caption needs: text beside a check mark or option
// circle needs the style's indent plus the text; the image buttons' and
// labels' own size hints are their caption's size.
QSize captionRoom(const QWidget* control) {
    const auto* button = qobject_cast<const QAbstractButton*>(control);
    const bool checkable = qobject_cast<const QCheckBox*>(control) != nullptr ||
                           qobject_cast<const QRadioButton*>(control) != nullptr;
    if (button == nullptr || !checkable) return control->sizeHint();
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const bool isCheckBox = qobject_cast<const QCheckBox*>(control) != nullptr;
    const QRect contents = control->style()->subElementRect(
        isCheckBox ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &option, control);
    const QFontMetrics metrics(control->font());
    return QSize(contents.left() + metrics.horizontalAdvance(QString(button->text()).remove(QLatin1Char('&'))),
                 metrics.height());
}

// The layout holds the design font's captions. A larger font (a higher font
// resolution, or a wider substitute for the design font) would cut them, so
// the whole window grows with it, as forms laid out in twips grow under large
// fonts on Windows: every place and size by the one factor that gives each
// caption its room.
void FrmMain::fitCaptions() {
    double factor = 1.0;
    for (auto design = designGeometry_.cbegin(); design != designGeometry_.cend(); ++design) {
        QWidget* control = design.key();
        const bool hasCaption = qobject_cast<QAbstractButton*>(control) != nullptr ||
                                control == listCaptions[0] || control == listCaptions[1] ||
                                control == destinationLabel;
        if (!hasCaption) continue;
        const QSize needed = captionRoom(control);
        factor = std::max(factor, needed.width() / static_cast<double>(design.value().width()));
        // The browse button's height is the destination label's.
        if (control != browseButton) {
            factor = std::max(factor, needed.height() / static_cast<double>(design.value().height()));
        }
    }
    factor = std::min(factor, kLargestLayoutFactor);
    const auto scaled = [factor](int length) { return static_cast<int>(std::lround(length * factor)); };
    setFixedSize(scaled(kDesignWidth), scaled(kDesignHeight));
    for (auto design = designGeometry_.cbegin(); design != designGeometry_.cend(); ++design) {
        const QRect& rect = design.value();
        design.key()->setGeometry(scaled(rect.x()), scaled(rect.y()), scaled(rect.width()), scaled(rect.height()));
    }
    alignBrowseButton();
}

// Tab enters the set-type group at its selected option, as on Windows, not at
// the group's first tab index; the arrow keys move within the group.
bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        auto* option = qobject_cast<QRadioButton*>(watched);
        if (option != nullptr && !option->isChecked() &&
            (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)) {
            for (QRadioButton* selected : setTypeOptions) {
                if (selected->isChecked()) {
                    selected->setFocus(reason);
                    return true;
                }
            }
        }
    }
    return QWidget::eventFilter(watched, event);
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
    } else if (event->type() == QEvent::FontChange && !designGeometry_.isEmpty()) {
        fitCaptions();
    }
}

void FrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    alignBrowseButton();
}

void FrmMain::closeEvent(QCloseEvent* event) {
    // The request that runs still needs the window; it is closed afterwards.
    if (requestRunning_) {
        event->ignore();
        return;
    }
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

core::SetTypeSelection FrmMain::selectedSetTypes() const {
    core::SetTypeSelection selected{};
    for (std::size_t index = 0; index < selected.size(); ++index) selected[index] = setTypeOptions[index]->isChecked();
    return selected;
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

diff::DiffControls FrmMain::diffControls() const {
    diff::DiffControls controls;
    controls.oldIndex = oldList->selectedIndex();
    controls.oldName = oldList->selectedFileName();
    controls.newIndex = newList->selectedIndex();
    controls.newName = newList->selectedFileName();
    controls.destination = destinationLabel->text().toStdString();
    controls.setTypeSelected = selectedSetTypes();
    controls.compact = compactCheck->isChecked() ? 1 : 0;
    controls.lastDelivery = lastDelivery_;
    return controls;
}

void FrmMain::browseDestination() {
    runHandler([&] {
        std::string destination = destinationLabel->text().toStdString();
        diff::browseDestination(ui_, destinationDialog_, diff::proposedDiffDatName(diffControls()),
                                destination);
        destinationLabel->setText(QString::fromStdString(destination));
    });
}

void FrmMain::createDiff() {
    const InputBlocker blocker(*this);
    runHandler([&] {
        diff::DiffRequestResult result =
            diff::createDiffDat(diffControls(), applicationPath_, dataPath_, fileSystem(), ui_, runServingEvents);
        if (result.outcome == diff::DiffOutcome::Delivered) {
            lastDelivery_ = result.delivered;
            // A diff dat delivered into the library shows at once.
            refreshLists();
        }
        if (result.outcome == diff::DiffOutcome::Delivered ||
            result.outcome == diff::DiffOutcome::NothingToDeliver) {
            auto* resultWindow = new FrmResult(std::move(result), ui_, settings_, this);
            resultWindow->setAttribute(Qt::WA_DeleteOnClose);
            resultWindow->show();
        }
    });
}

void FrmMain::importDat() {
    const InputBlocker blocker(*this);
    runHandler([&] {
        if (datlib::importDat(ui_, commonDialog_, dataPath_, fileSystem())) {
            refreshLists();
        }
    });
}

void FrmMain::deleteDat() {
    const InputBlocker blocker(*this);
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
