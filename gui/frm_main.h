#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QHash>
#include <QRect>
#include <QIcon>
#include <QLabel>
#include <QRadioButton>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "core/settings.h"
#include "gui/file_list_box.h"
#include "core/user_interface.h"
#include "diff/diff_request.h"
#include "platform/file_system.h"

namespace zfe::gui {

class FrmCreate;

// The main window "Zandorel FE": the dat library twice, its buttons, the
// destination of the diff dat and the set-type options. Creating it runs its
// load step; closing it runs its unload step.
class FrmMain : public QWidget {
    Q_OBJECT
public:
    // `applicationPath` is the folder of the program; the window reads the dat
    // library and the tool's folder beside it. `ui` shows the message boxes and
    // file dialogs, `settings` keeps the position and options between runs;
    // both must outlive the window.
    FrmMain(std::string applicationPath, core::UserInterface& ui, core::SettingsStore& settings,
            QWidget* parent = nullptr);
    // The same with the dat library and the tool's work folder under
    // `dataPath` instead (core/folders.h); the tool still runs from the
    // program's folder.
    FrmMain(std::string applicationPath, std::string dataPath, core::UserInterface& ui,
            core::SettingsStore& settings, QWidget* parent = nullptr);
    ~FrmMain() override;

    const std::string& applicationPath() const { return applicationPath_; }
    const std::string& dataPath() const { return dataPath_; }
    // The import's file dialog; the destination browse has one of its own.
    core::CommonDialogMemory& commonDialog() { return commonDialog_; }

    // Both lists read the dat library again, the old list first.
    void refreshLists();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void browseDestination();
    void createDiff();
    void importDat();
    void deleteDat();
    void openCreateDat();

private:
    void createControls();
    void setTabOrder();
    void load();
    void restorePosition();
    void alignBrowseButton();
    void fitCaptions();
    void unload();
    core::SetTypeSelection selectedSetTypes() const;
    diff::DiffControls diffControls() const;
    platform::FileSystemService& fileSystem();
    // Runs a handler; anything it throws past its own messages is reported
    // instead of escaping into Qt's event loop.
    template <typename Handler>
    void runHandler(Handler&& handler);
    class InputBlocker;

    // The controls; each carries its designer name as its object name, by
    // which the tests find it.
    QGroupBox* libraryFrame;
    QToolButton* createDatButton;
    FileListBox* oldList;
    FileListBox* newList;
    QToolButton* importButton;
    QToolButton* deleteButton;
    std::array<QLabel*, 2> listCaptions;
    QGroupBox* destinationFrame;
    QToolButton* browseButton;
    QLabel* destinationLabel;
    QGroupBox* createDiffFrame;
    QToolButton* createDiffButton;
    QGroupBox* setTypeFrame;
    QCheckBox* compactCheck;
    std::array<QRadioButton*, core::kSetTypeCount> setTypeOptions;

    QHash<QWidget*, QRect> designGeometry_;  // every control's place in the table

    std::string applicationPath_;
    std::string dataPath_;
    core::UserInterface& ui_;
    core::SettingsStore& settings_;
    core::CommonDialogMemory commonDialog_;
    core::CommonDialogMemory destinationDialog_;
    std::optional<diff::DeliveredFile> lastDelivery_;
    std::unique_ptr<platform::FileSystemService> fileSystem_;
    FrmCreate* frmCreate_ = nullptr;  // a child of this window, made on first use
    bool unloaded_ = false;
    bool requestRunning_ = false;  // the window is not closed while a request runs
};

}  // namespace zfe::gui
