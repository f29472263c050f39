#pragma once

#include <string>

#include "core/user_interface.h"
#include "platform/file_system.h"

namespace zfe::datlib {

// The import ("&Importa ..."): an Open dialog offering the remembered name, then
// a copy of the chosen file into the dat library under its own name. Only a
// regular file is copied: a folder, pipe or device is refused with a message.
// A library file of that name (in any letter case) is replaced only when the
// user says Yes to the question.
// Returns true when both lists must be refreshed: after every import past the
// dialog, failed ones included (a failure is reported through `ui`), so that
// the lists show what the folder holds; a cancel, of the dialog or of the
// replacement, returns false.
bool importDat(core::UserInterface& ui, core::CommonDialogMemory& dialog,
               const std::string& applicationPath, platform::FileSystemService& files);

// The delete ("&Elimina") of the file selected in the old list, after a Yes/No
// question. `oldListFolder` is the list's folder as the list reports it (it may
// lack a final separator); `selectedName` is empty when nothing is selected.
// Returns true when both lists must be refreshed: after every confirmed
// delete, failed ones included, so that a file that had already gone leaves
// the lists.
bool deleteDat(core::UserInterface& ui, const std::string& oldListFolder,
               const std::string& selectedName, platform::FileSystemService& files);

}  // namespace zfe::datlib
