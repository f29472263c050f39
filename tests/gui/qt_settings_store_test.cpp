#include "gui/qt_settings_store.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>

#include "tests/support/app_folder.h"
#include "support/temp_folder.h"

namespace zfe::gui {
namespace {

TEST(QtSettingsStore, MissingKeyGivesTheDefaultAndWritesNothing) {
    testsupport::TempFolder dir;
    const QString path = QString::fromStdString(dir / "zfe.ini");
    QtSettingsStore store(path);
    EXPECT_EQ(store.get("Position", "Left", "1200"), "1200");
    EXPECT_FALSE(QFile::exists(path));
}

TEST(QtSettingsStore, TextsUnderTheirSectionsAndKeys) {
    testsupport::TempFolder dir;
    const QString path = QString::fromStdString(dir / "zfe.ini");
    {
        QtSettingsStore store(path);
        store.save("Position", "Left", "-300");
        store.save("Options", "SetType", "2");
        store.save("Options", "SetType", "1");  // replaces the earlier value
    }
    QtSettingsStore reopened(path);
    EXPECT_EQ(reopened.get("Position", "Left", "0"), "-300");
    EXPECT_EQ(reopened.get("Options", "SetType", "0"), "1");
    const QSettings raw(path, QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("Position/Left")).toString(), QStringLiteral("-300"));
}

TEST(QtSettingsStore, UnwritableLocationIsIgnoredSilently) {
    testsupport::TempFolder dir;
    // A plain file where the settings file's folder should be: nothing can be
    // written below it, not even by root.
    const QString blocker = QString::fromStdString(dir / "blocker");
    testsupport::writeFile(blocker.toStdString(), "x");
    QtSettingsStore store(blocker + QStringLiteral("/zfe.ini"));
    EXPECT_NO_THROW(store.save("Options", "chkTiny", "1"));
    EXPECT_EQ(testsupport::readFile(blocker.toStdString()), "x");
}

TEST(QtSettingsStore, UserStoreIsTheNativeOneNamedZandorelFE) {
    // Test mode (set for the whole run) keeps this away from the real user's
    // configuration folder.
    const QtSettingsStore store;
    EXPECT_TRUE(store.location().contains(QStringLiteral("ZandorelFE")))
        << store.location().toStdString();
}

}  // namespace
}  // namespace zfe::gui
