#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QRadioButton>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "app/settings.h"
#include "app/ui/file_list_box.h"
#include "app/user_interface.h"
#include "platform/file_system.h"

namespace zfe::capture {
class FrmCreate;
}

namespace zfe::ui {

// The pictures of the main window's image list, addressed from 1 like the list
// they came from.
QIcon imageListPicture(int index);
QIcon applicationIcon();

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
    FrmMain(std::string applicationPath, UserInterface& ui, SettingsStore& settings,
            QWidget* parent = nullptr);
    ~FrmMain() override;

    const std::string& applicationPath() const { return applicationPath_; }
    CommonDialogMemory& commonDialog() { return commonDialog_; }

    // Both lists read the dat library again, the old list first.
    void refreshLists();

    // The controls, named as the other handlers know them.
    QGroupBox* fraMain;
    QToolButton* cmdCreateDat;
    FileListBox* filOld;
    FileListBox* filNew;
    QToolButton* cmdImport;
    QToolButton* cmdDelete;
    std::array<QLabel*, 2> Label2;
    QGroupBox* Frame2;
    QToolButton* cmdBrowse;
    QLabel* lblFileDest;
    QGroupBox* Frame1;
    QToolButton* cmdCrea;
    QGroupBox* fraOpt;
    QCheckBox* chkTiny;
    std::array<QRadioButton*, 3> optSetType;

public slots:
    void onCmdBrowseClicked();
    void onCmdCreaClicked();
    void onCmdImportClicked();
    void onCmdDeleteClicked();
    // Opens the create-dat dialog; wired by the create-dat dialog's code.
    void onCmdCreateDatClicked();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void setTabOrder();
    void load();
    void restorePosition();
    void alignBrowseButton();
    void unload();
    std::array<bool, 3> selectedSetTypes() const;
    platform::FileSystemService& fileSystem();
    // Runs a handler; anything it throws past its own messages is reported
    // instead of escaping into Qt's event loop.
    template <typename Handler>
    void runHandler(Handler&& handler);

    std::string applicationPath_;
    UserInterface& ui_;
    SettingsStore& settings_;
    CommonDialogMemory commonDialog_;
    std::unique_ptr<platform::FileSystemService> fileSystem_;
    capture::FrmCreate* frmCreate_ = nullptr;  // a child of this window, made on first use
    bool unloaded_ = false;
};

}  // namespace zfe::ui
