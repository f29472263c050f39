#include <QApplication>
#include <QDir>
#include <QTranslator>

#include "app/ui/frm_main.h"
#include "app/ui/italian_translation.h"
#include "app/ui/qt_settings_store.h"
#include "app/ui/qt_user_interface.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(zfe::kApplicationTitle));
    QApplication::setWindowIcon(zfe::ui::applicationIcon());
    // Lets a Wayland desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("zandorelfe"));
    QTranslator italian;
    zfe::ui::installItalianTranslation(italian);

    zfe::ui::QtUserInterface ui;
    zfe::ui::QtSettingsStore settings;
    const std::string applicationPath =
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
    zfe::ui::FrmMain frmMain(applicationPath, ui, settings);
    ui.setOwner(&frmMain);
    frmMain.show();
    return application.exec();
}
