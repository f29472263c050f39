#pragma once

// The windows' pictures, compiled into the program from gui/resources.

#include <QIcon>

namespace zfe::gui {

// Makes the pictures available; safe to call again.
void registerResources();

// The pictures of the main window's image list, addressed from 1 like the list
// they came from.
QIcon imageListPicture(int index);
QIcon applicationIcon();

}  // namespace zfe::gui
