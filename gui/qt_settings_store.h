#pragma once

#include <QSettings>
#include <QString>

#include "core/settings.h"

namespace zfe::gui {

// The settings store over QSettings: the user's native store (an INI file under
// the configuration folder on Linux, the registry on Windows) under the
// application name "ZandorelFE", or an explicit INI file.
class QtSettingsStore : public core::SettingsStore {
public:
    QtSettingsStore();
    // An INI file at this path instead of the user's store; tests use it so
    // that they never touch the real settings.
    explicit QtSettingsStore(const QString& iniFilePath);

    std::string get(const std::string& section, const std::string& key,
                    const std::string& defaultText) const override;
    void save(const std::string& section, const std::string& key, const std::string& text) override;

    QString location() const { return settings_.fileName(); }

private:
    mutable QSettings settings_;
};

}  // namespace zfe::gui
