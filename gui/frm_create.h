#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <string>

#include "core/user_interface.h"

namespace zfe::gui {

// The create-dat dialog "Crea un File Dat da un Eseguibile di MAME". The main
// window makes one on first use and keeps it for the run.
class FrmCreate : public QDialog {
    Q_OBJECT
public:
    FrmCreate(core::UserInterface& ui, std::string dataPath, QWidget* owner);

    // Shows the dialog modally, starting empty; returns when it has closed,
    // whether a dat was made or not.
    void showModal();

    // The full path of the executable chosen in this showing.
    const std::string& exePath() const { return exePath_; }
    bool captureRunning() const { return captureRunning_; }

    // Closing while a capture runs stops the capture; the dialog closes as usual.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void browseExecutable();
    void createDat();

private:
    void createControls();
    void load();
    void centreOnOwner();

    core::UserInterface& ui_;
    std::string dataPath_;
    std::string exePath_;
    // The Open dialog's last accepted file: offered again, and what a cancel
    // leaves in place. Forgotten at every showing.
    std::string lastChosenFile_;
    // The controls; each carries its designer name as its object name, by
    // which the tests find it. The captions are only drawn.
    QLineEdit* datNameEdit;
    QToolButton* browseExeButton;
    QToolButton* createDatButton;
    QLabel* receivedBytesLabel;
    QLabel* exeLabel;

    bool captureRunning_ = false;
    bool stopRequested_ = false;
};

}  // namespace zfe::gui
