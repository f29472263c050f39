#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <memory>
#include <string>

#include "gui/frm_main.h"
#include "gui/qt_settings_store.h"
#include "tests/support/app_folder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"

namespace zfe::gui {

// A program folder in a temporary place (the executable's folder with
// datfiles/ and zdrl/), a scripted user, and a settings file of its own.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = testsupport::fsPath(tempDir.path());
        program = root / "prog";
        library = program / "datfiles";
        std::filesystem::create_directories(library);
        std::filesystem::create_directories(program / "zdrl");
        settingsPath = QString::fromStdString((root / "settings" / "zfe.ini").string());
        settings = std::make_unique<QtSettingsStore>(settingsPath);
    }

    void TearDown() override {
        window.reset();
        ui.expectScriptUsedUp();
    }

    FrmMain& open() {
        window = std::make_unique<FrmMain>(program.string(), ui, *settings);
        return *window;
    }

    // The window with the library and the tool's work folder in a user's
    // folder apart from the program's, as for an installation this user cannot
    // write; `library` names that library from then on.
    FrmMain& openWithDataApart() {
        const std::filesystem::path data = root / "user data";
        library = data / "datfiles";
        std::filesystem::create_directories(library);
        std::filesystem::create_directories(data / "zdrl");
        window = std::make_unique<FrmMain>(program.string(), data.string(), ui, *settings);
        return *window;
    }

    // Closes the window as the user would, then reads the settings afresh.
    void closeWindow() {
        ASSERT_TRUE(window);
        window->close();
        window.reset();
        settings = std::make_unique<QtSettingsStore>(settingsPath);
    }

    std::string stored(const char* section, const char* key) const {
        return settings->get(section, key, "<missing>");
    }

    void addDat(const std::string& name, const std::string& content = "dat") {
        testsupport::writeFile(library / name, content);
    }

    testsupport::TempFolder tempDir;
    std::filesystem::path root;
    std::filesystem::path program;
    std::filesystem::path library;
    QString settingsPath;
    std::unique_ptr<QtSettingsStore> settings;
    testsupport::ScriptedUi ui;
    std::unique_ptr<FrmMain> window;
    testsupport::CurrentDirectoryGuard currentDirectory;
};

}  // namespace zfe::gui
