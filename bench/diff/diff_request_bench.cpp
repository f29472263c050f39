// The whole diff request of the window (checks, staging, the tool, delivery of
// the diff dat, reading the report back, clearing the work folder) against the
// tool alone on the same pair in the same run, both started the same way; then
// the same from the click on "Crea DiffDat" in the main window until the result
// window is on screen (shown and painted once, on Qt's offscreen platform);
// then a result of every set of NEW (the diff from an empty dat), which must
// be on screen soon after the tool ends and filter as one types.
//
//   zfe_diff_request_bench --old OLD --new NEW [--folder DIR] [--repeat R]
//
// DIR (made if missing) becomes a program folder: datfiles/ with the two dats
// (hard links to OLD and NEW where possible), zdrl/ with the tool. Times are
// the best of R runs, taken in turns with the tool alone; a key's time is the
// slowest key's. Exit code 0 when every goal is met, 1 when one is not, 2 on
// trouble.

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/user_interface.h"
#include "diff/command_runner.h"
#include "diff/diff_request.h"
#include "gui/controls.h"
#include "gui/file_list_box.h"
#include "gui/frm_main.h"
#include "gui/frm_result.h"
#include "gui/qt_settings_store.h"
#include "platform/file_system.h"

namespace fs = std::filesystem;

namespace {

constexpr double kGoal = 1.3;         // the request, and the click to the screen, within this many times the tool alone
constexpr double kOpenGoal = 1.0;     // seconds from the tool's end to a result of every set on screen
constexpr double kKeyGoal = 0.1;      // seconds for the filter to answer a key
constexpr const char* kEmptyDat = "<?xml version=\"1.0\"?>\n<mame build=\"empty\">\n</mame>\n";

[[noreturn]] void trouble(const std::string& message) {
    std::fprintf(stderr, "zfe_diff_request_bench: %s\n", message.c_str());
    std::exit(2);
}

// No box may come up: any message is a failed request.
class SilentUi : public zfe::core::UserInterface {
public:
    zfe::core::MessageAnswer showMessage(const zfe::core::Message& message) override {
        trouble("the request said: " + message.text);
    }
    std::optional<std::string> showOpenDialog(const zfe::core::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> showSaveDialog(const zfe::core::FileDialogRequest&) override {
        return std::nullopt;
    }
};

// A hard link where the file system allows one, so that both runs read the
// very same cached pages; a copy elsewhere.
void place(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::remove(to, error);
    fs::create_hard_link(from, to, error);
    if (error) fs::copy_file(from, to);
}

template <typename Run>
double seconds(Run&& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const char* verdict(bool met) { return met ? "met" : "NOT met"; }

// Notes when a widget of a result window is painted.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            auto* window = static_cast<QWidget*>(watched)->window();
            if (qobject_cast<zfe::gui::FrmResult*>(window) != nullptr) painted = true;
        }
        return false;
    }
    // Serves events until a result window has painted since `painted` was
    // cleared (showing a window may paint it at once); the repaint manager
    // paints a window whole in one go, so it is all on screen then.
    void waitForPaint() {
        const auto start = std::chrono::steady_clock::now();
        while (!painted) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(60)) trouble("no window painted");
        }
    }
};

// The main window of the program folder, with OLD and NEW picked and the
// destination outside the library, as a user sets it up.
class MainWindowRun {
public:
    MainWindowRun(const fs::path& program, zfe::core::UserInterface& ui)
        : settings_(QString::fromStdString((program / "settings.ini").string())),
          window_(program.string(), ui, settings_) {
        window_.show();
        qApp->installEventFilter(&watch_);
    }
    ~MainWindowRun() { qApp->removeEventFilter(&watch_); }

    void pick(const QString& oldName, const QString& newName, const fs::path& destination) {
        using zfe::gui::control;
        for (auto [list, name] : {std::pair{"filOld", oldName}, std::pair{"filNew", newName}}) {
            auto* box = control<zfe::gui::FileListBox>(window_, list);
            box->refresh();
            box->setSelectedIndex(static_cast<int>(box->fileNames().indexOf(name)));
        }
        control<QRadioButton>(window_, "optSetType(0)")->setChecked(true);
        control<QCheckBox>(window_, "chkTiny")->setChecked(false);
        control<QLabel>(window_, "lblFileDest")->setText(QString::fromStdString(destination.string()));
    }

    // From the click to the result window on screen; the window stays open.
    double clickToScreen() {
        closeResult();
        return seconds([&] {
            watch_.painted = false;
            zfe::gui::control<QToolButton>(window_, "cmdCrea")->click();
            if (result() == nullptr) trouble("the request opened no result window");
            watch_.waitForPaint();
        });
    }

    // The slowest of the keys typed into the result window's filter (then
    // erased), each until the table shown has painted its answer; a key's
    // time is its best of `repeat` passes.
    double slowestKey(const QString& typed, int repeat) {
        auto* filter = zfe::gui::control<QLineEdit>(*result(), "txtFilter");
        filter->setFocus();
        std::vector<double> best(static_cast<std::size_t>(typed.size() * 2), 1e30);
        for (int pass = 0; pass < repeat; ++pass) {
            std::size_t at = 0;
            const auto key = [&](int code, const QString& text) {
                best[at] = std::min(best[at], seconds([&] {
                    watch_.painted = false;
                    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
                    QApplication::sendEvent(filter, &press);
                    watch_.waitForPaint();
                }));
                ++at;
            };
            for (const QChar c : typed) key(c.toUpper().unicode(), QString(c));
            for (qsizetype i = 0; i < typed.size(); ++i) key(Qt::Key_Backspace, QString());
            if (!filter->text().isEmpty()) trouble("the filter did not take the keys");
        }
        return *std::max_element(best.begin(), best.end());
    }

    // A result window of its own for `result`, until it is on screen.
    double windowAlone(const zfe::diff::DiffRequestResult& result, zfe::core::UserInterface& ui) {
        closeResult();
        return seconds([&] {
            watch_.painted = false;
            (new zfe::gui::FrmResult(result, ui, settings_, &window_))->show();
            watch_.waitForPaint();
        });
    }

    zfe::gui::FrmResult* result() const { return window_.findChild<zfe::gui::FrmResult*>(); }

private:
    void closeResult() {
        if (zfe::gui::FrmResult* open = result()) delete open;
    }

    zfe::gui::QtSettingsStore settings_;
    zfe::gui::FrmMain window_;
    PaintWatch watch_;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    fs::path folder = fs::temp_directory_path() / "zfe-diff-request-bench";
    fs::path oldDat;
    fs::path newDat;
    int repeat = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--folder") {
            folder = value;
        } else if (option == "--old") {
            oldDat = value;
        } else if (option == "--new") {
            newDat = value;
        } else if (option == "--repeat") {
            repeat = std::max(1, std::atoi(value.c_str()));
        } else {
            trouble("unknown option " + option);
        }
    }
    if (argc % 2 == 0 || oldDat.empty() || newDat.empty()) {
        trouble("usage: zfe_diff_request_bench --old OLD --new NEW [--folder DIR] [--repeat R]");
    }

    const fs::path program = fs::absolute(folder);
    fs::create_directories(program / "datfiles");
    fs::create_directories(program / "zdrl");
    fs::create_directories(program / "alone");
    fs::create_directories(program / "out");
    // A diff dat of an earlier bench run would be asked about.
    for (const char* earlier : {"diff.dat", "window.dat", "every.dat"}) fs::remove(program / "out" / earlier);
    place(oldDat, program / "datfiles" / "old.dat");
    place(newDat, program / "datfiles" / "new.dat");
    place(ZFE_ZANDOREL_EXECUTABLE, program / "zdrl" / fs::path(ZFE_ZANDOREL_EXECUTABLE).filename());
    // The tool alone reads the same files, from a folder of its own.
    place(program / "datfiles" / "old.dat", program / "alone" / "old.dat");
    place(program / "datfiles" / "new.dat", program / "alone" / "new.dat");

    zfe::diff::DiffControls controls;
    controls.oldIndex = 0;
    controls.oldName = "old.dat";
    controls.newIndex = 0;
    controls.newName = "new.dat";
    controls.destination = (program / "out" / "diff.dat").string();
    controls.setTypeSelected = {true, false, false};
    zfe::platform::ProgramStart toolStart = zfe::diff::diffToolStart(
        program.string(), program.string(), {"-S"}, controls.oldName, controls.newName);
    toolStart.workingFolder = (program / "alone").string();

    const auto toolAlone = [&] {
        // As the request does, the tool starts in a folder without its outputs.
        for (const char* output : {"zandorel.dat", "zandorel.log"}) fs::remove(program / "alone" / output);
        zfe::diff::RunAndWait(toolStart);
    };
    SilentUi ui;
    const auto files = zfe::platform::makeFileSystemService();
    const auto wholeRequest = [&] {
        const zfe::diff::DiffRequestResult result = zfe::diff::createDiffDat(
            controls, program.string(), *files, ui, zfe::diff::RunAndWait);
        if (result.outcome != zfe::diff::DiffOutcome::Delivered) trouble("the request delivered nothing");
        // As the window does, so that the next run replaces it without a question.
        controls.lastDelivery = result.delivered;
    };

    std::printf("Inputs: %.1f MB and %.1f MB, split set type; best of %d runs in turns.\n",
                static_cast<double>(fs::file_size(oldDat)) / 1e6,
                static_cast<double>(fs::file_size(newDat)) / 1e6, repeat);
    toolAlone();  // warms the cache
    double alone = 1e30;
    double request = 1e30;
    for (int i = 0; i < repeat; ++i) {
        alone = std::min(alone, seconds(toolAlone));
        request = std::min(request, seconds(wholeRequest));
    }
    const double ratio = request / alone;
    const bool met = ratio <= kGoal;
    std::printf("\nTool alone: %.1f ms\nWhole request: %.1f ms (%.2fx the tool alone)\n"
                "Goal: within %.1fx: %s\n",
                alone * 1e3, request * 1e3, ratio, kGoal, verdict(met));
    std::fflush(stdout);

    MainWindowRun run(program, ui);
    run.pick(QStringLiteral("old.dat"), QStringLiteral("new.dat"), program / "out" / "window.dat");
    double onScreen = 1e30;
    for (int i = 0; i < repeat; ++i) {
        alone = std::min(alone, seconds(toolAlone));
        onScreen = std::min(onScreen, run.clickToScreen());
    }
    const double screenRatio = onScreen / alone;
    const bool screenMet = screenRatio <= kGoal;
    std::printf("\nClick on \"Crea DiffDat\" to the result window on screen: %.1f ms (%.2fx the tool alone)\n"
                "Goal: within %.1fx: %s\n",
                onScreen * 1e3, screenRatio, kGoal, verdict(screenMet));
    std::fflush(stdout);

    // Every set of NEW added: the largest result this pair can give.
    {
        std::FILE* empty = std::fopen((program / "datfiles" / "empty.dat").string().c_str(), "wb");
        if (empty == nullptr || std::fputs(kEmptyDat, empty) < 0 || std::fclose(empty) != 0) trouble("cannot write empty.dat");
    }
    place(program / "datfiles" / "empty.dat", program / "alone" / "empty.dat");
    zfe::platform::ProgramStart everyStart = zfe::diff::diffToolStart(
        program.string(), program.string(), {"-S"}, "empty.dat", controls.newName);
    everyStart.workingFolder = (program / "alone").string();
    const auto everyAlone = [&] {
        for (const char* output : {"zandorel.dat", "zandorel.log"}) fs::remove(program / "alone" / output);
        zfe::diff::RunAndWait(everyStart);
    };
    controls.oldName = "empty.dat";
    controls.destination = (program / "out" / "every-request.dat").string();
    fs::remove(controls.destination);
    controls.lastDelivery.reset();
    run.pick(QStringLiteral("empty.dat"), QStringLiteral("new.dat"), program / "out" / "every.dat");
    double everyTool = 1e30;
    double everyRequest = 1e30;
    double everyScreen = 1e30;
    double everyWindow = 1e30;
    zfe::diff::DiffRequestResult everyResult;
    const auto everyRequestKept = [&] {
        everyResult = zfe::diff::createDiffDat(controls, program.string(), *files, ui, zfe::diff::RunAndWait);
        controls.lastDelivery = everyResult.delivered;
    };
    for (int i = 0; i < repeat; ++i) {
        everyTool = std::min(everyTool, seconds(everyAlone));
        everyRequest = std::min(everyRequest, seconds(everyRequestKept));
        everyScreen = std::min(everyScreen, run.clickToScreen());
        everyWindow = std::min(everyWindow, run.windowAlone(everyResult, ui));
    }
    // The request's own work (staging, delivery, clean-up) and the window's,
    // each measured apart: the difference of two runs' totals would be lost
    // in the noise of a busy machine.
    const double afterTool = std::max(0.0, everyRequest - everyTool) + everyWindow;
    const bool openMet = afterTool <= kOpenGoal;
    const int sets = run.result()->findChild<QAbstractItemView*>(QStringLiteral("lstAdded"))->model()->rowCount();
    std::printf("\nEvery set of NEW (%d sets added): tool alone %.1f ms, whole request %.1f ms, "
                "click to screen %.1f ms\nOn screen %.1f ms after the tool's end: the request's own work "
                "%.1f ms, the window %.1f ms\nGoal: within %.0f ms: %s\n",
                sets, everyTool * 1e3, everyRequest * 1e3, everyScreen * 1e3, afterTool * 1e3,
                (everyRequest - everyTool) * 1e3, everyWindow * 1e3, kOpenGoal * 1e3, verdict(openMet));
    const QString typed = QStringLiteral("robo");
    const double slowest = run.slowestKey(typed, repeat);
    const bool keyMet = slowest <= kKeyGoal;
    std::printf("Filter: the slowest of %lld keys (\"%s\" typed, then erased; each its best of %d) "
                "answered in %.1f ms\nGoal: within %.0f ms a key: %s\n",
                static_cast<long long>(typed.size() * 2), qPrintable(typed), repeat, slowest * 1e3,
                kKeyGoal * 1e3, verdict(keyMet));
    return met && screenMet && openMet && keyMet ? 0 : 1;
}
