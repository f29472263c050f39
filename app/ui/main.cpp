#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/ui/frm_main.h"
#include "app/ui/qt_settings_store.h"
#include "app/ui/qt_user_interface.h"

namespace {

// The window speaks Italian whatever the user's locale, so Qt's own buttons and
// dialogs (Sì/No, Apri/Salva) must too. Without the translation installed they
// stay in English, which is no reason to stop.
void installItalianTranslation(QApplication& application, QTranslator& translator) {
    if (translator.load(QLocale(QLocale::Italian), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        translator.load(QLocale(QLocale::Italian), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QCoreApplication::applicationDirPath() + QStringLiteral("/translations"))) {
        application.installTranslator(&translator);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(zfe::kApplicationTitle));
    QApplication::setWindowIcon(zfe::ui::applicationIcon());
    // Lets a Wayland desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("zandorelfe"));
    QTranslator italian;
    installItalianTranslation(application, italian);

    zfe::ui::QtUserInterface ui;
    zfe::ui::QtSettingsStore settings;
    const std::string applicationPath =
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
    zfe::ui::FrmMain frmMain(applicationPath, ui, settings);
    ui.setOwner(&frmMain);
    frmMain.show();
    return application.exec();
}
