#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <string>

#include "app/user_interface.h"

namespace zfe::capture {

// The create-dat dialog "Crea un File Dat da un Eseguibile di MAME". The main
// window makes one on first use and keeps it for the run.
class FrmCreate : public QDialog {
    Q_OBJECT
public:
    FrmCreate(UserInterface& ui, std::string applicationPath, QWidget* owner);

    // Shows the dialog modally, starting empty; returns when it has closed,
    // whether a dat was made or not.
    void showModal();

    // The full path of the executable chosen in this showing.
    const std::string& exePath() const { return exePath_; }
    bool captureRunning() const { return captureRunning_; }

    // The controls, named as the handlers know them.
    QGroupBox* Frame1;
    QLineEdit* txtDatFile;
    QToolButton* cpvButton1;
    QToolButton* cmdCreatDat;
    QLabel* Label3;
    QLabel* lblReceivedBytes;
    QLabel* Label4;
    QLabel* lblExe;
    QLabel* Label1;

public slots:
    void onCpvButton1Clicked();
    void onCmdCreatDatClicked();
    // Closing while a capture runs stops the capture; the dialog closes as usual.
    void reject() override;

private:
    void createControls();
    void load();
    void centreOnOwner();

    UserInterface& ui_;
    std::string applicationPath_;
    std::string exePath_;
    // The Open dialog's last accepted file: offered again, and what a cancel
    // leaves in place. Forgotten at every showing.
    std::string lastChosenFile_;
    bool captureRunning_ = false;
    bool stopRequested_ = false;
};

}  // namespace zfe::capture
