#pragma once

#include <QDialog>
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
};

}  // namespace zfe::capture
