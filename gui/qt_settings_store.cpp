#include "gui/qt_settings_store.h"

namespace zfe::gui {

namespace {

QString settingsKey(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

}  // namespace

// Organisation and application are both the program's name, so the values live
// in ZandorelFE/ZandorelFE.conf on Linux and under Software\ZandorelFE\ZandorelFE
// in the Windows registry.
QtSettingsStore::QtSettingsStore()
    : settings_(QSettings::NativeFormat, QSettings::UserScope,
                QString::fromLatin1(core::kSettingsApplicationName),
                QString::fromLatin1(core::kSettingsApplicationName)) {}

QtSettingsStore::QtSettingsStore(const QString& iniFilePath)
    : settings_(iniFilePath, QSettings::IniFormat) {}

std::string QtSettingsStore::get(const std::string& section, const std::string& key,
                                 const std::string& defaultText) const {
    const QString name = settingsKey(section, key);
    if (!settings_.contains(name)) {
        return defaultText;
    }
    // A value someone stored as a list or other non-text comes back empty, which
    // the reader treats as not a number.
    return settings_.value(name).toString().toStdString();
}

void QtSettingsStore::save(const std::string& section, const std::string& key,
                           const std::string& text) {
    settings_.setValue(settingsKey(section, key), QString::fromStdString(text));
    // A failed write shows in status() only; nobody is told, on purpose.
    settings_.sync();
}

}  // namespace zfe::gui
