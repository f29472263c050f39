#pragma once

// The windows' pictures, compiled into the program from gui/resources.

#include <QIcon>

namespace zfe::gui {

// Makes the pictures available; safe to call again.
void registerResources();

// A picture of the resources by its name without suffix (":/capture/create_dat"):
// the pictures are SVG where Qt can draw SVG, else PNG drawn from the SVG at
// build time (gui/CMakeLists.txt).
QIcon picture(const QString& resource);

// The pictures of the main window's image list, addressed from 1 like the list
// they came from.
QIcon imageListPicture(int index);
QIcon applicationIcon();

}  // namespace zfe::gui
