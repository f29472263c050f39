#include <QApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QTranslator>

#include "core/abandoned_temporaries.h"
#include "core/data_folder.h"
#include "core/work_folder.h"
#include "gui/frm_main.h"
#include "gui/italian_translation.h"
#include "gui/pictures.h"
#include "gui/qt_settings_store.h"
#include "gui/qt_user_interface.h"
#include "platform/process.h"
#include "platform/termination_signals.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(zfe::core::kApplicationTitle));
    QApplication::setWindowIcon(zfe::gui::applicationIcon());
    // Lets a Wayland desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("zandorelfe"));
    QTranslator italian;
    zfe::gui::installItalianTranslation(italian);

    zfe::gui::QtUserInterface ui;
    zfe::gui::QtSettingsStore settings;
    // Qt resolves a link on PATH to the program itself, so this is the
    // installation's folder, where the tool and the sample dats are.
    const std::string applicationPath =
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
    const auto files = zfe::platform::makeFileSystemService();
    const zfe::core::DataFolderChoice data =
        zfe::core::chooseDataPath(applicationPath, zfe::platform::userDataFolder(), *files);
    if (data.problem) {
        ui.showMessage(*data.problem);
    }
    zfe::core::removeAbandonedTemporaries(data.dataPath, *files, zfe::platform::currentProcessId(),
                                          zfe::platform::processIsRunning);
    zfe::core::removeKilledRunLeftovers(data.dataPath, *files);
    zfe::gui::FrmMain frmMain(applicationPath, data.dataPath, ui, settings);
    ui.setOwner(&frmMain);
    frmMain.show();
    // SIGTERM or SIGINT closes the windows as the user would: a running
    // capture stops its emulator and removes its temporary file, and the
    // settings are saved.
    if (const int signalled = zfe::platform::watchTerminationSignals(); signalled >= 0) {
        auto* notifier = new QSocketNotifier(signalled, QSocketNotifier::Read, &application);
        QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
            QApplication::closeAllWindows();
            QApplication::quit();
        });
    }
    return application.exec();
}
